#!/usr/bin/env bash
# A capture run by a normal user in the group dialout (nobody, with dialout
# among its groups), beside a RealtimeKit that polkit lets that user use (on
# a private system bus, private_realtime_kit.sh): the capture thread, the
# link's reader and the simulated board's serving thread really run SCHED_RR
# with SCHED_RESET_ON_FORK, the process's RLIMIT_RTTIME is within
# RealtimeKit's limit, and the report says "capture thread real-time through
# RealtimeKit"; with the packaged udev rule applied, ", CPUs kept from deep
# idle" too. A user polkit refuses, and a user without any system bus,
# capture as before at normal priority.
#   realtime_kit_test.sh VELTRIX_CLI VELTRIX_BOARDSIM UDEV_RULE
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cli=$1
boardsim=$2
udev_rule=$3
skip() {
  echo "SKIP: $*"
  exit 77
}
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

[ "$(id -u)" -eq 0 ] ||
  skip "needs root: it starts a system bus, polkitd and rtkit-daemon, and captures as another user"
for program in dbus-daemon dbus-send /usr/lib/polkit-1/polkitd /usr/libexec/rtkit-daemon udevadm setpriv unshare chrt; do
  command -v "$program" >/dev/null || {
    echo "FAIL: $program is not installed (scripts/install-deps installs it)" >&2
    exit 1
  }
done
unshare --mount true 2>/dev/null ||
  skip "no mount namespace may be made here, and polkitd reads its rules from fixed folders only"

work=$(mktemp -d)
chmod 755 "$work"
# shellcheck source=tests/realtime/private_realtime_kit.sh
source "$here/private_realtime_kit.sh"
trap 'realtime_kit_stop; rm -rf "$work"' EXIT
mkdir "$work/bin"
# Copies, so the test user reaches them wherever the build folder is.
cp "$cli" "$boardsim" "$work/bin/"
chmod -R a+rX "$work/bin"
cat >"$work/capture.sh" <<'SCRIPT'
# capture.sh OUT: a kor73 board and a 2 s capture as the calling user. OUT
# gets each thread's name, policy and priority (chrt) while it captures,
# the capture's RLIMIT_RTTIME, its stderr and its exit status.
bin=$(dirname "$0")/bin
out=$1
exec 3< <(exec "$bin/veltrix-boardsim" --sensor kor73)
sim=$!
read -r port <&3
VELTRIX_PORT=$port "$bin/veltrix-cli" --model "KOR 73" capture --seconds 2 --folder "$out" >/dev/null 2>"$out/stderr" &
cli=$!
for _ in $(seq 100); do
  grep -qsx vtx-capture /proc/$cli/task/*/comm && break
  sleep 0.05
done
for task in /proc/$cli/task/* /proc/$sim/task/*; do
  echo "$(cat "$task/comm") $(chrt -p "${task##*/}" | sed 's/.*: //' | paste -sd ' ')"
done >"$out/threads"
sed -n 's/^Max realtime timeout *\([^ ]*\) *\([^ ]*\).*/\1 \2/p' /proc/$cli/limits >"$out/rttime"
wait $cli
echo $? >"$out/status"
kill $sim
SCRIPT

# capture NAME USER [NODE]: capture.sh as USER in dialout into $work/NAME;
# with NODE in place of /dev/cpu_dma_latency.
capture() {
  local out=$work/$1 user=$2 node=${3:-}
  mkdir "$out"
  chown "$user" "$out"
  local bind="true"
  [ -n "$node" ] && bind="mount --bind $node /dev/cpu_dma_latency"
  unshare --mount sh -c "$bind"' && exec setpriv --reuid="$0" --regid=nogroup --groups=dialout \
    env HOME="$1" bash "$2" "$1"' "$user" "$out" "$work/capture.sh"
  [ "$(cat "$out/status" 2>/dev/null)" = 0 ] || fail "$1: the capture failed: $(cat "$out/stderr" 2>/dev/null)"
}
report_of() { tail -n 1 "$work/$1/stderr"; }
thread_of() { grep "^$2 " "$work/$1/threads" | cut -d' ' -f2-; }
expect_ends() {
  [[ "$(report_of "$1")" == *"$2" ]] || fail "$1: the report does not end \"$2\": $(report_of "$1")"
}

udev_rule_node "$work" "$udev_rule" || exit 1
[ "$(stat -c '%U %G %a' "$work/dev/cpu_dma_latency")" = "root dialout 660" ] ||
  fail "the udev rule gives /dev/cpu_dma_latency $(stat -c '%U %G %a' "$work/dev/cpu_dma_latency"), not root dialout 660"
realtime_kit_start "$work" nobody || exit 1

capture granted nobody "$work/dev/cpu_dma_latency"
expect_ends granted ", capture thread real-time through RealtimeKit, CPUs kept from deep idle"
for thread in "vtx-capture:5" "vtx-link-reader:5" "vtx-board-sim:6"; do
  expected="SCHED_RR|SCHED_RESET_ON_FORK ${thread#*:}"
  [ "$(thread_of granted "${thread%:*}")" = "$expected" ] ||
    fail "granted: ${thread%:*} runs \"$(thread_of granted "${thread%:*}")\", not \"$expected\""
done
[ "$(thread_of granted veltrix-cli)" = "SCHED_OTHER 0" ] ||
  fail "granted: the main thread was raised too: $(thread_of granted veltrix-cli)"
read -r soft hard <"$work/granted/rttime"
max=$(dbus-send --bus="$DBUS_SYSTEM_BUS_ADDRESS" --print-reply --dest=org.freedesktop.RealtimeKit1 \
  /org/freedesktop/RealtimeKit1 org.freedesktop.DBus.Properties.Get string:org.freedesktop.RealtimeKit1 \
  string:RTTimeUSecMax | sed -n 's/.*int64 //p')
[[ "$soft" =~ ^[0-9]+$ && "$hard" =~ ^[0-9]+$ && $soft -le $max && $hard -le $max ]] ||
  fail "granted: RLIMIT_RTTIME is $soft/$hard, RealtimeKit allows ${max:-?} us"
grep -q "Successfully made thread" "$work/rtkit.log" || fail "rtkit-daemon's log tells of no thread made real-time"

# polkit's own default for a user outside a local session: no.
capture refused daemon
expect_ends refused ", capture thread normal"
[ "$(thread_of refused vtx-capture)" = "SCHED_OTHER 0" ] ||
  fail "refused: the capture thread runs $(thread_of refused vtx-capture)"

DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/no-bus-here capture no-bus nobody
expect_ends no-bus ", capture thread normal"

if ((failures)); then
  echo "rtkit-daemon's log:" >&2
  cat "$work/rtkit.log" >&2
  exit 1
fi
echo "real-time through RealtimeKit as a normal user: $(report_of granted)"
