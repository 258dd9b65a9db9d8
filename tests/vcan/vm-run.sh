#!/usr/bin/env bash
# Runs the SocketCAN checks (or, with "bench", the measurements) against a real Linux CAN stack:
# boots Debian's own kernel in qemu (no KVM needed) with a busybox initramfs, and inside it,
# chrooted into this machine's file system (mounted read-only over 9p), runs vm-inside.sh on the
# freshly built programs, can-utils and iproute2 as they are installed here.
#
#   tests/vcan/vm-run.sh BUILD_DIR [checks|bench]
#
# The VM image (kernel, modules, initramfs) is built from Debian packages into BUILD_DIR/vcan-vm
# and reused while the kernel package and vm-init.sh stay the same. The kernel package is taken
# from QCAN_VM_KERNEL_DIR (default ~/.cache/qcansensors/vm-kernel, filled by setup-deps.sh) and
# downloaded there when missing. Exit status: the inside program's, 1 when the VM cannot be built
# or gives no result. The serial console is copied to standard output and BUILD_DIR/vcan-vm/MODE.log.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:?usage: vm-run.sh BUILD_DIR [checks|bench]}" && pwd)"
mode="${2:-checks}"
cache="$build/vcan-vm"
kdir="${QCAN_VM_KERNEL_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/qcansensors/vm-kernel}"
fail() { echo "vm-run: $*" >&2; exit 1; }

for tool in qemu-system-x86_64 busybox cpio dpkg-deb xz cansend candump cangen slcand ip; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup-deps.sh installs it)"
done
program="$build/bin/qcan_vcan_tests"
[ "$mode" = bench ] && program="$build/bin/qcan_vcan_bench"
[ -x "$program" ] || fail "$program is not built"
case "$build$here" in *" "*) fail "the build and source paths must not contain spaces" ;; esac

"$here/vm-kernel.sh" "$kdir" || fail "no kernel package"
deb="$(ls "$kdir"/linux-image-*-amd64_*.deb | sort -V | tail -1)"
busybox="$(command -v busybox)"
stamp="$(basename "$deb") $(sha256sum "$here/vm-init.sh" "$busybox" | cut -c1-16 | tr '\n' ' ')"

# --- the image ---
if [ "$(cat "$cache/stamp" 2>/dev/null)" != "$stamp" ]; then
  echo "vm-run: building the VM image from $(basename "$deb")"
  rm -rf "$cache" && mkdir -p "$cache/x" "$cache/initrd/bin" "$cache/initrd/modules"
  for d in dev proc sys mnt; do mkdir -p "$cache/initrd/$d"; done
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$cache/x" --wildcards './boot/vmlinuz-*' \
      './lib/modules/*/kernel/drivers/virtio/*' './lib/modules/*/kernel/fs/9p/*' \
      './lib/modules/*/kernel/fs/netfs/*' './lib/modules/*/kernel/fs/fscache/*' \
      './lib/modules/*/kernel/net/9p/*' './lib/modules/*/kernel/net/can/*' \
      './lib/modules/*/kernel/drivers/net/can/*'
  find "$cache/x/lib/modules" -name '*.ko' -exec cp {} "$cache/initrd/modules/" \;
  # The bzImage carries an xz-packed ELF kernel; qemu boots the ELF directly (PVH entry), which
  # saves the decompression that is slow without KVM.
  vmlinuz="$(ls "$cache"/x/boot/vmlinuz-*)"
  offset="$(LC_ALL=C grep -aboP '\xfd7zXZ\x00' "$vmlinuz" | head -1 | cut -d: -f1)" || true
  [ -n "$offset" ] || fail "no xz stream in $vmlinuz"
  tail -c +"$((offset + 1))" "$vmlinuz" | xz -dc --single-stream > "$cache/vmlinux" || true
  [ "$(head -c 4 "$cache/vmlinux" | od -An -c | tr -d ' ')" = "177ELF" ] || fail "could not unpack the kernel"
  cp "$busybox" "$cache/initrd/bin/busybox"
  cp "$here/vm-init.sh" "$cache/initrd/init"
  chmod +x "$cache/initrd/init"
  (cd "$cache/initrd" && find . | cpio -o -H newc --quiet) > "$cache/initrd.cpio"
  rm -rf "$cache/x"
  echo "$stamp" > "$cache/stamp"
fi

# --- the run ---
log="$cache/$mode.log"
echo "vm-run: booting ($mode)"
set +e
timeout 600 qemu-system-x86_64 -m 1024 -smp 2 -display none -monitor none -no-reboot -nic none \
    -serial stdio -serial null \
    -kernel "$cache/vmlinux" -initrd "$cache/initrd.cpio" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1 mitigations=off QCAN_INSIDE=$here/vm-inside.sh QCAN_BUILD=$build QCAN_MODE=$mode" \
    -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
    < /dev/null 2>&1 | sed -u 's/\r$//' | tee "$log"
set -e
result="$(sed -n 's/.*QCAN-VM-EXIT \([0-9]*\).*/\1/p' "$log" | tail -1)"
[ -n "$result" ] || fail "the VM gave no result"
exit "$result"
