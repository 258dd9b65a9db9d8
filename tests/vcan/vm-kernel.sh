#!/usr/bin/env bash
# Puts Debian's current amd64 kernel package (linux-image-<version>-amd64, the one the
# linux-image-amd64 package depends on) into the folder given, unless one is there already.
# Needs the apt package lists (apt-get update), not root.
set -euo pipefail
dir="$1"
mkdir -p "$dir"
if ls "$dir"/linux-image-*-amd64_*.deb >/dev/null 2>&1; then
  exit 0
fi
pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -1)
if [ -z "$pkg" ]; then
  echo "vm-kernel: apt knows no linux-image-amd64 (run apt-get update)" >&2
  exit 1
fi
cd "$dir"
# As root apt-get download warns that its sandbox user cannot write here; the download works.
apt-get download -q "$pkg" 2>&1 | grep -v 'unsandboxed' >&2 || true
ls "$dir"/"$pkg"_*.deb >/dev/null 2>&1 || { echo "vm-kernel: could not download $pkg" >&2; exit 1; }
