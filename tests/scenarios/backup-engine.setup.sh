# Sourced by run.sh: the imaging drive D:, and the drives' disk identities, which Windows would read from the
# disk, given as the machine's fake answers.
. "$(dirname "${BASH_SOURCE[0]}")/imaging-drive.sh"
export KORVANIX_DISK_IDENTITIES='C=5A3C0F12:1048576;D=5A3C0F12:68157440'
