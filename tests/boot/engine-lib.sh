# The imaging engine's QEMU harness, sourced by the engine's boot tests: a disk that korvanix-diag stage
# prepares as the program prepares a real machine (stand-in boot manager, MBR helper, an NTFS or FAT32
# system partition with several hundred files, an NTFS data partition, a small third partition), booted
# through the real chain. The caller sets here, assets, diag, case and limit.

for tool in qemu-system-i386 nasm mkfs.fat mcopy mkntfs ntfs-3g ntfscat; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
[ -f "$assets/kxinitrd" ] || { echo "SKIP: this build has no engine (kxinitrd)"; exit 77; }
[ -c /dev/fuse ] && [ -w /dev/fuse ] || { echo "SKIP: ntfs-3g needs /dev/fuse to build the test disk"; exit 77; }
# KVM only where it really starts the engine's kernel (some machines have a /dev/kvm that cannot).
accel=$(bash "$here/../support/kvm-probe.sh" qemu-system-i386 "$assets/kxlinux")
echo "accelerator: $accel"

work=$(mktemp -d "${TMPDIR:-/tmp}/korvanix-engine.XXXXXX")
mnt=$work/mnt
mkdir -p "$mnt"
cleanup() {
    mountpoint -q "$mnt" 2>/dev/null && umount "$mnt"
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }
accel_option() { if [ "$accel" = kvm ]; then echo kvm; else echo tcg,thread=multi; fi; }


sig=5A3C0F12
p1_start=2048 p1_size=655360             # 320 MiB: the system partition
p2_start=$((p1_start + p1_size)) p2_size=655360   # 320 MiB: the data partition with the images
p3_start=$((p2_start + p2_size)) p3_size=131072   # 64 MiB: a target too small for the system's image
fs=ntfs


# The files a user has: several hundred with Chinese names in nested folders, empty folders, a file over
# 100 MB.
make_tree() {
    local root=$1 d f
    mkdir -p "$root/用户数据"
    for d in $(seq 1 20); do
        mkdir -p "$root/用户数据/文件夹$d"
        for f in $(seq 1 15); do
            head -c $(( (d * 977 + f * 131) % 20000 )) /dev/urandom >"$root/用户数据/文件夹$d/文档 $f.txt"
        done
    done
    mkdir -p "$root/用户数据/空文件夹" "$root/空的/更深的空文件夹"
    head -c $((101 * 1024 * 1024)) /dev/urandom >"$root/大文件.bin"
}

# digest DIR: the folders and the SHA-256 of every file of the user's tree.
digest() {
    (cd "$1" && find 用户数据 空的 -type d | sort && find 用户数据 空的 大文件.bin -type f -print0 | sort -z |
        xargs -0 sha256sum)
}

part_out() {  # N FILE: partition N of the disk as a file of its own
    local start=p$1_start size=p$1_size
    dd if=disk.img of="$2" bs=512 skip=${!start} count=${!size} conv=sparse status=none
}
part_in() {
    local start=p$1_start
    dd if="$2" of=disk.img bs=512 seek=${!start} conv=notrunc,sparse status=none
}

new_fs() {  # KIND FILE START SIZE
    rm -f "$2"
    truncate -s $(($4 * 512)) "$2"
    if [ "$1" = ntfs ]; then mkntfs -F -Q -q -s 512 -p "$3" -H 255 -S 63 "$2" 2>/dev/null
    else mkfs.fat -F 32 -h "$3" "$2" >/dev/null; fi
}

# tree_digest N KIND: the digest of partition N's user tree, read from a copy of the partition.
tree_digest() {
    part_out "$1" check.img
    if [ "$2" = ntfs ]; then
        ntfs-3g -o ro check.img "$mnt"
        digest "$mnt"
        umount "$mnt"
    else
        rm -rf fat-tree && mkdir fat-tree
        mcopy -s -n -i check.img '::/*' fat-tree/
        digest fat-tree
    fi
    rm -f check.img
}

# read_file N KIND NAME: a root file of partition N, empty output when it is not there.
read_file() {
    part_out "$1" check.img
    if [ "$2" = ntfs ]; then ntfscat check.img "/$3" 2>/dev/null || true
    else mtype -i check.img "::/$3" 2>/dev/null | tr -d '\r' || true; fi
    rm -f check.img
}

# run_qemu [QEMU ARGS...]: starts the disk (and whatever the arguments add) until the engine restarts;
# serial.log is what it said, without colours. Fails on a hang or a crash.
run_qemu() {
    local status start
    start=$(date +%s)
    set +e
    timeout --kill-after=5 "$limit" qemu-system-i386 -nodefaults -display none -no-reboot -m 512 -smp 2 \
        -accel "$(accel_option)" -machine pc -boot c -drive file=disk.img,format=raw,if=ide -serial file:serial.txt \
        -monitor none "$@" 2>qemu.err
    status=$?
    set -e
    clean_serial
    echo "-- boot ($accel): QEMU ended with $status after $(( $(date +%s) - start ))s; engine's words:"
    grep 'korvanix' serial.log || tail -n 20 serial.log
    [ $status != 124 ] && [ $status != 137 ] || fail "no restart within ${limit}s"
    [ $status = 0 ] || { cat qemu.err; fail "QEMU itself failed"; }
    grep -q "korvanix: restarting" serial.log || fail "the engine did not reach its restart (a crash?)"
}
clean_serial() { tr -d '\r' <serial.txt | sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' >serial.log; }

# boot EXPECT: starts the disk; EXPECT is OK or FAILED, checked in the log on the system partition, which
# must no longer hold the job.
boot() {
    run_qemu
    local log last
    log=$(read_file 1 "$sysfs" KORVANIX.LOG)
    last=$(printf '%s\n' "$log" | tail -n 1)
    if [ "$1" = OK ] && [ "$last" != "RESULT OK" ]; then
        echo "-- the engine's log:"
        printf '%s\n' "$log" | tail -n 40
    fi
    case $1 in
        OK) [ "$last" = "RESULT OK" ] || fail "the log ends with '$last', not RESULT OK" ;;
        FAILED) [[ $last == "RESULT FAILED: "* ]] || fail "the log ends with '$last', not RESULT FAILED" ;;
    esac
    echo "-- log: $last"
    [ -z "$(read_file 1 "$sysfs" KORVANIX.JOB)" ] || fail "the job is still on the system partition"
}

