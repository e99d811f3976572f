#!/usr/bin/env bash
# The imaging engine's promises on the machines where things go wrong, under QEMU through the real boot
# chain, one boot each:
#   - a hibernated system partition is not backed up: nothing is read or written but the log, which goes
#     to the image partition since the system partition takes no writes;
#   - a backup that fails with its image on the system partition still gives the boot configuration back
#     (boot.in_ over boot.ini), removes the job and leaves its log there;
#   - a manifest with an empty digest is refused before anything is written;
#   - a job on a removable disk (a stick carried from another machine) is refused and nothing is written
#     anywhere, although the loader was started from that stick.
#   engine-safety.sh ASSETS_DIR DIAG
# Exit 0 pass, 1 fail, 77 skipped (with the reason).
set -euo pipefail
export LC_ALL=C.UTF-8 MTOOLS_SKIP_CHECK=1
here=$(cd "$(dirname "$0")" && pwd)
assets=$(cd "$1" && pwd) diag=$(cd "$(dirname "$2")" && pwd)/$(basename "$2") case=safety
limit=${KORVANIX_ENGINE_BOOT_LIMIT:-900}
. "$here/engine-lib.sh"
make_disk

# expect_reason PATTERN: the engine's result on the serial console.
expect_reason() { grep -q "RESULT FAILED: .*$1" serial.log || fail "the reason is not '$1'"; }
boot_ini='[boot loader]\r\ntimeout=30\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n'

echo "== a hibernated system partition is not backed up"
# Staged from Windows, which then hibernated (Windows 8's "shut down" with fast start-up does).
stage --system 1:1 --backup 1:1 --image '1:2\qzrpgho\休眠'
on_part 1 'head -c 65536 /dev/zero | { printf HIBR; cat; } >hiberfil.sys'
p3=$(hash_part 3)
run_qemu
expect_reason "hibernated"
part_out 1 p1.img
ntfs-3g -o ro p1.img "$mnt"
[ -f "$mnt/KORVANIX.JOB" ] || fail "the job left a hibernated partition (nothing may be written there)"
[ ! -f "$mnt/KORVANIX.LOG" ] || fail "a log was written on the hibernated partition"
umount "$mnt"
rm -f p1.img
[ "$(tree_digest 1 ntfs)" = "$before" ] || fail "the hibernated partition's files changed"
[[ "$(read_file 2 ntfs KORVANIX.LOG | tail -n 1)" == "RESULT FAILED: "*hibernated* ]] ||
    fail "the log is not on the image partition"
part_out 2 p2.img
ntfs-3g -o ro p2.img "$mnt"
[ ! -e "$mnt/qzrpgho" ] || fail "an image was written from the hibernated partition"
umount "$mnt"
rm -f p2.img
[ "$(hash_part 3)" = "$p3" ] || fail "the third partition changed"
# Windows resumed and shut down: no hibernation file; the program withdrew the job.
part_out 1 p1.img
ntfs-3g -o remove_hiberfile p1.img "$mnt"
rm -f "$mnt/KORVANIX.JOB"
umount "$mnt"
part_in 1 p1.img
rm -f p1.img
on_part 2 'rm -f KORVANIX.LOG'

echo "== a backup that fails with its image on the system partition gives Windows its start back"
# Windows XP's start: boot.ini makes the helper the default, boot.in_ is the original. A file where the
# image folder's parent should be makes the backup fail after the image partition was opened for writing.
printf '%b' "$boot_ini" | sed 's/WINDOWS/HELPER/' >boot.ini
printf '%b' "$boot_ini" >boot.in_
on_part 1 "cp '$work/boot.ini' '$work/boot.in_' . && echo not-a-folder >qzrpgho"
stage --system 1:1 --backup 1:3 --image '1:1\qzrpgho\坏'
boot FAILED
expect_reason "cannot create the image folder"
[ "$(read_file 1 ntfs boot.ini)" = "$(cat boot.in_)" ] || fail "boot.ini was not put back"
[ -z "$(read_file 1 ntfs boot.in_)" ] || fail "boot.in_ is still there"
on_part 1 'rm -f qzrpgho KORVANIX.LOG boot.ini'

echo "== a manifest with an empty digest is refused"
on_part 2 'mkdir -p 空摘要 && head -c 468 /dev/urandom >空摘要/image.pcl.zst.000 &&
    printf "korvanix-image 1\nfilesystem=ntfs\npartition=X\nsize=1048576\nseconds=1\nstream=image.pcl.zst.000 468 \nend\n" >空摘要/manifest.txt'
stage --system 1:1 --restore '1:2\空摘要' --to 1:3
p2=$(hash_part 2) p3=$(hash_part 3)
boot FAILED
expect_reason "no SHA-256 for stream"
[ "$(hash_part 2)" = "$p2" ] && [ "$(hash_part 3)" = "$p3" ] || fail "a partition changed"
[ "$(tree_digest 1 ntfs)" = "$before" ] || fail "the system partition's files changed"

echo "== a job on a removable disk is refused"
# The stick: one FAT32 partition with the loader, the engine and a job that names the first disk's system
# partition as the target; the first disk's own loader is gone, so the helper starts the stick's.
truncate -s 64M stick.img
{ printf '\x44\x33\x22\x11\x00\x00\x80\xfe\xff\xff\x0c\xfe\xff\xff'; le32 2048; le32 129024; } |
    dd of=stick.img bs=1 seek=440 conv=notrunc status=none
printf '\x55\xaa' | dd of=stick.img bs=1 seek=510 conv=notrunc status=none
truncate -s 63M stick-p1.img
mkfs.fat -F 32 -h 2048 stick-p1.img >/dev/null
printf 'korvanix-job 1\nmode=restore\nsystem=11223344:1048576\npartition=%s:%s\nimage=11223344:1048576\nfolder=/qzrpgho/X\nghost-partition=1:1\nghost-image=2:1\\qzrpgho\\X\nend\n' \
    $sig $((p1_start * 512)) >KORVANIX.JOB
mcopy -i stick-p1.img "$assets/otldr" "$assets/kxlinux" "$assets/kxinitrd" KORVANIX.JOB ::/
dd if=stick-p1.img of=stick.img bs=512 seek=2048 conv=notrunc status=none
on_part 1 'rm -f otldr'
stick=$(sha256sum stick.img | cut -d' ' -f1)
p1=$(hash_part 1) p2=$(hash_part 2) p3=$(hash_part 3)
run_qemu -device virtio-scsi-pci,id=scsi -drive file=stick.img,format=raw,if=none,id=stick \
    -device scsi-hd,drive=stick,removable=on
grep -q "korvanix: .*removable or USB disk" serial.log || fail "the job on the stick was not refused"
[ "$(hash_part 1)" = "$p1" ] && [ "$(hash_part 2)" = "$p2" ] && [ "$(hash_part 3)" = "$p3" ] ||
    fail "a partition of the fixed disk changed"
[ "$(sha256sum stick.img | cut -d' ' -f1)" = "$stick" ] || fail "the stick changed"
echo "PASS: engine safety"
