#!/usr/bin/env bash
# Builds the imaging engine the loader starts when it finds a job: Debian's i386 kernel and an initramfs
# with busybox, partclone, ntfs-3g, wimlib and zstd (and the libraries they load) around our init script.
#
#   build-engine.sh OUT_DIR      writes OUT_DIR/kxlinux, OUT_DIR/kxinitrd and OUT_DIR/engine-provenance.txt
#
# The .deb files come from KORVANIX_ENGINE_DEBS (default /var/cache/korvanix/engine-debs, which
# scripts/setup.sh fills); a missing one is fetched there with apt-get download.
set -euo pipefail
export LC_ALL=C
here=$(cd "$(dirname "$0")" && pwd)
. "$here/debs.sh"
debs=${KORVANIX_ENGINE_DEBS:-/var/cache/korvanix/engine-debs}
limit=$((25 * 1024 * 1024))

die() { echo "build-engine: $*" >&2; exit 1; }
need() { command -v "$1" >/dev/null || die "$1 is missing (package $2): run scripts/setup.sh"; }
need readelf binutils
need busybox busybox-static
need zstd zstd
need dpkg-deb dpkg
need cpio cpio

out=$1
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/korvanix-engine.XXXXXX")
trap 'rm -rf "$work"' EXIT

packages_list=$(bash "$here/packages.sh") || die "cannot list the engine's packages"
mapfile -t packages <<<"$packages_list"
# Unpack every package; record what was used.
root=$work/pkg
unpack_debs "$debs" i386 "$root" "$work/provenance.txt" \
    "Packages of this engine build (Debian, architecture i386): name, version, SHA-256 of the .deb" "${packages[@]}" ||
    die "the engine's packages are not all there"
kver=$(only_kernel "$root") || die "no single kernel among the packages"

tree=$work/tree
mkdir -p "$tree"/{bin,sbin,lib,dev,proc,sys,run,tmp,mnt,etc}
cp "$root/bin/busybox" "$tree/bin/busybox"
# Programs the init script runs; their libraries follow.
programs=(usr/sbin/partclone.ntfs usr/sbin/partclone.fat usr/sbin/partclone.restore usr/sbin/partclone.info
    bin/ntfs-3g bin/ntfsfix usr/bin/zstd sbin/dmsetup usr/bin/openssl usr/bin/wimlib-imagex sbin/mkntfs)
for p in "${programs[@]}"; do cp "$root/$p" "$tree/bin/"; done
# wimlib's libxml2 without ICU, built from Debian's source (build-libxml2.sh), in place of Debian's binary.
bash "$here/build-libxml2.sh" "$root/usr/lib/i386-linux-gnu" >>"$work/provenance.txt" ||
    die "cannot build libxml2 for the engine"

# The dynamic loader and every library a program needs, found by name in the unpacked packages.
libdir=lib/i386-linux-gnu
mkdir -p "$tree/$libdir"
cp -L "$root/lib/ld-linux.so.2" "$tree/lib/ld-linux.so.2"
# glibc loads libgcc_s itself when a thread ends (pthread_exit unwinds): no NEEDED entry names it.
cp -L "$(find "$root/lib/i386-linux-gnu" "$root/usr/lib/i386-linux-gnu" -name libgcc_s.so.1 | head -n 1)" "$tree/$libdir/"
queue=("$tree"/bin/* "$tree/$libdir/libgcc_s.so.1")
while [ ${#queue[@]} -gt 0 ]; do
    f=${queue[0]}
    queue=("${queue[@]:1}")
    for lib in $(readelf -d "$f" 2>/dev/null | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
        [ -e "$tree/$libdir/$lib" ] && continue
        src=$(find "$root/lib/i386-linux-gnu" "$root/usr/lib/i386-linux-gnu" -name "$lib" 2>/dev/null | head -n 1)
        [ -n "$src" ] || die "no package provides $lib (needed by $(basename "$f")): add it to packages.txt"
        cp -L "$src" "$tree/$libdir/$lib"
        queue+=("$tree/$libdir/$lib")
    done
done

# Kernel modules (modules.txt), with every module they depend on (from a depmod over the whole kernel).
copy_modules "$root" "$kver" "$here/modules.txt" "$tree"

# Our scripts, then the applets as links to busybox.
install -m 755 "$here/init" "$tree/init"
for f in job.sh disks.sh image.sh restore.sh apply.sh progress.sh efi.sh gpt.sh; do install -m 644 "$here/$f" "$tree/bin/$f"; done
for a in $(grep -v "^#" "$here/applets.txt"); do ln -sf busybox "$tree/bin/$a"; done
ln -sf ../bin/busybox "$tree/sbin/modprobe"
ln -sf ../bin/ntfs-3g "$tree/sbin/mount.ntfs-3g"
echo "$kver" >"$tree/etc/kernel-version"

# Fixed order, owner and time: two builds give the same bytes.
find "$tree" -exec touch -h -d @946684800 {} +
(cd "$tree" && find . | sort | cpio -o -H newc -R 0:0 --reproducible --quiet) | zstd -q -19 -T0 >"$work/kxinitrd"
cp "$root/boot/vmlinuz-$kver" "$work/kxlinux"

total=$(( $(stat -c %s "$work/kxlinux") + $(stat -c %s "$work/kxinitrd") ))
[ "$total" -le "$limit" ] || die "kernel and initramfs are $total bytes, over the 25 MB limit"
{
    cat "$work/provenance.txt"
    echo "kxlinux $(stat -c %s "$work/kxlinux") $(sha256sum "$work/kxlinux" | cut -d' ' -f1)"
    echo "kxinitrd $(stat -c %s "$work/kxinitrd") $(sha256sum "$work/kxinitrd" | cut -d' ' -f1)"
} >"$work/provenance.out"
chmod 644 "$work/kxlinux" "$work/kxinitrd" "$work/provenance.out"
mv "$work/kxlinux" "$out/kxlinux"
mv "$work/kxinitrd" "$out/kxinitrd"
mv "$work/provenance.out" "$out/engine-provenance.txt"
