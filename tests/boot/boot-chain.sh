#!/usr/bin/env bash
# One boot-chain case under QEMU: a test disk whose MBR chain-loads the MBR helper as the Windows boot
# manager would, partitions holding the assets, and the DOS image (or a marker floppy in its place).
#
#   boot-chain.sh ASSETS_DIR CASE
#     fat32       assets on a FAT32 partition, marker floppy as Dorv.ima
#     ntfs        the same on NTFS
#     second      an empty first ("system reserved") partition, the assets on the second (FAT32)
#     missing     helper and loader without Dorv.ima: the loader must say so and restart the machine (an
#                 ending by crash, triple fault or time-out fails)
#     diagnostic  the built Dorv.ima itself (only when the build carries no DOS kit)
#     kit         a DOS image and loader built from a stand-in kit with a 2.88 MB floppy (36 sectors a
#                 track): the loader's geometry must follow the image's parameter block
# Exit 0 pass, 1 fail, 77 skipped (with the reason on standard output).
set -euo pipefail
export LC_ALL=C MTOOLS_SKIP_CHECK=1
here=$(cd "$(dirname "$0")" && pwd)
assets=$1 case=$2
limit=30

for tool in qemu-system-i386 nasm mkfs.fat mcopy; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
if [ "$case" = ntfs ]; then
    # ntfscp writes into an unmounted volume, so NTFS needs no FUSE here.
    for tool in mkntfs ntfscp; do
        command -v "$tool" >/dev/null || { echo "SKIP: $tool (ntfs-3g) is not installed"; exit 77; }
    done
fi
if [ "$case" = diagnostic ] && [ "$(cat "$assets/dos-kind.txt")" != diagnostic ]; then
    echo "SKIP: this build carries a DOS kit, not the diagnostic floppy"
    exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/korvanix-bootchain.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

part_start=2048
part_size=131072  # 64 MiB: large enough for FAT32

marker_floppy() {
    nasm -f bin -o marker.bin "$here/marker.asm"
    mkfs.fat -C -F 12 -i 12345678 marker.ima "${1:-1440}" >/dev/null
    dd if=marker.bin of=marker.ima bs=1 skip=62 seek=62 count=450 conv=notrunc status=none
}

# fat32_partition FILE [NAME SOURCE]...: a FAT32 file system whose boot sector knows where it starts.
fat32_partition() {
    local img=$1 start=$2
    shift 2
    mkfs.fat -C -F 32 -h "$start" "$img" $((part_size / 2)) >/dev/null
    while [ $# -gt 0 ]; do
        mcopy -i "$img" "$2" "::/$1"
        shift 2
    done
}

ntfs_partition() {
    local img=$1 start=$2
    shift 2
    truncate -s $((part_size * 512)) "$img"
    mkntfs -F -Q -q -s 512 -p "$start" -H 255 -S 63 "$img"
    while [ $# -gt 0 ]; do
        ntfscp -q "$img" "$2" "$1"
        shift 2
    done
}

# disk P1_TYPE P1_IMG [P2_TYPE P2_IMG]: the stand-in MBR, the helper after it, the partitions.
disk() {
    local defs=(-DP1_TYPE="$1" -DP1_START=$part_start -DP1_SIZE=$part_size)
    if [ $# -gt 2 ]; then
        defs+=(-DP2_TYPE="$3" -DP2_START=$((part_start + part_size)) -DP2_SIZE=$part_size)
    fi
    nasm -f bin -o mbr.bin "${defs[@]}" "$here/standin-mbr.asm"
    truncate -s $(( (part_start + 2 * part_size + 2048) * 512 )) disk.img
    dd if=mbr.bin of=disk.img conv=notrunc status=none
    dd if="$assets/qzrpldr.mbr" of=disk.img bs=512 seek=1 conv=notrunc status=none
    dd if="$2" of=disk.img bs=512 seek=$part_start conv=notrunc status=none
    if [ $# -gt 2 ]; then
        dd if="$4" of=disk.img bs=512 seek=$((part_start + part_size)) conv=notrunc status=none
    fi
}

expect=marker
case "$case" in
    fat32)
        marker_floppy
        fat32_partition p1.img $part_start qzrpldr.mbr "$assets/qzrpldr.mbr" otldr "$assets/otldr" Dorv.ima marker.ima
        disk 0x0C p1.img ;;
    ntfs)
        marker_floppy
        ntfs_partition p1.img $part_start qzrpldr.mbr "$assets/qzrpldr.mbr" otldr "$assets/otldr" Dorv.ima marker.ima
        disk 0x07 p1.img ;;
    second)
        marker_floppy
        fat32_partition p1.img $part_start
        fat32_partition p2.img $((part_start + part_size)) \
            qzrpldr.mbr "$assets/qzrpldr.mbr" otldr "$assets/otldr" Dorv.ima marker.ima
        disk 0x0C p1.img 0x0C p2.img ;;
    missing)
        fat32_partition p1.img $part_start qzrpldr.mbr "$assets/qzrpldr.mbr" otldr "$assets/otldr"
        disk 0x0C p1.img
        expect=restart ;;
    kit)
        marker_floppy 2880
        mkdir -p kit/files
        mv marker.ima kit/floppy.ima
        for f in GHOST.EXE RESTART.COM HIMEM.SYS; do echo "stand-in $f" >"kit/files/$f"; done
        script=$here/../../src/boot/assets/build-assets.sh
        "$script" image Dorv.ima kit
        "$script" loader otldr Dorv.ima
        mtype -i Dorv.ima ::/GHOST.EXE | grep -q 'stand-in GHOST.EXE' || { echo "FAIL: kit file missing"; exit 1; }
        mtype -i Dorv.ima ::/W.BAT >/dev/null || { echo "FAIL: batch files missing"; exit 1; }
        fat32_partition p1.img $part_start qzrpldr.mbr "$assets/qzrpldr.mbr" otldr otldr Dorv.ima Dorv.ima
        disk 0x0C p1.img ;;
    diagnostic)
        fat32_partition p1.img $part_start qzrpldr.mbr "$assets/qzrpldr.mbr" otldr "$assets/otldr" \
            Dorv.ima "$assets/Dorv.ima"
        disk 0x0C p1.img
        expect=diagnostic ;;
    *) echo "unknown case $case"; exit 1 ;;
