#!/usr/bin/env bash
# Prints the packages of a list (default packages.txt, architecture i386), one a line, with a kernel's
# metapackage replaced by the kernel package it depends on today. Debian drops a kernel's package from its
# mirror when a new kernel ABI arrives, so a kernel named by its ABI would stop installing; the metapackage
# always names the current one. Needs the machine's package lists (apt-get update, as scripts/setup.sh does).
#   packages.sh [LIST [ARCH]]      e.g. packages.sh efi-packages.txt amd64
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
list=${1:-$here/packages.txt} arch=${2:-i386}
[ -f "$list" ] || list=$here/$list
grep -v '^#' "$list" | grep -v '^$' | while read -r name; do
    case $name in
        linux-image-686|linux-image-amd64)
            kernel=$(apt-cache depends "$name:$arch" 2>/dev/null |
                sed -n 's/^ *Depends: \(linux-image-[0-9][^:]*\).*/\1/p' | head -n 1)
            [ -n "$kernel" ] || { echo "packages.sh: no kernel package behind $name (apt-get update?)" >&2; exit 1; }
            echo "$kernel"
            ;;
        *) echo "$name" ;;
    esac
done
