#!/usr/bin/env bash
# The cross-compiling emulator of the Windows build: runs one Windows test program under Wine,
# in the test prefix.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../scripts/wine-env.sh"
korvanix_wine_prefix
exec "$KORVANIX_WINE" "$@"
