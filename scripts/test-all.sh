#!/usr/bin/env bash
# Runs every test tier: native unit tests of the portable core (and the boot chain), the shipped 32-bit
# build with its binary checks, the Windows tests under Wine and the program scenarios under Wine and
# Xvfb (in a VM where this kernel runs no 32-bit code). Exits non-zero when anything fails. README
# command 2; .ci/run calls it.
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

# The host tier includes the boot chain and the imaging engine's QEMU round trips (label engine: about 20
# minutes here under plain emulation, a few with KVM).
echo "== native: portable core, boot chain, imaging engine"
if build host; then
    # One short boot decides whether KVM works here (a /dev/kvm may exist and still stop every guest); every
    # QEMU test after it takes the answer.
    KORVANIX_ACCEL=$(bash tests/support/kvm-probe.sh qemu-system-i386 build/host/boot-assets/kxlinux)
    export KORVANIX_ACCEL
    echo "(QEMU accelerator: $KORVANIX_ACCEL)"
    ctest --preset host 2>&1 | tee "$work/host.log"
    count "$work/host.log" host
fi

# The Windows tiers run the shipped 32-bit build. Where this kernel runs 32-bit code, Wine runs it here;
# where it does not, a QEMU VM with Debian's amd64 kernel (which does) runs it, and the x86-64 build of the
# same sources runs here as an extra tier, not in its place.
if [ "$KORVANIX_WIN_PRESET" = win32 ]; then
    echo "== Windows tiers: win32 build, natively under Wine"
    if build win32; then
        ctest --preset win32 2>&1 | tee "$work/windows.log"
        count "$work/windows.log" windows-win32
    fi
else
    echo "== Windows tiers: win64 build, natively (extra tier)"
    if build win64; then
        ctest --preset win64 2>&1 | tee "$work/windows64.log"
        count "$work/windows64.log" windows-win64
    fi
    accel=${KORVANIX_ACCEL:-$(bash tests/vm/run.sh --accel)}
    echo "== Windows tiers: win32 build, in a QEMU VM ($(echo "$accel" | tr a-z A-Z))"
    # Under TCG every start of a Wine program costs tens of seconds: there the VM runs the Windows unit
    # tests, the version classes and boot deployment under each version (the 32-bit-only parts), and the
    # program scenarios and the download component's long run stay with the win64 tier.
    # KORVANIX_VM_ALL=1 runs everything in the VM anyway.
    vm_tests=()
    if [ "$accel" = tcg ] && [ "${KORVANIX_VM_ALL:-0}" != 1 ]; then
        vm_tests=(-L 'win|boot' -E '^download$')
        echo "(in the VM: the win and boot labels without download; scenarios and download: win64 tier only)"
    fi
    if build win32; then
        start=$(date +%s)
        bash tests/vm/run.sh ctest --preset win32 "${vm_tests[@]}" 2>&1 | tee "$work/windows-vm.log"
        echo "(the VM tier took $(( $(date +%s) - start ))s)"
        count "$work/windows-vm.log" windows-win32-vm
    fi
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
