#!/bin/busybox sh
# /init of the test VM's initramfs (busybox). Loads the virtio, 9p and CAN modules of the
# kernel the VM boots, mounts the build machine's file system read-only over 9p, gives it
# writable /tmp, /run and /dev, chroots into it and runs the inside script there. Its exit
# status goes to the serial console as "QCAN-VM-EXIT <n>", then the VM powers off.
# QCAN_INSIDE, QCAN_BUILD and QCAN_MODE come from the kernel command line.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci netfs fscache \
         9pnet 9pnet_virtio 9p can can-raw can-dev vcan slcan; do
  insmod /modules/$m.ko || echo "vm-init: insmod $m failed"
done
rc=1
if mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=512000 host /mnt; then
  mount -t proc proc /mnt/proc
  mount -t sysfs sys /mnt/sys
  mount -t devtmpfs dev /mnt/dev
  mkdir -p /mnt/dev/pts /mnt/dev/shm
  mount -t devpts devpts /mnt/dev/pts
  mount -t tmpfs shm /mnt/dev/shm
  mount -t tmpfs tmp /mnt/tmp
  mount -t tmpfs run /mnt/run
  chroot /mnt /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      HOME=/tmp TERM=dumb /bin/bash "$QCAN_INSIDE" "$QCAN_BUILD" "$QCAN_MODE"
  rc=$?
else
  echo "vm-init: cannot mount the host file system"
fi
echo "QCAN-VM-EXIT $rc"
sync
poweroff -f
