#!/usr/bin/env bash
# Runs a command while the download servers listen on 127.0.0.1: nginx (plain, limited to 2 MB/s per
# connection under /limited/, and TLS with a self-signed certificate made out to another host name)
# and the scripted fault server. Everything lives in one temporary folder, removed at the end; the
# servers are stopped by their process ids.
#
# Usage: with-servers.sh [--big MEGABYTES] command [args...]
# The command sees KX_DL_HTTP, KX_DL_HTTPS, KX_DL_FAULT (base addresses), KX_DL_BIG (file name of the
# big file, served by nginx), KX_DL_BIG_SHA256, KX_DL_SMALL (served by both, 12 MB and a bit),
# huge.bin (5 GB and 3 bytes of zeros), KX_DL_WORK_UNIX and KX_DL_WORK (the folder as a Unix and as a Wine path), KX_DL_NGINX_PID.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

big_mb=200
if [ "${1:-}" = "--big" ]; then
    big_mb=$2
    shift 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/kx-servers.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
wine_path() {
    printf 'Z:%s' "$1" | tr / '\\'
}

mkdir -p "$work/www" "$work/nginx" "$work/dl"
# nginx started by root serves as an unprivileged user, who must be able to read the files.
chmod 755 "$work" "$work/www"
head -c $((big_mb * 1048576)) /dev/urandom >"$work/www/big.bin"
head -c $((12 * 1048576 + 777)) /dev/urandom >"$work/www/small.bin"
# Over 4 GB and sparse: it costs no disk.
truncate -s $((5 * 1073741824 + 3)) "$work/www/huge.bin"
openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=other.invalid -days 2 \
    -keyout "$work/nginx/key.pem" -out "$work/nginx/cert.pem" >/dev/null 2>&1

http_port=$(free_port)
https_port=$(free_port)
sed -e "s|@WORK@|$work|g" -e "s|@HTTP_PORT@|$http_port|g" -e "s|@HTTPS_PORT@|$https_port|g" \
    "$here/nginx.conf.in" >"$work/nginx/nginx.conf"
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" -g 'daemon off;' &
pids+=($!)
nginx_pid=$!
python3 "$here/fault_server.py" "$work/www/small.bin" "$work/fault.port" &
pids+=($!)

for _ in $(seq 100); do
    if [ -s "$work/fault.port" ] && curl -sf -o /dev/null "http://127.0.0.1:$http_port/small.bin" &&
        curl -sfk -o /dev/null "https://127.0.0.1:$https_port/small.bin"; then
        break
    fi
    sleep 0.1
done
fault_port=$(cat "$work/fault.port")

export KX_DL_HTTP="http://127.0.0.1:$http_port"
export KX_DL_HTTPS="https://127.0.0.1:$https_port"
export KX_DL_FAULT="http://127.0.0.1:$fault_port"
export KX_DL_BIG=big.bin
export KX_DL_BIG_SHA256=$(sha256sum "$work/www/big.bin" | cut -d' ' -f1)
export KX_DL_SMALL=small.bin
export KX_DL_NGINX_PID=$nginx_pid
export KX_DL_WORK_UNIX=$work
export KX_DL_WORK=$(wine_path "$work")
"$@"
