#!/usr/bin/env bash
# Maps extra drive letters into the test prefix, one of each type (fixed P:, removable Q:, CD-ROM R:,
# network S:), each backed by a temporary folder, and runs the drive-record test against them. The
# letters and their registry entries are removed again at the end.   usage: drives.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
. "$here/../../scripts/wine-env.sh"
korvanix_wine_prefix
server=${KORVANIX_WINESERVER:-wineserver}
tmp=$(mktemp -d)
letters="p:hd q:floppy r:cdrom s:network"
cleanup() {
    for entry in $letters; do
        rm -f "$WINEPREFIX/dosdevices/${entry%%:*}:"
        "$KORVANIX_WINE" reg delete 'HKLM\Software\Wine\Drives' /v "${entry%%:*}:" /f >/dev/null 2>&1 || true
    done
    korvanix_stop_prefix
    rm -rf "$tmp"
}
trap cleanup EXIT
for entry in $letters; do
    letter=${entry%%:*}
    mkdir -p "$tmp/$letter"
    [ -e "$WINEPREFIX/dosdevices/$letter:" ] && { echo "drive $letter: is taken in $WINEPREFIX"; exit 1; }
    ln -s "$tmp/$letter" "$WINEPREFIX/dosdevices/$letter:"
    "$KORVANIX_WINE" reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /d "${entry#*:}" /f >/dev/null 2>&1
done
# Wine reads a drive's label from this file in its root.
printf '数据盘' >"$tmp/p/.windows-label"
"$server" -k || true
"$server" -w || true
KX_MAPPED_DRIVES=1 "$KORVANIX_WINE" "$build/tests/win_tests.exe" --gtest_filter='Drives.*'
