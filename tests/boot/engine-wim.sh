#!/usr/bin/env bash
# The engine applies Windows images (WIM, and ESD: solid LZMS) under QEMU, started by the real boot chain
# on a disk that korvanix-diag stage prepared. The images are captured on the host, with full NTFS
# metadata, from an NTFS volume built here: Chinese names, an alternate stream, a hard link, a security
# descriptor of its own, a short name, a 100 MB file, empty folders, and Windows\Boot\PCAT\bootmgr.
#
#   engine-wim.sh ASSETS_DIR DIAG
#     boots: a WIM with one flipped byte (refused, nothing written), an edition larger than its target
#     (refused, nothing written), an image of the other Windows generation than the partition's boot code
#     (refused, nothing written), the WIM, then the ESD (the power cut half-way, the next start finishes
#     it), to the system partition. After each apply a
#     capture of the partition lists (wimlib-imagex dir --detailed) what the source's capture lists, but
#     for where the data sits in the file and what the engine adds at the root (bootmgr, Boot\, the log,
#     the root folder's times); the boot code's bytes are those from before (only the file system's
#     parameters changed), bootmgr is the image's, Boot\BCD is the one from before the job.
# Exit 0 pass, 1 fail, 77 skipped (with the reason). Under plain emulation (no KVM) about 9 minutes.
set -euo pipefail
export LC_ALL=C.UTF-8 MTOOLS_SKIP_CHECK=1
here=$(cd "$(dirname "$0")" && pwd)
assets=$(cd "$1" && pwd) diag=$(cd "$(dirname "$2")" && pwd)/$(basename "$2") case=wim
limit=${KORVANIX_ENGINE_BOOT_LIMIT:-900}
for tool in wimlib-imagex setfattr; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (scripts/setup.sh)"; exit 77; }
done

. "$here/engine-lib.sh"
p2_size=1048576   # 512 MiB: the data partition holds the WIM, the ESD and a damaged copy
p3_start=$((p2_start + p2_size))

echo "== the source: an NTFS volume, captured as a WIM and as an ESD"
truncate -s 200M source.img
mkntfs -F -Q -q -s 512 source.img 2>/dev/null
ntfs-3g -o streams_interface=windows source.img "$mnt"
(
    cd "$mnt"
    mkdir -p 用户数据/文件夹一 空的/更深的空文件夹 Windows/Boot/PCAT Windows/System32
    head -c 3000 /dev/urandom >Windows/Boot/PCAT/bootmgr
    echo kernel >Windows/System32/ntoskrnl.exe
    for f in 1 2 3; do head -c $((f * 7919)) /dev/urandom >"用户数据/文件夹一/文档 $f.txt"; done
    echo 另一条流 >'用户数据/文件夹一/文档 1.txt:秘密.流'
    ln '用户数据/文件夹一/文档 2.txt' 用户数据/硬链接.txt
    echo 长名字 >'A Rather Long File Name.txt'
    setfattr -h -n system.ntfs_dos_name -v 'ARATHE~7.TXT' 'A Rather Long File Name.txt'
    # Owner Administrators, group Users; Everyone full control (inherited by what is below), Users read.
    sd=0100048014000000240000000000000034000000                              # header
    sd=${sd}0102000000000005200000002002000001020000000000052000000021020000  # owner, group
    sd=${sd}020034000200000000031400ff011f00010100000000000100000000                # DACL, Everyone
    sd=${sd}00001800a900120001020000000000052000000021020000                  # Users
    setfattr -h -n system.ntfs_acl -v "0x$sd" 用户数据
    # 100 MiB that the solid ESD compresses to almost nothing (one random MiB a hundred times), so that
    # capturing it takes seconds; a WIM's chunks are too small to see the repeats.
    head -c 1048576 /dev/urandom >"$work/block"
    for _ in $(seq 100); do cat "$work/block"; done >大文件.bin
    rm -f "$work/block"
)
umount "$mnt"
wimlib-imagex capture source.img source.wim 'Korvanix test' --check >/dev/null
wimlib-imagex capture source.img source.esd 'Korvanix test' --solid --check >/dev/null
# details WIM: what a capture says about every file, without where its data sits in the WIM file, the
# link group's number (the position of the file's record in the MFT) and how many files of the capture
# share a stream's data (bootmgr at the root shares Windows\Boot\PCAT\bootmgr's).
details() {
    wimlib-imagex dir "$1" 1 --detailed |
        grep -v -e '^Offset in WIM' -e '^Compressed size' -e '^Part Number' -e '^Link Group ID' -e '^Reference Count'
}
details source.wim >source.details
for want in '用户数据/文件夹一/文档 1.txt' 秘密.流 '^Short Name *= "ARATHE~7.TXT"' '^Link Count *= 2' 大文件.bin \
    更深的空文件夹 01000480140000002400; do
    grep -q "$want" source.details || fail "the source lacks $want"
