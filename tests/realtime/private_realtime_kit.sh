# shellcheck shell=bash disable=SC2016
# Sourced by bash, as root. What a desktop gives its users, built privately
# so that nothing outside one folder changes and no account is made:
#
# realtime_kit_start WORK USER
#   a system bus of its own (a socket in WORK), polkitd on it with a rule
#   that lets USER acquire real-time scheduling whatever the session (polkitd
#   reads rules from fixed folders only, so it runs in a mount namespace of
#   its own with WORK's rule folder over /etc/polkit-1/rules.d), and
#   rtkit-daemon with its usual limits, without its canary. Exports
#   DBUS_SYSTEM_BUS_ADDRESS. WORK must be a folder USER can enter.
# realtime_kit_stop
#   ends the three daemons (by their process ids).
# udev_rule_node WORK RULE
#   makes WORK/dev/cpu_dma_latency, a node of the kernel's own device, and
#   gives it the owner and mode udev's RULE gives the real one (udevadm test
#   in a namespace where /dev, /run and /etc/udev/rules.d are WORK's).
#
# Each prints what went wrong and returns 1 when it fails.

realtime_kit_pids=()

realtime_kit_has_name() {
  dbus-send --bus="$DBUS_SYSTEM_BUS_ADDRESS" --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}

realtime_kit_wait_for() {
  local name=$1 log=$2
  for _ in $(seq 100); do
    realtime_kit_has_name "$name" && return 0
    sleep 0.1
  done
  echo "$name did not appear on the private system bus; its log:" >&2
  cat "$log" >&2
  return 1
}

realtime_kit_start() {
  local work=$1 user=$2
  mkdir -p "$work/polkit-rules"
  cat >"$work/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$work/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
CONF
  cat >"$work/polkit-rules/50-realtime-test.rules" <<RULE
polkit.addRule(function(action, subject) {
  if (action.id == "org.freedesktop.RealtimeKit1.acquire-real-time" && subject.user == "$user") {
    return polkit.Result.YES;
  }
});
RULE
  chmod -R a+rX "$work/polkit-rules"
  local bus_pid
  if ! bus_pid=$(dbus-daemon --config-file="$work/bus.conf" --fork --print-pid=1); then
    echo "dbus-daemon did not start a private system bus" >&2
    return 1
  fi
  realtime_kit_pids+=("$bus_pid")
  export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/system_bus_socket
  unshare --mount sh -c 'mount --bind "$0" /etc/polkit-1/rules.d && exec /usr/lib/polkit-1/polkitd --no-debug' \
    "$work/polkit-rules" >"$work/polkitd.log" 2>&1 &
  realtime_kit_pids+=("$!")
  realtime_kit_wait_for org.freedesktop.PolicyKit1 "$work/polkitd.log" || return 1
  # Its log through a pipe: the daemon forbids itself to grow files.
  /usr/libexec/rtkit-daemon --stderr --no-canary 2> >(cat >"$work/rtkit.log") &
  realtime_kit_pids+=("$!")
  realtime_kit_wait_for org.freedesktop.RealtimeKit1 "$work/rtkit.log" || return 1
}

realtime_kit_stop() {
  local pid
  for pid in "${realtime_kit_pids[@]}"; do
    kill "$pid" 2>/dev/null
  done
  for pid in "${realtime_kit_pids[@]}"; do
    # dbus-daemon forked away from this shell, so it is watched in /proc,
    # where it may stay a zombie of a parent that does not reap.
    for _ in $(seq 50); do
      grep -qs '^State:[[:space:]]*[^Z]' "/proc/$pid/status" || break
      sleep 0.1
    done
  done
  realtime_kit_pids=()
}

udev_rule_node() {
  local work=$1 rule=$2 real=/dev/cpu_dma_latency
  mkdir -p "$work/dev" "$work/run" "$work/udev-rules"
  cp "$rule" "$work/udev-rules/"
  if ! mknod -m 0600 "$work/dev/cpu_dma_latency" c "$((0x$(stat -c %t "$real")))" "$((0x$(stat -c %T "$real")))"; then
    echo "cannot make a node like $real in $work" >&2
    return 1
  fi
  # udevadm test really sets the owner and mode, hence the namespace.
  if ! unshare --mount sh -c 'mount --bind "$0/dev" /dev && mount --bind "$0/run" /run &&
      mount --bind "$0/udev-rules" /etc/udev/rules.d &&
      udevadm test --action=add /sys/devices/virtual/misc/cpu_dma_latency' "$work" >"$work/udevadm.log" 2>&1; then
    echo "udevadm test failed:" >&2
    cat "$work/udevadm.log" >&2
    return 1
  fi
}
