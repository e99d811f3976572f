#!/usr/bin/env bash
# Throughput and CPU of the download DLL (32 workers, under Wine) against aria2c -x16 -s16 -k1M and
# curl, on the same 512 MB file from the same local nginx, in one run: first with limit_rate 2m per
# connection, then without a limit. Prints a table and the ratios against aria2c.
#
# Usage: bench/download/run.sh [BUILD_DIR]
#   BUILD_DIR: a Windows build with HTTP_DownLoad_Dll built (default: build/$KORVANIX_WIN_PRESET).
#   BENCH_MB=64 makes a quicker, less precise run.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)

if [ "${1:-}" != "--inside" ]; then
    . "$root/scripts/wine-env.sh"
    build=${1:-$root/build/$KORVANIX_WIN_PRESET}
    dll=$build/src/download/HTTP_DownLoad_Dll.dll
    if [ ! -f "$dll" ]; then
        echo "no $dll: build it first (cmake --build $build --target HTTP_DownLoad_Dll)" >&2
        exit 1
    fi
    exec "$root/tests/servers/with-servers.sh" --big "${BENCH_MB:-512}" "$0" --inside "$dll"
fi

# Inside: the servers run and KX_DL_* describe them.
dll=$2
work=$KX_DL_WORK_UNIX
# A prefix of the benchmark's own, with a wineserver whose CPU time can be read.
export KORVANIX_WINEPREFIX=$work/wine
. "$root/scripts/wine-env.sh"
wineserver_bin=${KORVANIX_WINESERVER:-wineserver}

case "$KORVANIX_WIN_PRESET" in
    win64) cxx=x86_64-w64-mingw32-g++-posix ;;
    *) cxx=i686-w64-mingw32-g++-posix ;;
esac
$cxx -O2 -std=c++20 -static -municode -I"$root/src" "$root/bench/download/bench_main.cpp" -o "$work/download_bench.exe"
cp "$dll" "$work/HTTP_DownLoad_Dll.dll"

echo "preparing a Wine prefix..." >&2
korvanix_wine_prefix
"$wineserver_bin" -f -p &
server_pid=$!
stop_wineserver() {
    "$wineserver_bin" -k 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
}
trap stop_wineserver EXIT
sleep 1

ticks=$(getconf CLK_TCK)
# CPU seconds (user + system) of one process.
cpu_of() {
    awk -v t="$ticks" '{ printf "%.2f", ($14 + $15) / t }' "/proc/$1/stat" 2>/dev/null || echo 0
}
# CPU seconds of nginx's worker processes.
nginx_cpu() {
    local sum=0 pid
    for pid in $(ps -o pid= --ppid "$KX_DL_NGINX_PID"); do
        sum=$(echo "$sum + $(cpu_of "$pid")" | bc)
    done
    echo "$sum"
}

# What the wineserver spends on starting and ending the benchmark program without a download.
before=$(cpu_of "$server_pid")
"$KORVANIX_WINE" "$work/download_bench.exe" "$KX_DL_WORK\\HTTP_DownLoad_Dll.dll" "http://127.0.0.1:1/" "$KX_DL_WORK\\x" \
    >/dev/null 2>&1 || true
wine_start_server_cpu=$(echo "$(cpu_of "$server_pid") - $before" | bc)

size=$(stat -c %s "$work/www/$KX_DL_BIG")
expected=$KX_DL_BIG_SHA256
results=()

