#!/usr/bin/env bash
# The built assets are what the boot chain needs, and the build is reproducible.
#   assets-check.sh ASSETS_DIR SCRIPT
set -euo pipefail
assets=$1 script=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/korvanix-assets.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

helper=$assets/qzrpldr.mbr
[ "$(stat -c %s "$helper")" = 8192 ] || fail "qzrpldr.mbr is $(stat -c %s "$helper") bytes, not 8192"
[ "$(od -An -tx1 -j 510 -N 2 "$helper" | tr -d ' ')" = 55aa ] || fail "qzrpldr.mbr's first sector lacks 55 AA"
if grep -qai g2ldr "$helper"; then fail "qzrpldr.mbr still names G2LDR"; fi
# The four stored names: two 8.3 forms for FAT, two lowercase zero-terminated forms for NTFS and ext2.
[ "$(grep -a -o 'OTLDR      ' "$helper" | wc -l)" -ge 2 ] || fail "qzrpldr.mbr lacks the FAT names of OTLDR"
[ "$(grep -a -o 'otldr' "$helper" | wc -l)" -ge 2 ] || fail "qzrpldr.mbr lacks the lowercase names of otldr"

# The loader: lnxboot.img in front, the memdisk and the configuration inside.
cmp -s -n 1024 "$assets/otldr" /usr/lib/grub/i386-pc/lnxboot.img || fail "otldr does not start with lnxboot.img"

# The DOS image: a FAT12 floppy with our batch files in code page 936 with CR LF.
[ "$(od -An -c -j 54 -N 8 "$assets/Dorv.ima" | tr -d ' ')" = FAT12 ] || fail "Dorv.ima is not FAT12"
export MTOOLS_SKIP_CHECK=1
for f in AUTOEXEC.BAT CONFIG.SYS MENU.BAT MINITO.BAT NTFS.BAT W.BAT; do
    mtype -i "$assets/Dorv.ima" "::/$f" >/dev/null 2>&1 || fail "Dorv.ima lacks $f"
done
mcopy -n -i "$assets/Dorv.ima" ::/AUTOEXEC.BAT ::/MENU.BAT "$work/"
[ "$(grep -c $'\r$' "$work/AUTOEXEC.BAT")" = "$(wc -l <"$work/AUTOEXEC.BAT")" ] ||
    fail "AUTOEXEC.BAT lines do not end in CR LF"
iconv -f CP936 -t UTF-8 "$work/MENU.BAT" | grep -q '重新启动' || fail "MENU.BAT is not code page 936"

# Two builds give the same bytes.
"$script" helper "$work/qzrpldr.mbr"
"$script" loader "$work/otldr" "$assets/Dorv.ima"
cmp "$work/qzrpldr.mbr" "$helper" || fail "two helper builds differ"
cmp "$work/otldr" "$assets/otldr" || fail "two loader builds differ"
if [ "$(cat "$assets/dos-kind.txt")" = diagnostic ]; then
    "$script" image "$work/Dorv.ima"
    cmp "$work/Dorv.ima" "$assets/Dorv.ima" || fail "two diagnostic floppy builds differ"
fi
# The provenance notes beside the build rule name the checksums of what this build made.
notes=$(dirname "$script")
noted() { tail -1 "$notes/$1.txt"; }
actual() { sha256sum "$assets/$1" | cut -d' ' -f1; }
[ "$(actual qzrpldr.mbr)" = "$(noted qzrpldr.mbr)" ] || fail "qzrpldr.mbr differs from its provenance note"
if [ "$(cat "$assets/dos-kind.txt")" = diagnostic ]; then
    [ "$(actual otldr)" = "$(noted otldr)" ] || fail "otldr differs from its provenance note"
    [ "$(actual Dorv.ima)" = "$(noted Dorv.ima)" ] || fail "Dorv.ima differs from its provenance note"
fi
sha256sum "$assets/qzrpldr.mbr" "$assets/otldr" "$assets/Dorv.ima" | sed "s|$assets/||"
echo PASS
