#!/usr/bin/env bash
# Maps drive D: of the test prefix to a temporary folder and runs the user-data tests that write to D:
# ("一键转到d盘", the default backup directory). The letter is removed again at the end.
# usage: userdata_d.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
. "$here/../../scripts/wine-env.sh"
korvanix_wine_prefix
tmp=$(mktemp -d)
link="$WINEPREFIX/dosdevices/d:"
cleanup() {
    [ -L "$link" ] && [ "$(readlink "$link")" = "$tmp" ] && rm -f "$link"
    rm -rf "$tmp"
}
trap cleanup EXIT
[ -e "$link" ] || [ -L "$link" ] && { echo "drive d: is taken in $WINEPREFIX"; exit 1; }
ln -s "$tmp" "$link"
KX_SCRATCH_DRIVE_D=1 "$KORVANIX_WINE" "$build/tests/win_tests.exe" --gtest_filter='UserDataDriveD.*'
