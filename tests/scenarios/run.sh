#!/usr/bin/env bash
# Runs one program scenario: the real Korvanix.exe under Wine on a virtual display of its own, driven by
# driver.exe from another process. Screenshots land in $KORVANIX_SCREENSHOTS (default: BUILD/screenshots),
# turned into PNG.   usage: run.sh BUILD_DIR SCENARIO_FILE [PROGRAM_ARGS...]
set -euo pipefail
# A step that fails ends the scenario; say which one, since several of them are quiet by design.
trap 'echo "run.sh: line $LINENO failed (status $?): $BASH_COMMAND" >&2' ERR
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
scenario=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
. "$here/../../scripts/wine-env.sh"
korvanix_wine_prefix

korvanix_display
# A web site that accepts requests and never answers, for scenarios that close the program while it waits
# (they point the program at 127.0.0.1:%KX_STALL_PORT%).
portfile=$(mktemp)
python3 "$here/../servers/stall_server.py" "$portfile" &
stall_pid=$!
# A scenario may bring a set-up of its own (NAME.setup.sh beside it): sourced here, it prepares files in
# the prefix and may define scenario_teardown, which runs at the end whatever happened.
scenario_teardown() { :; }
# What the program writes on the system drive (boot files, jobs, the engine's log, the restart log, the
# bcdedit double's store) goes before and after each scenario, so that none sees another's. The doubles
# write beside themselves, under C:\windows\system32; in a WOW64 prefix a 32-bit double's writes there land
# in windows/syswow64, so both folders are cleared.
clean_system_drive() {
    local c="$WINEPREFIX/drive_c" f system
    for f in Ghost.bat qzrpldr.mbr otldr Dorv.ima kx-restart.log KORVANIX.JOB KORVANIX.LOG KORVANIX.OLD KORVANIX.BCD KORVANIX.EFI \
        kxlinux kxinitrd ghost32.exe; do
        rm -f "$c/$f"
    done
    for system in system32 syswow64; do
        rm -f "$c/windows/$system/bcdedit-store.txt" "$c/windows/$system/bcdedit.log"
    done
}
clean_system_drive
finish() {
    scenario_teardown
    clean_system_drive
    kill "$stall_pid" 2>/dev/null || true
    rm -f "$portfile"
    korvanix_end_display
}
trap finish EXIT
for _ in $(seq 100); do [ -s "$portfile" ] && break; sleep 0.1; done
export KX_STALL_PORT
KX_STALL_PORT=$(cat "$portfile")

# Windows tools that Wine lacks are played by the project's test doubles: in system32, and in a WOW64
# prefix in syswow64 too, where a 32-bit process that runs a tool with redirection on finds it.
korvanix_install_doubles "$build"

setup=${scenario%.scn}.setup.sh
if [ -f "$setup" ]; then . "$setup"; fi

shots=${KORVANIX_SCREENSHOTS:-$build/screenshots}
mkdir -p "$shots"
cd "$shots"
windows_path() {
    local attempt
    for attempt in 1 2 3; do
        "$KORVANIX_WINE" winepath -w "$1" 2>/dev/null && return 0
        sleep "$attempt"
    done
    echo "winepath could not name $1 in $WINEPREFIX" >&2
    return 1
}
exe=$(windows_path "$build/src/app/Korvanix.exe")
script=$(windows_path "$scenario")
status=0
timeout 300 "$KORVANIX_WINE" "$build/tests/scenarios/driver.exe" "$exe" "$script" || status=$?
# A driver that could not start (Wine not reaching its server) fails without a line of its own.
[ "$status" -eq 0 ] || echo "run.sh: the driver ended with status $status" >&2
for bmp in *.bmp; do
    [ -e "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
exit $status
