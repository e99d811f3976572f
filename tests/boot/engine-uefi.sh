#!/usr/bin/env bash
# The imaging engine on a UEFI machine: QEMU's q35 with SMM and OVMF (OVMF_CODE_4M.ms.fd), a GPT disk with
# an EFI system partition, an NTFS system partition (several hundred files, Chinese names, a file over
# 100 MB) and an NTFS data partition. korvanix-diag stage writes the job (GPT identities) and our folder
# on the ESP, beside a decoy \EFI\debian\grub.cfg; the firmware's variables get the load option and
# BootNext that the program's builder makes (efi-option), written into a copy of OVMF's variables file as
# the program's Windows half would write them, and a BootOrder.
#
#   engine-uefi.sh ASSETS_DIR DIAG on|off|refusals
#     on, off   Secure Boot on (Microsoft's keys enrolled, as in OVMF_VARS_4M.ms.fd) or off (the same file
#               without its platform key: the firmware is in setup mode and checks no signature). A backup,
#               then, with the system partition formatted, a restore (off: cut off by a power failure
#               half-way, when the next start must come back to the engine through BootNext and finish
#               it). Each time the firmware starts our option (the engine reads BootCurrent and the
#               Secure Boot state), the log says RESULT OK, BootNext is gone and BootOrder is as it was;
#               at the end every file is back with the same SHA-256 and the GPT is untouched.
#     refusals  Secure Boot on, one start each: a hybrid MBR beside the GPT, a dynamic disk's GPT, a second
#               disk with the same GUIDs (a clone), a partition GUID at another offset than the job's; each
#               RESULT FAILED with its reason, the partitions as they were. (GPT entries that do not match
#               their CRC32 cannot be shown here: OVMF puts the primary table back from the backup first.)
# Exit 0 pass, 1 fail, 77 skipped (with the reason).
set -euo pipefail
export LC_ALL=C.UTF-8 MTOOLS_SKIP_CHECK=1
here=$(cd "$(dirname "$0")" && pwd)
assets=$(cd "$1" && pwd) diag=$(cd "$(dirname "$2")" && pwd)/$(basename "$2") secure=$3
limit=${KORVANIX_ENGINE_BOOT_LIMIT:-900}
ovmf=/usr/share/OVMF
vars_py=$here/ovmf-vars.py

for tool in qemu-system-x86_64 sfdisk python3; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
[ -f "$ovmf/OVMF_CODE_4M.ms.fd" ] || { echo "SKIP: OVMF is not installed (package ovmf)"; exit 77; }
[ -f "$assets/kxmod64" ] || { echo "SKIP: this build has no UEFI files (kxmod64)"; exit 77; }
. "$here/engine-lib.sh"
accel=$(bash "$here/../support/kvm-probe.sh" qemu-system-x86_64 "$assets/kxlinux64")
echo "accelerator for the UEFI boots: $accel"
if [ "$secure" != on ] && [ "${KORVANIX_LONG_TESTS:-0}" != 1 ] && [ "$accel" != kvm ]; then
    echo "SKIP: the UEFI case '$secure' runs with KVM or KORVANIX_LONG_TESTS=1 (several more boots under plain emulation)"
    exit 77
fi
case=$secure
[ "$case" = refusals ] && secure=on

