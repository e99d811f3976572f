#!/usr/bin/env bash
# A picture of what the engine's screen shows half-way through a backup: the test disk of the engine's
# boot tests, a backup staged on it, QEMU with a VGA screen, and the screen saved once the engine reports
# progress.   scripts/engine-screen.sh [HOST_BUILD_DIR] [OUT.png]    (default: build/host, docs/engine-backup.png)
set -euo pipefail
export LC_ALL=C.UTF-8 MTOOLS_SKIP_CHECK=1
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build/host}" && pwd)
out=$(realpath -m "${2:-$top/docs/engine-backup.png}")
here=$top/tests/boot
assets=$build/boot-assets diag=$build/tools/diag/korvanix-diag case=screen
limit=${KORVANIX_ENGINE_BOOT_LIMIT:-900}
. "$here/engine-lib.sh"
make_disk
stage --system 1:1 --backup 1:1 --image '1:2\我的备份\系统'
qemu-system-i386 -nodefaults -display none -vga std -no-reboot -m 512 -smp 2 -accel "$(accel_option)" -machine pc \
    -boot c -drive file=disk.img,format=raw,if=ide -serial file:serial.txt -monitor unix:monitor.sock,server,nowait \
    2>qemu.err &
qemu=$!
for _ in $(seq "$limit"); do
    grep -q 'korvanix: progress backup [3-9][0-9]%' serial.txt 2>/dev/null && break
    kill -0 $qemu 2>/dev/null || { cat qemu.err; fail "QEMU ended before the backup was under way"; }
    sleep 1
done
python3 - "$work/monitor.sock" "$work/screen.ppm" <<'EOF'
import socket, sys, time
s = socket.socket(socket.AF_UNIX)
s.connect(sys.argv[1])
time.sleep(0.5)
s.sendall(("screendump " + sys.argv[2] + "\n").encode())
time.sleep(2)
s.sendall(b"quit\n")
time.sleep(0.5)
EOF
wait $qemu || true
convert "$work/screen.ppm" "$out"
echo "saved $out"
