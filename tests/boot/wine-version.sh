#!/usr/bin/env bash
# Runs a Windows test program with the test prefix reporting the given Windows version (or as it is, for
# "default"), with a test drive (KORVANIX_BOOT_DRIVE, default Q:) mapped to a fresh temporary folder, and
# puts the prefix back to Windows 7 afterwards.
#   wine-version.sh default|winxp|win7|win8|vista PROGRAM [ARGS...]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/wine-env.sh"
version=$1
shift
if [ "$version" = winxp ] && [ "$KORVANIX_WIN_PRESET" = win64 ]; then
    # Windows XP (5.1) exists as a 32-bit system only; the 64-bit XP reports 5.2, classified "Win2003".
    echo "SKIP: Windows XP needs the 32-bit build, and this machine's Wine runs no 32-bit code"
    exit 77
fi
korvanix_wine_prefix
export KORVANIX_BOOT_DRIVE=${KORVANIX_BOOT_DRIVE:-Q}
link="$WINEPREFIX/dosdevices/$(echo "$KORVANIX_BOOT_DRIVE" | tr 'A-Z' 'a-z'):"
# A run that was killed (a test timeout) leaves its mapping behind; one of our own folders is taken back.
if [ -L "$link" ] && [[ "$(readlink "$link")" == */korvanix-bootdrive.* ]]; then
    rm -rf "$(readlink "$link")"
    rm -f "$link"
fi
if [ -e "$link" ] || [ -L "$link" ]; then
    echo "drive $KORVANIX_BOOT_DRIVE: is already mapped in $WINEPREFIX; set KORVANIX_BOOT_DRIVE to a free letter"
    exit 1
fi
folder=$(mktemp -d "${TMPDIR:-/tmp}/korvanix-bootdrive.XXXXXX")
ln -s "$folder" "$link"
cleanup() {
    rm -f "$link"
    rm -rf "$folder"
}
trap cleanup EXIT

case $version in
    winxp) export KORVANIX_BOOT_VERSION=WinXP ;;
    win7) export KORVANIX_BOOT_VERSION=Win7 ;;
    win8) export KORVANIX_BOOT_VERSION=Win8 ;;
    vista) export KORVANIX_BOOT_VERSION=Vista ;;
esac
if [ "$version" != default ] && ! korvanix_wine_version "$version"; then
    korvanix_wine_version win7 || true
    exit 1
fi
"$KORVANIX_WINE" "$@"
status=$?
[ "$version" = default ] || korvanix_wine_version win7
exit $status
