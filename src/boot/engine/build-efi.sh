#!/usr/bin/env bash
# Builds what the engine needs to start on a UEFI machine, Secure Boot on or off: Debian's signed shim,
# Debian's signed GRUB, Debian's signed amd64 kernel, and the kernel's modules as a second initramfs that
# goes after the engine's own (kxinitrd: the i386 userland, shared with BIOS machines).
#
#   build-efi.sh OUT_DIR      writes OUT_DIR/shimx64.efi, grubx64.efi, kxlinux64, kxmod64 and
#                             efi-provenance.txt
#
# The .deb files come from KORVANIX_EFI_DEBS (default /var/cache/korvanix/efi-debs, which scripts/setup.sh
# fills); a missing one is fetched there with apt-get download.
set -euo pipefail
export LC_ALL=C
here=$(cd "$(dirname "$0")" && pwd)
. "$here/debs.sh"
debs=${KORVANIX_EFI_DEBS:-/var/cache/korvanix/efi-debs}
limit=$((20 * 1024 * 1024))

die() { echo "build-efi: $*" >&2; exit 1; }
for tool in busybox zstd dpkg-deb cpio; do command -v "$tool" >/dev/null || die "$tool is missing: run scripts/setup.sh"; done

out=$1
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/korvanix-efi.XXXXXX")
trap 'rm -rf "$work"' EXIT

packages_list=$(bash "$here/packages.sh" efi-packages.txt amd64) || die "cannot list the UEFI route's packages"
mapfile -t packages <<<"$packages_list"
root=$work/pkg
unpack_debs "$debs" amd64 "$root" "$work/provenance.txt" \
    "Packages of the UEFI route (Debian, architecture amd64): name, version, SHA-256 of the .deb" "${packages[@]}" ||
    die "the UEFI route's packages are not all there"
kver=$(only_kernel "$root") || die "no single kernel among the packages"
cp "$root/usr/lib/shim/shimx64.efi.signed" "$work/shimx64.efi"
# The CD image of the signed GRUB, under the name shim loads. Both images run the same embedded start-up
# script, which reads $prefix/grub.cfg when $prefix exists and the grub.cfg beside GRUB otherwise; the
# ordinary image's prefix is \EFI\debian, where a Debian installed beside Windows keeps its own grub.cfg,
# while the CD image's is \boot\grub, which an ESP made by Windows does not have.
cp "$root/usr/lib/grub/x86_64-efi-signed/gcdx64.efi.signed" "$work/grubx64.efi"
cp "$root/boot/vmlinuz-$kver" "$work/kxlinux64"

# The modules (modules.txt) with their dependencies, signed as Debian ships them (the kernel refuses
# unsigned modules while Secure Boot is on), and the kernel's version over the i386 one's.
tree=$work/tree
copy_modules "$root" "$kver" "$here/modules.txt" "$tree"
mkdir -p "$tree/etc"
echo "$kver" >"$tree/etc/kernel-version"
find "$tree" -exec touch -h -d @946684800 {} +
(cd "$tree" && find . | sort | cpio -o -H newc -R 0:0 --reproducible --quiet) | zstd -q -19 -T0 >"$work/kxmod64"

total=0
{
    cat "$work/provenance.txt"
    for f in shimx64.efi grubx64.efi kxlinux64 kxmod64; do
        echo "$f $(stat -c %s "$work/$f") $(sha256sum "$work/$f" | cut -d' ' -f1)"
        total=$((total + $(stat -c %s "$work/$f")))
    done
} >"$work/provenance.out"
[ "$total" -le "$limit" ] || die "the UEFI files are $total bytes, over the 20 MB limit"
for f in shimx64.efi grubx64.efi kxlinux64 kxmod64; do chmod 644 "$work/$f"; mv "$work/$f" "$out/$f"; done
chmod 644 "$work/provenance.out"
mv "$work/provenance.out" "$out/efi-provenance.txt"
