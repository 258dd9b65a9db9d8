#!/usr/bin/env bash
# From a fresh Debian 12 machine to the live sensor table: packages, configure, build, then
# qcan-host on the simulated excavator for 20 seconds.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="$top/build"
"$top/scripts/setup-deps.sh"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "$(nproc)" --target qcan-host
export QCAN_ADAPTERS="SIM_EXCAVATOR=sim:excavator"
exec "$build/bin/qcan-host" --duration 20
