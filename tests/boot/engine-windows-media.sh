#!/usr/bin/env bash
# Optional: a real Windows 7 or 8 installation image applied by the engine, then started until Windows'
# own setup runs. Skipped at once unless KORVANIX_WINDOWS_MEDIA names the image.
#
#   KORVANIX_WINDOWS_MEDIA=path/to/install.wim (or install.esd)   the medium's sources\install.wim
#   KORVANIX_WINDOWS_DISK=path/to/disk.img    a disk on which that Windows was installed once (a BIOS
#                                             machine, MBR partitions); raw, or qcow2 where qemu-img is
#   KORVANIX_WINDOWS_INDEX=1          the edition to apply
#   KORVANIX_WINDOWS_WAIT=600         seconds Windows runs before the screenshot (plain emulation is slow)
#   KORVANIX_WINDOWS_MEMORY=2048      MiB of the Windows machine
#   KORVANIX_SCREENSHOTS=DIR          where the screenshot goes (default: the folder the test runs in)
#   KORVANIX_ENGINE_BOOT_LIMIT=7200   seconds the engine may take for the apply
#   engine-windows-media.sh ASSETS_DIR DIAG
#
# The disk: install Windows 7 or 8 once from its medium into a QEMU disk (e.g. qemu-img create -f qcow2
# win7.qcow2 25G, then qemu-system-x86_64 -m 2048 -hda win7.qcow2 -cdrom win7.iso -boot d), let its setup
# partition the disk as it likes (a 100 MB "System Reserved" partition and C:, or C: alone), and shut it
# down after the first desktop (Windows 8: a full shutdown, shutdown /s /t 0, not the fast start's
# hibernation). The disk then carries what no Debian package writes: Windows' MBR, the
# NTFS boot code that starts BOOTMGR, bootmgr and Boot\BCD naming C: by disk signature and offset.
# The disk is never written: the test works on a sparse raw copy (korvanix-diag stage writes raw disks)
# in TMPDIR, which needs room for the disk's used space and the image twice.
#
# Steps: the copy gets a partition of its own after the last one holding the image (as
# \sources\install.wim, or .esd); the MBR's code is, for one start, the stand-in for the boot manager's
# one-time entry (as in the other engine tests), with the MBR helper behind it; korvanix-diag stage writes
# the apply job (system partition: the active one; target: KORVANIX_WINDOWS_TARGET=P, default the last
# partition before the image's); one boot of the engine, whose log must end in RESULT OK; Windows' MBR
# back; one start of the disk as Windows starts; after KORVANIX_WINDOWS_WAIT seconds a screenshot through
# QEMU's monitor (PNG when ImageMagick's convert is there, else PPM); Windows asked to shut down (the power
# button) and QEMU stopped after two minutes at most; the target partition
# must show that Windows' setup ran: one of Windows\Panther\*.log or Windows\inf\setupapi*.log appeared or
# grew. Exit 0 pass, 1 fail, 77 skipped.
set -euo pipefail
[ -n "${KORVANIX_WINDOWS_MEDIA:-}" ] || { echo "SKIP: no KORVANIX_WINDOWS_MEDIA (Windows' install.wim)"; exit 77; }
export LC_ALL=C.UTF-8 MTOOLS_SKIP_CHECK=1
here=$(cd "$(dirname "$0")" && pwd)
assets=$(cd "$1" && pwd) diag=$(cd "$(dirname "$2")" && pwd)/$(basename "$2") case=windows-media
limit=${KORVANIX_ENGINE_BOOT_LIMIT:-7200}
media=$(realpath "$KORVANIX_WINDOWS_MEDIA") index=${KORVANIX_WINDOWS_INDEX:-1}
wait_s=${KORVANIX_WINDOWS_WAIT:-600} memory=${KORVANIX_WINDOWS_MEMORY:-2048}
shots=$(realpath "${KORVANIX_SCREENSHOTS:-$PWD}")
[ -f "$media" ] || { echo "FAIL: KORVANIX_WINDOWS_MEDIA: no file $media"; exit 1; }
if [ -z "${KORVANIX_WINDOWS_DISK:-}" ] || [ ! -f "$KORVANIX_WINDOWS_DISK" ]; then
    echo "FAIL: KORVANIX_WINDOWS_DISK must name a disk image on which Windows 7 or 8 was installed (see $0)"
    exit 1
fi
windisk=$(realpath "$KORVANIX_WINDOWS_DISK")
for tool in wimlib-imagex qemu-system-x86_64; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (scripts/setup.sh)"; exit 77; }
done
mkdir -p "$shots"

