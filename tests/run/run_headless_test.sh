#!/usr/bin/env bash
# scripts/run with no display: for every simulated sensor class it names a
# device-list entry that veltrix-cli accepts and records 20 samples through
# it; with a board attached it starts no simulator. Nothing is left running.
#   run_headless_test.sh SCRIPTS_RUN BUILD_DIR
set -uo pipefail
run=$1
build=$2
# shellcheck source=tests/run/test_support.sh
source "$(dirname "$0")/test_support.sh"

headless() {
  local sysfs=$1
  shift
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u VELTRIX_PORT VELTRIX_BUILD_DIR="$build" \
    VELTRIX_SYSFS="$sysfs" TMPDIR="$work/tmp" timeout 60 "$run" "$@" >"$work/out" 2>"$work/err"
}

# Checks one simulated run: the announced model, then a capture of 20 samples.
check_capture() {
  local what=$1 status=$2 expected_model=${3:-}
  local line model
  if ((status != 0)); then
    fail "$what: exit status $status: $(cat "$work/err")"
    return
  fi
  line=$(head -n 1 "$work/out")
  model=$(sed -n 's/^No board found: using a simulated \(.*\) board$/\1/p' <<<"$line")
  [ -n "$model" ] || fail "$what: first line is \"$line\""
  [ -z "$expected_model" ] || [ "$model" = "$expected_model" ] || fail "$what: announced \"$model\""
  grep -q "^No display found" "$work/out" || fail "$what: no word about the missing display"
  grep -q "^Time,Gyro_X" "$work/out" || fail "$what: no capture header"
  local samples
  samples=$(grep -cE '^ *[0-9]+(, *-?[0-9]+)+'$'\r''?$' "$work/out")
  ((samples == 20)) || fail "$what: $samples sample lines instead of 20"
}

classes=$("$build/sim/veltrix-boardsim" --help | sed -n 's/.*sensor class behind the board: //p' | tr -d ',')
[ -n "$classes" ] || fail "veltrix-boardsim --help names no sensor class"
for class in $classes; do
  headless "$work/no-board" --sensor "$class"
  check_capture "--sensor $class" $?
done

headless "$work/no-board"
check_capture "default sensor" $? "KOR 73"
headless "$work/no-board" --sensor=kor42 --noise
check_capture "--sensor=kor42 --noise" $? "KOR 42"

headless "$work/no-board" --sensor bogus
status=$?
((status != 0)) || fail "unknown sensor class: exit status 0"
grep -q 'unknown sensor class "bogus"' "$work/err" || fail "unknown sensor class: stderr: $(cat "$work/err")"
! grep -q "No board found" "$work/out" || fail "unknown sensor class: announced a board"

headless "$work/board"
status=$?
((status == 1)) || fail "board attached: exit status $status"
grep -q "^No display found" "$work/err" || fail "board attached: stderr: $(cat "$work/err")"
[ ! -s "$work/out" ] || fail "board attached: stdout: $(cat "$work/out")"

finish