done
rm -f source.img
# An image of Windows XP's generation: its loader at the root, no Windows\Boot\PCAT\bootmgr.
mkdir -p xp/Windows/System32 && echo ntldr >xp/ntldr && echo kernel >xp/Windows/System32/ntoskrnl.exe
wimlib-imagex capture xp xp.wim XP --check >/dev/null
cp source.wim damaged.wim
size=$(stat -c %s damaged.wim)
byte=$(od -An -tu1 -j $((size / 2)) -N 1 damaged.wim | tr -d ' ')
printf "\\x$(printf %02x $((byte ^ 0x5a)))" | dd of=damaged.wim bs=1 seek=$((size / 2)) conv=notrunc status=none

echo "== the disk: a system partition with a Windows 7 style boot code and boot configuration"
nasm -f bin -o mbr.bin -DP1_TYPE=0x07 -DP1_START=$p1_start -DP1_SIZE=$p1_size \
    -DP2_TYPE=0x07 -DP2_START=$p2_start -DP2_SIZE=$p2_size "$here/standin-mbr.asm"
truncate -s $(( (p3_start + p3_size + 2048) * 512 )) disk.img
dd if=mbr.bin of=disk.img conv=notrunc status=none
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"; }
printf '\x12\x0f\x3c\x5a' | dd of=disk.img bs=1 seek=440 conv=notrunc status=none
{ printf '\x00\xfe\xff\xff\x07\xfe\xff\xff'; le32 $p3_start; le32 $p3_size; } | dd of=disk.img bs=1 seek=478 conv=notrunc status=none
dd if="$assets/qzrpldr.mbr" of=disk.img bs=512 seek=1 conv=notrunc status=none
sysfs=ntfs
new_fs ntfs p1.img $p1_start $p1_size
# boot_code FAMILY: a boot code of our own over mkntfs's (bytes 84-509 of the boot sector and the 15
# sectors after it), naming the loader it would start as Windows' do, so that the engine knows its family.
boot_code() {
    head -c 8192 /dev/urandom | tr -d 'BN' >code.bin
    { head -c 404 code.bin; printf 'xxxx%s is missing\0' "$1"; head -c 426 /dev/zero; } >sector0.bin
    { printf "$(echo "$1" | sed 's/./&\\x00/g')"; cat code.bin code.bin; } >rest.bin
    dd if=sector0.bin of=p1.img bs=1 seek=84 count=426 conv=notrunc status=none
    dd if=rest.bin of=p1.img bs=512 seek=1 count=15 iflag=fullblock conv=notrunc status=none
    rm -f code.bin sector0.bin rest.bin
}
boot_code BOOTMGR
ntfs-3g p1.img "$mnt"
mkdir -p "$mnt/Boot/zh-CN"
echo "the machine's boot configuration" >"$mnt/Boot/BCD"
echo "a boot manager's message file" >"$mnt/Boot/zh-CN/bootmgr.exe.mui"
umount "$mnt"
part_in 1 p1.img
new_fs ntfs p2.img $p2_start $p2_size
ntfs-3g p2.img "$mnt"
mkdir -p "$mnt/系统 映像"
cp source.wim source.esd damaged.wim xp.wim "$mnt/系统 映像/"
umount "$mnt"
part_in 2 p2.img
new_fs ntfs p3.img $p3_start $p3_size
part_in 3 p3.img
rm -f p1.img p2.img p3.img damaged.wim
dd if=disk.img of=boot-before.bin bs=512 skip=$p1_start count=16 status=none

