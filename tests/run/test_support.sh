# shellcheck shell=bash
# Shared by the run-command tests: a scratch folder, failure counting, fake
# sysfs trees and the lookup of simulators started for this test.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tmp"
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# A sysfs tree whose only tty is bound to DRIVER.
fake_sysfs() {
  local root=$1 tty=$2 driver=$3
  mkdir -p "$root/class/tty/$tty/device" "$root/bus/usb/drivers/$driver"
  ln -s "../../../../bus/usb/drivers/$driver" "$root/class/tty/$tty/device/driver"
}
fake_sysfs "$work/no-board" ttyS0 serial8250
fake_sysfs "$work/board" ttyACM0 cdc_acm

# Process lookups read /proc directly, so the tests need no procps.
# PIDs of the running children of PARENT, only those running PROGRAM if given.
children_of() {
  local parent=$1 program=${2:-} stat fields pid
  for stat in /proc/[0-9]*/stat; do
    read -r fields 2>/dev/null <"$stat" || continue
    pid=${fields%% *}
    fields=${fields##*) }
    fields=${fields#* }
    [ "${fields%% *}" = "$parent" ] || continue
    [ -z "$program" ] || [ "$(basename "$(readlink "/proc/$pid/exe")")" = "$program" ] || continue
    echo "$pid"
  done
}

# Simulators still running whose port link lies in this test's TMPDIR.
simulators_left() {
  local cmdline args pid
  for cmdline in /proc/[0-9]*/cmdline; do
    mapfile -d '' args 2>/dev/null <"$cmdline" || continue
    [[ " ${args[*]} " == *" --link $work/tmp/"* ]] || continue
    pid=${cmdline#/proc/}
    echo "${pid%/cmdline}"
  done
}

# Called last: the test's verdict.
finish() {
  [ -z "$(ls -A "$work/tmp")" ] || fail "left behind in TMPDIR: $(ls -A "$work/tmp")"
  local left
  mapfile -t left < <(simulators_left)
  if ((${#left[@]})); then
    fail "simulators still running: ${left[*]}"
    kill "${left[@]}"
  fi
  if ((failures)); then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
}
