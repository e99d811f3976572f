# Sourced by run.sh: the imaging drive D: with a Windows imaging file of two editions beside its Ghost
# images. The file is a real small WIM followed by zeros up to 401 MB (sparse), over the floor under which
# the search lists no image; its header and edition list are what the program reads. The drives' disk
# identities are given as the machine's fake answers.
. "$(dirname "${BASH_SOURCE[0]}")/imaging-drive.sh"
cp "$(dirname "${BASH_SOURCE[0]}")/../data/wim/two-editions.wim" "$imaging_dir/win7.wim"
truncate -s 401M "$imaging_dir/win7.wim"
export KORVANIX_DISK_IDENTITIES='C=5A3C0F12:1048576;D=5A3C0F12:68157440'
