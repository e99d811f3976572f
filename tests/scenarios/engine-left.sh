# Sourced by the set-ups of the scenarios that start the program after a restart: what a one-tap restore on
# the engine route left on the system drive when it was staged with "restart later" on Windows 7 (the boot
# files, the engine, the record of the boot entry and the old time-out) and the bcdedit double's store with
# that entry and the time-out of 25. Everything is dated before this start of Windows.
c_drive="$WINEPREFIX/drive_c"
entry='{4b52564e-0000-4000-8000-000000000001}'
for f in qzrpldr.mbr otldr Dorv.ima kxlinux kxinitrd; do
    printf 'boot file %s\n' "$f" >"$c_drive/$f"
done
printf 'korvanix-bcd 1\ntimeout=30\nentry=%s\nend\n' "$entry" >"$c_drive/KORVANIX.BCD"
# The double keeps its store beside itself as it sees it: a 32-bit double in a WOW64 prefix sees
# windows/syswow64 where its path says system32, so the store goes into both folders.
for bcd_dir in "$c_drive/windows/system32" "$c_drive/windows/syswow64"; do
    [ -d "$bcd_dir" ] || continue
    printf 'timeout 25\ndefault {current}\ndisplay {current}\ndisplay %s\nentry %s\t安装系统\tpartition=C:\t\\qzrpldr.mbr\n' \
        "$entry" "$entry" >"$bcd_dir/bcdedit-store.txt"
done
left_dated() {
    local f
    for f in "$@"; do touch -d '2020-01-02 03:04:05' "$f"; done
}
left_dated "$c_drive"/{qzrpldr.mbr,otldr,Dorv.ima,kxlinux,kxinitrd,KORVANIX.BCD}
