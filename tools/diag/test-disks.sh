#!/usr/bin/env bash
# korvanix-diag disks / volumes on saved diskpart outputs of both languages (code page 936 with CRLF,
# UTF-8 with LF), and on rubbish.   usage: test-disks.sh KORVANIX_DIAG DATA_DIR
set -uo pipefail
diag=$1
data=$2/diskpart
status=0
check() {  # expected-output command...
    local expected=$1 actual
    shift
    actual=$("$diag" "$@")
    if [ "$actual" != "$expected" ]; then
        printf 'FAIL %s\n--- expected\n%s\n--- got\n%s\n' "$*" "$expected" "$actual"
        status=1
    fi
}
check $'C: 1:2\nD: 1:3\nE: 2:1' disks "$data/saved/zh-win7-disk0.cp936.txt" "$data/saved/zh-win7-disk1.cp936.txt"
check $'C: 1:2\nD: 1:3\nE: 2:1' disks "$data/zh-win7/disk0.txt" "$data/zh-win7/disk1.txt" "$data/zh-win7/nodisk.txt"
check $'E: 2:1' disks "$data/zh-win7/nodisk.txt" "$data/zh-win7/disk1.txt"
check $'C: 1:2\nE: 1:3' disks "$data/saved/en-win7-disk0.crlf.txt"
check $'C: 1:1\nD: 1:2' volumes "$data/saved/zh-xp-volumes.cp936.txt"
check $'C: 1:1\nD: 1:2' volumes "$data/saved/en-xp-volumes.txt"
check $'C: 1:2\nE: 1:3\nG: 1:4' volumes "$data/en-win7/volumes.txt"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
head -c 200000 /dev/urandom >"$tmp/random"
: >"$tmp/empty"
for f in "$tmp/random" "$tmp/empty"; do
    "$diag" disks "$f" "$f" >/dev/null || { echo "FAIL disks on $(basename "$f")"; status=1; }
    "$diag" volumes "$f" >/dev/null || { echo "FAIL volumes on $(basename "$f")"; status=1; }
done
"$diag" volumes "$tmp/missing" 2>/dev/null && { echo "FAIL a missing file is an error"; status=1; }
"$diag" volumes 2>/dev/null; [ $? -eq 2 ] || { echo "FAIL volumes without a file is a usage error"; status=1; }
exit $status
