#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, only when one is missing, and
# fetches the kernel package the SocketCAN test VM boots (tests/vcan/vm-kernel.sh).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
packages=(build-essential cmake pkg-config libwxgtk3.2-dev libtinyxml-dev
          googletest libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev xvfb xauth
          tshark gettext qemu-system-x86 busybox-static cpio xz-utils can-utils iproute2
          clang libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
updated=0
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  # tshark reads our CAN logs in the tests; it must not ask whether to install its capture helper.
  echo "wireshark-common wireshark-common/install-setuid boolean false" | $SUDO debconf-set-selections
  $SUDO apt-get update -q
  updated=1
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
# The VM's kernel: Debian's current linux-image-*-amd64, downloaded (not installed) into the
# user's cache, where tests/vcan/vm-run.sh looks for it.
kdir="${QCAN_VM_KERNEL_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/qcansensors/vm-kernel}"
if ! "$top/tests/vcan/vm-kernel.sh" "$kdir" 2>/dev/null; then
  [ "$updated" -eq 1 ] || $SUDO apt-get update -q
  "$top/tests/vcan/vm-kernel.sh" "$kdir"
fi
