#!/usr/bin/env bash
# Builds the three boot assets that Korvanix writes to the system drive, from Debian's packages and our
# own sources in this folder. Run by the build (src/boot/CMakeLists.txt); every output is reproducible.
#
#   build-assets.sh helper OUT            qzrpldr.mbr: GRUB's g2ldr.mbr searching for OTLDR
#   build-assets.sh image  OUT [KIT]      Dorv.ima: FAT12 floppy, with a DOS kit or the diagnostic one
#   build-assets.sh loader OUT IMAGE      otldr: lnxboot.img + GRUB core image with memdisk and grub.cfg
#   build-assets.sh kind   OUT [KIT]      one word: "dos" with a kit, "diagnostic" without
set -euo pipefail
export LC_ALL=C
here=$(cd "$(dirname "$0")" && pwd)
grub_dir=${KORVANIX_GRUB_DIR:-/usr/lib/grub/i386-pc}
memdisk=${KORVANIX_MEMDISK:-/usr/lib/syslinux/memdisk}

die() { echo "build-assets: $*" >&2; exit 1; }
need() { command -v "$1" >/dev/null || die "$1 is missing (package $2): run scripts/setup.sh"; }

# Reads a little-endian number of $3 bytes at offset $2 of file $1.
le() { od -An -tu"$3" -j "$2" -N "$3" --endian=little "$1" | tr -d ' '; }

build_helper() {
    local out=$1 tmp
    [ -f "$grub_dir/g2ldr.mbr" ] || die "$grub_dir/g2ldr.mbr is missing (package grub-pc-bin)"
    [ -x "$grub_dir/grub-ntldr-img" ] || die "$grub_dir/grub-ntldr-img is missing (package grub-pc-bin)"
    tmp=$(mktemp "$out.XXXXXX")
    cp "$grub_dir/g2ldr.mbr" "$tmp"
    # -o: the image is a file chain-loaded by the boot manager, -2: GRUB 2 layout, -b: the loader's name
    # (stored in the 8.3 forms for FAT and the lowercase forms for NTFS and ext2).
    "$grub_dir/grub-ntldr-img" -o -2 -b=OTLDR "$tmp" >/dev/null
    [ "$(stat -c %s "$tmp")" = 8192 ] || die "helper is not 8192 bytes"
    [ "$(od -An -tx1 -j 510 -N 2 "$tmp" | tr -d ' ')" = 55aa ] || die "helper's first sector lacks 55 AA"
    if grep -qai g2ldr "$tmp"; then die "helper still names G2LDR"; fi
    chmod 644 "$tmp"
    mv "$tmp" "$out"
}

# Our batch files: kept as UTF-8 with LF in the repository, shipped in code page 936 with CR LF.
copy_batch_files() {
    local img=$1 f tmp
    tmp=$(mktemp -d)
    for f in "$here"/dos/*; do
        iconv -f UTF-8 -t CP936 "$f" | sed 's/$/\r/' >"$tmp/$(basename "$f")"
        touch -d @946684800 "$tmp/$(basename "$f")"
    done
    MTOOLS_SKIP_CHECK=1 mcopy -o -m -i "$img" "$tmp"/* ::/
    rm -rf "$tmp"
}

build_image() {
    local out=$1 kit=${2:-} tmp
    need mcopy mtools
    tmp=$(mktemp "$out.XXXXXX")
    if [ -n "$kit" ]; then
        [ -f "$kit/floppy.ima" ] || die "DOS kit $kit has no floppy.ima (a bootable DOS floppy image)"
        local f
        for f in GHOST.EXE RESTART.COM HIMEM.SYS; do
            [ -f "$kit/files/$f" ] || die "DOS kit $kit lacks files/$f"
        done
        cp "$kit/floppy.ima" "$tmp"
        MTOOLS_SKIP_CHECK=1 mcopy -s -o -m -i "$tmp" "$kit"/files/* ::/
    else
        need mkfs.fat dosfstools
        need nasm nasm
        rm -f "$tmp"
        # A standard 1.44 MB floppy; fixed serial number, label and label time so that two builds give the
        # same bytes.
        mkfs.fat -C -F 12 -i 4B52564E -n KORVANIX --invariant "$tmp" 1440 >/dev/null
        local sector
        sector=$(mktemp)
        nasm -f bin -o "$sector" "$here/diagnostic.asm"
        # Our code and signature after the parameter block that mkfs.fat wrote (bytes 0x3E to 0x1FF).
        dd if="$sector" of="$tmp" bs=1 skip=62 seek=62 count=450 conv=notrunc status=none
        rm -f "$sector"
    fi
    copy_batch_files "$tmp"
    chmod 644 "$tmp"
    mv "$tmp" "$out"
}

build_loader() {
    local out=$1 image=$2 work spt heads total cyl
    need grub-mkimage grub-common
    [ -f "$grub_dir/lnxboot.img" ] || die "$grub_dir/lnxboot.img is missing (package grub-pc-bin)"
    [ -f "$memdisk" ] || die "$memdisk is missing (package syslinux-common)"
    # The floppy geometry memdisk reports must match the image's own parameter block, or DOS reads the
    # wrong sectors.
    spt=$(le "$image" 24 2)
    heads=$(le "$image" 26 2)
    total=$(le "$image" 19 2)
    [ "$total" != 0 ] || total=$(le "$image" 32 4)
    [ "$spt" -gt 0 ] && [ "$heads" -gt 0 ] || die "$image has no usable parameter block"
    cyl=$(( (total + spt * heads - 1) / (spt * heads) ))

    work=$(mktemp -d)
    mkdir -p "$work/tree/boot/grub"
    cp "$memdisk" "$work/tree/memdisk"
    sed -e "s/@CYLINDERS@/$cyl/" -e "s/@HEADS@/$heads/" -e "s/@SECTORS@/$spt/" \
        "$here/grub.cfg.in" >"$work/tree/boot/grub/grub.cfg"
    # Fixed order, owner and time: two builds give the same bytes.
    find "$work/tree" -exec touch -h -d @946684800 {} +
    tar --format=ustar --sort=name --owner=0 --group=0 --numeric-owner --mtime=@946684800 \
        -C "$work/tree" -cf "$work/memdisk.tar" memdisk boot
    # The prefix names no device, so GRUB sets root to the partition it was loaded from; the embedded
    # configuration keeps that as bootdev and moves on to the menu in the memdisk.
    printf '%s\n' 'set bootdev=$root' 'set prefix=(memdisk)/boot/grub' 'set root=memdisk' >"$work/early.cfg"
    grub-mkimage -O i386-pc -d "$grub_dir" -o "$work/core.img" -m "$work/memdisk.tar" -c "$work/early.cfg" -p /boot/grub \
        biosdisk part_msdos fat ntfs search linux16 linux probe memdisk tar normal test echo sleep reboot
    cat "$grub_dir/lnxboot.img" "$work/core.img" >"$work/otldr"
    mv "$work/otldr" "$out"
    rm -rf "$work"
}

case "${1:-}" in
    helper) build_helper "$2" ;;
    image) build_image "$2" "${3:-}" ;;
    loader) build_loader "$2" "$3" ;;
    kind) if [ -n "${3:-}" ]; then echo dos >"$2"; else echo diagnostic >"$2"; fi ;;
    *) die "usage: $0 helper|image|loader|kind OUT [ARG]" ;;
esac