# The disk: ESP, system, data; fixed GUIDs so that a failure can be read.
disk_guid=1F3E5D7C-9B0A-4C2E-8D6F-A1B2C3D4E5F6
esp_guid=6E2B9F41-3C5D-4E8A-9B1F-0A2C4D6E8F10
p0_start=2048 p0_size=131072                       # 64 MiB: the EFI system partition (FAT32)
p1_start=$((p0_start + p0_size)) p1_size=655360     # 320 MiB: the system partition
p2_start=$((p1_start + p1_size)) p2_size=655360     # 320 MiB: the data partition with the images
truncate -s $(( (p2_start + p2_size + 2048) * 512 )) disk.img
sfdisk -q disk.img <<G
label: gpt
label-id: $disk_guid
start=$p0_start, size=$p0_size, type=C12A7328-F81F-11D2-BA4B-00A0C93EC93B, uuid=$esp_guid
start=$p1_start, size=$p1_size, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, uuid=2A4C6E80-1B3D-4F5A-8C7E-9D0F1A2B3C4D
start=$p2_start, size=$p2_size, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, uuid=3B5D7F91-2C4E-4A6B-9D8F-0E1A2B3C4D5E
G
new_fs fat p0.img $p0_start $p0_size
printf 'echo "DECOY grub.cfg read"\nsleep 2\nhalt\n' >decoy.cfg
mmd -i p0.img ::/EFI ::/EFI/debian && mcopy -i p0.img decoy.cfg ::/EFI/debian/grub.cfg
part_in 0 p0.img
new_fs ntfs p1.img $p1_start $p1_size
ntfs-3g p1.img "$mnt"
make_tree "$mnt"
umount "$mnt"
part_in 1 p1.img
new_fs ntfs p2.img $p2_start $p2_size
part_in 2 p2.img
rm -f p0.img p1.img p2.img
sysfs=ntfs
before=$(tree_digest 1 ntfs)
[ "$(echo "$before" | grep -c 文档)" = 300 ] || fail "the test tree was not built"
dd if=disk.img of=gpt-before.bin bs=512 count=34 status=none

# The firmware's variables: Microsoft's keys enrolled (without the platform key for Secure Boot off), and a
# BootOrder of the firmware's options, as a machine that has started before has.
cp "$ovmf/OVMF_VARS_4M.ms.fd" vars.fd
[ "$secure" = on ] || python3 "$vars_py" vars.fd delete PK
order=$(python3 "$vars_py" vars.fd list | awk '$1 ~ /^Boot[0-9A-F][0-9A-F][0-9A-F][0-9A-F]$/ { n = substr($1, 5); printf "%s%s", substr(n, 3, 2), substr(n, 1, 2) }')
[ -n "$order" ] || fail "the variables file has no load options"
python3 "$vars_py" vars.fd set BootOrder "$order"

# stage ARGS...: the job and our ESP folder (korvanix-diag), then Boot#### (the first free number) and
# BootNext, as the program's Windows half writes them.
stage_uefi() {
    local out esp used n
    # The program takes its option out again at the next start of Windows, before it stages another job.
    [ -z "${option:-}" ] || python3 "$vars_py" vars.fd delete "Boot$option"
    out=$("$diag" stage disk.img --assets "$assets" "$@") || fail "stage $* failed"
    esp=$(echo "$out" | sed -n 's/^esp=//p')
    used=$(python3 "$vars_py" vars.fd list | awk '$1 ~ /^Boot[0-9A-F][0-9A-F][0-9A-F][0-9A-F]$/ { print substr($1, 5) }')
    n=0
    while echo "$used" | grep -qx "$(printf %04X $n)"; do n=$((n + 1)); done
    option=$(printf %04X $n)
    # shellcheck disable=SC2086
    python3 "$vars_py" vars.fd set "Boot$option" "$("$diag" efi-option $esp)"
    python3 "$vars_py" vars.fd set BootNext "${option:2:2}${option:0:2}"
}

