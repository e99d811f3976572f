# The engine's reader of the job file (the format is described in src/boot/EngineJob.h, whose parser
# accepts and refuses exactly what this one does). Sourced by init; busybox sh.

# job_fail REASON: the reason for the log, and a failed status.
job_fail() {
    JOB_ERROR=$1
    return 1
}

# job_gpt_identity VALUE: "DISK-GUID/PARTITION-GUID:byte offset", neither GUID zero, whole sectors below
# 2^53 bytes (where awk's doubles are exact).
job_gpt_identity() {
    local g='[0-9A-Fa-f]\{8\}-[0-9A-Fa-f]\{4\}-[0-9A-Fa-f]\{4\}-[0-9A-Fa-f]\{4\}-[0-9A-Fa-f]\{12\}' offset=${1#*:}
    printf '%s\n' "$1" | grep -qx "$g/$g:[0-9]\{1,16\}" || { job_fail "bad partition identity '$1'"; return 1; }
    case $1 in 00000000-0000-0000-0000-000000000000/*|*/00000000-0000-0000-0000-000000000000:*)
        job_fail "a GUID of '$1' is zero"; return 1 ;;
    esac
    echo "$offset" | awk '{ exit !($0 + 0 > 0 && $0 + 0 < 9007199254740992 && $0 % 512 == 0) }' ||
        { job_fail "partition start $offset is not a whole sector below 2^53"; return 1; }
}

# job_identity VALUE: an identity "8 hex digits:byte offset" with whole sectors and no zero signature, or
# a GPT partition's (job_gpt_identity).
job_identity() {
    case $1 in */*) job_gpt_identity "$1"; return ;; esac
    case $1 in
        [0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f]:[0-9]*) ;;
        *) job_fail "bad partition identity '$1'"; return 1 ;;
    esac
    local offset=${1#*:}
    case $offset in *[!0-9]*) job_fail "bad partition identity '$1'"; return 1 ;; esac
    # An MBR addresses 2^32 sectors of 512 bytes: offsets stay below 2^41, where awk's doubles are exact.
    [ ${#offset} -le 13 ] && echo "$offset" | awk '{ exit !($0 + 0 < 2199023255552) }' ||
        { job_fail "partition start $offset is past 2 TiB"; return 1; }
    case ${1%%:*} in 00000000) job_fail "disk signature is zero (the disk has no MBR signature)"; return 1 ;; esac
    # Whole sectors, and not the MBR itself; awk because the shell's arithmetic is 32-bit on some builds.
    echo "$offset" | awk '{ exit !($0 + 0 > 0 && $0 % 512 == 0) }' ||
        { job_fail "partition start $offset is not a whole sector"; return 1; }
}

# job_normal ID: upper-case hex digits, the offset without leading zeros, so that identities compare as text.
job_normal() { echo "$1" | awk -F: '{ printf "%s:%.0f\n", toupper($1), $2 }'; }

# job_folder VALUE: "/a/b" with no empty, "." or ".." component, no backslash and no control character.
# Everything else is a value for the engine, quoted wherever it is used: blanks, brackets, * and $ included.
job_folder() {
    local rest=$1 part
    case $rest in /?*) ;; *) job_fail "unusable image folder '$1'"; return 1 ;; esac
    case $rest in */) job_fail "unusable image folder '$1'"; return 1 ;; esac
    if printf '%s' "$rest" | LC_ALL=C grep -q '[[:cntrl:]\\]'; then
        job_fail "unusable image folder '$1'"
        return 1
    fi
    rest=${rest#/}
    while [ -n "$rest" ]; do
        part=${rest%%/*}
        case $part in ''|.|..) job_fail "unusable image folder '$1'"; return 1 ;; esac
        [ "$part" = "$rest" ] && break
        rest=${rest#*/}
    done
}