# refused_untouched REASON: a boot whose job is refused; every partition as it was (the system partition
# loses its job and gains the log, nothing else; it has no boot configuration of the program's to put
# back yet), the disk's start-up code too.
refused_untouched() {
    local p2 p3 sys
    p2=$(hash_part 2) p3=$(hash_part 3) sys=$(system_files)
    dd if=disk.img of=mbr-before.bin bs=512 count=17 status=none
    boot FAILED
    grep -q "RESULT FAILED: .*$1" serial.log || fail "the reason is not '$1'"
    [ "$(hash_part 2)" = "$p2" ] || fail "the data partition changed"
    [ "$(hash_part 3)" = "$p3" ] || fail "the small partition changed"
    [ "$(system_files)" = "$sys" ] || fail "the system partition's files changed"
    cmp -s -n 8192 boot-before.bin <(dd if=disk.img bs=512 skip=$p1_start count=16 status=none) ||
        fail "the system partition's boot sectors changed"
    cmp -s -n 8704 disk.img mbr-before.bin || fail "the disk's start-up code changed"
}
# system_files: every file of the system partition but the log and the job, with its SHA-256.
system_files() {
    part_out 1 check.img
    ntfs-3g -o ro check.img "$mnt"
    (cd "$mnt" && find . -type f ! -iname KORVANIX.LOG ! -iname KORVANIX.JOB -print0 | sort -z | xargs -0 sha256sum)
    umount "$mnt"
    rm -f check.img
}

echo "== refusal: one flipped byte in the WIM"
stage --system 1:1 --apply '1:2\系统 映像\damaged.wim' --index 1 --to 1:1
refused_untouched "damaged"

echo "== refusal: an edition larger than the partition"
stage --system 1:1 --apply '1:2\系统 映像\source.wim' --index 1 --to 1:3
refused_untouched "smaller than edition 1"

echo "== refusal: an XP image onto a partition whose boot code starts BOOTMGR"
stage --system 1:1 --apply '1:2\系统 映像\xp.wim' --index 1 --to 1:1
refused_untouched "starts BOOTMGR"

# blocks_without REGEX: dir --detailed's entries (between lines of dashes) but those matching REGEX.
blocks_without() {
    awk -v skip="$1" 'function flush() { if (b != "" && b !~ skip) printf "%s--\n", b; b = "" }
        /^-+$/ { flush(); next } { b = b $0 "\n" } END { flush() }'
}

