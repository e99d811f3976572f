# The engine's reader of GUID partition tables: the kernel names no partition GUID and busybox has no
# blkid, so the header and the entries are read here, each checked against its CRC32 before any value of
# it is used. Sourced by init after disks.sh; busybox sh.

# GPT types a Windows dynamic disk carries: its metadata and its data (LDM).
GPT_LDM_TYPES="5808C8AA-7E8F-42E0-85D2-E1E90434CFB3 AF9B60A0-1431-4F62-BC68-3311714A69AD"

# guid_text HEX32: the 16 bytes of a GUID as stored (first three fields little-endian) in its written form.
guid_text() {
    echo "${1:6:2}${1:4:2}${1:2:2}${1:0:2}-${1:10:2}${1:8:2}-${1:14:2}${1:12:2}-${1:16:4}-${1:20:12}" | tr a-f A-F
}
# le64 HEX16: a little-endian 64-bit value in decimal (exact below 2^53, awk's doubles).
le64() {
    echo "$1" | sed 's/\(..\)\(..\)\(..\)\(..\)\(..\)\(..\)\(..\)\(..\)/\8\7\6\5\4\3\2\1/' |
        awk '{ v = 0; for (i = 1; i <= 16; i++) v = v * 16 + index("0123456789abcdef", substr($0, i, 1)) - 1; printf "%.0f\n", v }'
}
le32() { le64 "${1}00000000"; }

# crc32_of FILE: as GPT stores it (lowercase hex of the little-endian value, as read with hexbytes).
crc32_of() { crc32 "$1" | cut -c1-8 | sed 's/\(..\)\(..\)\(..\)\(..\)/\4\3\2\1/'; }

# gpt_read DISK: GPT_DISK_GUID, GPT_SECTOR and /run/gpt.DISK, one line a used entry: "NUMBER TYPE-GUID
# PARTITION-GUID FIRST-LBA LAST-LBA"; or GPT_WHY and a failed status. The primary header at LBA 1 is read;
# a disk whose primary header or entries do not match their CRC32 is refused, not repaired.
gpt_read() {
    local d=$1 h size hsize n esize entries lba i e type
    GPT_WHY= GPT_DISK_GUID=
    GPT_SECTOR=$(cat "/sys/block/$d/queue/logical_block_size" 2>/dev/null || echo 512)
    h=$(hexbytes "/dev/$d" "$GPT_SECTOR" 512)
    [ "${h:0:16}" = 4546492050415254 ] || { GPT_WHY="disk $d has no GPT header"; return 1; }
    hsize=$(le32 "${h:24:8}")
    [ "$hsize" -ge 92 ] && [ "$hsize" -le 512 ] || { GPT_WHY="disk $d: GPT header size $hsize"; return 1; }
    # The header's CRC32 is taken with its own field as zero.
    dd if="/dev/$d" bs=1 skip="$GPT_SECTOR" count="$hsize" 2>/dev/null >/run/gpt.head
    printf '\0\0\0\0' | dd of=/run/gpt.head bs=1 seek=16 conv=notrunc 2>/dev/null
    [ "$(crc32_of /run/gpt.head)" = "${h:32:8}" ] || { GPT_WHY="disk $d: the GPT header does not match its CRC32"; return 1; }
    GPT_DISK_GUID=$(guid_text "${h:112:32}")
    lba=$(le64 "${h:144:16}") n=$(le32 "${h:160:8}") esize=$(le32 "${h:168:8}")
    [ "$esize" -ge 128 ] && [ "$esize" -le 4096 ] && [ "$n" -le 1024 ] ||
        { GPT_WHY="disk $d: GPT entries of $esize bytes, $n of them"; return 1; }
    dd if="/dev/$d" bs="$GPT_SECTOR" skip="$lba" count=$(( (n * esize + GPT_SECTOR - 1) / GPT_SECTOR )) 2>/dev/null |
        head -c $((n * esize)) >/run/gpt.entries
    [ "$(stat -c %s /run/gpt.entries)" = $((n * esize)) ] && [ "$(crc32_of /run/gpt.entries)" = "${h:176:8}" ] ||
        { GPT_WHY="disk $d: the GPT entries do not match their CRC32"; return 1; }
    xxd -p -c "$esize" /run/gpt.entries | awk '{ print NR, $0 }' | while read -r i e; do
        type=${e:0:32}
        [ "$type" = 00000000000000000000000000000000 ] && continue
        echo "$i $(guid_text "$type") $(guid_text "${e:32:32}") $(le64 "${e:64:16}") $(le64 "${e:80:16}")"
    done >"/run/gpt.$d"
}

