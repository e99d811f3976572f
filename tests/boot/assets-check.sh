#!/usr/bin/env bash
# The built assets are what the boot chain needs, and the build is reproducible.
#   assets-check.sh ASSETS_DIR SCRIPT WORK_DIR
set -euo pipefail
assets=$1 script=$2 work=$3
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
mtype -i "$assets/Dorv.ima" ::/AUTOEXEC.BAT | head -1 | grep -q $'\r$' || fail "AUTOEXEC.BAT lines do not end in CR LF"
mtype -i "$assets/Dorv.ima" ::/MENU.BAT | iconv -f CP936 -t UTF-8 | grep -q '重新启动' || fail "MENU.BAT is not code page 936"

# Two builds give the same bytes.
rm -rf "$work"
mkdir -p "$work"
"$script" helper "$work/qzrpldr.mbr"
"$script" loader "$work/otldr" "$assets/Dorv.ima"
cmp "$work/qzrpldr.mbr" "$helper" || fail "two helper builds differ"
cmp "$work/otldr" "$assets/otldr" || fail "two loader builds differ"
if [ "$(cat "$assets/dos-kind.txt")" = diagnostic ]; then
    "$script" image "$work/Dorv.ima"
    cmp "$work/Dorv.ima" "$assets/Dorv.ima" || fail "two diagnostic floppy builds differ"
fi
sha256sum "$assets/qzrpldr.mbr" "$assets/otldr" "$assets/Dorv.ima" | sed "s|$assets/||"
echo PASS
