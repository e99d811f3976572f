#!/usr/bin/env bash
# Runs one command in this checkout inside the test VM (Debian's amd64 kernel, which runs 32-bit code, over
# the root that make-root.sh prepares) and passes back its output and exit status. The checkout is shared
# at the same path, read and written in place; all else the command writes stays in the VM's memory.
#   run.sh COMMAND [ARGS...]       e.g. run.sh ctest --preset win32
#   run.sh --accel                 prints kvm or tcg: how the VM would run on this machine
# Environment: KORVANIX_VM_TIMEOUT (seconds, default 3600), KORVANIX_VM_MEMORY (MiB, default 4096).
# Prints "vm: accelerator kvm" or "vm: accelerator tcg" first. Must run as root (make-root.sh does).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
checkout=$(cd "$here/../.." && pwd)
[ $# -gt 0 ] || { echo "usage: run.sh COMMAND [ARGS...] | --accel" >&2; exit 2; }
command -v qemu-system-x86_64 >/dev/null || { echo "qemu-system-x86_64 is not installed (scripts/setup.sh)" >&2; exit 1; }
vm=$(bash "$here/make-root.sh")
# KVM where it starts this VM's kernel (one short boot tells); otherwise QEMU's own translator (TCG), many
# times slower.
accel=$(bash "$here/../support/kvm-probe.sh" qemu-system-x86_64 "$vm/vmlinuz")
if [ "$1" = --accel ]; then echo "$accel"; exit 0; fi
out=$(mktemp -d "${TMPDIR:-/tmp}/korvanix-vm.XXXXXX")
trap 'rm -rf "$out"' EXIT
printf '%q ' "$@" >"$out/command"
echo >>"$out/command"

echo "vm: accelerator $accel"
if [ "$accel" = kvm ]; then
    accel=(-accel kvm -cpu host)
else
    # Without SMAP and protection keys: with them, this QEMU's translator faulted an IRET in 32-bit code
    # as a kernel access (a kernel oops), and every 32-bit Wine process died. Without five-level paging,
    # which only costs time.
    accel=(-accel tcg,thread=multi -cpu max,smap=off,pku=off,la57=off)
fi
share() {  # folder, tag
    echo "-fsdev" "local,id=$2,path=$1,security_model=none" "-device" "virtio-9p-pci,fsdev=$2,mount_tag=$2"
}
read -ra shares <<<"$(share "$vm/root" root) $(share "$checkout" checkout) $(share "$out" out)"

start=$(date +%s)
set +e
timeout --kill-after=10 "${KORVANIX_VM_TIMEOUT:-3600}" qemu-system-x86_64 "${accel[@]}" \
    -machine pc -smp "$(nproc)" -m "${KORVANIX_VM_MEMORY:-6144}" -nodefaults -display none -no-reboot \
    -kernel "$vm/vmlinuz" -initrd "$vm/initrd.gz" \
    -append "console=ttyS0 rdinit=/init panic=-1 quiet korvanix.src=$checkout" \
    "${shares[@]}" -serial "file:$out/console" -monitor none
qemu_status=$?
set -e
echo "vm: ended after $(( $(date +%s) - start ))s"
[ -f "$out/log" ] && cat "$out/log"
if [ ! -s "$out/status" ]; then
    echo "vm: the command left no exit status (QEMU status $qemu_status); the VM's console:"
    tail -n 40 "$out/console" || true
    exit 1
fi
status=$(cat "$out/status")
if [ "$status" != 0 ] && [ ! -s "$out/log" ]; then
    # The command never ran: what the VM said on its way tells why.
    echo "vm: status $status before the command ran; the VM's console:"
    tail -n 40 "$out/console" || true
fi
exit "$status"
