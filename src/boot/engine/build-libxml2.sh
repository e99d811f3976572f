#!/usr/bin/env bash
# libxml2 for the engine: Debian's i386 libxml2 loads ICU (a 31 MB data file), which wimlib never needs
# (it reads and writes the WIM's XML as UTF-16 itself). This builds the same library, same soname and
# symbol versions, from Debian's source package for i386 without ICU, zlib, lzma, HTTP or FTP.
#
#   build-libxml2.sh DEST_DIR      puts libxml2.so.2 (stripped) into DEST_DIR and prints its provenance line
#
# The source is the unpacked Debian source in KORVANIX_SOURCES (default /var/cache/korvanix/src, which
# scripts/setup.sh fills with apt-get source); the result is kept in KORVANIX_ENGINE_CACHE (default
# /var/cache/korvanix/engine-build) under the source's version and this script's checksum, so a build
# compiles it once.
set -euo pipefail
export LC_ALL=C
sources=${KORVANIX_SOURCES:-/var/cache/korvanix/src}
cache=${KORVANIX_ENGINE_CACHE:-/var/cache/korvanix/engine-build}
dest=$1

die() { echo "build-libxml2: $*" >&2; exit 1; }
dsc=$(ls "$sources"/libxml2_*.dsc 2>/dev/null | sort -V | tail -n 1)
[ -n "$dsc" ] || die "no libxml2 source in $sources: run scripts/setup.sh"
version=$(sed -n 's/^Version: //p' "$dsc")
src=$(ls -d "$sources"/libxml2-*/ 2>/dev/null | sort -V | tail -n 1)
[ -n "$src" ] && [ -f "$src/configure" ] || die "the libxml2 source is not unpacked in $sources: run scripts/setup.sh"
key=$(sha256sum "$0" | cut -c1-16)
out=$cache/libxml2-$version-i386-$key

if [ ! -f "$out/libxml2.so.2" ]; then
    echo 'int main(void) { return 0; }' | gcc -m32 -x c -o /dev/null - 2>/dev/null ||
        die "gcc cannot build for i386 (packages gcc-multilib and libc6-dev-i386): run scripts/setup.sh"
    work=$(mktemp -d "${TMPDIR:-/tmp}/korvanix-libxml2.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    cp -a "$src" "$work/src"
    cd "$work/src"
    # The patched source's generated files are current: make must not try to run autotools.
    touch aclocal.m4 && sleep 1 && touch configure config.h.in && find . -name Makefile.in -exec touch {} +
    CC="gcc -m32" ./configure --host=i686-linux-gnu --build="$(gcc -dumpmachine)" --prefix=/usr \
        --without-icu --without-python --without-lzma --without-zlib --without-readline --without-http \
        --without-ftp --without-debug --disable-static --enable-shared >"$work/configure.log" 2>&1 ||
        { tail -n 20 "$work/configure.log" >&2; die "configure failed"; }
    make -j2 libxml2.la >"$work/make.log" 2>&1 || { tail -n 20 "$work/make.log" >&2; die "make failed"; }
    lib=$(readlink -f .libs/libxml2.so.2)
    readelf -d "$lib" | grep -q 'NEEDED.*libicu' && die "the library still loads ICU"
    mkdir -p "$out.tmp"
    strip -o "$out.tmp/libxml2.so.2" "$lib"
    touch -d @946684800 "$out.tmp/libxml2.so.2"
    rm -rf "$out"
    mv "$out.tmp" "$out"
fi
install -m 644 "$out/libxml2.so.2" "$dest/libxml2.so.2"
printf 'libxml2.so.2 built from Debian source libxml2 %s (.dsc SHA-256 %s) for i386 without ICU: %s\n' \
    "$version" "$(sha256sum "$dsc" | cut -d' ' -f1)" "$(sha256sum "$out/libxml2.so.2" | cut -d' ' -f1)"
