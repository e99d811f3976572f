# The engine's view of the disks: which there are, their partitions and tables, identities, file systems,
# and mounting with the checks ntfs-3g does not make itself. Sourced by init; busybox sh. Every value that
# comes from a disk or a job is quoted: a name is a value, never a word list or a pattern.

# hexbytes DEV OFFSET COUNT: the bytes as lowercase hex, no separators.
hexbytes() { dd if="$1" bs=1 skip="$2" count="$3" 2>/dev/null | xxd -p | tr -d '\n'; }
# le32hex HEX8: a little-endian 32-bit value as 8 uppercase hex digits.
le32hex() { echo "$1" | sed 's/\(..\)\(..\)\(..\)\(..\)/\4\3\2\1/' | tr a-f A-F; }

disks() {
    local d
    for d in /sys/block/sd* /sys/block/hd* /sys/block/vd* /sys/block/nvme*n*; do
        [ -e "$d/device" ] && echo "${d##*/}"
    done
}

partitions_of() {
    local p
    for p in /sys/block/"$1"/"$1"*; do [ -f "$p/start" ] && echo "${p##*/}"; done
}

# disk_of PARTITION: the disk a partition (sda1, nvme0n1p2) belongs to.
disk_of() { basename "$(dirname "$(readlink -f "/sys/class/block/$1")")"; }

# removable DISK: a disk the firmware or the kernel calls removable, or one behind USB. A job never names
# such a disk: a stick carried from another machine must not decide what is written here.
removable() {
    [ "$(cat "/sys/block/$1/removable" 2>/dev/null)" = 1 ] && return 0
    case $(readlink -f "/sys/block/$1") in */usb*) return 0 ;; esac
    return 1
}

# Waits until the disks have been the same for two seconds (the controllers probe in the background).
wait_for_disks() {
    local last= now i=0 d
    while [ $i -lt 60 ]; do
        now=$(for d in $(disks); do echo "$d $(partitions_of "$d" | tr '\n' ' ')"; done)
        if [ -n "$now" ] && [ "$now" = "$last" ] && [ $i -ge 4 ]; then break; fi
        last=$now
        sleep 0.5
        i=$((i + 1))
    done
    say "disks: $(echo "$now" | tr '\n' ';')"
}

# The kind of disk: mbr, gpt, dynamic or none (no 55 AA).
table_of() {
    local mbr types
    mbr=$(hexbytes "/dev/$1" 0 512)
    [ "${mbr:1020:4}" = 55aa ] || { echo none; return; }
    types="${mbr:900:2} ${mbr:932:2} ${mbr:964:2} ${mbr:996:2}"
    case " $types " in
        *" ee "*) echo gpt ;;
        *" 42 "*) echo dynamic ;;
        *) echo mbr ;;
    esac
}

signature_of() { le32hex "$(hexbytes "/dev/$1" 440 4)"; }

# fs_of DEV: ntfs, fat or unknown, from the boot sector.
fs_of() {
    local s
    s=$(dd if="$1" bs=512 count=1 2>/dev/null | xxd -p | tr -d '\n')
    if [ "${s:6:16}" = 4e54465320202020 ]; then echo ntfs
    elif [ "${s:164:10}" = 4641543332 ] || [ "${s:108:6}" = 464154 ]; then echo fat
    else echo unknown; fi
}

# The file-system serial as GRUB's probe --fs-uuid gives it, without dashes, lowercase.
serial_of() {
    case $(fs_of "$1") in
        ntfs) hexbytes "$1" 72 8 | sed 's/\(..\)\(..\)\(..\)\(..\)\(..\)\(..\)\(..\)\(..\)/\8\7\6\5\4\3\2\1/' ;;
        fat)
            if [ "$(hexbytes "$1" 82 5)" = 4641543332 ]; then le32hex "$(hexbytes "$1" 67 4)" | tr A-F a-f
            else le32hex "$(hexbytes "$1" 39 4)" | tr A-F a-f; fi ;;
    esac
}

