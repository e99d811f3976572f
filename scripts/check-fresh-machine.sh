#!/usr/bin/env bash
# Proves that the project's own scripts set up a new machine: a fresh minimal Debian 12 system
# (debootstrap's minbase, cached as a tarball after the first run) gets a clone of this checkout's
# committed HEAD, and CI's command runs there as root. Not part of CI: it builds everything from nothing
# and takes long. Prints the run's last summary line and how long it took; exits with the run's status.
#   check-fresh-machine.sh [LOG]      the whole run's output goes to LOG (default: a file it names)
# Must run as root (debootstrap, chroot, mounts).
set -euo pipefail
root_dir=$(cd "$(dirname "$0")/.." && pwd)
. "$root_dir/scripts/debian-root.sh"
[ "$(id -u)" = 0 ] || { echo "check-fresh-machine.sh must run as root" >&2; exit 1; }

log=${1:-$(mktemp "${TMPDIR:-/tmp}/korvanix-fresh.XXXXXX.log")}
machine=$(mktemp -d "${TMPDIR:-/tmp}/korvanix-fresh.XXXXXX")
cleanup() {
    korvanix_unmount_all
    # Nothing may still be mounted below the machine before it is removed.
    if ! grep -q " $machine/" /proc/mounts; then rm -rf "$machine"; fi
}
trap cleanup EXIT

korvanix_unpack_minbase "$machine"
# The committed HEAD, as a lead or CI would clone it (not the working tree's uncommitted changes).
checkout="/$(basename "$root_dir")-check"  # a folder of the fresh system, named after this checkout
git clone -q --no-local "$root_dir" "$machine$checkout"
korvanix_mount_system "$machine"
# Package installations must not start services in the fresh system on this machine.
printf '#!/bin/sh\nexit 101\n' >"$machine/usr/sbin/policy-rc.d"
chmod +x "$machine/usr/sbin/policy-rc.d"

echo "fresh machine at $machine, HEAD $(git -C "$root_dir" rev-parse --short HEAD); log: $log"
start=$(date +%s)
status=0
chroot "$machine" env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    TERM=dumb CI=true bash -c "cd $checkout && bash .ci/run" </dev/null >"$log" 2>&1 || status=$?
elapsed=$(( $(date +%s) - start ))
summary=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$log" | tail -n 1 || true)
echo "summary: ${summary:-no summary line (see the log)}"
grep '^failing:' "$log" | tail -n 1 || true
echo "exit status $status after $((elapsed / 60))m$((elapsed % 60))s"
exit $status