# mbr_kind DISK: gpt (a protective MBR: one entry, of type EE), hybrid (EE beside other entries), or what
# table_of says.
mbr_kind() {
    local kind mbr t others=0 ee=0
    kind=$(table_of "$1")
    [ "$kind" = gpt ] || { echo "$kind"; return; }
    mbr=$(hexbytes "/dev/$1" 446 64)
    for t in "${mbr:8:2}" "${mbr:40:2}" "${mbr:72:2}" "${mbr:104:2}"; do
        case $t in ee) ee=$((ee + 1)) ;; 00) ;; *) others=$((others + 1)) ;; esac
    done
    if [ $others -gt 0 ]; then echo hybrid; else echo gpt; fi
}

# gpt_dynamic DISK: the GPT (read by gpt_read) has a Windows dynamic disk's partitions.
gpt_dynamic() {
    local t
    for t in $GPT_LDM_TYPES; do
        awk -v t="$t" '$2 == t { found = 1 } END { exit !found }' "/run/gpt.$1" && return 0
    done
    return 1
}

# partition_number_of DISK NUMBER: the kernel's device of partition NUMBER of DISK (sda2, nvme0n1p2).
partition_number_of() {
    local p
    for p in $(partitions_of "$1"); do
        [ "$(cat "/sys/block/$1/$p/partition" 2>/dev/null)" = "$2" ] && { echo "$p"; return 0; }
    done
    return 1
}

# resolve_gpt DISK-GUID/PARTITION-GUID:OFFSET: FOUND is the device of the one partition with that
# partition GUID on the disk with that disk GUID, on a fixed disk, starting at OFFSET bytes (the
# cross-check: a GUID that moved is not the partition the job was made for). A hybrid MBR beside the GPT
# and a dynamic disk are refused: what Windows and the engine take for the partition could differ.
resolve_gpt() {
    local disk=${1%%/*} rest=${1#*/} part offset d p n start line kind matches=0 unread=
    part=${rest%%:*} offset=${rest#*:}
    FOUND=
    for d in $(disks); do
        kind=$(mbr_kind "$d")
        case $kind in gpt|hybrid) ;; *) continue ;; esac
        gpt_read "$d" || { unread="$unread; $GPT_WHY"; continue; }
        [ "$GPT_DISK_GUID" = "$disk" ] || continue
        [ "$kind" = gpt ] || { fail "disk $disk ($d) has a hybrid MBR beside its GPT"; return 1; }
        gpt_dynamic "$d" && { fail "disk $disk ($d) is a dynamic disk"; return 1; }
        line=$(awk -v g="$part" '$3 == g' "/run/gpt.$d")
        [ -n "$line" ] || continue
        n=${line%% *}
        start=$(echo "$line" | awk -v s="$GPT_SECTOR" '{ printf "%.0f", $4 * s }')
        [ "$start" = "$offset" ] || { fail "partition $part on disk $disk starts at $start, the job says $offset"; return 1; }
        p=$(partition_number_of "$d" "$n") || { fail "the kernel shows no partition $n on $d"; return 1; }
        [ "$(awk '{ printf "%.0f", $0 * 512 }' "/sys/block/$d/$p/start")" = "$start" ] ||
            { fail "the kernel puts $p elsewhere than its GPT entry"; return 1; }
        matches=$((matches + 1))
        FOUND=/dev/$p
    done
    [ $matches = 0 ] && { fail "partition $1 is not on any disk$unread"; return 1; }
    [ $matches -gt 1 ] && { fail "$matches partitions have the identity $1"; return 1; }
    if removable "$(disk_of "${FOUND#/dev/}")"; then
        fail "partition $1 is on a removable or USB disk; the engine writes only to fixed disks"
        return 1
    fi
    return 0
}