# boot_uefi [OK|FAILED]: one start of the machine until the engine restarts it; the checks every start
# makes. EXTRA_DRIVE_OPTIONS go to the disk's -drive, EXTRA_QEMU (words) to QEMU.
boot_uefi() {
    local status start log last want=${1:-OK}
    start=$(date +%s)
    rm -f serial.txt
    set +e
    timeout --kill-after=5 "$limit" qemu-system-x86_64 -nodefaults -display none -no-reboot -m 768 -smp 2 \
        -accel "$(accel_option)" -machine q35,smm=on -global driver=cfi.pflash01,property=secure,value=on \
        -drive if=pflash,format=raw,unit=0,file="$ovmf/OVMF_CODE_4M.ms.fd",readonly=on \
        -drive if=pflash,format=raw,unit=1,file=vars.fd -drive "file=disk.img,format=raw,if=ide${EXTRA_DRIVE_OPTIONS:-}" \
        ${EXTRA_QEMU:-} -serial file:serial.txt -monitor none 2>qemu.err
    status=$?
    set -e
    clean_serial
    echo "-- UEFI boot ($accel, Secure Boot $secure): QEMU ended with $status after $(( $(date +%s) - start ))s"
    grep -a -e 'korvanix' -e 'BdsDxe' -e DECOY serial.log || tail -n 20 serial.log
    [ $status != 124 ] && [ $status != 137 ] || fail "no restart within ${limit}s"
    [ $status = 0 ] || { cat qemu.err; fail "QEMU itself failed"; }
    grep -q DECOY serial.log && fail "GRUB read the decoy \\EFI\\debian\\grub.cfg"
    grep -q "korvanix: UEFI firmware: Secure Boot $secure, started by Boot$option, BootNext gone" serial.log ||
        fail "the engine was not started by Boot$option with Secure Boot $secure"
    log=$(read_file 1 ntfs KORVANIX.LOG)
    last=$(printf '%s\n' "$log" | tail -n 1)
    case $want in
        OK) [ "$last" = "RESULT OK" ] || { printf '%s\n' "$log" | tail -n 30; fail "the log ends with '$last', not RESULT OK"; } ;;
        FAILED) [[ $last == "RESULT FAILED: "* ]] || fail "the log ends with '$last', not RESULT FAILED" ;;
    esac
    [ -z "$(read_file 1 ntfs KORVANIX.JOB)" ] || fail "the job is still on the system partition"
    ! python3 "$vars_py" vars.fd get BootNext >/dev/null || fail "BootNext is still set"
    # (A disk added for one start gets an option of the firmware's own in BootOrder.)
    [ -n "${EXTRA_QEMU:-}" ] || [ "$(python3 "$vars_py" vars.fd get BootOrder)" = "$order" ] || fail "BootOrder changed"
    [ "$want" = FAILED ] || cmp -s -n 17408 disk.img gpt-before.bin || fail "the GPT changed"
}

# refuse REASON: one start with a job the engine must refuse; nothing on the partitions changes.
refuse() {
    local p2 sys_tree
    p2=$(hash_part 2) sys_tree=$(tree_digest 1 ntfs)
    boot_uefi FAILED
    grep -q "RESULT FAILED: .*$1" serial.log || fail "the reason is not '$1'"
    [ "$(hash_part 2)" = "$p2" ] || fail "the data partition changed"
    [ "$(tree_digest 1 ntfs)" = "$sys_tree" ] || fail "the system partition's files changed"
}

if [ "$case" = refusals ]; then
    job="--system 1:2 --backup 1:2 --image 1:3\\Images\\x"
    echo "== refusal: a hybrid MBR (a FAT partition beside the protective entry)"
    stage_uefi $job
    cp disk.img disk.good
    printf '\x00\xfe\xff\xff\x0c\xfe\xff\xff\x00\x08\x00\x00\x00\x00\x02\x00' |
        dd of=disk.img bs=1 seek=462 conv=notrunc status=none
    refuse "hybrid MBR"
    echo "== refusal: a dynamic disk (the data partition's type is LDM's)"
    cp disk.good disk.img
    sfdisk -q --part-type disk.img 3 AF9B60A0-1431-4F62-BC68-3311714A69AD
    stage_uefi $job
    refuse "is a dynamic disk"
    echo "== refusal: the partition GUID at another offset than the job's"
    cp disk.good disk.img
    stage_uefi $job
    part_out 1 p1.img
    ntfscat p1.img KORVANIX.JOB | sed "s/:$((p1_start * 512))\$/:$((p1_start * 512 + 1048576))/" >job.txt
    grep -q ":$((p1_start * 512 + 1048576))" job.txt || fail "the hand-made job was not made"
    ntfscp -q -f p1.img job.txt KORVANIX.JOB
    part_in 1 p1.img
    rm -f p1.img
    refuse "starts at $((p1_start * 512)), the job says"
    # Last: the clone gets an option of the firmware's own, which stays in BootOrder.
    echo "== refusal: a second disk with the same GUIDs (a clone)"
    cp disk.good disk.img
    stage_uefi $job
    # The clone holds no job: whichever disk the kernel names first, the job and the log are on disk.img.
    cp disk.img clone.img
    dd if=clone.img of=c1.img bs=512 skip=$p1_start count=$p1_size conv=sparse status=none
    ntfs-3g c1.img "$mnt" && rm -f "$mnt/KORVANIX.JOB" && umount "$mnt"
    dd if=c1.img of=clone.img bs=512 seek=$p1_start conv=notrunc,sparse status=none
    rm -f c1.img
    EXTRA_QEMU="-drive file=clone.img,format=raw,if=ide" refuse "2 partitions have the identity"
    rm -f clone.img
    echo "PASS: UEFI refusals"
    exit 0
