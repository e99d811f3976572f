#!/usr/bin/env bash
# The wizard's whole workflow under Wine, timed from the click to the staged install: the demo site on
# loopback serves a BENCH_MB (default 200) MB image without a rate limit or faults, the program downloads it
# with the component's 32 connections, checks its SHA-256 and stages the restore job. Prints the driver's
# laps and MB/s. Staging needs a build that carries a DOS environment, such as the tree
# tests/scenarios/dos-kit/run.sh makes (BUILD_DIR-doskit); the restart port only writes its request down.
# The demo site holds all three images in memory: about three times BENCH_MB.
# Usage: bench/download/workflow.sh [BUILD_DIR]   (a Windows build with the scenario driver, e.g. build/win64-doskit)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/wine-env.sh"
build=$(cd "${1:-$root/build/$KORVANIX_WIN_PRESET}" && pwd)
mb=${BENCH_MB:-200}
here=$root/tests/scenarios
. "$here/demo-site.sh"
korvanix_wine_prefix
korvanix_display
finish() {
    scenario_teardown
    korvanix_end_display
}
trap finish EXIT
export KORVANIX_RESTART_LOG='C:\kx-restart.log'
# Later options win: the scenarios' site with the benchmark's size, no limit and no dropped responses.
demo_site_start --size-mb "$mb" --rate-kb 0 --drop-every 0
korvanix_install_doubles "$build"
exe=$("$KORVANIX_WINE" winepath -w "$build/src/app/Korvanix.exe" 2>/dev/null)
script=$("$KORVANIX_WINE" winepath -w "$root/bench/download/workflow.scn" 2>/dev/null)
out=$demo_tmp/laps.txt
"$KORVANIX_WINE" "$build/tests/scenarios/driver.exe" "$exe" "$script" | tee "$out"
bytes=$((mb * 1048576 + 1048576)) # the Windows 7 64-bit image is the third, 1 MB larger than the first
ms=$(sed -n 's/^lap downloaded: \([0-9]*\) ms.*/\1/p' "$out")
if [ -n "$ms" ]; then
    echo "click to downloaded: $(echo "scale=1; $bytes * 1000 / 1048576 / $ms" | bc) MB/s over" \
        "$((bytes / 1048576)) MB; $(date -u '+%Y-%m-%d %H:%M UTC'); $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
fi
