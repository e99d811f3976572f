# Applying a Windows image (WIM, or ESD: the solid kind) to an NTFS partition, with wimlib through
# libntfs-3g: security descriptors, alternate streams, reparse points, short names, hard links and
# attributes as captured. The partition is formatted first; it keeps its own boot code (a fresh mkntfs
# only says "not bootable"): the old first 16 sectors take the new file system's parameters, nothing else.
# Like a restore, the apply leads every start back here from its first write until it has succeeded, and
# the target cannot be mounted until its ends are written last (restore.sh). Sourced by init; busybox sh.

KEEP_DIR=KXKEEP    # on the image partition while the apply runs: the target's boot code and boot files
BOOT_BYTES=8192    # NTFS's $Boot: the boot sector and the boot code's 15 sectors after it

# wim WIMLIB_IMAGEX_ARGS...: wimlib-imagex with paths inside images matched in any case, as Windows does.
wim() { WIMLIB_IMAGEX_IGNORE_CASE=1 wimlib-imagex "$@"; }

# wim_has FILE INDEX PATH: the image holds that path.
wim_has() { wim dir "$1" "$2" --path="$3" >/dev/null 2>&1; }

# hexfile FILE: its bytes as lowercase hex on one line.
hexfile() { xxd -p "$1" | tr -d '\n'; }

# boot_family FILE: which Windows loader the boot code in FILE (a partition's first sectors) starts:
# bootmgr (Vista to 8), ntldr (XP) or none; the name is in the code as text, ASCII or UTF-16.
boot_family() {
    local h
    h=$(hexfile "$1")
    case $h in
        *424f4f544d4752* | *42004f004f0054004d0047005200*) echo bootmgr ;;
        *4e544c4452* | *4e0054004c0044005200*) echo ntldr ;;
        *) echo none ;;
    esac
}

# image_family FILE INDEX: bootmgr when the image carries Windows\Boot\PCAT\bootmgr, ntldr when it is a
# Windows without it (XP: ntldr at its root or only Windows\System32), none otherwise.
image_family() {
    if wim_has "$1" "$2" /Windows/Boot/PCAT/bootmgr; then echo bootmgr
    elif wim_has "$1" "$2" /ntldr || wim_has "$1" "$2" /Windows/System32/ntoskrnl.exe; then echo ntldr
    else echo none; fi
}

