#!/usr/bin/env bash
# Runs every test tier: native unit tests of the portable core (and the boot chain), the shipped 32-bit
# build with its binary checks, the Windows tests under Wine and the program scenarios under Wine and
# Xvfb. Exits non-zero when anything fails. README command 2; .ci/run calls it.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if [ "$(id -u)" = 0 ]; then
    bash scripts/setup.sh || exit 1
fi
. scripts/wine-env.sh

jobs=${KORVANIX_JOBS:-2}
werror=OFF
[ "${CI:-}" = true ] && werror=ON
work=$(mktemp -d)
export KORVANIX_WINEPREFIX=$work/wine WINEPREFIX=$work/wine
korvanix_display
cleanup() {
    korvanix_end_display
    "${KORVANIX_WINESERVER:-wineserver}" -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
broken=()
# ctest's summary line gives the counts of one tier.
count() {
    local log=$1 tier=$2 total bad
    total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
    bad=$(sed -n 's/.*, \([0-9]*\) tests failed out of.*/\1/p' "$log" | tail -n 1)
    if [ -z "$total" ]; then
        failed=$((failed + 1))
        broken+=("$tier")
        return
    fi
    passed=$((passed + total - bad))
    failed=$((failed + bad))
    [ "$bad" = 0 ] || broken+=("$tier")
}

build() {  # preset, then extra cache settings
    local preset=$1
    shift
    cmake --preset "$preset" -DKORVANIX_WERROR=$werror "$@" >"$work/$preset-configure.log" 2>&1 &&
        cmake --build --preset "$preset" -j "$jobs" >"$work/$preset-build.log" 2>&1 || {
        echo "== build of $preset failed:"
        tail -n 40 "$work/$preset-configure.log" "$work/$preset-build.log"
        failed=$((failed + 1))
        broken+=("build-$preset")
        return 1
    }
}

echo "== native: portable core"
if build host; then
    ctest --preset host 2>&1 | tee "$work/host.log"
    count "$work/host.log" host
fi

echo "== Windows ($KORVANIX_WIN_PRESET build, under Wine): adapters and program scenarios"
if build "$KORVANIX_WIN_PRESET"; then
    ctest --preset "$KORVANIX_WIN_PRESET" 2>&1 | tee "$work/windows.log"
    count "$work/windows.log" windows
fi

if [ "$KORVANIX_WIN_PRESET" != win32 ]; then
    echo "== the shipped 32-bit build (built and checked; this kernel runs no 32-bit code under Wine)"
    build win32 || true
fi
# The shipped binaries load on Windows XP: subsystem 5.01, a manifest, no import XP lacks.
echo "== binary checks of the shipped program"
if [ -x build/host/tools/diag/korvanix-diag ] && [ -f build/win32/src/app/Korvanix.exe ]; then
    if build/host/tools/diag/korvanix-diag pe-check build/win32/src/app/Korvanix.exe \
        build/win32/src/download/HTTP_DownLoad_Dll.dll; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        broken+=(pe-check)
    fi
else
    failed=$((failed + 1))
    broken+=(pe-check)
fi

echo
if [ ${#broken[@]} -gt 0 ]; then echo "failing: ${broken[*]}"; fi
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
