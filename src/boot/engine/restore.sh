# The restore, which overwrites a partition the machine may start from. From its first write until it has
# succeeded, every start of the machine leads back to the engine (the image is intact, the target is not):
# the disk's start-up code is replaced by the loader's helper, which finds the loader, the engine and the
# job (KXRESUME.JOB) copied to the image partition, and the machine's own start-up code waits there
# (KXMBR.BIN) until the restore is done. Meanwhile the target cannot be mounted: its first and last
# sectors (the boot sector, NTFS's copy of it, FAT32's reserved sectors) stay blank until everything else
# is written, and are written last. Sourced by init; busybox sh.

HELPER=qzrpldr.mbr
RESUME_JOB=KXRESUME.JOB
SAVED_MBR=KXMBR.BIN
HEAD=128  # sectors at the target's start written last: boot sector, NTFS's $Boot, FAT32's reserved area
TAIL=8    # sectors at its end: NTFS keeps a copy of its boot sector in the last one
ENGINE_FILES="otldr kxlinux kxinitrd $HELPER"

# same_bytes A B: two files (or devices, for the length of the first) hold the same bytes.
same_bytes() { cmp -s "$1" "$2"; }

# arm_resume: the next starts lead to the engine until disarm_resume. Uses SYSDEV, IMG, BOOTDISK.
arm_resume() {
    local p start f n helper
    [ "$(mbr_kind "$BOOTDISK")" = gpt ] && { efi_arm_resume; return; }
    for p in $(partitions_of "$BOOTDISK"); do
        start=$(cat "/sys/block/$BOOTDISK/$p/start")
        [ "$start" -ge 16 ] || { fail "a partition of $BOOTDISK starts at sector $start: no room for the start-up code a restore needs"; return 1; }
    done
    mount_part "$IMG" /run/img rw || { fail "cannot open the image partition for writing: $MOUNT_WHY"; return 1; }
    if [ -f "/run/img/$SAVED_MBR" ]; then
        # A restore that was cut short: the start-up code on the disk is ours, the machine's is kept here.
        say "resuming the restore; the machine's start-up code is kept in $SAVED_MBR"
    else
        if [ "$IMG" != "$SYSDEV" ]; then
            mount_part "$SYSDEV" /run/sys ro || { umount /run/img; fail "cannot read the system partition: $MOUNT_WHY"; return 1; }
            for f in $ENGINE_FILES; do
                n=$(root_name /run/sys "$f")
                [ -n "$n" ] && cp "/run/sys/$n" "/run/img/$f.tmp" && mv "/run/img/$f.tmp" "/run/img/$f" &&
                    same_bytes "/run/sys/$n" "/run/img/$f" || { unmount_all; fail "cannot copy $f to the image partition"; return 1; }
            done
            umount /run/sys
        fi
        cp /run/job "/run/img/$RESUME_JOB.tmp" && mv "/run/img/$RESUME_JOB.tmp" "/run/img/$RESUME_JOB" &&
            dd if="/dev/$BOOTDISK" of="/run/img/$SAVED_MBR.tmp" bs=512 count=16 2>/dev/null &&
            mv "/run/img/$SAVED_MBR.tmp" "/run/img/$SAVED_MBR" && sync ||
            { unmount_all; fail "cannot keep the machine's start-up code on the image partition"; return 1; }
    fi
    helper=/run/img/$(root_name /run/img "$HELPER")
    [ -f "$helper" ] && [ "$(stat -c %s "$helper")" = 8192 ] || { unmount_all; fail "the loader's helper $HELPER is missing"; return 1; }
    cp "$helper" /run/helper.bin
    umount /run/img || { fail "cannot close the image partition"; return 1; }
    # The helper's first sector runs as the disk's start-up code (the disk's own signature and partition
    # table stay), and loads the rest of itself from the sectors after it. From the first byte written,
    # finish puts the machine's own code back unless the restore has begun.
    ARMED=1
    write_startup /run/helper.bin || { fail "cannot write the start-up code to $BOOTDISK"; return 1; }
}

# write_startup FILE: the first 440 bytes of FILE over the disk's start-up code (its signature and table
# stay), FILE's sectors 1-15 over the disk's; read back.
write_startup() {
    dd if="$1" of="/dev/$BOOTDISK" bs=440 count=1 conv=notrunc 2>/dev/null &&
        dd if="$1" of="/dev/$BOOTDISK" bs=512 skip=1 seek=1 count=15 conv=notrunc 2>/dev/null && sync || return 1
    echo 3 >/proc/sys/vm/drop_caches
    dd if="/dev/$BOOTDISK" bs=512 count=16 2>/dev/null >/run/startup.now
    head -c 440 "$1" >/run/startup.want && head -c 440 /run/startup.now | cmp -s - /run/startup.want &&
        dd if="$1" bs=512 skip=1 count=15 2>/dev/null >/run/startup.want &&
        dd if=/run/startup.now bs=512 skip=1 count=15 2>/dev/null | cmp -s - /run/startup.want
}

