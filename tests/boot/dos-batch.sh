#!/usr/bin/env bash
# The DOS side's batch files under DOSBox (headless): the RAM floppy is drive A (the built Dorv.ima's
# files, with logging doubles for GHOST.EXE, RESTART.COM and the menu), Windows partitions are folders.
#   dos-batch.sh ASSETS_DIR
set -euo pipefail
export LC_ALL=C MTOOLS_SKIP_CHECK=1 SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
here=$(cd "$(dirname "$0")" && pwd)
assets=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/korvanix-dosbatch.XXXXXX")
trap 'rm -rf "$work"' EXIT
for tool in dosbox nasm mcopy; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
failures=0
check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}

double() {  # double FILE NAME
    nasm -f bin -DNAME="\"$2\"" -DLOGFILE='"Y:\CALLS.LOG"' -o "$1" "$here/logcall.asm"
}

# A fresh floppy and log; the partitions are set up by each case.
prepare() {
    rm -rf "${work:?}"/*
    mkdir -p "$work"/{a,c,d,e,y}
    mcopy -s -i "$assets/Dorv.ima" '::/*' "$work/a/"
    double "$work/a/GHOST.EXE" GHOST
    double "$work/a/RESTART.COM" RESTART
    printf '@ECHO OFF\r\nECHO MENU>> Y:\\CALLS.LOG\r\n' >"$work/a/MENU.BAT"
}

boot() {
    set +e
    timeout --kill-after=5 60 dosbox -noconsole -exit \
        -c "mount a $work/a -t floppy" -c "mount c $work/c" -c "mount d $work/d" -c "mount e $work/e" \
        -c "mount y $work/y" -c "a:" -c "CALL A:\\AUTOEXEC.BAT" -c "exit" >"$work/dosbox.txt" 2>&1
    local status=$?
    set -e
    [ $status = 0 ] || { echo "FAIL: DOSBox ended with status $status"; cat "$work/dosbox.txt"; exit 1; }
    echo "--- calls:"
    cat "$work/y/CALLS.LOG" 2>/dev/null || true
}

calls() { tr -d '\r' <"$work/y/CALLS.LOG"; }
has_call() { calls | grep -qxF "$1"; }
absent() { [ ! -e "$1" ]; }
holds() { [ "$(tr -d '\r' <"$1")" = "$2" ]; }
# DOSBox creates new host files with upper-case names.
named() { find "$1" -maxdepth 1 -iname "$2" | head -1; }

echo "== a job on the system drive D (C holds no image, E comes later without one)"
prepare
job='Ghost.exe -noide -nousb -clone,mode=pload,src=1:3\sys\vx_a.gho:1,dst=1:2 -sure -rb'
printf '%s\r\nrestart' "$job" >"$work/d/Ghost.bat"
for f in Dorv.ima otldr qzrpldr.mbr pagefile.sys hiberfil.sys bootlog.txt; do echo "$f" >"$work/d/$f"; done
echo replacement-loader >"$work/d/otldr_"
printf '[boot loader]\r\ndefault=C:\\qzrpldr.mbr\r\n' >"$work/d/boot.ini"
printf '[boot loader]\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n' >"$work/d/boot.in_"
double "$work/d/ghost.ex_" GHOSTX
echo keep >"$work/c/Dorv.im_"
boot
check "the replacement Ghost ran the job once, then the restart program" \
    test "$(calls | head -2 | tr '\n' '|')" = "GHOSTX: ${job#Ghost.exe }|RESTART:|"
check "the job left the system drive and is on the floppy" absent "$work/d/Ghost.bat"
check "the job on the floppy is the same" test -f "$work/a/GHOST.BAT"
check "ghost.ex_ was taken" absent "$work/d/ghost.ex_"
check "boot.ini is the saved original again" \
    holds "$work/d/boot.ini" $'[boot loader]\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS'
check "boot.in_ is gone" absent "$work/d/boot.in_"
check "the loader was replaced by its saved copy" holds "$(named "$work/d" otldr)" replacement-loader
check "the saved copy is gone" absent "$work/d/otldr_"
check "the image was deleted" absent "$work/d/Dorv.ima"
check "the MBR helper stays" test -f "$work/d/qzrpldr.mbr"
check "page and hibernation files and the boot log are gone" \
    bash -c "[ ! -e '$work/d/pagefile.sys' ] && [ ! -e '$work/d/hiberfil.sys' ] && [ ! -e '$work/d/bootlog.txt' ]"
check "another drive's files are untouched" test -f "$work/c/Dorv.im_"

echo "== no job, and an uninstaller that keeps the loader; the image on C and D: D is the working drive"
prepare
for f in Dorv.ima otldr; do echo "$f" >"$work/d/$f"; echo "$f" >"$work/c/$f"; done
mkdir "$work/d/UNINST~1"
echo x >"$work/d/UNINST~1/UNINST.EXE"
boot
check "no Ghost ran; the menu was shown" test "$(calls | tr '\n' '|')" = "MENU|"
check "the loader and image stay for the uninstaller" bash -c "[ -f '$work/d/otldr' ] && [ -f '$work/d/Dorv.ima' ]"
check "drive C, not the working drive, is untouched" bash -c "[ -f '$work/c/otldr' ] && [ -f '$work/c/Dorv.ima' ]"

# DOSBox's IF EXIST also matches the folder entries of an empty folder, which MS-DOS does not; so the
# empty-folder case cannot be shown here.
echo "== without an uninstaller folder the loader goes, from the last drive holding the image (E)"
prepare
for f in Dorv.ima otldr; do echo "$f" >"$work/e/$f"; echo "$f" >"$work/d/$f"; done
mkdir "$work/d/UNINST~2"
echo x >"$work/d/UNINST~2/UNINST.EXE"
boot
check "loader and image removed from E" bash -c "[ ! -e '$work/e/otldr' ] && [ ! -e '$work/e/Dorv.ima' ]"

echo "== no drive holds the image: straight to the menu"
prepare
echo x >"$work/c/otldr"
boot
check "only the menu" test "$(calls | tr '\n' '|')" = "MENU|"
check "nothing deleted" test -f "$work/c/otldr"

[ $failures = 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo PASS