# watch_wim KIND FILE: wimlib's progress ("... 23 MiB of 100 MiB (23%) done", CR-separated; bytes, KiB,
# MiB or GiB) as our line, every second, until killed. It looks twice a second whether a second has
# passed (the uptime, read without starting a process): a busy machine's slow pipeline does not add up.
watch_wim() {
    local parent=$$ start last=0 pct mb total rate left now shown=0 _
    start=$(date +%s)
    while :; do
        sleep 0.5
        kill -0 "$parent" 2>/dev/null && [ -e "$2" ] || exit 0
        read -r now _ </proc/uptime
        now=$(( ${now%.*} * 100 + 1${now#*.} - 100 ))
        [ $((now - shown)) -ge 95 ] || continue
        shown=$now
        tail -c 512 "$2" | tr '\r' '\n' | grep ' of .*%) done' | tail -n 1 | awk -v s="$(( $(date +%s) - start ))" '
            function mb(v, u) { return u == "GiB" ? v * 1024 : u == "MiB" ? v : u == "KiB" ? v / 1024 : v / 1048576 }
            {
                for (i = 3; i + 3 <= NF; i++) if ($i == "of") {
                    done = mb($(i - 2), $(i - 1)); total = mb($(i + 1), $(i + 2)); pct = $(i + 3)
                }
                gsub(/[(%)]/, "", pct)
                rate = (s > 0) ? done / s : 0
                left = (rate > 0) ? (total - done) / rate : 0
                printf "%d %.0f %.0f %.1f %02d:%02d:%02d\n", pct, done, total, rate, left / 3600, (left % 3600) / 60, left % 60
            }' >/run/wim.line
        read -r pct mb total rate left </run/wim.line 2>/dev/null
        [ -n "$left" ] || continue
        [ "$pct" -ge "$last" ] && last=$pct
        progress_line "$1" "$last" "$mb" "$total" "$rate" "$left"
    done
}

# wim_step KIND COMMAND...: a wimlib step with its progress on screen; its last words in WIM_WHY.
wim_step() {
    local kind=$1 st
    shift
    : >/run/err.wim
    watch_wim "$kind" /run/err.wim &
    local pid=$!
    "$@" >/run/err.wim 2>&1
    st=$?
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    # wimlib ends on "ERROR: Exiting with error code N:" (after a progress line's CR, not on a line of its
    # own) and the reason on the line after it.
    tr '\r' '\n' </run/err.wim | awk '{ gsub(/ERROR:/, "\nERROR:"); print }' |
        grep -v -e ' of .*%) done' -e '^ *$' >/run/err.words
    WIM_WHY=$(awk '/Exiting with error code/ { if (getline > 0) { sub(/^[ \t]+/, ""); print } exit }' /run/err.words)
    [ -n "$WIM_WHY" ] || WIM_WHY=$(grep -i -e error -e fail /run/err.words | head -n 1 | sed 's/^[[:space:]]*//')
    [ -n "$WIM_WHY" ] || WIM_WHY=$(tail -n 1 /run/err.words | sed 's/^[[:space:]]*//')
    [ $st = 0 ] || tail -n 20 /run/err.words >>"$LOG"
    return $st
}

# check_wim WIM TARGET: everything about the image and the target before the first write: the image's
# checksums (every resource's SHA-1 and the integrity table where there is one), the edition, its total
# size against the target's, and a boot code of the family the image starts. /run/keep holds the target's
# first sectors (and, when it is the system partition, its boot files) afterwards.
check_wim() {
    local wim=$1 tgt=$2 total size fam img_fam mb
    [ -f "$wim" ] || { fail "the image file $JOB_FOLDER is missing"; return 1; }
    say "checking the image $JOB_GHOST_IMAGE"
    wim_step check wim verify "$wim" || { fail "the image does not pass its check (it is damaged): $WIM_WHY"; return 1; }
    mb=$(( $(stat -c %s "$wim") / 1048576 ))
    progress_line check 100 "$mb" "$mb" - 00:00:00
    wim info "$wim" "$JOB_INDEX" >/run/wim.info 2>/run/err.wim ||
        { fail "the image has no edition $JOB_INDEX: $(tail -n 1 /run/err.wim)"; return 1; }
    total=$(awk -F: '/^Total Bytes:/ { gsub(/ /, "", $2); print $2 }' /run/wim.info)
    APPLY_MB=$(awk -v b="$total" 'BEGIN { printf "%.0f", b / 1048576 }')
    case $total in ''|*[!0-9]*) fail "the image gives no size for edition $JOB_INDEX"; return 1 ;; esac
    size=$(size_of "$tgt")
    if ! awk -v t="$size" -v s="$total" 'BEGIN { exit !(t + 0 >= s + 0) }'; then
        fail "the partition ($size bytes) is smaller than edition $JOB_INDEX of the image ($total bytes)"
        return 1
    fi
    IMG_BYTES=$(stat -c %s "$wim")
    img_fam=$(image_family "$wim" "$JOB_INDEX")
    fam=$(boot_family /run/keep/boot.bin)
    if [ "$fam" != none ] && [ "$img_fam" != none ] && [ "$fam" != "$img_fam" ]; then
        fail "the partition's boot code starts $(echo "$fam" | tr a-z A-Z) and the image's Windows needs $(echo "$img_fam" | tr a-z A-Z) (an image of another Windows generation); nothing was written"
        return 1
    fi
    APPLY_FAMILY=$img_fam
    say "image checked: edition $JOB_INDEX, $total bytes; boot code $fam, image $img_fam"
}

# keep_target TARGET: its first sectors and, when it is the system partition, its boot files (Boot\,
# boot.ini and the copies the program made of them) into /run/keep.
keep_target() {
    local n
    rm -rf /run/keep
    mkdir -p /run/keep/files
    dd if="$1" of=/run/keep/boot.bin bs=$BOOT_BYTES count=1 2>/dev/null &&
        [ "$(stat -c %s /run/keep/boot.bin)" = $BOOT_BYTES ] || { fail "cannot read the partition's boot sectors"; return 1; }
    [ "$1" = "$SYSDEV" ] || return 0
    case $(fs_of "$1") in
        ntfs) ;;
        *) fail "the system partition holds no NTFS: its boot code cannot start a Windows applied to NTFS"; return 1 ;;
    esac
    mount_part "$1" /run/dm ro || { fail "cannot read the partition to apply to: $MOUNT_WHY"; return 1; }
    for n in Boot boot.ini boot.in_; do
        n=$(root_name /run/dm "$n")
        [ -n "$n" ] || continue
        cp -a "/run/dm/$n" /run/keep/files/ || { umount /run/dm; fail "cannot keep the boot file $n"; return 1; }
    done
    umount /run/dm
}

