#!/usr/bin/env bash
# Installs everything the build and every test tier need on a Debian 12 machine.
# Idempotent: a second run installs nothing new and changes nothing.
set -euo pipefail

if [ "$(id -u)" != 0 ]; then
    echo "setup.sh must run as root (it installs Debian packages)" >&2
    exit 1
fi

# The stamp's name changes whenever the package list grows, so that machines set up before run it again.
stamp=/var/lib/korvanix-setup.v4
if [ -f "$stamp" ] && [ "${KORVANIX_FORCE_SETUP:-0}" != 1 ]; then
    exit 0
fi

export DEBIAN_FRONTEND=noninteractive

# wine32 needs the i386 architecture; the source entries serve `apt-get source`.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
src=/etc/apt/sources.list.d/debian.sources
if [ -f "$src" ] && ! grep -q 'deb-src' "$src"; then
    # Only the main pocket carries the sources we take (the security pocket has none for zlib).
    sed -i '0,/^Types: deb$/s//Types: deb deb-src/' "$src"
elif [ ! -f "$src" ] && [ -f /etc/apt/sources.list ] && ! grep -q '^deb-src' /etc/apt/sources.list; then
    grep '^deb ' /etc/apt/sources.list | grep -v security | sed 's/^deb /deb-src /' >> /etc/apt/sources.list
fi

# A mirror in the middle of a sync answers one index with the wrong size and apt-get update exits 100.
# Try a few times with a pause; then go on with the lists there are and let the install decide.
for try in 1 2 3 4; do
    apt-get update -qq && break
    if [ "$try" = 4 ]; then
        echo "setup.sh: apt-get update kept failing; going on with the package lists there are" >&2
        break
    fi
    sleep $((try * 10))
done

packages=(
    # toolchains and build
    cmake ninja-build g++ clang libclang-rt-14-dev googletest
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev nasm
    dpkg-dev zlib1g-dev libjpeg-dev
    # what a minimal Debian system lacks: the checkout, archives, process tools, file types
    git ca-certificates xz-utils bzip2 procps file psmisc
    # Windows under Wine, on a virtual display, with Chinese text
    wine wine64 wine32:i386 xvfb xauth x11-utils imagemagick fonts-wqy-microhei locales
    # servers and peers for tests and benchmarks
    nginx-light python3 curl aria2 zip unzip p7zip-full openssl
    # boot assets and their tests
    grub-pc-bin grub-common syslinux-common mtools dosfstools ntfs-3g qemu-system-x86 dosbox fuse3
    # the imaging engine's build (busybox's depmod, GNU cpio's reproducible archives, readelf) and its host comparison
    busybox-static binutils zstd partclone cpio
    # the engine on UEFI machines: OVMF (with Microsoft's keys) for its tests, sfdisk for their GPT disks
    ovmf fdisk
    # the engine's libxml2, built for i386 (build-libxml2.sh); wimlib-imagex and setfattr make the tests' WIM images
    gcc-multilib libc6-dev-i386 wimtools attr
)
complete=1
if ! apt-get install -y -qq --no-install-recommends "${packages[@]}"; then
    complete=0
    # Wine's 32-bit half needs its i386 libraries at the very versions of the amd64 ones installed. When the
    # i386 lists lag behind (a mirror mid-sync that served one pocket's i386 index stale), the two cannot
    # meet. Everything else is installed then, and the test command runs the 32-bit build in its QEMU VM,
    # whose own root takes its packages from one pocket.
    echo "setup.sh: the install failed; trying again without wine32 (the 32-bit Windows tiers then run in the VM)" >&2
    without=()
    for p in "${packages[@]}"; do [ "$p" = wine32:i386 ] || without+=("$p"); done
    apt-get install -y -qq --no-install-recommends "${without[@]}"
fi

# Chinese locale, so Wine's ANSI and OEM code pages are 936.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
    sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen >/dev/null
fi

# nginx-light starts a system service on install; tests run their own instances on loopback.
if command -v systemctl >/dev/null 2>&1; then systemctl disable --now nginx >/dev/null 2>&1 || true; fi

# Sources of the libraries the build compiles itself (zlib with minizip and libjpeg-turbo for Windows,
# libxml2 without ICU for the engine).
deps=/var/cache/korvanix/src
mkdir -p "$deps"
fetch_source() {
    local pkg=$1 dir=$2
    if ! ls -d "$deps"/"$dir"-*/ >/dev/null 2>&1; then
        local version
        # Ask for the main pocket's version: the security pocket may lack the source.
        version=$(apt-cache showsrc "$pkg" | awk '/^Version:/ {print $2}' | sort -V | head -n 1)
        (cd "$deps" && apt-get source -qq --download-only "$pkg=$version" >/dev/null &&
            dpkg-source -x --no-check ./"$pkg"_*.dsc >/dev/null)
    fi
}
fetch_source zlib zlib
fetch_source libjpeg-turbo libjpeg-turbo
fetch_source libxml2 libxml2

# The imaging engine's i386 packages (src/boot/engine/packages.txt), kept for offline builds.
engine_debs=/var/cache/korvanix/engine-debs
mkdir -p "$engine_debs"
chown _apt "$engine_debs" 2>/dev/null || true
engine_missing=()
# Absent where this script runs on its own (the test VM's root, which builds no engine).
engine_list=$(dirname "$0")/../src/boot/engine/packages.sh
if [ -f "$engine_list" ]; then
    engine_packages=$(bash "$engine_list")
    while read -r pkg; do
        ls "$engine_debs/${pkg}_"*_i386.deb >/dev/null 2>&1 || engine_missing+=("$pkg:i386")
    done <<<"$engine_packages"
fi
if [ ${#engine_missing[@]} -gt 0 ]; then
    (cd "$engine_debs" && apt-get download -qq "${engine_missing[@]}" >/dev/null)
fi

# The UEFI route's signed amd64 packages (src/boot/engine/efi-packages.txt), kept the same way.
efi_debs=/var/cache/korvanix/efi-debs
mkdir -p "$efi_debs"
chown _apt "$efi_debs" 2>/dev/null || true
efi_missing=()
if [ -f "$engine_list" ]; then
    efi_packages=$(bash "$engine_list" efi-packages.txt amd64)
    while read -r pkg; do
        ls "$efi_debs/${pkg}_"*_amd64.deb >/dev/null 2>&1 || efi_missing+=("$pkg:amd64")
    done <<<"$efi_packages"
fi
if [ ${#efi_missing[@]} -gt 0 ]; then
    (cd "$efi_debs" && apt-get download -qq "${efi_missing[@]}" >/dev/null) || complete=0
fi

# Not done while something is missing: the next run tries again.
if [ "$complete" = 1 ]; then touch "$stamp"; fi
