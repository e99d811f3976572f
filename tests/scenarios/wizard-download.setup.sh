# Sourced by run.sh: the demo site with the files' true digests, its WIM as large as its Ghost images; the
# drives' disk identities, which Windows would read from the disk, given as the machine's fake answers (D: is
# where the download lands); the restart port only writes down what it was asked.
. "$here/demo-site.sh"
demo_site_start --wim-mb 150
export KORVANIX_DISK_IDENTITIES='C=5A3C0F12:1048576;D=5A3C0F12:68157440;E=5A3C0F12:141733920768'
export KORVANIX_RESTART_LOG='C:\kx-restart.log'
