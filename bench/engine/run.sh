#!/usr/bin/env bash
# The engine's backup and restore steps against the bare pipelines they are built on, side by side in one
# run and in the same place: the engine's own scripts and i386 userland (its initramfs unpacked, run in a
# chroot) against the host's `partclone.ntfs -c | zstd -q -T0 -3` and `zstd -d | partclone.restore`, on the
# same 1 GiB NTFS file with about 512 MB in use (200 MB random, 200 MB text, 3,000 small files).
#   bench/engine/run.sh [HOST_BUILD_DIR] [RUNS]     (default: build/host, which builds the engine; 3 runs)
# The engine's backup includes what makes it an engine backup: the source's hibernation check, the SHA-256
# of every piece as it is written and the manifest; its restore includes the check of every stream's size
# and SHA-256 before the first write. Where this kernel runs no 32-bit code, the script runs itself inside
# the project's QEMU VM (tests/vm/run.sh), where both sides are slowed alike. Must run as root (chroot,
# mounts). Prints each run's times, the medians, the image sizes and the ratios.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/host}" && pwd)
runs=${2:-3}
initrd=$build/boot-assets/kxinitrd
[ -f "$initrd" ] || { echo "no engine in $build (build the host preset first)"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/korvanix-bench.XXXXXX")
eroot=$work/root
cleanup() {
    for m in "$eroot/data" "$eroot/dev" "$eroot/sys" "$eroot/proc" "$eroot/run/img" "$work/mnt"; do
        mountpoint -q "$m" 2>/dev/null && umount -l "$m"
    done
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$eroot" "$work/mnt"
zstd -dc "$initrd" | (cd "$eroot" && busybox cpio -i -d 2>/dev/null)

if ! "$eroot/bin/busybox" true 2>/dev/null; then
    echo "this kernel runs no 32-bit code: running the comparison inside the project's QEMU VM"
    cleanup
    trap - EXIT
    exec bash "$root/tests/vm/run.sh" bash bench/engine/run.sh "$build" "$runs"
fi

# The source: a 1 GiB NTFS file, about 512 MB in use.
data=$work/data
mkdir -p "$data"
truncate -s 1G "$data/src.img"
mkntfs -F -Q -q "$data/src.img" 2>/dev/null
ntfs-3g "$data/src.img" "$work/mnt"
head -c $((200 * 1024 * 1024)) /dev/urandom >"$work/mnt/random.bin"
head -c $((200 * 1024 * 1024)) < <(yes "第 0123456789 行：一台电脑的用户文件，可以压缩的文字。") >"$work/mnt/text.txt"
for d in $(seq 1 30); do
    mkdir -p "$work/mnt/files/$d"
    for f in $(seq 1 100); do head -c $(( (d * 977 + f * 4093) % 70000 )) /dev/urandom >"$work/mnt/files/$d/$f.dat"; done
done
umount "$work/mnt"
# Where the images go: a second NTFS file, as the engine writes to an NTFS image partition.
truncate -s 3G "$data/images.img"
mkntfs -F -Q -q "$data/images.img" 2>/dev/null
truncate -s 1G "$data/target.img"

mkdir -p "$eroot/data" "$eroot/run/img" "$eroot/run/chk" "$eroot/run/dm" "$eroot/run/sys"
mount --bind "$data" "$eroot/data"
mount --bind /dev "$eroot/dev"
mount -t proc proc "$eroot/proc"
mount -t sysfs sys "$eroot/sys"

# engine STEP: one of the engine's steps, through its own scripts, in its own userland.
engine() {
    chroot "$eroot" /bin/sh -c '
        export PATH=/bin:/sbin LC_ALL=C TMPDIR=/run OPENSSL_CONF=/dev/null
        . /bin/job.sh; . /bin/disks.sh; . /bin/image.sh; . /bin/restore.sh; . /bin/progress.sh
        LOG=/run/bench.log
        say() { echo "$*" >>"$LOG"; }
        show() { :; }
        fail() { echo "FAILED: $1" >&2; return 1; }
        JOB_FOLDER=/bench JOB_PARTITION=5A3C0F12:1048576 JOB_GHOST_PARTITION=1:1 JOB_GHOST_IMAGE=1:2\\bench
        case $1 in
            backup) backup /data/src.img /data/images.img ;;
            restore)
                mount_part /data/images.img /run/img ro || exit 1
                verify_image /run/img/bench /data/target.img && write_streams /data/target.img
                status=$?
                umount /run/img
                exit $status ;;
        esac' sh "$1"
}
now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
median() { tr ' ' '\n' | grep -v '^$' | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

eb= hb= er= hr= rb= rr=
for i in $(seq 1 "$runs"); do
    sync; echo 3 >/proc/sys/vm/drop_caches 2>/dev/null || true
    t=$(now); engine backup; e=$(seconds "$t" "$(now)")
    sync; echo 3 >/proc/sys/vm/drop_caches 2>/dev/null || true
    # The bare pipeline writes where the engine does: a file on the NTFS image partition, through ntfs-3g,
    # synced before the clock stops (the engine syncs before it calls a backup done).
    t=$(now); ntfs-3g "$data/images.img" "$work/mnt"
    partclone.ntfs -c -s "$data/src.img" -o - -L "$work/pc.log" 2>/dev/null | zstd -q -T0 -3 >"$work/mnt/host.zst"
    sync; umount "$work/mnt"
    h=$(seconds "$t" "$(now)")
    sync; echo 3 >/proc/sys/vm/drop_caches 2>/dev/null || true
    t=$(now); engine restore; sync; er1=$(seconds "$t" "$(now)")
    sync; echo 3 >/proc/sys/vm/drop_caches 2>/dev/null || true
    t=$(now); ntfs-3g -o ro "$data/images.img" "$work/mnt"
    zstd -q -d -c "$work/mnt/host.zst" | partclone.restore -s - -O "$data/target.img" -L "$work/pr.log" >/dev/null 2>&1
    sync; umount "$work/mnt"
    hr1=$(seconds "$t" "$(now)")
    echo "run $i: backup engine ${e}s, bare ${h}s; restore engine ${er1}s, bare ${hr1}s"
    eb="$eb $e" hb="$hb $h" er="$er $er1" hr="$hr $hr1"
    # Each run's own ratio too: the write-back of a sync makes single times jump by about two seconds.
    rb="$rb $(awk -v a="$e" -v b="$h" 'BEGIN { printf "%.3f", a / b }')"
    rr="$rr $(awk -v a="$er1" -v b="$hr1" 'BEGIN { printf "%.3f", a / b }')"
done

ntfs-3g -o ro "$data/images.img" "$work/mnt"
engine_bytes=$(awk '/^stream=/ { s += $2 } END { printf "%d", s }' "$work/mnt/bench/manifest.txt")
host_bytes=$(stat -c %s "$work/mnt/host.zst")
umount "$work/mnt"
in_use=$(ntfsinfo -m "$data/src.img" 2>/dev/null | awk -F': *' '/Free Clusters/ { free = $2 } /Cluster Size/ { size = $2 }
    /Volume Size in Clusters/ { total = $2 } END { printf "%d", (total - free) * size / 1048576 }')
meb=$(echo "$eb" | median) mhb=$(echo "$hb" | median) mer=$(echo "$er" | median) mhr=$(echo "$hr" | median)
echo
echo "1 GiB NTFS, $in_use MB in use; $(nproc) cores; the engine's i386 userland in a chroot, the host's amd64 tools; medians of $runs"
awk -v e="$meb" -v h="$mhb" 'BEGIN { printf "backup:  engine %.2fs, bare pipeline %.2fs, ratio %.2f (aim <= 1.1)\n", e, h, e / h }'
awk -v e="$mer" -v h="$mhr" 'BEGIN { printf "restore: engine %.2fs (check included), bare pipeline %.2fs, ratio %.2f (aim <= 1.2)\n", e, h, e / h }'
echo "median of each run's own ratio: backup $(echo "$rb" | median), restore $(echo "$rr" | median)"
awk -v e="$engine_bytes" -v h="$host_bytes" 'BEGIN { printf "image:   engine %d bytes, bare pipeline %d bytes, ratio %.4f (aim <= 1.01)\n", e, h, e / h }'
