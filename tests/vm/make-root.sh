#!/usr/bin/env bash
# Makes (once) the virtual machine that runs the 32-bit Windows tiers where this kernel runs no 32-bit
# code: the cached minimal Debian 12 root with every package the tests need (setup.sh run inside it) and
# Debian's amd64 kernel, whose kernel does run 32-bit code. The root is used in place, shared into the VM
# over 9p; the initrd beside it only loads the 9p and virtio modules and mounts that share as /.
#   make-root.sh          prints the folder holding root/, vmlinuz and initrd.gz
# Must run as root.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
checkout=$(cd "$here/../.." && pwd)
. "$checkout/scripts/debian-root.sh"

vm=$korvanix_cache/vm
# The root follows from setup.sh and the steps below (their layout number: raise it when they change);
# the initrd from its init script. A new version of either is made anew, the other kept.
layout=1
root_version=$( (cat "$checkout/scripts/setup.sh"; echo "$layout") | sha256sum | cut -c1-16)
initrd_version=$(cat "$here/initrd-init.sh" | sha256sum | cut -c1-16)
if [ -f "$vm/stamp-root-$root_version" ] && [ -f "$vm/stamp-initrd-$initrd_version" ]; then
    echo "$vm"
    exit 0
fi

mkdir -p "$korvanix_cache"
exec 9>"$korvanix_cache/vm.lock"
flock 9
root=$vm/root
if [ ! -f "$vm/stamp-root-$root_version" ] && [ -f "$vm/layout-$layout" ] && [ -d "$root/usr" ]; then
    # Only setup.sh changed since the root was made: running it again in the root installs what it added
    # (minutes, where making the root anew and then the VM's Wine prefix takes half an hour under TCG).
    trap korvanix_unmount_all EXIT
    korvanix_mount_system "$root"
    cp "$checkout/scripts/setup.sh" "$root/tmp/korvanix-setup.sh"
    echo "bringing the VM's root up to date with scripts/setup.sh" >&2
    chroot "$root" env KORVANIX_FORCE_SETUP=1 bash /tmp/korvanix-setup.sh >"$vm/setup.log" 2>&1 ||
        { tail -n 30 "$vm/setup.log" >&2; exit 1; }
    chroot "$root" apt-get clean
    rm -f "$root/tmp/korvanix-setup.sh"
    korvanix_unmount_all
    trap - EXIT
    rm -f "$vm"/stamp-root-*
    touch "$vm/stamp-root-$root_version"
fi
if [ ! -f "$vm/stamp-root-$root_version" ]; then
    rm -rf "$vm"
    mkdir -p "$vm"
    korvanix_unpack_minbase "$root" >&2
    trap korvanix_unmount_all EXIT
    korvanix_mount_system "$root"
    # Services that packages start on installation must not start in this root on this machine.
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod +x "$root/usr/sbin/policy-rc.d"
    cp "$checkout/scripts/setup.sh" "$root/tmp/korvanix-setup.sh"
    echo "installing the test packages into the VM's root (once, about 10 minutes)" >&2
    chroot "$root" bash /tmp/korvanix-setup.sh >"$vm/setup.log" 2>&1 || { tail -n 30 "$vm/setup.log" >&2; exit 1; }
    chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        linux-image-amd64 busybox-static kmod >>"$vm/setup.log" 2>&1 || { tail -n 30 "$vm/setup.log" >&2; exit 1; }
    chroot "$root" apt-get clean
    rm -f "$root/tmp/korvanix-setup.sh"
    # debootstrap writes no hosts file; the tests' servers are reached as localhost too.
    printf '127.0.0.1\tlocalhost korvanix-vm\n::1\tlocalhost ip6-localhost\n' >"$root/etc/hosts"
    korvanix_unmount_all
    trap - EXIT
    touch "$vm/stamp-root-$root_version" "$vm/layout-$layout"
fi

kernel=$(cd "$root/boot" && ls vmlinuz-* | sort -V | tail -n 1)
release=${kernel#vmlinuz-}
cp "$root/boot/$kernel" "$vm/vmlinuz"

# The initrd: busybox, the modules for a 9p root over virtio in load order, and our init.
# Built inside the root, whose busybox has the cpio this machine may lack.
initrd=$root/tmp/initrd
mkdir -p "$initrd"/{bin,dev,proc,sys,newroot,modules}
cp "$root/bin/busybox" "$initrd/bin/busybox"
cp "$here/initrd-init.sh" "$initrd/init"
chmod +x "$initrd/init"
: >"$initrd/modules/order"
for module in virtio_pci 9pnet_virtio 9p; do
    chroot "$root" modprobe -S "$release" --show-depends "$module" | while read -r kind path _; do
        [ "$kind" = insmod ] || continue
        name=$(basename "$path")
        grep -qx "$name" "$initrd/modules/order" && continue
        cp "$root$path" "$initrd/modules/$name"
        echo "$name" >>"$initrd/modules/order"
    done
done
chroot "$root" sh -c 'cd /tmp/initrd && find . | busybox cpio -o -H newc 2>/dev/null' | gzip -1 >"$vm/initrd.gz"
rm -rf "$initrd"
rm -f "$vm"/stamp-initrd-*
touch "$vm/stamp-initrd-$initrd_version"
echo "$vm"
