# Sourced by the imaging scenarios' set-ups: a fixed drive D: of the prefix, backed by a temporary folder, that
# holds a backup image as the search should find it (a sparse 401 MB file named like this program's backups)
# beside images it must pass over (400 MB, three levels deep). The restart port writes what it would ask of
# Windows to C:\kx-restart.log instead of asking it. Everything goes again at the end.
imaging_dir=$(mktemp -d)
c_drive="$WINEPREFIX/drive_c"
if [ -e "$WINEPREFIX/dosdevices/d:" ]; then
    echo "drive d: is taken in $WINEPREFIX"
    exit 1
fi
ln -s "$imaging_dir" "$WINEPREFIX/dosdevices/d:"
"$KORVANIX_WINE" reg add 'HKLM\Software\Wine\Drives' /v d: /d hd /f >/dev/null 2>&1
truncate -s 401M "$imaging_dir/C20151231120000.gho"
truncate -s 400M "$imaging_dir/C20151230120000.gho"
mkdir -p "$imaging_dir/a/b"
truncate -s 500M "$imaging_dir/a/b/deep.gho"
export KORVANIX_RESTART_LOG='C:\kx-restart.log'
# The drive is known to Wine's mount manager only once the prefix's server starts again.
"${KORVANIX_WINESERVER:-wineserver}" -k || true
"${KORVANIX_WINESERVER:-wineserver}" -w || true
scenario_teardown() {
    rm -f "$WINEPREFIX/dosdevices/d:"
    "$KORVANIX_WINE" reg delete 'HKLM\Software\Wine\Drives' /v d: /f >/dev/null 2>&1 || true
    rm -rf "$imaging_dir"
}
