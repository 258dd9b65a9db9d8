#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, only when one is missing.
set -euo pipefail
packages=(build-essential cmake pkg-config libwxgtk3.2-dev libtinyxml-dev
          googletest libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev xvfb xauth
          tshark gettext clang libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
# tshark reads our CAN logs in the tests; it must not ask whether to install its capture helper.
echo "wireshark-common wireshark-common/install-setuid boolean false" | $SUDO debconf-set-selections
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
