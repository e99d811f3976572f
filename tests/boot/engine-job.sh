#!/usr/bin/env bash
# The engine's job reader (busybox sh, src/boot/engine/job.sh) and the program's (EngineJob.cpp, through
# korvanix-diag job) agree on every file: the same fields for a good one, a refusal for a bad one.
#   engine-job.sh DIAG
set -euo pipefail
export LC_ALL=C.UTF-8
diag=$1
here=$(cd "$(dirname "$0")" && pwd)
jobsh=$here/../../src/boot/engine/job.sh
command -v busybox >/dev/null || { echo "SKIP: busybox is not installed"; exit 77; }
work=$(mktemp -d "${TMPDIR:-/tmp}/korvanix-enginejob.XXXXXX")
trap 'rm -rf "$work"' EXIT

good='korvanix-job 1
mode=backup
system=5A3C0F12:1048576
partition=5A3C0F12:1048576
image=5A3C0F12:68157440
folder=/qzrpgho/系统 备份
ghost-partition=1:1
ghost-image=1:2\qzrpgho\系统 备份
end'
n=0
case_() {  # EXPECTED(ok|refused) TEXT
    n=$((n + 1))
    printf '%s' "$2" >"$work/$n.job"
    local engine program
    program=$("$diag" job "$work/$n.job" || true)
    engine=$(TMPDIR=$work busybox sh -c '. "$1"; if job_parse "$2"; then
        printf "mode=%s\nsystem=%s\npartition=%s\nimage=%s\nfolder=%s\nghost-partition=%s\nghost-image=%s\n" \
            "$JOB_MODE" "$JOB_SYSTEM" "$JOB_PARTITION" "$JOB_IMAGE" "$JOB_FOLDER" "$JOB_GHOST_PARTITION" \
            "$JOB_GHOST_IMAGE"; [ -z "$JOB_INDEX" ] || echo "index=$JOB_INDEX"; else echo refused; fi' sh "$jobsh" "$work/$n.job")
    if [ "$engine" != "$program" ]; then
        echo "FAIL case $n: the engine and the program disagree"
        echo "--- file:"; cat "$work/$n.job"; echo; echo "--- engine:"; echo "$engine"; echo "--- program:"; echo "$program"
        exit 1
    fi
    if [ "$1" = refused ] && [ "$engine" != refused ]; then echo "FAIL case $n: accepted a bad job:"; cat "$work/$n.job"; exit 1; fi
    if [ "$1" = ok ] && [ "$engine" = refused ]; then echo "FAIL case $n: refused a good job:"; cat "$work/$n.job"; exit 1; fi
}
sub() { printf '%s' "$good" | sed "$1"; }

case_ ok "$good"$'\n'
case_ ok "$good"
case_ ok "$(printf '%s\n' "$good" | sed 's/$/\r/')"
case_ ok "$(sub 's/5A3C0F12/5a3c0f12/')"
case_ ok "$(sub 's/:1048576/:0001048576/; s/mode=backup/mode=restore/; s/partition=5A3C0F12:0001048576/partition=0000ABCD:512/')"
case_ refused ""
case_ refused "$(printf '%s\n' "$good" | head -n 8)"
case_ refused "$(printf '%s' "$good" | head -c 60)"
case_ refused "$good"$'\n\n'
case_ refused "$good"$'\nmode=restore\n'
case_ refused "$(sub '2a colour=red')"
case_ refused "$(sub '3d')"
case_ refused "$(sub 's/^system=/System=/')"
case_ refused "$(sub 's/korvanix-job 1/korvanix-job 2/')"
case_ refused "$(sub 's/mode=backup/mode=copy/')"
case_ refused "$(sub 's/image=5A3C0F12:68157440/image=5A3C0F12:1048576/')"
case_ refused "$(sub 's/mode=backup/mode=restore/; s/image=5A3C0F12:68157440/image=5A3C0F12:01048576/')"
case_ refused "$(sub 's/system=5A3C0F12/system=00000000/')"
case_ refused "$(sub 's/:68157440/:68157441/')"
case_ refused "$(sub 's/:68157440/:6815744x/')"
case_ refused "$(sub 's/:68157440/:/')"
case_ refused "$(sub 's/system=5A3C0F12/system=5A3C0F1/')"
case_ refused "$(sub 's/:68157440/:12345678901234567890/')"
case_ refused "$(sub 's#folder=.*#folder=/qzrpgho/../x#')"
case_ refused "$(sub 's#folder=.*#folder=/qzrpgho//x#')"
case_ refused "$(sub 's#folder=.*#folder=/qzrpgho/#')"
case_ refused "$(sub 's#folder=.*#folder=qzrpgho#')"
# Offsets stop below 2^41 bytes (an MBR's reach): the last sector before it is taken, 2^41 and a value
# past 2^53 that a reader through doubles would round are not.
case_ ok "$(sub 's/:68157440/:2199023254528/')"
case_ refused "$(sub 's/:68157440/:2199023255552/')"
case_ refused "$(sub 's/:68157440/:1152921504606846977/')"
# Folder names are values: blanks, brackets, "*", "$" and Chinese pass both readers unchanged.
case_ ok "$(sub 's#folder=.*#folder=/My Images [1]/系统 $x*#')"
case_ refused "$(sub 's#folder=.*#folder=/a\\b#')"
case_ refused "$(sub 's#folder=.*#folder=/#')"
case_ refused "$(sub 's/ghost-partition=1:1/ghost-partition=/')"
# GPT partitions: disk GUID / partition GUID : offset, either case, offsets in whole sectors below 2^53.
gd=1F3E5D7C-9B0A-4C2E-8D6F-A1B2C3D4E5F6 gs=2A4C6E80-1B3D-4F5A-8C7E-9D0F1A2B3C4D gi=3B5D7F91-2C4E-4A6B-9D8F-0E1A2B3C4D5E
gpt() { sub "s#^system=.*#system=$gd/$gs:$1#; s#^partition=.*#partition=$gd/$gs:$1#; s#^image=.*#image=$2#"; }
case_ ok "$(gpt 68157440 "$gd/$gi:202375168")"
case_ ok "$(gpt 068157440 "$(echo "$gd/$gi" | tr A-F a-f):9007199254740480")"
case_ ok "$(gpt 68157440 5A3C0F12:1048576)"
case_ refused "$(gpt 68157440 "$gd/$gi:9007199254740992")"
case_ refused "$(gpt 68157440 "$gd/$gi:202375169")"
case_ refused "$(gpt 68157440 "$gd/$gi:0")"
case_ refused "$(gpt 68157440 "$gd/$gs:68157440")"
case_ refused "$(gpt 68157440 "00000000-0000-0000-0000-000000000000/$gi:202375168")"
case_ refused "$(gpt 68157440 "$gd/${gi%?}:202375168")"
case_ refused "$(gpt 68157440 "$gd/{$gi}:202375168")"
case_ refused "$(gpt 68157440 "$gd:$gi:202375168")"
case_ refused "$(gpt 68157440 "$gd/$gi/$gs:202375168")"
# An apply: the image file and its edition, on one more line that only an apply has.
apply=$(sub 's/mode=backup/mode=apply/; s#folder=.*#folder=/sources/install.wim#; s/^end$/index=12\nend/')
case_ ok "$apply"
case_ ok "$(printf '%s' "$apply" | sed 's/index=12/index=9999/')"
for bad in 0 01 10000 '' +1 1x; do case_ refused "$(printf '%s' "$apply" | sed "s/index=12/index=$bad/")"; done
case_ refused "$(printf '%s' "$apply" | sed 's/index=12/edition=12/')"
case_ refused "$(printf '%s' "$apply" | sed '/^index=/d')"
case_ refused "$(printf '%s' "$apply" | sed 's/mode=apply/mode=restore/')"
case_ refused "$(sub 's/^end$/index=1\nend/')"
case_ refused "$(printf '%s' "$apply" | sed 's/image=5A3C0F12:68157440/image=5A3C0F12:1048576/')"
echo "PASS: $n job files, both readers agree"
