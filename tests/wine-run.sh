#!/usr/bin/env bash
# The cross-compiling emulator of the Windows build: runs one Windows test program under Wine,
# in the test prefix, on a display (a virtual one when there is none).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../scripts/wine-env.sh"
korvanix_wine_prefix
korvanix_display
trap korvanix_end_display EXIT
status=0
"$KORVANIX_WINE" "$@" || status=$?
exit $status
