#!/usr/bin/env bash
# Prints kvm or tcg: whether QEMU with KVM can start a kernel on this machine. Some machines offer a
# /dev/kvm that stops every guest at the kernel's start-up ("KVM internal error ... emulation failure")
# or stalls in real mode; a writable /dev/kvm alone says nothing, so one short boot decides.
#   kvm-probe.sh QEMU_BINARY KERNEL      e.g. kvm-probe.sh qemu-system-i386 build/host/boot-assets/kxlinux
# The reason goes to standard error. KORVANIX_ACCEL=tcg or kvm skips the probe.
set -uo pipefail
qemu=$1 kernel=$2
case ${KORVANIX_ACCEL:-} in kvm|tcg) echo "$KORVANIX_ACCEL"; exit 0 ;; esac
if ! [ -c /dev/kvm ] || ! { exec 3<>/dev/kvm; } 2>/dev/null; then
    echo "kvm-probe: no usable /dev/kvm" >&2
    echo tcg
    exit 0
fi
exec 3>&-
out=$(mktemp -d "${TMPDIR:-/tmp}/korvanix-kvm-probe.XXXXXX")
trap 'rm -rf "$out"' EXIT
# No root file system: a kernel that starts ends in a panic within seconds, and panic=-1 with -no-reboot
# ends QEMU right there.
timeout --kill-after=2 20 "$qemu" -accel kvm -nodefaults -display none -no-reboot -m 256 -kernel "$kernel" \
    -append "console=ttyS0 panic=-1" -serial "file:$out/serial" -monitor none >"$out/err" 2>&1
if grep -q 'Kernel panic' "$out/serial" 2>/dev/null; then
    echo "kvm-probe: KVM started the kernel" >&2
    echo kvm
else
    echo "kvm-probe: KVM did not start the kernel ($(grep -m 1 -i 'error' "$out/err" || echo 'no output within 20 s')); plain emulation" >&2
    echo tcg
fi