# One measured download: tool, limit, command...; fills the results table.
measure() {
    local tool=$1 limit=$2 target=$3
    shift 3
    rm -f "$target"
    sync
    local server_before nginx_before
    server_before=$(cpu_of "$server_pid")
    nginx_before=$(nginx_cpu)
    /usr/bin/time -o "$work/time.out" -f "%e %U %S" "$@" >"$work/last.out" 2>"$work/last.err" || true
    local wall user sys
    read -r wall user sys <"$work/time.out"
    local server_cpu nginx_cpu_used
    server_cpu=$(echo "$(cpu_of "$server_pid") - $server_before" | bc)
    nginx_cpu_used=$(echo "$(nginx_cpu) - $nginx_before" | bc)
    if [ "$tool" = component ]; then
        # Under Wine the component's time is its own process's from Start to the end (the start of the
        # Wine process is left out) plus the wineserver's share, less what a run without download costs.
        wall=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' "$work/last.out")
        user=$(sed -n 's/.*user=\([0-9.-]*\).*/\1/p' "$work/last.out")
        sys=$(sed -n 's/.*kernel=\([0-9.-]*\).*/\1/p' "$work/last.out")
        wall=${wall:-0} user=${user:-0} sys=${sys:-0}
        server_cpu=$(echo "$server_cpu - $wine_start_server_cpu" | bc)
    else
        server_cpu=0  # the prefix's own background work, not this tool's
    fi
    local ok=FAIL
    [ -f "$target" ] && [ "$(sha256sum "$target" | cut -d' ' -f1)" = "$expected" ] && ok=ok
    local cpu mbs cpu_gb
    cpu=$(echo "$user + $sys + $server_cpu" | bc)
    mbs=$(echo "scale=1; $size / 1048576 / $wall" | bc)
    cpu_gb=$(echo "scale=2; $cpu * 1073741824 / $size" | bc)
    results+=("$limit|$tool|$wall|$mbs|$user|$sys|$server_cpu|$cpu|$cpu_gb|$nginx_cpu_used|$ok")
    echo "  $limit $tool: ${wall}s, ${mbs} MB/s, ${cpu} CPU s, bytes $ok" >&2
}

for limit in 2m none; do
    path=/$KX_DL_BIG
    [ "$limit" = 2m ] && path=/limited/$KX_DL_BIG
    url=$KX_DL_HTTP$path
    echo "limit $limit:" >&2
    measure component "$limit" "$work/dl/component.bin" \
        "$KORVANIX_WINE" "$work/download_bench.exe" "$KX_DL_WORK\\HTTP_DownLoad_Dll.dll" "$url" "$KX_DL_WORK\\dl\\component.bin"
    measure aria2c "$limit" "$work/dl/aria2c.bin" \
        aria2c -x16 -s16 -k1M --allow-overwrite=true --auto-file-renaming=false --console-log-level=warn \
        --summary-interval=0 --download-result=hide -d "$work/dl" -o aria2c.bin "$url"
    measure curl "$limit" "$work/dl/curl.bin" curl -s -f -o "$work/dl/curl.bin" "$url"
done

echo
echo "download of $((size / 1048576)) MB from nginx on 127.0.0.1; $(date -u '+%Y-%m-%d %H:%M UTC'); $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-6s %-10s %9s %8s %7s %7s %10s %8s %9s %9s %5s\n' limit tool seconds MB/s user sys wineserver "CPU s" "CPU s/GB" "nginx s" bytes
for row in "${results[@]}"; do
    IFS='|' read -r l t w m u s ws c g n ok <<<"$row"
    printf '%-6s %-10s %9s %8s %7s %7s %10s %8s %9s %9s %5s\n' "$l" "$t" "$w" "$m" "$u" "$s" "$ws" "$c" "$g" "$n" "$ok"
done
echo
for limit in 2m none; do
    comp=$(printf '%s\n' "${results[@]}" | awk -F'|' -v l="$limit" '$1 == l && $2 == "component"')
    aria=$(printf '%s\n' "${results[@]}" | awk -F'|' -v l="$limit" '$1 == l && $2 == "aria2c"')
    curl_row=$(printf '%s\n' "${results[@]}" | awk -F'|' -v l="$limit" '$1 == l && $2 == "curl"')
    ct=$(cut -d'|' -f4 <<<"$comp"); at=$(cut -d'|' -f4 <<<"$aria"); ut=$(cut -d'|' -f4 <<<"$curl_row")
    cg=$(cut -d'|' -f9 <<<"$comp"); ag=$(cut -d'|' -f9 <<<"$aria"); ug=$(cut -d'|' -f9 <<<"$curl_row")
    echo "limit $limit: throughput component/aria2c $(echo "scale=2; $ct / $at" | bc)" \
        "(component/curl $(echo "scale=2; $ct / $ut" | bc)); CPU per GB component/aria2c" \
        "$(echo "scale=2; $cg / $ag" | bc) (component/curl $(echo "scale=2; $cg / $ug" | bc))"
done
echo "goal with the limit: throughput ratio at least 1.5, CPU per GB ratio at most 2"
