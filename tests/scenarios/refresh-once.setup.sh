# Sourced by run.sh: the imaging drive D: with a Ghost image and an image folder of our engine, the drives'
# disk identities, and the diskpart double slowed to 0.8 s a run (a machine with slow disks), so that the
# start-up timer fires while a refresh the user started is still asking diskpart. Its log is the
# scenario's own.
. "$(dirname "${BASH_SOURCE[0]}")/imaging-drive.sh"
mkdir -p "$imaging_dir/SYS"
printf 'korvanix-image 1\nfilesystem=ntfs\nsize=42949672960\nend\n' >"$imaging_dir/SYS/manifest.txt"
export KORVANIX_DISK_IDENTITIES='C=5A3C0F12:1048576;D=5A3C0F12:68157440'
export KORVANIX_DISKPART_DELAY_MS=800
export KORVANIX_DISKPART_LOG='C:\diskpart-refresh.log'
rm -f "$c_drive/diskpart-refresh.log"
eval "imaging_teardown() $(declare -f scenario_teardown | tail -n +2)"
scenario_teardown() {
    imaging_teardown
    rm -f "$c_drive/diskpart-refresh.log"
}
