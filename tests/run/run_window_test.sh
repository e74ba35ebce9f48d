#!/usr/bin/env bash
# scripts/run on the offscreen platform: with no board the window comes up on
# a simulated board through VELTRIX_PORT, connected to it, and when the window
# ends the simulator and its port link go with it; with a board it only runs
# the window, which waits for the operator's choice of model.
#   run_window_test.sh SCRIPTS_RUN BUILD_DIR
set -uo pipefail
run=$1
build=$2
# shellcheck source=tests/run/test_support.sh
source "$(dirname "$0")/test_support.sh"
script=
# A failed check must not strand the run in the background.
trap '[ -z "$script" ] || kill -TERM "$script" 2>/dev/null; wait; rm -rf "$work"' EXIT
mkdir -m 0700 "$work/runtime"

# Starts scripts/run in the background with QT_QPA_PLATFORM=offscreen. Qt
# keeps its runtime folder apart, so TMPDIR holds only what the script made.
start_run() {
  local sysfs=$1
  env -u DISPLAY -u WAYLAND_DISPLAY -u VELTRIX_PORT QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime" \
    VELTRIX_BUILD_DIR="$build" VELTRIX_SYSFS="$sysfs" TMPDIR="$work/tmp" "$run" >"$work/out" 2>"$work/err" &
  script=$!
}

# Waits up to SECONDS for PID to end; its exit status in $status, 255 if not.
wait_end() {
  local pid=$1 seconds=$2 tries
  for ((tries = 0; tries < seconds * 10; tries++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid"
    wait "$pid"
    status=255
    return
  fi
  wait "$pid"
  status=$?
}

is_window() {
  [ "$(readlink "/proc/$1/exe")" = "$(realpath "$build/ui/veltrix-logger")" ]
}

# No board: the window runs beside a simulator until it gets SIGTERM.
start_run "$work/no-board"
window=
for ((tries = 0; tries < 200; tries++)); do
  window=$(children_of "$script" veltrix-logger)
  [ -z "$window" ] || break
  sleep 0.1
done
sim=$(children_of "$script" veltrix-boardsim)
if [ -z "$window" ]; then
  fail "no window within 20 s: $(cat "$work/out" "$work/err")"
else
  port=$(tr '\0' '\n' <"/proc/$window/environ" | sed -n 's/^VELTRIX_PORT=//p')
  [ -n "$sim" ] || fail "no simulator beside the window"
  [[ "$port" == "$work/tmp/"* ]] || fail "window's VELTRIX_PORT is \"$port\""
  { [ -L "$port" ] && [ -c "$port" ]; } || fail "simulated port $port is not a link to a terminal"
  # Connected: the window holds the simulated board's terminal open.
  terminal=$(readlink -f "$port")
  connected=
  for ((tries = 0; tries < 100; tries++)); do
    for fd in /proc/"$window"/fd/*; do
      [ "$(readlink "$fd")" = "$terminal" ] && connected=yes
    done
    [ -z "$connected" ] || break
    sleep 0.1
  done
  [ -n "$connected" ] || fail "the window did not connect to the simulated board at $terminal"
  sleep 3
  kill -0 "$window" 2>/dev/null || fail "the window ended by itself within 3 s: $(cat "$work/err")"
  kill -0 "$sim" 2>/dev/null || fail "the simulator ended while the window was up"
  kill -TERM "$window"
  wait_end "$script" 15
  ((status == 0)) || fail "exit status $status after the window's SIGTERM: $(cat "$work/err")"
  [ ! -e "$port" ] || fail "port link $port outlived the window"
  [ -z "$sim" ] || ! kill -0 "$sim" 2>/dev/null || fail "simulator $sim outlived the window"
fi
grep -qx "No board found: using a simulated KOR 73 board" "$work/out" ||
  fail "no-board line missing: $(cat "$work/out")"

# A board attached: the script becomes the window, no simulator.
start_run "$work/board"
sleep 2
is_window "$script" || fail "with a board the script did not become the window: $(cat "$work/out" "$work/err")"
! tr '\0' '\n' <"/proc/$script/cmdline" | grep -qx -- --connect || fail "with a board the window was told what to connect"
[ -z "$(children_of "$script")" ] || fail "with a board something runs beside the window: $(children_of "$script")"
! grep -q "No board found" "$work/out" || fail "with a board it announced a simulator"
kill -TERM "$script"
wait_end "$script" 15
((status == 0)) || fail "with a board: exit status $status after SIGTERM"

finish
