#!/bin/bash
# Inside the VM (started by the initrd as the first process): gives the shared root what a system needs
# (the root share stays as the host left it; everything written at run time goes to memory), runs the
# command the host left in the exchange share, from the checkout, and leaves its output and exit status
# there. Then powers the VM off, which ends QEMU.
set -uo pipefail
out=/korvanix-out
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root TMPDIR=/tmp
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
for dir in /run /var/tmp /var/log; do mount -t tmpfs tmpfs "$dir"; done
mount -t tmpfs -o size=75% tmpfs /dev/shm
# Wine keeps a file's DOS attributes (hidden, system) in an extended attribute, which tmpfs before Linux
# 6.6 does not keep: the folders that hold the Wine prefix and the tests' files are ext4 file systems in
# memory instead, or the boot tests would find every hidden file visible again.
modprobe loop 2>/dev/null || true
for dir in /tmp /root; do
    image=/dev/shm/$(basename "$dir").ext4
    truncate -s 8G "$image"
    if ! { mkfs.ext4 -q -F "$image" && mount -o loop "$image" "$dir"; }; then
        echo "korvanix-vm: no ext4 in memory for $dir; tmpfs instead (hidden attributes are lost)"
        mount -t tmpfs tmpfs "$dir"
    fi
done
ip link set lo up 2>/dev/null || busybox ip link set lo up
hostname korvanix-vm
src=$(sed -n 's/.*korvanix\.src=\([^ ]*\).*/\1/p' /proc/cmdline)

finish() {
    sync
    echo "korvanix-vm: done"
    echo o >/proc/sysrq-trigger
    sleep 60
}
trap finish EXIT

if ! { mkdir -p "$src" && mount --bind /korvanix-src "$src" && cd "$src"; }; then
    echo "korvanix-vm: the checkout could not be put at $src"
    echo 1 >"$out/status"
    exit
fi

# Making a Wine prefix takes many minutes on an emulated processor, so the first run keeps the new
# prefix in the root (which outlives the VM), and later runs start from a copy of it in memory.
export WINEPREFIX=/tmp/korvanix-wine
template=/var/cache/korvanix-wine-prefix.tar
if [ -f "$template" ]; then
    tar -C /tmp -xf "$template"
else
    echo "korvanix-vm: making the Wine prefix (once)"
    start=$(date +%s)
    (. scripts/wine-env.sh && korvanix_wine_prefix && wineserver -k) >"$out/prefix.log" 2>&1
    if [ -f "$WINEPREFIX/.korvanix-ready" ]; then
        tar -C /tmp -cf "$template.new" korvanix-wine && mv "$template.new" "$template"
    fi
    echo "korvanix-vm: the Wine prefix took $(( $(date +%s) - start ))s"
fi
echo "korvanix-vm: running $(head -c 200 "$out/command")"
status=0
bash "$out/command" >"$out/log" 2>&1 || status=$?
echo "$status" >"$out/status"