fi

# boot_uefi_cut: a start whose power goes once the restore has written some of the partition.
boot_uefi_cut() {
    local qemu
    rm -f serial.txt
    qemu-system-x86_64 -nodefaults -display none -no-reboot -m 768 -smp 2 \
        -accel "$(accel_option)" -machine q35,smm=on -global driver=cfi.pflash01,property=secure,value=on \
        -drive if=pflash,format=raw,unit=0,file="$ovmf/OVMF_CODE_4M.ms.fd",readonly=on \
        -drive if=pflash,format=raw,unit=1,file=vars.fd -drive "file=disk.img,format=raw,if=ide$EXTRA_DRIVE_OPTIONS" \
        -serial file:serial.txt -monitor none 2>qemu.err &
    qemu=$!
    for _ in $(seq "$limit"); do
        grep -Eq 'korvanix: progress restore ([1-9]|[1-9][0-9])%' serial.txt 2>/dev/null && break
        kill -0 $qemu 2>/dev/null || break
        sleep 1
    done
    kill -9 $qemu 2>/dev/null || true
    wait $qemu 2>/dev/null || true
    clean_serial
    grep -a 'korvanix' serial.log | grep -v progress | tail -n 5
    grep -Eq 'korvanix: progress restore ([1-9]|[1-9][0-9])%' serial.log || fail "the restore was not under way when the power went"
    grep -q 'RESULT' serial.log && fail "the restore ended before the power went"
    [ "$(python3 "$vars_py" vars.fd get BootNext)" = "${option:2:2}${option:0:2}" ] ||
        fail "BootNext does not lead back to the engine"
    [ -n "$(read_file 2 ntfs KXRESUME.JOB)" ] || fail "the job's copy is not on the image partition"
    part_out 1 p1.img
    ntfs-3g -o ro p1.img "$mnt" 2>/dev/null && { umount "$mnt"; fail "the half-restored partition mounts"; }
    rm -f p1.img
    echo "-- the partition cannot be mounted and BootNext leads back to the engine; the next start:"
}

echo "== backup of the system partition (Secure Boot $secure)"
stage_uefi --system 1:2 --backup 1:2 --image '1:3\Images\系统 备份'
boot_uefi
progress_ok backup
[ "$(tree_digest 1 ntfs)" = "$before" ] || fail "the backup changed the system partition's files"

echo "== the system partition formatted, then restored"
new_fs ntfs p1.img $p1_start $p1_size
part_in 1 p1.img
rm -f p1.img
stage_uefi --system 1:2 --restore '1:3\Images\系统 备份' --to 1:2
if [ "$case" = off ]; then
    # The power goes while the restore writes (the disk takes 2 MB a second in this start): the next start
    # must come back to the engine through BootNext, to the job's copy on the image partition.
    EXTRA_DRIVE_OPTIONS=,throttling.bps-write=2097152 limit=$limit boot_uefi_cut
    boot_uefi
else
    boot_uefi
fi
progress_ok restore
[ -z "$(read_file 2 ntfs KXRESUME.JOB)" ] || fail "the resume job is still on the image partition"
after=$(tree_digest 1 ntfs)
if [ "$after" != "$before" ]; then
    diff <(echo "$before") <(echo "$after") | head -n 20
    fail "the restored files differ"
fi
echo "PASS: UEFI round trip with Secure Boot $secure, $(echo "$before" | wc -l) folders and files equal"
