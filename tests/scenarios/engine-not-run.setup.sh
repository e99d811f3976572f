# Sourced by run.sh: the engine did not run the staged job (the machine started Windows instead), so the job
# is still there and no log beside it.
. "$(dirname "${BASH_SOURCE[0]}")/engine-left.sh"
printf 'korvanix-job 1\nmode=restore\nsystem=5A3C0F12:1048576\npartition=5A3C0F12:1048576\nimage=5A3C0F12:68157440\nfolder=/SYS\nghost-partition=1:1\nghost-image=1:3\\SYS\nend\n' \
    >"$c_drive/KORVANIX.JOB"
left_dated "$c_drive/KORVANIX.JOB"
