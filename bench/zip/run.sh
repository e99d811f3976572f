#!/usr/bin/env bash
# The zip component (korvanix-diag, the portable core built natively) against Info-ZIP's zip -6 and unzip,
# on the same tree of about 300 MB generated in a temporary folder. Prints wall time, CPU seconds and
# archive size for each and the ratios (ours / theirs: below 1 is better).
# usage: bench/zip/run.sh [HOST_BUILD_DIR] [MEGABYTES]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build/host}
diag=$(cd "$build" && pwd)/tools/diag/korvanix-diag
size=${2:-300}
[ -x "$diag" ] || { echo "build korvanix-diag first: $diag"; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/make_tree.py" "$work/tree" "$size"
tar -cf - -C "$work" tree >/dev/null  # warm the page cache for both sides alike

# measure NAME COMMAND...: wall seconds, user+system CPU seconds
measure() {
    local name=$1; shift
    /usr/bin/time -f "%e %U %S" -o "$work/$name.time" "$@" >/dev/null 2>&1
    read -r wall user sys <"$work/$name.time"
    echo "$wall $(echo "$user + $sys" | bc)"
}

read -r ours_zip_wall ours_zip_cpu < <(measure ours-zip "$diag" zip "$work/tree" "$work/ours.zip")
read -r info_zip_wall info_zip_cpu < <(cd "$work/tree" && measure info-zip zip -6 -r -q "$work/info.zip" .)
ours_size=$(stat -c %s "$work/ours.zip")
info_size=$(stat -c %s "$work/info.zip")
read -r ours_unzip_wall ours_unzip_cpu < <(measure ours-unzip "$diag" unzip "$work/ours.zip" "$work/out-ours")
read -r info_unzip_wall info_unzip_cpu < <(measure info-unzip unzip -q "$work/ours.zip" -d "$work/out-info")
diff -r "$work/tree" "$work/out-ours" >/dev/null && diff -r "$work/tree" "$work/out-info" >/dev/null ||
    { echo "extracted trees differ from the source"; exit 1; }

ratio() { echo "scale=2; $1 / $2" | bc; }
tree_mb=$(du -sm "$work/tree" | cut -f1)
printf 'tree: %s MB, %s files; %s, %s\n' "$tree_mb" "$(find "$work/tree" -type f | wc -l)" "$(date -u +%F)" \
    "$(nproc) cores $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
printf '%-22s %9s %9s %14s\n' "" "wall s" "CPU s" "archive bytes"
printf '%-22s %9s %9s %14s\n' "korvanix zip" "$ours_zip_wall" "$ours_zip_cpu" "$ours_size"
printf '%-22s %9s %9s %14s\n' "Info-ZIP zip -6 -r" "$info_zip_wall" "$info_zip_cpu" "$info_size"
printf '%-22s %9s %9s %14s\n' "ratio" "$(ratio "$ours_zip_wall" "$info_zip_wall")" \
    "$(ratio "$ours_zip_cpu" "$info_zip_cpu")" "$(ratio "$ours_size" "$info_size")"
printf '%-22s %9s %9s\n' "korvanix unzip" "$ours_unzip_wall" "$ours_unzip_cpu"
printf '%-22s %9s %9s\n' "Info-ZIP unzip" "$info_unzip_wall" "$info_unzip_cpu"
printf '%-22s %9s %9s\n' "ratio" "$(ratio "$ours_unzip_wall" "$info_unzip_wall")" \
    "$(ratio "$ours_unzip_cpu" "$info_unzip_cpu")"
