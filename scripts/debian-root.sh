# Sourced by the scripts that need a small Debian 12 system of their own (the fresh-machine check and the
# virtual machine of the 32-bit Windows tiers): one minimal root made with debootstrap, kept as a tarball
# so that only the first run on a machine downloads it.
korvanix_cache=${KORVANIX_CACHE:-/var/cache/korvanix}
korvanix_minbase_tarball=$korvanix_cache/bookworm-minbase.tar.gz

# The machine's own Debian mirror, as its apt configuration names it: whatever mirror this machine may
# reach is the one the new root must use.
korvanix_mirror() {
    local sources=/etc/apt/sources.list.d/debian.sources uri=
    if [ -f "$sources" ]; then
        # The first stanza whose suites are bookworm's own (not the security pocket).
        uri=$(awk '/^URIs:/ {u = $2} /^Suites:/ && / bookworm( |$)/ && u != "" {print u; exit}' "$sources")
    fi
    if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
        uri=$(awk '$1 == "deb" && $0 !~ /security/ {for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) {print $i; exit}}' \
            /etc/apt/sources.list)
    fi
    [ -n "$uri" ] || { echo "no Debian mirror found in this machine's apt configuration" >&2; return 1; }
    echo "$uri"
}

# Makes the cached minimal root once (a few minutes, mostly downloads).
korvanix_minbase() {
    [ -f "$korvanix_minbase_tarball" ] && return 0
    command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null
    local mirror tmp
    mirror=$(korvanix_mirror)
    mkdir -p "$korvanix_cache"
    tmp=$(mktemp -d "$korvanix_cache/minbase.XXXXXX")
    echo "making a minimal Debian 12 root from $mirror (once; cached as $korvanix_minbase_tarball)"
    if ! debootstrap --variant=minbase bookworm "$tmp/root" "$mirror" >"$tmp.log" 2>&1; then
        tail -n 20 "$tmp.log" >&2
        rm -rf "$tmp" "$tmp.log"
        return 1
    fi
    tar -C "$tmp/root" -czf "$tmp.tar.gz" .
    mv "$tmp.tar.gz" "$korvanix_minbase_tarball"
    rm -rf "$tmp" "$tmp.log"
}

# Unpacks a fresh copy of the minimal root into DIR (which must not exist yet or be empty).
korvanix_unpack_minbase() {
    korvanix_minbase
    mkdir -p "$1"
    tar -C "$1" -xzf "$korvanix_minbase_tarball"
}

# Mounts what programs in a root expect (proc, sys, dev and dev/pts) and records them for korvanix_unmount_all.
korvanix_mounted=()
korvanix_mount_system() {
    local root=$1
    mount -t proc proc "$root/proc" && korvanix_mounted+=("$root/proc")
    mount -t sysfs sys "$root/sys" && korvanix_mounted+=("$root/sys")
    # dev with dev/pts below it; a slave, so that nothing mounted inside reaches this machine's own /dev.
    mount --rbind /dev "$root/dev" && korvanix_mounted+=("$root/dev")
    mount --make-rslave "$root/dev"
    # The root resolves names as this machine does.
    cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
}

# Unmounts in the reverse order; lazily, so that a process still holding a mount cannot keep it.
korvanix_unmount_all() {
    local i
    for ((i = ${#korvanix_mounted[@]} - 1; i >= 0; i--)); do
        umount -R "${korvanix_mounted[$i]}" 2>/dev/null || umount -R -l "${korvanix_mounted[$i]}" 2>/dev/null || true
    done
    korvanix_mounted=()
}
