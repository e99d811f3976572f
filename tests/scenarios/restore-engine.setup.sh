# Sourced by run.sh: the imaging drive D: with its images, one of them an image folder of our engine, and the
# log of a job the engine ran at this start. The drives' disk identities, which Windows would read from the
# disk, are given to the program as the machine's fake answers.
. "$(dirname "${BASH_SOURCE[0]}")/imaging-drive.sh"
mkdir -p "$imaging_dir/SYS"
printf 'korvanix-image 1\nfilesystem=ntfs\nsize=42949672960\nend\n' >"$imaging_dir/SYS/manifest.txt"
printf 'backing up 1:2 to 1:3\\SYS\nRESULT FAILED: partition 1:2 is not an NTFS or FAT file system\n' \
    >"$c_drive/KORVANIX.LOG"
export KORVANIX_DISK_IDENTITIES='C=5A3C0F12:1048576;D=5A3C0F12:68157440'
