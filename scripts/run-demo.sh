#!/usr/bin/env bash
# Builds Korvanix.exe and starts it under Wine, pointed at the demo catalogue server on loopback.
# On a machine with a display the window appears there; otherwise it runs on a virtual display and a
# screenshot is saved (the path is printed). README command 1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ "$(id -u)" = 0 ]; then bash scripts/setup.sh; fi
. scripts/wine-env.sh
export KORVANIX_WINEPREFIX=${KORVANIX_WINEPREFIX:-$root/build/demo-wine} WINEPREFIX=${KORVANIX_WINEPREFIX:-$root/build/demo-wine}

echo "building ($KORVANIX_WIN_PRESET)..."
cmake --preset "$KORVANIX_WIN_PRESET" >/dev/null
cmake --build --preset "$KORVANIX_WIN_PRESET" -j "${KORVANIX_JOBS:-2}" >/dev/null
build=$root/build/$KORVANIX_WIN_PRESET
korvanix_wine_prefix
# Windows tools that Wine lacks are played by the project's test doubles (they print a demo machine).
korvanix_install_doubles "$build"
# The demo machine's data partition D: (the diskpart double lists it beside C:) is a folder of the build, where
# the wizard's downloads land. The disk identities that Windows would read from the disk are the machine's
# fake answers, and a restart is written down in C:\kx-restart.log instead of being asked of Wine, so the
# wizard's whole flow runs: download, the staged install, the countdown.
mkdir -p "$build/demo-drive-d"
if [ ! -e "$WINEPREFIX/dosdevices/d:" ] || [ "$(readlink "$WINEPREFIX/dosdevices/d:")" = "$build/demo-drive-d" ]; then
    ln -sfn "$build/demo-drive-d" "$WINEPREFIX/dosdevices/d:"
fi
export KORVANIX_DISK_IDENTITIES='C=5A3C0F12:1048576;D=5A3C0F12:68157440'
export KORVANIX_RESTART_LOG='C:\kx-restart.log'

server_pid=
virtual=
[ -z "${DISPLAY:-}" ] && virtual=yes
korvanix_display
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
    korvanix_end_display
}
trap cleanup EXIT

args=()
# The demo site: the catalogue page, three small generated images and their WIM/ESD forms, the product pages.
log=$build/demo-server.log
python3 scripts/demo-server.py --port 0 >"$log" 2>&1 &
server_pid=$!
host=
for _ in $(seq 100); do
    host=$(sed -n 's|.*--site=\([0-9.:]*\).*|\1|p' "$log" | head -n 1)
    [ -n "$host" ] && break
    sleep 0.1
done
[ -n "$host" ] || { echo "the demo site did not start:"; cat "$log"; exit 1; }
echo "demo site on http://$host/"
args=(--site="$host")

if [ -n "$virtual" ]; then
    "$KORVANIX_WINE" "$build/src/app/Korvanix.exe" "${args[@]}" &
    program=$!
    sleep "${KORVANIX_DEMO_SECONDS:-8}"
    shot=$build/demo-screenshot.png
    import -window root -crop 789x590+50+50 +repage "$shot"
    echo "no display: Korvanix ran on a virtual display; screenshot saved to $shot"
    kill "$program" 2>/dev/null || true
else
    "$KORVANIX_WINE" "$build/src/app/Korvanix.exe" "${args[@]}"
fi
