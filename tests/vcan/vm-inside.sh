#!/usr/bin/env bash
# Runs inside the test VM, chrooted into the build machine's own file system, as root.
# Sets up the CAN interfaces and runs the mode's program:
#   checks  the SocketCAN checks (qcan_vcan_tests, GoogleTest)
#   bench   the receive-path measurements (qcan_vcan_bench, Google Benchmark)
set -uo pipefail
build="$1"
mode="${2:-checks}"
fail() { echo "vm-inside: $*"; exit 1; }

for i in vcan0 vcan1; do
  ip link add dev "$i" type vcan && ip link set up "$i" || fail "cannot create $i"
done
# A CAN controller with a bit rate: the serial-line CAN driver on the VM's second serial port
# (nothing behind it). Brought up the way a user brings up can0.
slcand ttyS1 slcan0 || fail "slcand failed"
for _ in $(seq 50); do ip link show slcan0 >/dev/null 2>&1 && break; sleep 0.1; done
ip link set slcan0 type can bitrate 500000 && ip link set slcan0 up || fail "cannot bring up slcan0"

export QCAN_ADAPTERS="SC_vcan0=socketcan:vcan0;SC_vcan1=socketcan:vcan1;SC_slcan0=socketcan:slcan0"
export WISP_LOG_LEVEL=warn
cd /tmp
case "$mode" in
  checks) exec "$build/bin/qcan_vcan_tests" --gtest_color=no ;;
  bench) exec "$build/bin/qcan_vcan_bench" --benchmark_color=false ;;
  *) fail "unknown mode $mode" ;;
esac