# stash_keep / unstash_keep: /run/keep to the image partition (mounted at /run/img, rw) and back, for an
# apply that is cut short and runs again while the target cannot be read.
stash_keep() {
    rm -rf "/run/img/$KEEP_DIR.tmp" && cp -a /run/keep "/run/img/$KEEP_DIR.tmp" && rm -rf "/run/img/$KEEP_DIR" &&
        mv "/run/img/$KEEP_DIR.tmp" "/run/img/$KEEP_DIR" && sync
}
unstash_keep() { rm -rf /run/keep && cp -a "/run/img/$KEEP_DIR" /run/keep && [ -f /run/keep/boot.bin ]; }

# file_le16 / file_le64 FILE OFFSET: a little-endian value read from FILE (gpt.sh's le64 reads one from hex).
file_le16() { hexbytes "$1" "$2" 2 | sed 's/\(..\)\(..\)/\2\1/' | awk '{ printf "%d", ("0x" $0) + 0 }'; }
file_le64() { le64 "$(hexbytes "$1" "$2" 8)"; }

# format DEVICE TARGET: a new NTFS on DEVICE (the target seen through the diversion) with the target's
# start and, where it had NTFS before, its old geometry; then the old boot code with the new parameters
# (bytes 11-83 of the boot sector) in both of NTFS's boot sectors.
format_target() {
    local dev=$1 tgt=$2 start heads=255 spt=63 backup
    start=$(cat "/sys/class/block/${tgt#/dev/}/start")
    if [ "$(fs_of /run/keep/boot.bin)" = ntfs ]; then
        heads=$(file_le16 /run/keep/boot.bin 26) spt=$(file_le16 /run/keep/boot.bin 24)
    fi
    mkntfs -f -F -q -p "$start" -H "$heads" -S "$spt" "$dev" >/run/err.mkntfs 2>&1 ||
        { fail "cannot format the partition: $(tail -n 1 /run/err.mkntfs)"; return 1; }
    [ "$(fs_of /run/keep/boot.bin)" = ntfs ] || { say "the partition had no NTFS boot code: the new one is mkntfs's"; return 0; }
    dd if="$dev" of=/run/new.bin bs=$BOOT_BYTES count=1 2>/dev/null || { fail "cannot read the new boot sector"; return 1; }
    { head -c 11 /run/keep/boot.bin; dd if=/run/new.bin bs=1 skip=11 count=73 2>/dev/null
        tail -c +85 /run/keep/boot.bin; } >/run/merged.bin
    [ "$(stat -c %s /run/merged.bin)" = $BOOT_BYTES ] || { fail "cannot merge the boot code"; return 1; }
    backup=$(file_le64 /run/new.bin 40)
    dd if=/run/merged.bin of="$dev" bs=$BOOT_BYTES count=1 conv=notrunc 2>/dev/null &&
        dd if=/run/merged.bin of="$dev" bs=512 count=1 seek="$backup" conv=notrunc 2>/dev/null && sync ||
        { fail "cannot write the boot code back"; return 1; }
}