esac

# -no-reboot: a restart ends QEMU, which is how a restarting loader or floppy shows itself. A crash ends it
# the same way (GRUB's own restart is a triple fault under QEMU, so the kind of reset tells nothing): what
# tells an orderly ending is the loader's message. The BIOS's serial console (sercon, its port given as a
# little-endian number; QEMU warns that the name lacks "opt/", which SeaBIOS does not look under) copies
# the screen text of the BIOS and the loader to the serial port. Only there: programs that write to the
# serial port themselves (the marker, the diagnostic floppy) would have their words twice.
sercon=()
if [ "$expect" = restart ]; then
    printf '\xf8\x03' >sercon-port
    sercon=(-fw_cfg name=etc/sercon-port,file=sercon-port)
fi
start=$(date +%s)
set +e
timeout --kill-after=5 $limit qemu-system-i386 -nodefaults -display none -no-reboot -m 64 \
    -machine pc -boot c -drive file=disk.img,format=raw,if=ide -serial file:serial.txt -monitor none \
    "${sercon[@]}" 2>qemu.err
status=$?
set -e
elapsed=$(( $(date +%s) - start ))
echo "case $case: QEMU ended with status $status after ${elapsed}s; serial output:"
# The BIOS console's cursor and colour sequences make no sense in a log.
sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' serial.txt 2>/dev/null | tr -d '\r' >serial.log || true
cat serial.log
echo

if [ $status = 124 ] || [ $status = 137 ]; then
    echo "FAIL: no restart within ${limit}s"
    exit 1
fi
if [ $status != 0 ]; then
    echo "FAIL: QEMU itself failed:"
    cat qemu.err
    exit 1
fi
case "$expect" in
    marker)
        # F0 is the media byte of a 1.44 MB floppy: the RAM floppy was readable as BIOS drive 0.
        grep -q 'KORVANIX-FLOPPY-MARKER media=F0 track=ok' serial.log || { echo "FAIL: no marker from the floppy"; exit 1; } ;;
    diagnostic)
        grep -q 'carries no DOS environment' serial.log || { echo "FAIL: no diagnostic message"; exit 1; } ;;
    restart)
        # The loader's own search names KORVANIX.JOB; what would count is the words of a booted floppy or engine.
        if grep -q -e KORVANIX- -e 'carries no DOS' -e 'korvanix:' serial.log; then echo "FAIL: something booted"; exit 1; fi
        # The loader's own words before its restart: anything else that restarted the machine was a crash.
        grep -q 'dorv.ima was not found on any hard-disk partition' serial.log ||
            { echo "FAIL: the machine restarted without the loader's not-found message"; exit 1; }
        # ... and nothing after it: the restart it announces is the one that ended the machine.
        [[ $(grep -v '^[[:space:]]*$' serial.log | tail -n 1) == *"seconds..." ]] ||
            { echo "FAIL: the machine went on after the not-found message"; exit 1; } ;;
esac
echo PASS
