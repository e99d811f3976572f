# Sourced by run.sh: the imaging drive D: with the engine's image folder D:\SYS, on a machine the hooks make
# a UEFI one: C: and D: on a GPT disk (named by its GUID and the partitions' GUIDs), the EFI system
# partition standing as the folder C:\kx-esp, the firmware's variables as files in C:\kx-efivars (Windows's
# own option 0000 in BootOrder, Secure Boot on) and C:'s NTFS serial.
# The load option the scenario expects is the firmware's layout for that partition, built here on its own:
#   python3 -c 'import struct,uuid,hashlib
#   p="\\EFI\\korvanix\\shimx64.efi".encode("utf-16-le")+b"\0\0"
#   d=bytes([4,1])+struct.pack("<HIQQ",42,1,2048,204800)+uuid.UUID("6E2B9F41-3C5D-4E8A-9B1F-0A2C4D6E8F10").bytes_le
#   d+=bytes([2,2,4,4])+struct.pack("<H",4+len(p))+p+bytes([0x7f,0xff,4,0])
#   print(hashlib.sha256(struct.pack("<IH",1,len(d))+"Korvanix".encode("utf-16-le")+b"\0\0"+d).hexdigest())'
. "$(dirname "${BASH_SOURCE[0]}")/imaging-drive.sh"
mkdir -p "$imaging_dir/SYS"
printf 'korvanix-image 1\nfilesystem=ntfs\nsize=42949672960\nend\n' >"$imaging_dir/SYS/manifest.txt"
eval "imaging_teardown() $(declare -f scenario_teardown | tail -n +2)"
esp_dir="$c_drive/kx-esp"
vars_dir="$c_drive/kx-efivars"
rm -rf "$esp_dir" "$vars_dir" "$c_drive/KORVANIX.EFI"
mkdir -p "$esp_dir/EFI/Microsoft" "$vars_dir"
global='{8BE4DF61-93CA-11D2-AA0D-00E098032B8C}'
printf '\000\000' >"$vars_dir/BootOrder-$global"
printf 'windows' >"$vars_dir/Boot0000-$global"
printf '\001' >"$vars_dir/SecureBoot-$global"
disk=0F3A6C2D-8E41-4B7A-9C15-3D2E1F4A5B60
export KORVANIX_FIRMWARE=uefi
export KORVANIX_ESP='C:\kx-esp|1|6E2B9F41-3C5D-4E8A-9B1F-0A2C4D6E8F10|2048|204800'
export KORVANIX_EFI_VARS='C:\kx-efivars'
export KORVANIX_VOLUME_SERIALS='C=0123456789ABCDEF'
export KORVANIX_DISK_IDENTITIES="C=$disk/A1B2C3D4-0001-4000-8000-000000000001:106954752;D=$disk/A1B2C3D4-0002-4000-8000-000000000002:68157440"
scenario_teardown() {
    imaging_teardown
    rm -rf "$esp_dir" "$vars_dir" "$c_drive/KORVANIX.EFI"
}
