#!/usr/bin/env bash
# Runs the Windows-version test once per version the Wine prefix can report, with the class the program
# must derive from it.   usage: versions.sh BUILD_DIR   (the win32 or win64 build)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
. "$here/../../scripts/wine-env.sh"
korvanix_wine_prefix
status=0
# A 64-bit prefix knows no 32-bit XP; its XP is the 64-bit edition, version 5.2 like Server 2003.
xp=winxp:WinXP
[ "$KORVANIX_WIN_PRESET" = win64 ] && xp=winxp64:Win2003
for pair in $xp win2003:Win2003 vista:Vista win7:Win7 win8:Win8 win81:Win8 win10:未知; do
    version=${pair%%:*}
    korvanix_wine_version "$version" || true
    if KX_EXPECTED_VERSION_NAME=${pair#*:} "$KORVANIX_WINE" "$build/tests/win_tests.exe" \
        --gtest_filter=WindowsInfo.VersionNameFollowsThePrefix >/dev/null 2>&1; then
        echo "ok   $version -> ${pair#*:}"
    else
        echo "FAIL $version (expected ${pair#*:})"
        status=1
    fi
done
korvanix_wine_version win7 || true
exit $status