# job_parse FILE: sets JOB_MODE JOB_SYSTEM JOB_PARTITION JOB_IMAGE JOB_FOLDER JOB_GHOST_PARTITION
# JOB_GHOST_IMAGE and, for an apply, JOB_INDEX; or JOB_ERROR and a failed status.
job_parse() {
    local file=$1 n=0 line key value total last=9
    local keys="mode system partition image folder ghost-partition ghost-image"
    JOB_ERROR= JOB_INDEX=
    [ -f "$file" ] || { job_fail "no job file"; return 1; }
    # awk reads a last line that lacks its line break too, and drops the CR a Windows editor adds.
    awk '{ sub(/\r$/, ""); print }' "$file" >"${TMPDIR:-/tmp}/job.lines"
    total=$(wc -l <"${TMPDIR:-/tmp}/job.lines")
    [ "$(sed -n 1p "${TMPDIR:-/tmp}/job.lines")" = "korvanix-job 1" ] || { job_fail "first line is not 'korvanix-job 1'"; return 1; }
    # An apply names the image's edition on one more line, before the end.
    if [ "$(sed -n 2p "${TMPDIR:-/tmp}/job.lines")" = mode=apply ]; then keys="$keys index" last=10; fi
    [ "$total" -ge $last ] && [ "$(sed -n ${last}p "${TMPDIR:-/tmp}/job.lines")" = end ] ||
        { job_fail "job file is incomplete (no 'end' line)"; return 1; }
    if [ "$total" -gt $last ]; then
        job_fail "text after the 'end' line"
        return 1
    fi
    n=2
    for key in $keys; do
        line=$(sed -n "${n}p" "${TMPDIR:-/tmp}/job.lines")
        case $line in
            "$key="*) value=${line#*=} ;;
            *) job_fail "line $n should be '$key=', is '$line'"; return 1 ;;
        esac
        case $key in
            mode) JOB_MODE=$value ;;
            system) JOB_SYSTEM=$value ;;
            partition) JOB_PARTITION=$value ;;
            image) JOB_IMAGE=$value ;;
            folder) JOB_FOLDER=$value ;;
            ghost-partition) JOB_GHOST_PARTITION=$value ;;
            ghost-image) JOB_GHOST_IMAGE=$value ;;
            index) JOB_INDEX=$value ;;
        esac
        n=$((n + 1))
    done
    case $JOB_MODE in backup|restore|apply) ;; *) job_fail "unknown mode '$JOB_MODE'"; return 1 ;; esac
    # The edition: 1 to 9999, no leading zero.
    case $JOB_MODE:$JOB_INDEX in
        apply:[1-9] | apply:[1-9][0-9] | apply:[1-9][0-9][0-9] | apply:[1-9][0-9][0-9][0-9] | backup: | restore:) ;;
        *) job_fail "bad image index '$JOB_INDEX'"; return 1 ;;
    esac
    job_identity "$JOB_SYSTEM" && job_identity "$JOB_PARTITION" && job_identity "$JOB_IMAGE" || return 1
    job_folder "$JOB_FOLDER" || return 1
    for value in "$JOB_GHOST_PARTITION" "$JOB_GHOST_IMAGE"; do
        if [ -z "$value" ] || printf '%s' "$value" | LC_ALL=C grep -q '[[:cntrl:]]'; then
            job_fail "empty designator or one with control characters"
            return 1
        fi
    done
    JOB_SYSTEM=$(job_normal "$JOB_SYSTEM")
    JOB_PARTITION=$(job_normal "$JOB_PARTITION")
    JOB_IMAGE=$(job_normal "$JOB_IMAGE")
    if [ "$JOB_PARTITION" = "$JOB_IMAGE" ]; then
        case $JOB_MODE in
            restore) job_fail "the image is on the partition to restore" ;;
            apply) job_fail "the image is on the partition to apply it to" ;;
            *) job_fail "the image cannot be saved to the partition being backed up" ;;
        esac
        return 1
    fi
}