# applied NAME: the checks after an apply of NAME to the system partition (whose boot configuration the
# program had changed: Boot\BCD_ kept, Boot\BCD with its entry).
applied() {
    local left
    boot OK
    progress_ok apply
    part_out 1 p1.img
    cmp -s -n 11 boot-before.bin p1.img && cmp -s -i 84:84 -n 8108 boot-before.bin p1.img ||
        fail "the boot code's bytes changed"
    cmp -s -n 512 p1.img <(dd if=p1.img bs=512 skip=$((p1_size - 1)) count=1 status=none) ||
        fail "NTFS's copy of the boot sector is not the boot sector"
    cmp -s -n 84 boot-before.bin p1.img && fail "the boot sector still has the old file system's parameters"
    [ "$(ntfscat p1.img /bootmgr | sha256sum)" = "$(ntfscat p1.img /Windows/Boot/PCAT/bootmgr | sha256sum)" ] ||
        fail "bootmgr at the root is not the image's"
    [ "$(ntfscat p1.img /Boot/BCD)" = "the machine's boot configuration" ] || fail "Boot\\BCD is not the one from before"
    [ -z "$(ntfscat p1.img /Boot/BCD_ 2>/dev/null)" ] || fail "the program's copy Boot\\BCD_ is still there"
    [ -n "$(ntfscat p1.img /Boot/zh-CN/bootmgr.exe.mui)" ] || fail "the boot files from before are not all back"
    wimlib-imagex capture p1.img result.wim >/dev/null
    rm -f p1.img
    # The root folder's entry and what the engine put there are left out; the rest must be the same.
    details result.wim | blocks_without 'Full Path *= "/(bootmgr|Boot|Boot/[^"]*|KORVANIX\.LOG)?"' >result.txt
    blocks_without 'Full Path *= "/"' <source.details >source.txt
    [ "$(grep -c 'Full Path' source.txt)" -ge 14 ] || fail "the comparison lost the source's files"
    if ! diff source.txt result.txt >diff.txt; then
        head -n 40 diff.txt
        fail "the capture of the applied $1 differs from the source's"
    fi
    rm -f result.wim
    echo "-- $1: $(grep -c 'Full Path' result.txt) files and folders as in the source; boot code kept"
}

echo "== the WIM to the system partition"
on_part 1 'mv Boot/BCD Boot/BCD_ && echo "the boot configuration with the program'"'"'s one-time entry" >Boot/BCD'
stage --system 1:1 --apply '1:2\系统 映像\source.wim' --index 1 --to 1:1
applied WIM

echo "== the ESD to the system partition (its boot sectors now those the WIM's apply left), cut off half-way"
dd if=disk.img of=boot-before.bin bs=512 skip=$p1_start count=16 status=none
on_part 1 'mv Boot/BCD Boot/BCD_ && echo "the boot configuration with the program'"'"'s one-time entry" >Boot/BCD'
stage --system 1:1 --apply '1:2\系统 映像\source.esd' --index 1 --to 1:1
# The power goes while the apply writes (the disk takes 2 MB a second in this boot).
rm -f serial.txt
qemu-system-i386 -nodefaults -display none -no-reboot -m 512 -smp 2 -accel "$(accel_option)" -machine pc \
    -boot c -drive file=disk.img,format=raw,if=ide,throttling.bps-write=2097152 -serial file:serial.txt \
    -monitor none 2>qemu.err &
qemu=$!
for _ in $(seq "$limit"); do
    grep -Eq 'korvanix: progress apply ([1-9]|[1-9][0-9])%' serial.txt 2>/dev/null && break
    kill -0 $qemu 2>/dev/null || break
    sleep 1
done
kill -9 $qemu 2>/dev/null || true
wait $qemu 2>/dev/null || true
clean_serial
grep 'korvanix' serial.log | tail -n 3
grep -Eq 'korvanix: progress apply ([1-9]|[1-9][0-9])%' serial.log || fail "the apply was not under way when the power went"
grep -q 'RESULT' serial.log && fail "the apply ended before the power went"
part_out 1 p1.img
ntfs-3g -o ro p1.img "$mnt" 2>/dev/null && { umount "$mnt"; fail "the half-applied partition mounts"; }
rm -f p1.img
cmp -s -n 440 disk.img mbr-before.bin && fail "the disk's start-up code does not lead back to the engine"
echo "-- the partition cannot be mounted and the disk starts the engine again; the next start:"
applied ESD
cmp -s -n 8704 disk.img mbr-before.bin || fail "the disk's start-up code did not go back"
part_out 2 p2.img
ntfs-3g -o ro p2.img "$mnt"
left=$(cd "$mnt" && ls -d KXRESUME.JOB KXMBR.BIN KXKEEP 2>/dev/null || true)
umount "$mnt"
rm -f p2.img
[ -z "$left" ] || fail "the resume's files are still on the image partition: $left"
echo "PASS: WIM and ESD applied with every file's metadata, boot code kept; damage, size and generation refused"
