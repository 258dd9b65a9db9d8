#!/usr/bin/env bash
# Builds the receive-path fuzz targets (clang, AddressSanitizer and UndefinedBehaviorSanitizer) and
# runs each for FUZZ_SECONDS (default 60) from the traffic seeds. Any crash, leak, sanitizer report
# or hang fails the run; the input that caused it is kept in $FUZZ_BUILD_DIR/fuzz-artifacts.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$top/build-fuzz}"
seconds="${FUZZ_SECONDS:-60}"
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQCAN_SANITIZE=ON \
  -DQCAN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target receive_path_fuzz frame_sequence_fuzz fuzz_seeds
mkdir -p "$build/fuzz-artifacts"
for target in receive_path frame_sequence; do
  work="$build/fuzz-work/$target"
  mkdir -p "$work"
  echo "Fuzzing $target for $seconds s"
  "$build/bin/${target}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/fuzz-artifacts/$target-" "$work" "$build/fuzz-seeds/$target" 2>&1 \
    | grep -v -e '^#[0-9]' -e 'NEW_FUNC' || true
  if compgen -G "$build/fuzz-artifacts/$target-*" >/dev/null; then
    echo "$target found a fault; inputs in $build/fuzz-artifacts" >&2
    exit 1
  fi
done
