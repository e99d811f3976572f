# The firmware, on a UEFI machine: whether Secure Boot is on and which load option started the engine
# (BootCurrent), for the log; and, while a restore on a GPT disk is under way, BootNext set to that option
# again, so that a start after a power cut comes back here (the BIOS route writes the disk's start-up code
# instead, where a GPT keeps its header). Sourced by init; busybox sh.

EFI_GLOBAL=8be4df61-93ca-11d2-aa0d-00e098032b8c
EFIVARS=/sys/firmware/efi/efivars

# efi_var NAME: the variable's data as lowercase hex (efivarfs puts the 4 bytes of attributes first);
# empty when there is none.
efi_var() {
    [ -f "$EFIVARS/$1-$EFI_GLOBAL" ] || return 1
    dd if="$EFIVARS/$1-$EFI_GLOBAL" bs=1 skip=4 2>/dev/null | xxd -p | tr -d '\n'
}

# efi_report: one line for the log; nothing on a BIOS machine.
efi_report() {
    local sb current next lockdown
    [ -d /sys/firmware/efi ] || return 0
    modprobe -q efivarfs 2>/dev/null
    is_mounted "$EFIVARS" || mount -t efivarfs efivarfs "$EFIVARS" 2>/dev/null ||
        { say "UEFI firmware; its variables cannot be read"; return 0; }
    case $(efi_var SecureBoot) in 01) sb=on ;; 00) sb=off ;; *) sb=unknown ;; esac
    current=$(efi_var BootCurrent) next=$(efi_var BootNext)
    EFI_CURRENT=$current
    # Little-endian 16-bit numbers, printed as the firmware names its options.
    [ -n "$current" ] && current=Boot$(echo "${current:2:2}${current:0:2}" | tr a-f A-F)
    mount -t securityfs securityfs /sys/kernel/security 2>/dev/null
    lockdown=$(sed -n 's/.*\[\(.*\)\].*/\1/p' /sys/kernel/security/lockdown 2>/dev/null)
    say "UEFI firmware: Secure Boot ${sb}, started by ${current:-an unknown option}, BootNext ${next:-gone}, kernel lockdown ${lockdown:-none}"
}

# efi_esp: mounts at /run/chk the EFI system partition that holds our folder with grub.cfg, on a fixed disk.
EFI_ESP_TYPE=C12A7328-F81F-11D2-BA4B-00A0C93EC93B
efi_esp() {
    local d line p
    for d in $(disks); do
        removable "$d" && continue
        [ "$(mbr_kind "$d")" = gpt ] && gpt_read "$d" || continue
        for line in $(awk -v t="$EFI_ESP_TYPE" '$2 == t { print $1 }' "/run/gpt.$d"); do
            p=$(partition_number_of "$d" "$line") || continue
            mount_part "/dev/$p" /run/chk rw || continue
            [ -f /run/chk/EFI/korvanix/grub.cfg ] && return 0
            umount /run/chk
        done
    done
    return 1
}

# efi_arm_resume: the next start runs KXRESUME.JOB on the image partition (the one copied there, as on
# BIOS machines): grub.cfg names the image partition's serial (the job's own grub.cfg is kept as
# grub.job), and BootNext is the option that started this run. Uses IMG, EFI_CURRENT.
efi_arm_resume() {
    local serial
    [ -n "$EFI_CURRENT" ] && is_mounted "$EFIVARS" ||
        { fail "the firmware's variables cannot be read: a restore cut short could not come back to the engine"; return 1; }
    serial=$(serial_of "$IMG")
    [ -n "$serial" ] || { fail "the image partition has no serial"; return 1; }
    mount_part "$IMG" /run/img rw || { fail "cannot open the image partition for writing: $MOUNT_WHY"; return 1; }
    if [ -z "$(root_name /run/img "$RESUME_JOB")" ]; then
        cp /run/job "/run/img/$RESUME_JOB.tmp" && mv "/run/img/$RESUME_JOB.tmp" "/run/img/$RESUME_JOB" && sync ||
            { unmount_all; fail "cannot keep the job on the image partition"; return 1; }
    else
        say "resuming the restore"
    fi
    umount /run/img || { fail "cannot close the image partition"; return 1; }
    efi_esp || { fail "the EFI system partition with the engine's folder was not found"; return 1; }
    local dir=/run/chk/EFI/korvanix
    [ -f "$dir/grub.job" ] || cp "$dir/grub.cfg" "$dir/grub.job" || { unmount_all; fail "cannot keep grub.cfg"; return 1; }
    sed "s/kx\.job=[0-9a-f]*/kx.job=$serial/" "$dir/grub.job" >"$dir/grub.tmp" && mv "$dir/grub.tmp" "$dir/grub.cfg" &&
        grep -q "kx.job=$serial " "$dir/grub.cfg" && sync || { unmount_all; fail "cannot write grub.cfg on the EFI system partition"; return 1; }
    umount /run/chk
    ARMED=1
    echo "07000000$EFI_CURRENT" | xxd -r -p >/run/bootnext
    local why
    if ! cat /run/bootnext >"$EFIVARS/BootNext-$EFI_GLOBAL" 2>/run/err.efi || [ "$(efi_var BootNext)" != "$EFI_CURRENT" ]; then
        why=$(cat /run/err.efi)
        fail "the firmware did not take BootNext: $why"
        return 1
    fi
}

# efi_disarm_resume: BootNext gone, the job's grub.cfg back, the resume's job off the image partition.
efi_disarm_resume() {
    local dir=/run/chk/EFI/korvanix status=0
    [ -f "$EFIVARS/BootNext-$EFI_GLOBAL" ] && { rm -f "$EFIVARS/BootNext-$EFI_GLOBAL" || status=1; }
    if efi_esp; then
        [ -f "$dir/grub.job" ] && { mv "$dir/grub.job" "$dir/grub.cfg" || status=1; }
        sync
        umount /run/chk
    else
        status=1
    fi
    mount_part "$IMG" /run/img rw || { fail "cannot open the image partition to finish: $MOUNT_WHY"; return 1; }
    rm -f "/run/img/$RESUME_JOB"
    sync
    umount /run/img
    [ $status = 0 ] || { fail "the firmware's BootNext or grub.cfg could not be put back"; return 1; }
    ARMED=
}
