# Sourced by the wizard scenarios' set-ups: the demo web site on loopback (README command 1's catalogue
# server) with a 150 MB Windows 7 64-bit image served through a rate limit per connection and a fault mode
# that drops responses half-way, and drives D: and E: of the prefix mapped to temporary folders (the
# partitions the diskpart double reports besides C:), where the image lands. Exports KX_DEMO_SITE,
# KX_DEMO_SHA3 (the Ghost image's real SHA-256) and, for the build that installs Windows imaging files,
# KX_DEMO_WIM_SHA and KX_DEMO_WIM_KB (the Windows 7 32-bit WIM's digest and size; its data file is as large
# as the Ghost images when demo-server's --wim-mb says so).   usage: demo_site_start [demo-server options]
demo_site_start() {
    demo_tmp=$(mktemp -d)
    demo_links=()
    local letter
    for letter in d e; do
        local link="$WINEPREFIX/dosdevices/$letter:"
        if [ -e "$link" ] || [ -L "$link" ]; then
            echo "drive $letter: is taken in $WINEPREFIX"
            exit 1
        fi
        mkdir -p "$demo_tmp/$letter"
        ln -s "$demo_tmp/$letter" "$link"
        demo_links+=("$link")
    done
    python3 "$here/../../scripts/demo-server.py" --port 0 --size-mb 150 --rate-kb 512 --drop-every 9 "$@" \
        >"$demo_tmp/site.log" 2>&1 &
    demo_pid=$!
    KX_DEMO_SITE=
    # Making 150 MB images and capturing them takes a while in an emulated machine.
    for _ in $(seq 1800); do
        grep -q '^bytes VX_winxp_sp3.gho' "$demo_tmp/site.log" && break
        sleep 0.1
    done
    KX_DEMO_SITE=$(sed -n 's|.*--site=\([0-9.:]*\).*|\1|p' "$demo_tmp/site.log" | head -n 1)
    KX_DEMO_SHA3=$(sed -n 's|^sha256 VX_win7_sp1_64.gho \([0-9a-f]*\)$|\1|p' "$demo_tmp/site.log")
    KX_DEMO_WIM_SHA=$(sed -n 's|^sha256 VX_win7_sp1_32.wim \([0-9a-f]*\)$|\1|p' "$demo_tmp/site.log")
    KX_DEMO_WIM_KB=$(sed -n 's|^bytes VX_win7_sp1_32.wim \([0-9]*\)$|\1|p' "$demo_tmp/site.log")
    [ -z "$KX_DEMO_WIM_KB" ] || KX_DEMO_WIM_KB=$((KX_DEMO_WIM_KB / 1024))
    if [ -z "$KX_DEMO_SITE" ] || [ -z "$KX_DEMO_SHA3" ]; then
        echo "the demo site did not start:"
        cat "$demo_tmp/site.log"
        exit 1
    fi
    export KX_DEMO_SITE KX_DEMO_SHA3 KX_DEMO_WIM_SHA KX_DEMO_WIM_KB
}

scenario_teardown() {
    [ -n "${demo_pid:-}" ] && kill "$demo_pid" 2>/dev/null
    local link
    for link in "${demo_links[@]}"; do
        [ -L "$link" ] && case "$(readlink "$link")" in "$demo_tmp"/*) rm -f "$link" ;; esac
    done
    [ -n "${demo_tmp:-}" ] && rm -rf "$demo_tmp"
    true
}