# disarm_resume: the machine's own start-up code back, then the resume's files off the image partition.
disarm_resume() {
    local f
    [ "$(mbr_kind "$BOOTDISK")" = gpt ] && { efi_disarm_resume; return; }
    mount_part "$IMG" /run/img rw || { fail "cannot open the image partition to finish: $MOUNT_WHY"; return 1; }
    [ -f "/run/img/$SAVED_MBR" ] || { umount /run/img; fail "the machine's start-up code is not on the image partition"; return 1; }
    write_startup "/run/img/$SAVED_MBR" || { umount /run/img; fail "cannot put the start-up code of $BOOTDISK back"; return 1; }
    rm -f "/run/img/$RESUME_JOB" "/run/img/$SAVED_MBR"
    rm -rf "/run/img/$KEEP_DIR"
    if [ "$IMG" != "$SYSDEV" ]; then for f in $ENGINE_FILES; do rm -f "/run/img/$f"; done; fi
    sync
    umount /run/img
    ARMED=
}

sectors_of() { cat "/sys/class/block/${1#/dev/}/size"; }

# blank_ends DEV: the target can no longer be mounted, by anything.
blank_ends() {
    local n
    n=$(sectors_of "$1")
    dd if=/dev/zero of="$1" bs=512 count=$HEAD conv=notrunc 2>/dev/null &&
        dd if=/dev/zero of="$1" bs=512 seek=$((n - TAIL)) count=$TAIL conv=notrunc 2>/dev/null && sync ||
        { fail "cannot write to the partition to restore"; return 1; }
}

# divert_ends DEV: DIVERTED is a device the size of DEV whose first HEAD and last TAIL sectors are kept in
# memory (a RAM disk) and the rest is DEV itself.
divert_ends() {
    local n
    n=$(sectors_of "$1")
    modprobe -q brd rd_nr=1 rd_size=1024 2>/dev/null
    modprobe -q dm-mod 2>/dev/null
    [ -b /dev/ram0 ] || { fail "no RAM disk for the restore"; return 1; }
    dd if=/dev/zero of=/dev/ram0 bs=512 count=$((HEAD + TAIL)) 2>/dev/null
    printf '0 %s linear /dev/ram0 0\n%s %s linear %s %s\n%s %s linear /dev/ram0 %s\n' \
        $HEAD $HEAD $((n - HEAD - TAIL)) "$1" $HEAD $((n - TAIL)) $TAIL $HEAD |
        dmsetup create kxtarget --noudevsync 2>/run/err.dm ||
        { fail "cannot set up the restore's device: $(tail -n 1 /run/err.dm)"; return 1; }
    # Without udev nobody makes /dev/mapper/kxtarget, and ntfs-3g turns /dev/dm-N back into that name.
    dmsetup mknodes kxtarget 2>/dev/null
    DIVERTED=/dev/mapper/kxtarget
    [ -b "$DIVERTED" ] || { fail "the restore's device did not appear"; return 1; }
}

undivert() { dmsetup remove kxtarget 2>/dev/null; DIVERTED=; return 0; }

# write_ends DEV: the sectors kept in memory go to the target, last.
write_ends() {
    local n
    n=$(sectors_of "$1")
    dd if=/dev/ram0 of=/run/head.bin bs=512 count=$HEAD 2>/dev/null &&
        dd if=/dev/ram0 of=/run/tail.bin bs=512 skip=$HEAD count=$TAIL 2>/dev/null || { fail "cannot read the kept sectors"; return 1; }
    undivert
    dd if=/run/head.bin of="$1" bs=512 conv=notrunc 2>/dev/null &&
        dd if=/run/tail.bin of="$1" bs=512 seek=$((n - TAIL)) conv=notrunc 2>/dev/null && sync ||
        { fail "cannot write the boot sector of the restored partition"; return 1; }
    echo 3 >/proc/sys/vm/drop_caches
    dd if="$1" bs=512 count=$HEAD 2>/dev/null | cmp -s - /run/head.bin ||
        { fail "the boot sector of the restored partition did not take"; return 1; }
}

# tidy_restored DEV: the restored system came from a machine that had a job staged (the backup was made by
# one): that job, the loader and the boot configuration that led to it are taken out before the partition
# becomes usable, or the next start would run the old job. Best effort: the program removes them too.
tidy_restored() {
    local n
    if ! mount_part "$1" /run/dm rw; then
        say "note: the restored partition could not be tidied ($MOUNT_WHY)"
        cat /run/err.mount >>"$LOG"
        return 0
    fi
    for n in KORVANIX.JOB "$RESUME_JOB" otldr; do
        while n2=$(root_name /run/dm "$n") && [ -n "$n2" ]; do rm -f "/run/dm/$n2" || break; done
    done
    put_boot_config_back /run/dm
    sync
    umount /run/dm || say "note: the restored partition did not close"
    return 0
}

# restore IMG TARGET
restore() {
    local img=$1 tgt=$2 dir start
    mount_part "$img" /run/img ro || { fail "cannot open the image partition: $MOUNT_WHY"; return 1; }
    dir=$(image_folder)
    verify_image "$dir" "$tgt" || { unmount_all; return 1; }
    umount /run/img
    arm_resume || return 1
    mount_part "$img" /run/img ro || { fail "cannot open the image partition: $MOUNT_WHY"; return 1; }
    say "restoring $JOB_GHOST_IMAGE to $JOB_GHOST_PARTITION"
    RESTORE_BEGUN=1
    start=$(date +%s)
    blank_ends "$tgt" && divert_ends "$tgt" || return 1
    write_streams "$DIVERTED" || { unmount_all; undivert; return 1; }
    umount /run/img
    tidy_restored "$DIVERTED"
    write_ends "$tgt" || return 1
    RESTORE_DONE=1
    disarm_resume || return 1
    SUMMARY="SUMMARY mode=restore seconds=$(( $(date +%s) - start )) image-bytes=$IMG_BYTES"
    say "restore done"
}