# boot_files DEVICE: on the applied system partition, bootmgr from the image at the root where the boot
# code looks for it, and the boot files as they were (the program's copies, Boot\BCD_ and boot.in_, put
# back over the entries it added).
boot_files() {
    local src
    # No access times: the applied files keep the image's.
    mount_part "$1" /run/dm rw,noatime || { fail "cannot open the applied partition: $MOUNT_WHY"; return 1; }
    if [ "$APPLY_FAMILY" = bootmgr ]; then
        src=$(find /run/dm/Windows/Boot/PCAT -maxdepth 1 -iname bootmgr -type f 2>/dev/null | head -n 1)
        [ -z "$(root_name /run/dm bootmgr)" ] || src=
        [ -z "$src" ] || cp "$src" /run/dm/bootmgr || { umount /run/dm; fail "cannot put bootmgr on the partition"; return 1; }
    fi
    if [ -n "$(ls -A /run/keep/files)" ]; then
        cp -a /run/keep/files/. /run/dm/ && put_boot_config_back /run/dm ||
            { umount /run/dm; fail "cannot put the boot configuration back"; return 1; }
    fi
    sync
    umount /run/dm || { fail "cannot close the applied partition"; return 1; }
}

# apply_image IMG TARGET
apply_image() {
    local img=$1 tgt=$2 start wimfile
    if [ -z "$RESTORE_BEGUN" ]; then
        keep_target "$tgt" || { unmount_all; return 1; }
    fi
    # Read-only until everything is checked: a refused job leaves the image partition as it was.
    mount_part "$img" /run/img ro || { fail "cannot open the image partition: $MOUNT_WHY"; return 1; }
    if [ -n "$RESTORE_BEGUN" ]; then
        unstash_keep || { unmount_all; fail "the target's boot sectors kept in $KEEP_DIR are missing"; return 1; }
    fi
    wimfile="/run/img$JOB_FOLDER"
    check_wim "$wimfile" "$tgt" || { unmount_all; return 1; }
    umount /run/img
    mount_part "$img" /run/img rw || { fail "cannot open the image partition for writing: $MOUNT_WHY"; return 1; }
    stash_keep || { unmount_all; fail "cannot keep the target's boot sectors on the image partition"; return 1; }
    umount /run/img
    arm_resume || return 1
    mount_part "$img" /run/img ro || { fail "cannot open the image partition: $MOUNT_WHY"; return 1; }
    say "applying edition $JOB_INDEX of $JOB_GHOST_IMAGE to $JOB_GHOST_PARTITION"
    RESTORE_BEGUN=1
    start=$(date +%s)
    blank_ends "$tgt" && divert_ends "$tgt" || return 1
    format_target "$DIVERTED" "$tgt" || { unmount_all; undivert; return 1; }
    wim_step apply wim apply "$wimfile" "$JOB_INDEX" "$DIVERTED" ||
        { unmount_all; undivert; fail "the image could not be applied: $WIM_WHY"; return 1; }
    progress_line apply 100 "$APPLY_MB" "$APPLY_MB" - 00:00:00
    umount /run/img
    if [ "$tgt" = "$SYSDEV" ]; then boot_files "$DIVERTED" || { undivert; return 1; }; fi
    write_ends "$tgt" || return 1
    RESTORE_DONE=1
    disarm_resume || return 1
    SUMMARY="SUMMARY mode=apply seconds=$(( $(date +%s) - start )) image-bytes=$IMG_BYTES"
    say "apply done"
}
