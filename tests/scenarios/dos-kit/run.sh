#!/usr/bin/env bash
# The scenarios that need a build carrying a DOS kit: a second build tree beside BUILD_DIR (same toolchain),
# configured with a stand-in kit (an empty FAT floppy and stub files: under Wine nothing boots it), then
# each scenario of this folder run against it.   usage: run.sh BUILD_DIR [SCENARIO...]
# A compiler launcher (CMAKE_CXX_COMPILER_LAUNCHER in the environment) is used when set.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../../.." && pwd)
build=$(cd "$1" && pwd)
shift
kit_build="$build-doskit"
toolchain=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$build/CMakeCache.txt")
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
kit="$kit_build/standin-kit"
mkdir -p "$kit/files"
if [ ! -f "$kit/floppy.ima" ]; then
    mkfs.fat -C -F 12 -n STANDIN "$kit/floppy.ima" 1440 >/dev/null
    for f in GHOST.EXE RESTART.COM HIMEM.SYS; do echo "stand-in $f" >"$kit/files/$f"; done
fi
cmake -S "$source_dir" -B "$kit_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE="${build_type:-MinSizeRel}" -DKORVANIX_DOS_KIT="$kit" >/dev/null
cmake --build "$kit_build" -j2 --target Korvanix driver bcdedit diskpart
scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=("$here"/*.scn)
status=0
for scenario in "${scenarios[@]}"; do
    echo "== $(basename "$scenario")"
    "$here/../run.sh" "$kit_build" "$scenario" || status=1
done
exit $status