. "$here/engine-lib.sh"
winqemu='' reader=''
trap 'kill $winqemu $reader 2>/dev/null || true; cleanup' EXIT
ext=${media##*.}
ext=$(echo "$ext" | tr A-Z a-z)

echo "== the image: edition $index of $media"
wimlib-imagex info "$media" "$index" >wim.info || fail "the image has no edition $index"
grep -E '^(Name|Description|Architecture|Total Bytes):' wim.info || true

echo "== a raw copy of $windisk"
if [ "$(head -c 4 "$windisk" | od -An -tx1 | tr -d ' ')" = 514649fb ]; then
    command -v qemu-img >/dev/null || { echo "SKIP: a qcow2 disk needs qemu-img (Debian's qemu-utils)"; exit 77; }
    qemu-img convert -f qcow2 -O raw "$windisk" disk.img
else
    cp --sparse=always "$windisk" disk.img
fi
table=$(od -An -v -tx1 -j 446 -N 66 disk.img | tr -d ' \n')
[ "${table:128:4}" = 55aa ] || fail "the disk has no MBR"
# The partition table: type, start and size of the four entries; the designators count the used ones.
le32_at() { od -An -tu4 -j "$1" -N 4 disk.img | tr -d ' '; }
used=0 free_slot='' active='' last_end=0 last=''
for i in 0 1 2 3; do
    type=${table:$((i * 32 + 8)):2}
    if [ "$type" = 00 ]; then [ -n "$free_slot" ] || free_slot=$i; continue; fi
    [ "$type" != ee ] || fail "the disk is GPT (a UEFI installation); this test starts Windows from an MBR disk"
    used=$((used + 1))
    start=$(le32_at $((446 + i * 16 + 8))) size=$(le32_at $((446 + i * 16 + 12)))
    eval "p${used}_start=$start p${used}_size=$size"
    [ "${table:$((i * 32)):2}" != 80 ] || active=$used
    [ $((start + size)) -le "$last_end" ] || last_end=$((start + size))
    last=$used
    [ "$start" -ge 17 ] || fail "partition $used starts at sector $start, inside the MBR helper's sectors"
done
[ -n "$active" ] || fail "no partition is active: Windows was not installed to this disk"
[ -n "$free_slot" ] || fail "the partition table has no free entry for the image's partition"
target=${KORVANIX_WINDOWS_TARGET:-$last}
eval "[ -n \"\${p${target}_start:-}\" ]" || fail "the disk has no partition $target"
echo "-- system partition 1:$active, target 1:$target"

echo "== the image's partition after the last one"
wim_sectors=$(( ($(stat -c %s "$media") / 512 + 131072 + 2047) / 2048 * 2048 ))
img_start=$(( (last_end + 2047) / 2048 * 2048 ))
truncate -s $(( (img_start + wim_sectors + 2048) * 512 )) disk.img
imgpart=1   # its designator: one after the used entries before its slot
for i in $(seq 0 $((free_slot - 1))); do [ "${table:$((i * 32 + 8)):2}" = 00 ] || imgpart=$((imgpart + 1)); done
le32() {
    local b
    for b in 0 8 16 24; do printf "\\x$(printf %02x $(($1 >> b & 255)))"; done
}
{ printf '\x00\xfe\xff\xff\x07\xfe\xff\xff'; le32 $img_start; le32 $wim_sectors; } |
    dd of=disk.img bs=1 seek=$((446 + free_slot * 16)) conv=notrunc status=none
rm -f img.part && truncate -s $((wim_sectors * 512)) img.part
mkntfs -F -Q -q -s 512 -p $img_start -H 255 -S 63 img.part 2>/dev/null
ntfs-3g img.part "$mnt"
mkdir -p "$mnt/sources"
cp "$media" "$mnt/sources/install.$ext"
umount "$mnt"
dd if=img.part of=disk.img bs=1M seek=$((img_start * 512)) oflag=seek_bytes conv=notrunc,sparse status=none
rm -f img.part
echo "-- partition 1:$imgpart, $((wim_sectors / 2048)) MiB"

# part_copy N FILE: partition N as a file of its own, in large blocks (system partitions are big).
part_copy() {
    local start=p$1_start size=p$1_size
    dd if=disk.img of="$2" bs=1M skip=$((${!start} * 512)) count=$((${!size} * 512)) \
        iflag=skip_bytes,count_bytes conv=sparse status=none
}
# setup_logs FILE TITLE: the sizes and names of the logs Windows' setup writes on the target partition.
setup_logs() {
    part_copy "$target" t.img
    ntfs-3g -o ro t.img "$mnt" || fail "the target partition does not mount"
    (cd "$mnt" && find Windows/Panther Windows/inf -maxdepth 1 -type f \( -ipath 'Windows/Panther/*.log' \
        -o -ipath 'Windows/inf/setupapi*.log' \) -printf '%s %p\n' 2>/dev/null | sort -k 2,2) >"$1" || true
    umount "$mnt"
    echo "-- $2: $([ -s "$1" ] && tr '\n' ' ' <"$1" || echo none)"
    rm -f t.img
}

echo "== the job, and the stand-in for the boot manager's one-time entry in the MBR"
dd if=disk.img of=mbr-windows.bin bs=512 count=17 status=none
nasm -f bin -o mbr.bin -DP1_TYPE=0x07 -DP1_START=2048 -DP1_SIZE=2048 -DP2_TYPE=0x07 -DP2_START=4096 \
    -DP2_SIZE=2048 "$here/standin-mbr.asm"
dd if=mbr.bin of=disk.img bs=1 count=440 conv=notrunc status=none
dd if="$assets/qzrpldr.mbr" of=disk.img bs=512 seek=1 conv=notrunc status=none
stage --system "1:$active" --apply "1:$imgpart\\sources\\install.$ext" --index "$index" --to "1:$target"

echo "== the engine applies the image (limit ${limit}s)"
run_qemu
grep -q 'korvanix: RESULT OK' serial.log ||
    fail "the engine did not report RESULT OK: $(grep -m 1 'korvanix: RESULT' serial.log || echo 'no result')"
part_copy "$active" s.img
log=$(ntfscat s.img /KORVANIX.LOG 2>/dev/null || true)
[ "$(printf '%s\n' "$log" | tail -n 1)" = "RESULT OK" ] ||
    fail "the log on the system partition does not end in RESULT OK"
[ -z "$(ntfscat s.img /KORVANIX.JOB 2>/dev/null)" ] || fail "the job is still on the system partition"
[ -n "$(ntfscat s.img /bootmgr 2>/dev/null | head -c 1)" ] || fail "the system partition has no bootmgr"
[ -n "$(ntfscat s.img /Boot/BCD 2>/dev/null | head -c 1)" ] || fail "the system partition has no Boot\\BCD"
rm -f s.img
cmp -s -n 440 disk.img mbr.bin || fail "the engine did not put the disk's start-up code back"
# Windows' MBR and the sectors after it as they were before the job (with the image's partition).
dd if=mbr-windows.bin of=disk.img conv=notrunc status=none
setup_logs before.txt "setup logs on the applied partition before Windows starts"

echo "== Windows starts ($accel, ${memory} MiB); a screenshot after ${wait_s}s"
rm -f mon.in mon.out && mkfifo mon.in mon.out
# The most capable processor QEMU offers: Windows 8 needs NX, PAE, SSE2 and, as x64, CMPXCHG16B.
qemu-system-x86_64 -nodefaults -machine pc -accel "$(accel_option)" -cpu max -m "$memory" -smp 2 -vga std \
    -display none -boot c -drive file=disk.img,format=raw,if=ide -monitor pipe:mon 2>qemu-win.err &
winqemu=$!
# Both ends opened read-write: neither side waits for the other, even when QEMU did not start.
exec 3<>mon.in
cat <>mon.out >monitor.log &
reader=$!
for _ in $(seq "$wait_s"); do kill -0 $winqemu 2>/dev/null || break; sleep 1; done
kill -0 $winqemu 2>/dev/null || { cat qemu-win.err; fail "QEMU ended before the screenshot"; }
echo "screendump $work/screen.ppm" >&3
for _ in $(seq 30); do [ -s screen.ppm ] && break; sleep 1; done
sleep 2
# Shut down as the power button does, so that Windows writes what it holds; then QEMU ends in any case.
echo system_powerdown >&3
for _ in $(seq 120); do kill -0 $winqemu 2>/dev/null || break; sleep 1; done
kill -0 $winqemu 2>/dev/null && echo quit >&3
exec 3>&-
wait $winqemu || true
kill $reader 2>/dev/null || true
winqemu='' reader=''
[ -s screen.ppm ] || fail "no screenshot"
shot=$shots/windows-media-setup.png
if ! command -v convert >/dev/null || ! convert screen.ppm "$shot"; then
    shot=${shot%.png}.ppm
    cp screen.ppm "$shot"
fi
echo "-- screenshot: $shot"

setup_logs after.txt "setup logs after"
grew=$(join -1 2 -2 2 -a 2 -e 0 -o 2.2,1.1,2.1 before.txt after.txt | awk '$3 > $2 { print $1 }')
[ -n "$grew" ] || fail "no log of Windows' setup appeared or grew: its setup did not run (see the screenshot)"
echo "PASS: edition $index applied by the engine; Windows' setup ran and wrote $(echo "$grew" | tr '\n' ' ')"