# resolve ID: FOUND is the device of the one partition with that identity, on a fixed disk with a plain MBR
# table, or the reason it is not. Offsets compare as text: the job reader wrote them without leading zeros,
# and below 2^41 awk's doubles are exact.
resolve() {
    local sig=${1%%:*} offset=${1#*:} d p start matches=0 table
    FOUND=
    # A GPT partition's identity is its disk's and its own GUID (gpt.sh).
    case $1 in */*) resolve_gpt "$1"; return ;; esac
    for d in $(disks); do
        [ "$(signature_of "$d")" = "$sig" ] || continue
        table=$(table_of "$d")
        [ "$table" = mbr ] || { fail "disk $sig ($d) has a $table partition table"; return 1; }
        for p in $(partitions_of "$d"); do
            start=$(awk '{ printf "%.0f", $0 * 512 }' "/sys/block/$d/$p/start")
            if [ "$start" = "$offset" ]; then
                matches=$((matches + 1))
                FOUND=/dev/$p
            fi
        done
    done
    [ $matches = 0 ] && { fail "partition $1 is not on any disk"; return 1; }
    [ $matches -gt 1 ] && { fail "$matches partitions have the identity $1"; return 1; }
    if removable "$(disk_of "${FOUND#/dev/}")"; then
        fail "partition $1 is on a removable or USB disk; the engine writes only to fixed disks"
        return 1
    fi
    return 0
}

# size_of DEV: its size in bytes (a regular file's too, which bench/engine/run.sh gives the engine's steps).
size_of() {
    if [ -b "$1" ]; then awk '{ printf "%.0f", $0 * 512 }' "/sys/class/block/${1#/dev/}/size"; else stat -c %s "$1"; fi
}

# mounted_rw DIR: DIR is a mount point that takes writes.
mounted_rw() { awk -v d="$1" '$2 == d { split($4, o, ","); rw = (o[1] == "rw") } END { exit !rw }' /proc/mounts; }
is_mounted() { awk -v d="$1" '$2 == d { found = 1 } END { exit !found }' /proc/mounts; }

# mount_part DEV DIR ro|rw[,OPTION...]: MOUNT_WHY says why when it fails. ntfs-3g asked for rw falls back to read-only,
# with success, on a hibernated or unclean volume: a rw mount is checked, and refused when it did not take.
mount_part() {
    local fs
    MOUNT_WHY=
    fs=$(fs_of "$1")
    is_mounted "$2" && umount "$2" 2>/dev/null
    case $fs in
        ntfs) ntfs-3g -o "$3" "$1" "$2" 2>/run/err.mount ;;
        fat) mount -t vfat -o "$3,iocharset=utf8,shortname=mixed" "$1" "$2" 2>/run/err.mount ;;
        *) MOUNT_WHY="${1#/dev/} holds neither NTFS nor FAT"; return 1 ;;
    esac
    local status=$?
    if grep -qi hibernat /run/err.mount; then
        MOUNT_WHY="Windows was hibernated on ${1#/dev/} (fast start-up or hibernation); start Windows and restart from it"
    elif grep -qi 'unclean\|unsafe state' /run/err.mount; then
        MOUNT_WHY="the file system on ${1#/dev/} was not closed cleanly; start Windows, let it check the disk, and restart from it"
    else
        MOUNT_WHY="cannot mount ${1#/dev/}: $(grep -v '^ *$' /run/err.mount | tail -n 1)"
    fi
    [ $status = 0 ] || return 1
    if [ "${3%%,*}" = rw ] && ! mounted_rw "$2"; then
        umount "$2" 2>/dev/null
        return 1
    fi
    return 0
}

# hibernated DIR: the mounted file system carries the image of a hibernated Windows (hiberfil.sys starts
# with HIBR; Windows 8's fast start-up after "shut down" leaves one too). What a backup would copy of such
# a volume is not what Windows will find when it resumes.
hibernated() {
    local f
    for f in "$1"/hiberfil.sys "$1"/HIBERFIL.SYS "$1"/Hiberfil.sys; do
        [ -f "$f" ] || continue
        case $(head -c 4 "$f" | tr a-z A-Z) in HIBR) return 0 ;; esac
    done
    return 1
}

# Unmounts whatever the engine mounted, so that every later step may mount again.
unmount_all() {
    local d
    for d in /run/chk /run/dm /run/img /run/sys; do
        is_mounted "$d" && { umount "$d" 2>/dev/null || { sleep 1; umount "$d" 2>/dev/null; }; }
    done
    return 0
}

# root_name DIR NAME: the name of the root file NAME in DIR whatever its case (ntfs-3g matches names
# exactly; Windows and GRUB users write KORVANIX.JOB as korvanix.job too). Empty when there is none.
root_name() {
    ls -1a "$1" 2>/dev/null | awk -v want="$2" 'toupper($0) == toupper(want) { print; exit }'
}
