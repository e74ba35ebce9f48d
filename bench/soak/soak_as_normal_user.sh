#!/usr/bin/env bash
# bench_soak as the user the package is for: not root, in the group dialout
# (nobody, with dialout among its groups), beside a RealtimeKit that polkit
# lets that user use, and with /dev/cpu_dma_latency as the package's udev
# rule leaves it; as on a desktop with the package and rtkit installed. Run
# as root: the system bus, polkitd and rtkit-daemon are the script's own
# (tests/realtime/private_realtime_kit.sh) and nothing outside a temporary
# folder changes.
#   soak_as_normal_user.sh [--without-cpu-hold] [SECONDS [WORKLOAD]]
# --without-cpu-hold leaves the node as the kernel makes it (root's alone),
# to measure what the hold adds beside real-time. The build folder is
# $VELTRIX_BUILD, else build.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${VELTRIX_BUILD:-$root/build}" && pwd)
soak=$build/bench/soak/bench_soak
hold=yes
if [ "${1:-}" = --without-cpu-hold ]; then
  hold=no
  shift
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "run as root: it starts a system bus, polkitd and rtkit-daemon, then runs bench_soak as nobody" >&2
  exit 2
fi
if ! setpriv --reuid=nobody --regid=nogroup --clear-groups test -x "$soak"; then
  echo "nobody cannot run $soak: build it, in a folder every user may enter" >&2
  exit 2
fi

work=$(mktemp -d)
chmod 755 "$work"
# shellcheck source=tests/realtime/private_realtime_kit.sh
source "$root/tests/realtime/private_realtime_kit.sh"
trap 'realtime_kit_stop; rm -rf "$work"' EXIT
bind=true
if [ $hold = yes ]; then
  udev_rule_node "$work" "$root/packaging/60-veltrix-logger.rules"
  bind="mount --bind $work/dev/cpu_dma_latency /dev/cpu_dma_latency"
fi
realtime_kit_start "$work" nobody
# The window keeps its settings under HOME.
mkdir -m 700 "$work/home" "$work/runtime"
chown nobody "$work/home" "$work/runtime"
echo "bench_soak as nobody in dialout, RealtimeKit running, CPU hold through the udev rule: $hold"
unshare --mount sh -c "$bind"' && home=$0 runtime=$1 && shift &&
  exec setpriv --reuid=nobody --regid=nogroup --groups=dialout env HOME="$home" XDG_RUNTIME_DIR="$runtime" "$@"' \
  "$work/home" "$work/runtime" "$soak" "$@"
