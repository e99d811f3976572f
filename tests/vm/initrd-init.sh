#!/bin/busybox sh
# The VM's first process: loads the virtio and 9p modules, mounts the shared root and the shared checkout,
# and hands over to the checkout's guest script. Kernel argument: korvanix.src=CHECKOUT, the same path as
# on the host, since the build tree records absolute paths. The checkout is mounted aside (/korvanix-src)
# and put at its path by the guest script, after the folders it fills with file systems of its own (a
# checkout below /tmp would be hidden by them otherwise).
/bin/busybox mkdir -p /sbin /usr/bin /usr/sbin
/bin/busybox --install -s
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for name in $(cat /modules/order); do
    insmod "/modules/$name" 2>/dev/null || true
done
src=
for arg in $(cat /proc/cmdline); do
    case $arg in korvanix.src=*) src=${arg#korvanix.src=} ;; esac
done
# 9p2000.L with a large message size: reads and writes go in big pieces. Wine maps its DLLs and the test
# programs into memory, which 9p allows only with a page cache: the root, which nothing else changes
# while the VM runs, is cached fully, and so is the checkout: with the mapping-only cache, Wine read the
# code pages of the test programs as zeros. The host leaves both alone while the VM runs.
opts=trans=virtio,version=9p2000.L,msize=1048576
if ! mount -t 9p -o "$opts,cache=loose" root /newroot; then
    echo "korvanix-vm: could not mount the root share"
    poweroff -f
fi
mkdir -p /newroot/korvanix-src /newroot/korvanix-out
mount -t 9p -o "$opts,cache=loose" checkout /newroot/korvanix-src
mount -t 9p -o "$opts" out /newroot/korvanix-out
umount /proc /sys
umount /dev
exec switch_root /newroot /bin/bash /korvanix-src/tests/vm/guest.sh
