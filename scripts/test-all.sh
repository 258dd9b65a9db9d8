#!/usr/bin/env bash
# One command from a fresh Debian 12 machine to a tested build: packages, configure, build, ctest.
# BUILD_DIR and SANITIZE (ON/OFF) may be set from outside.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$top/build}"
"$top/scripts/setup-deps.sh"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQCAN_SANITIZE="${SANITIZE:-OFF}"
cmake --build "$build" -j "$(nproc)"
cd "$build"
ctest --output-on-failure -j "$(nproc)" --timeout 300
# A short fuzzing run of the receive path in its own clang tree.
"$top/scripts/fuzz-smoke.sh"
