#!/usr/bin/env bash
# The engine's backup against the same `partclone | zstd` pipeline on the host, measured in one run: a
# 1 GiB NTFS system partition with about 512 MB in use is backed up by the engine inside QEMU (started by
# the real boot chain, as in the engine's round-trip test), then by partclone.ntfs piped into zstd -T0 -3
# on a file of the same partition. Prints both times and image sizes and their ratios.
#   bench/engine/run.sh [HOST_BUILD_DIR]     (default: build/host, which builds the engine)
# The comparison means something with KVM only; without it the script says so and stops, unless
# KORVANIX_BENCH_TCG=1 asks for the plain-emulation figures anyway.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/host}" && pwd)
if ! [ -w /dev/kvm ] && [ "${KORVANIX_BENCH_TCG:-0}" != 1 ]; then
    echo "this machine has no usable /dev/kvm: the engine would run under plain emulation, which says nothing"
    echo "about its speed (KORVANIX_BENCH_TCG=1 runs it anyway)"
    exit 77
fi
exec bash "$root/tests/boot/engine-roundtrip.sh" "$build/boot-assets" "$build/tools/diag/korvanix-diag" bench