stage() { "$diag" stage disk.img --assets "$assets" "$@" >/dev/null || fail "stage $* failed"; }

make_disk() {  # the disk, its partitions and the user's files; sets sysfs and before
    # The disk: the stand-in boot manager and the helper, the partitions, a disk signature.
    nasm -f bin -o mbr.bin -DP1_TYPE=0x07 -DP1_START=$p1_start -DP1_SIZE=$p1_size \
        -DP2_TYPE=0x07 -DP2_START=$p2_start -DP2_SIZE=$p2_size "$here/standin-mbr.asm"
    truncate -s $(( (p3_start + p3_size + 2048) * 512 )) disk.img
    dd if=mbr.bin of=disk.img conv=notrunc status=none
    le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"; }
    { printf '\x12\x0f\x3c\x5a'; } | dd of=disk.img bs=1 seek=440 conv=notrunc status=none
    { printf '\x00\xfe\xff\xff\x07\xfe\xff\xff'; le32 $p3_start; le32 $p3_size; } | dd of=disk.img bs=1 seek=478 conv=notrunc status=none
    dd if="$assets/qzrpldr.mbr" of=disk.img bs=512 seek=1 conv=notrunc status=none

    sysfs=ntfs
    [ "$fs" = fat32 ] && sysfs=fat
    if [ "$fs" = fat32 ]; then
        printf '\x0c' | dd of=disk.img bs=1 seek=$((446 + 4)) conv=notrunc status=none
        new_fs fat p1.img $p1_start $p1_size
        make_tree tree
        mcopy -s -i p1.img tree/* ::/
    else
        new_fs ntfs p1.img $p1_start $p1_size
        ntfs-3g p1.img "$mnt"
        make_tree "$mnt"
        umount "$mnt"
    fi
    part_in 1 p1.img
    new_fs ntfs p2.img $p2_start $p2_size
    part_in 2 p2.img
    new_fs ntfs p3.img $p3_start $p3_size
    part_in 3 p3.img
    rm -f p1.img p2.img p3.img
    before=$(tree_digest 1 $sysfs)
    [ "$(echo "$before" | grep -c 文档)" = 300 ] || fail "the test tree was not built"
}

# hash_part N: the SHA-256 of partition N's bytes.
hash_part() { part_out "$1" h.img; sha256sum h.img | cut -d' ' -f1; rm -f h.img; }

# raw_job TEXT: a job file in the words given (printf %b) on the system partition, for what korvanix-diag
# stage itself refuses to write. NAME (default KORVANIX.JOB) is its file name.
raw_job() {
    printf '%b' "$1" >job.txt
    part_out 1 p1.img
    ntfscp -q -f p1.img job.txt "${2:-KORVANIX.JOB}"
    part_in 1 p1.img
    rm -f p1.img job.txt
}

# on_part N COMMAND: runs COMMAND in partition N's NTFS file system, mounted read-write at $mnt.
on_part() {
    part_out "$1" p.img
    ntfs-3g p.img "$mnt"
    (cd "$mnt" && eval "$2")
    umount "$mnt"
    part_in "$1" p.img
    rm -f p.img
}

# progress_ok KIND: the serial log holds KIND's progress lines no more than 2 seconds apart (the engine puts
# its uptime at the end of each serial line), their percents never going down and ending at 100.
progress_ok() {
    awk -v kind="$1" '
        index($0, "korvanix: progress " kind " ") == 1 {
            split($4, p, "%"); pct = p[1] + 0
            t = $NF; gsub(/[\[\]s]/, "", t); t += 0
            if (n++ && t - last > 2.0) gaps = gaps sprintf(" %.1fs", t - last)
            if (pct < high) down = 1
            if (pct > high) high = pct
            last = t; final = pct
        }
        END {
            if (n < 3) { print "only " n " " kind " progress lines"; exit 1 }
            if (gaps != "") { print kind " progress lines further apart than 2 s:" gaps; exit 1 }
            if (down) { print "a " kind " percent went down"; exit 1 }
            if (final != 100) { print kind " progress ends at " final "%"; exit 1 }
            printf "%s: %d progress lines, at most 2 s apart, up to 100%%\n", kind, n
        }' serial.log || fail "the $1 progress is not what a person must see"
}

# result_held: the result line stays at least 15 seconds before the restart.
result_held() {
    awk 'index($0, "korvanix: RESULT") == 1 { r = $NF } index($0, "korvanix: restarting") == 1 { s = $NF }
        END { gsub(/[\[\]s]/, "", r); gsub(/[\[\]s]/, "", s); if (r == "" || s - r < 15) exit 1
              printf "the result stayed %.0f s before the restart\n", s - r }' serial.log ||
        fail "the result was not held 15 seconds before the restart"
}
