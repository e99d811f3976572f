# Sourced by the scripts that run Windows programs: one Wine prefix of our own, Chinese code pages,
# no prompt for Wine's browser or .NET engines, and the Wine loader this machine can run.
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mshtml=d;mscoree=d;winemenubuilder.exe=d"
export WINEPREFIX=${KORVANIX_WINEPREFIX:-${TMPDIR:-/tmp}/korvanix-wine}

# Some kernels run no 32-bit code (ia32 emulation off), and then Wine's 32-bit loader cannot start:
# there the Windows tiers run the x86-64 build of the same sources under wine64.
if [ -z "${KORVANIX_WINE:-}" ]; then
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then
        export KORVANIX_WINE=wine KORVANIX_WIN_PRESET=win32
    else
        export KORVANIX_WINE=/usr/lib/wine/wine64 KORVANIX_WIN_PRESET=win64
    fi
fi

# Creates the prefix once (about 15 s); later calls return at once. Safe to call from parallel jobs.
korvanix_wine_prefix() {
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.korvanix-ready" ]; then
            "$KORVANIX_WINE" wineboot -i >/dev/null 2>&1 || true
            "$KORVANIX_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
            # The virtual display runs no window manager, and Wine waits two seconds for one whenever a
            # managed window is hidden or destroyed: the program's windows stay unmanaged instead.
            "$KORVANIX_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
            "${KORVANIX_WINESERVER:-wineserver}" -w
            # Wine links the user's Desktop, Documents and other folders to the Unix home folder: tests
            # that back up, restore or move those folders would reach outside the prefix. They become
            # folders of the prefix instead.
            local link
            for link in "$WINEPREFIX"/drive_c/users/*/*; do
                if [ -L "$link" ]; then rm -f "$link" && mkdir -p "$link"; fi
            done
            touch "$WINEPREFIX/.korvanix-ready"
        fi
    ) 9>"$WINEPREFIX.lock"
}

# Copies the test doubles of BUILD (tools Wine lacks: diskpart, bcdedit) into the prefix's system folder,
# and in a WOW64 prefix into syswow64 as well: a 32-bit process that starts a tool with redirection on
# looks there, and with it off (as the program's command runner does) in system32.
korvanix_install_doubles() {
    local double folder
    for folder in system32 syswow64; do
        [ -d "$WINEPREFIX/drive_c/windows/$folder" ] || continue
        for double in "$1"/tests/doubles/*.exe; do
            [ -e "$double" ] && cp -f "$double" "$WINEPREFIX/drive_c/windows/$folder/"
        done
    done
    return 0
}

# Sets the Windows version the prefix reports: winxp, win2003, vista, win7, win8, ...
# In a WOW64 prefix `wine winecfg` is the 64-bit winecfg, and a 32-bit program went on reporting Windows 7
# after it, even after the 32-bit winecfg had set the 32-bit view's keys as well. What both kinds of
# process read first is Wine's own setting under HKCU\Software\Wine (a key the two views share, and one
# winecfg -v clears), so there the version is also written there.
korvanix_wine_version() {
    local expected attempt
    case $1 in
        winxp) expected=5.1 ;;
        winxp64 | win2003) expected=5.2 ;;
        vista | win2008) expected=6.0 ;;
        win7 | win2008r2) expected=6.1 ;;
        win8) expected=6.2 ;;
        win81) expected=6.3 ;;
        win10) expected=10.0 ;;
        *) expected= ;;
    esac
    # winecfg has been seen to return without switching (a test then ran as Windows 7 while it believed it
    # ran as Vista): the switch is read back from the registry file, which holds it once the server ended.
    for attempt in 1 2 3; do
        "$KORVANIX_WINE" winecfg -v "$1" >/dev/null 2>&1
        if [ "$KORVANIX_WIN_PRESET" = win32 ] && [ -f "$WINEPREFIX/drive_c/windows/syswow64/winecfg.exe" ]; then
            "$KORVANIX_WINE" 'C:\windows\syswow64\winecfg.exe' -v "$1" >/dev/null 2>&1
            "$KORVANIX_WINE" reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d "$1" /f >/dev/null 2>&1
        fi
        "${KORVANIX_WINESERVER:-wineserver}" -w
        if korvanix_prefix_switched "$1" "$expected"; then return 0; fi
        sleep "$attempt"
    done
    echo "the prefix $WINEPREFIX did not switch to $1: it reports Windows NT $(korvanix_prefix_nt_version)," \
        "Wine's own setting '$(korvanix_reg_value user.reg 'Software\\Wine' Version)'" >&2
    return 1
}

# Whether the prefix's registry files hold the switch to VERSION (Windows NT EXPECTED, "" when any will do).
# In a WOW64 prefix the 64-bit view keeps its version (it has no 32-bit XP), and what the 32-bit programs
# read first is Wine's own setting; elsewhere the Windows NT version itself.
korvanix_prefix_switched() {
    if [ "$KORVANIX_WIN_PRESET" = win32 ] && [ -f "$WINEPREFIX/drive_c/windows/syswow64/winecfg.exe" ]; then
        [ "$(korvanix_reg_value user.reg 'Software\\Wine' Version)" = "$1" ]
    else
        [ -z "$2" ] || [ "$(korvanix_prefix_nt_version)" = "$2" ]
    fi
}

# The Windows NT version the prefix's registry holds ("6.1" for Windows 7).
korvanix_prefix_nt_version() {
    korvanix_reg_value system.reg 'Software\\Microsoft\\Windows NT\\CurrentVersion' CurrentVersion
}

# A string value from one of the prefix's registry files: FILE KEY NAME, the key as the file writes it
# (backslashes doubled).
korvanix_reg_value() {
    KX_KEY="[$2]" KX_NAME="\"$3\"=" awk 'substr($0, 1, 1) == "[" { here = index($0, ENVIRON["KX_KEY"]) == 1 }
        here && index($0, ENVIRON["KX_NAME"]) == 1 { split($0, part, "\""); print part[4]; exit }' "$WINEPREFIX/$1"
}

# Gives the calling script a display: the one it has, or a virtual one of its own (Xvfb), ended by
# korvanix_end_display. Windows programs under Wine need one even when nobody looks.
korvanix_display() {
    korvanix_xvfb_pid=
    if [ -n "${DISPLAY:-}" ] && [ -z "${KORVANIX_OWN_DISPLAY:-}" ]; then return; fi
    # Xvfb picks a free display number itself and tells it on the descriptor.
    local numberfile
    numberfile=$(mktemp)
    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$numberfile" >/dev/null 2>&1 &
    korvanix_xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$numberfile" ] && break; sleep 0.1; done
    export DISPLAY=":$(tr -d '\n' < "$numberfile")"
    rm -f "$numberfile"
}

korvanix_end_display() {
    if [ -n "${korvanix_xvfb_pid:-}" ]; then
        korvanix_stop_prefix
        kill "$korvanix_xvfb_pid" 2>/dev/null || true
    fi
}

# Ends this prefix's processes and waits until its server has gone: a Wine program started while the old
# server is still ending can fail to connect (a scenario's winepath did, on a CI run, with no message).
korvanix_stop_prefix() {
    "${KORVANIX_WINESERVER:-wineserver}" -k 2>/dev/null || true
    "${KORVANIX_WINESERVER:-wineserver}" -w 2>/dev/null || true
}
