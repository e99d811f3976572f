# Sourced by the engine's build scripts: the Debian packages of a build, fetched into their cache when
# missing, unpacked into one root, and recorded (name, version, SHA-256 of the .deb) in its provenance; and
# the kernel modules a build takes from them.
#   unpack_debs CACHE ARCH ROOT PROVENANCE HEADLINE PACKAGE...
unpack_debs() {
    local debs=$1 arch=$2 root=$3 provenance=$4 headline=$5
    shift 5
    local p deb missing=()
    mkdir -p "$debs" "$root"
    for p in "$@"; do
        ls "$debs/${p}_"*_"$arch".deb >/dev/null 2>&1 || missing+=("$p:$arch")
    done
    if [ ${#missing[@]} -gt 0 ] && ! (cd "$debs" && apt-get download -q "${missing[@]}" >/dev/null); then
        echo "cannot fetch ${missing[*]} (needs the $arch lists: dpkg --add-architecture and apt-get update, as" \
            "scripts/setup.sh does)" >&2
        return 1
    fi
    {
        echo "$headline"
        for p in "$@"; do
            deb=$(ls "$debs/${p}_"*_"$arch".deb | sort -V | tail -n 1)
            dpkg-deb -x "$deb" "$root"
            printf '%s %s %s\n' "$p" "$(dpkg-deb -f "$deb" Version)" "$(sha256sum "$deb" | cut -d' ' -f1)"
        done
    } >"$provenance"
}

# The one kernel version unpacked under ROOT/lib/modules; fails when there is not exactly one.
only_kernel() {
    local kver
    kver=$(ls "$1/lib/modules")
    [ -n "$kver" ] && [ "$(echo "$kver" | wc -l)" = 1 ] || { echo "expected one kernel, found: $kver" >&2; return 1; }
    echo "$kver"
}

# copy_modules ROOT KVER LIST TREE: the modules LIST names (files, or folders of them) with every module they
# depend on (from a depmod over the whole kernel under ROOT) into TREE, and TREE's own module index.
copy_modules() {
    local root=$1 kver=$2 list=$3 tree=$4 mods wanted m dep
    mods=$root/lib/modules/$kver
    busybox depmod -b "$root" "$kver"
    wanted=$(cd "$mods" && grep -v '^#' "$list" | while read -r m; do
        if [ -d "$m" ]; then find "$m" -name '*.ko'; elif [ -n "$m" ]; then echo "$m"; fi; done)
    for m in $wanted; do
        [ -f "$mods/$m" ] || continue
        for dep in $m $(sed -n "s#^$m: ##p" "$mods/modules.dep"); do
            mkdir -p "$tree/lib/modules/$kver/$(dirname "$dep")"
            cp "$mods/$dep" "$tree/lib/modules/$kver/$dep"
        done
    done
    busybox depmod -b "$tree" "$kver"
}
