#!/usr/bin/env bash
# Runs qcan-monitor on the simulated excavator on an X server in memory and saves every page of the
# diagnostics window as a PNG: docs/qcan-monitor-<page>.png (or PREFIX-<page>.png with a prefix
# argument). One run per page: each run selects the adapter, turns the capture on, shows the page
# and closes through "Close".
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
for page in manager device sensors capture send events log debug; do
    APPDATA="$appdata" QCAN_ADAPTERS="SIM_EXCAVATOR=sim:excavator" WISP_LOG_LEVEL=warn \
        "$top/scripts/run-with-xvfb.sh" "$build/bin/qcan-monitor" --screenshot="$prefix" --page="$page" >/dev/null
    echo "Saved $prefix-$page.png"
done
