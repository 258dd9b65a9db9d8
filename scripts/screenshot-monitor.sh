#!/usr/bin/env bash
# Runs qcan-monitor on the simulated excavator on an X server in memory and saves every page of the
# diagnostics window as a PNG: docs/qcan-monitor-<page>.png (or PREFIX-<page>.png with a prefix
# argument). One run per page: each run selects the adapter, turns the capture on, shows the page
# and closes through "Close". Then the tool windows beside the prefix: the log replay window playing
# a short log in a loop (qcan-replay-window.png), the sensor data generator feeding its first slider
# (qcan-sensor-generator.png) and the traffic generator the Debug page's "Generator" opens
# (qcan-traffic-generator.png).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$top/build}"
prefix="$(realpath -m "${1:-$top/docs/qcan-monitor}")"

"$top/scripts/setup-deps.sh"
[ -f "$build/CMakeCache.txt" ] || cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target qcan-monitor -j "$(nproc)"

appdata="$(mktemp -d)"
trap 'rm -rf "$appdata"' EXIT
mkdir -p "$(dirname "$prefix")"
monitor() {
    APPDATA="$appdata" QCAN_ADAPTERS="SIM_EXCAVATOR=sim:excavator" WISP_LOG_LEVEL=warn \
        "$top/scripts/run-with-xvfb.sh" "$build/bin/qcan-monitor" "$@" >/dev/null
}
for page in manager device sensors capture send events log debug; do
    monitor --screenshot="$prefix" --page="$page"
    echo "Saved $prefix-$page.png"
done

docs="$(dirname "$prefix")"
log="$appdata/replay.log"
{
    printf '%s\n' '***BUSMASTER Ver 1.8.0***' '***PROTOCOL CAN***' '***HEX***' \
        '***<Time><Tx/Rx><Channel><CAN ID><Type><DLC><DataBytes>***'
    for i in $(seq 0 199); do
        printf '10:00:%02d:%03d Rx 1 0x02E s 8 01 00 00 00 %02X 27 00 00\n' $((i / 20)) $((i % 20 * 50)) "$i"
    done
    printf '%s\n' '***END DATE AND TIME 05:12:2026 10:00:10:***'
} >"$log"
monitor --replay-window --load="$log" --screenshot="$docs/qcan-replay-window.png"
echo "Saved $docs/qcan-replay-window.png"
monitor --generator --screenshot="$docs/qcan-sensor-generator.png"
echo "Saved $docs/qcan-sensor-generator.png"
monitor --screenshot="$docs/qcan-traffic" --page=generator
echo "Saved $docs/qcan-traffic-generator.png"
