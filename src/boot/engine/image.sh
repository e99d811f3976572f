# The engine's images: a folder with partclone streams compressed by zstd, in pieces under FAT32's 4 GiB
# file limit, and manifest.txt naming every piece with its size and SHA-256. Sourced by init; busybox sh.

CHUNK_MB=2000
STREAM=image.pcl.zst
MANIFEST=manifest.txt

# sha256: the SHA-256 of standard input as 64 hex digits. OpenSSL's, which uses the processor's SHA
# instructions where there are some: several times busybox's speed, and the image is read once more for it
# before a restore writes anything.
sha256() { openssl dgst -sha256 -r | cut -d' ' -f1; }

# chunks PREFIX: standard input into PREFIX.000, PREFIX.001 ... of CHUNK_MB each (this busybox has no
# split), and each piece's SHA-256 into PREFIX.NNN.sha right after it is written, while it is still in
# memory: the partition is read once. (Hashing in flight through busybox's tee costs more than this: its
# small buffer turns every piece into thousands of writes through ntfs-3g.) A read from a pipe may come
# short, so only an empty piece means the end.
chunks() {
    local i=0 f
    while :; do
        f=$1.$(printf %03d $i)
        dd bs=1048576 count=$CHUNK_MB iflag=fullblock of="$f" 2>/run/err.dd || { cat /run/err.dd >&2; return 1; }
        if [ ! -s "$f" ]; then
            rm -f "$f"
            [ $i -gt 0 ] || { echo "no data" >&2; return 1; }
            return 0
        fi
        { dd if="$f" bs=1048576 2>/run/err.dd || echo fail >/run/st.hash; } | sha256 >"$f.sha"
        [ ! -f /run/st.hash ] || { rm -f /run/st.hash; echo "cannot read back $f: $(tail -n 1 /run/err.dd)" >&2; return 1; }
        i=$((i + 1))
    done
}

# stages_ok NAME...: each stage of the last pipeline left status 0; otherwise STAGE_ERROR names the one
# that failed first with words of its own on its standard error, or the first that failed at all. A stage
# that only lost its reader (a broken pipe: 141, or busybox's status 1 and no words) followed a later one's
# failure.
stages_ok() {
    local n st bad= said=
    for n in "$@"; do
        st=$(cat "/run/st.$n" 2>/dev/null)
        [ "$st" = 0 ] && continue
        [ -z "$bad" ] && bad=$n
        if [ "$st" != 141 ] && [ -s "/run/err.$n" ]; then said=$n; break; fi
    done
    [ -z "$bad" ] && { rm -f /run/st.*; return 0; }
    [ -n "$said" ] && bad=$said
    STAGE_ERROR="$bad failed (status $(cat "/run/st.$bad" 2>/dev/null || echo none))"
    [ -f /run/partclone.log ] && tail -n 20 /run/partclone.log >>"$LOG"
    if [ -s "/run/err.$bad" ]; then
        # partclone's progress lines end in CR; its last own words come after them.
        tr '\r' '\n' <"/run/err.$bad" | grep -v -e Elapsed -e 'current block' -e '^ *$' >/run/err.words
        tail -n 20 /run/err.words >>"$LOG"
        STAGE_ERROR="$STAGE_ERROR: $(tail -n 1 /run/err.words)"
    fi
    return 1
}

versions() {
    echo "$(partclone.restore -v 2>&1 | grep -o 'v[0-9.]*' | head -n 1 | tr -d v) $(zstd -V | grep -o 'v[0-9.]*' | tr -d v)"
}

# stream_line NAME BYTES SUM: the manifest's line for one piece, or a failure when a value is not what it
# must be (a size that is a number, a digest of 64 hex digits): a manifest is never written half-true.
stream_line() {
    case $2 in ''|*[!0-9]*) fail "no size for $1"; return 1 ;; esac
    echo "$3" | grep -qx '[0-9a-f]\{64\}' || { fail "no SHA-256 for $1"; return 1; }
    echo "stream=$1 $2 $3"
}

# backup SOURCE IMAGE_PARTITION: the source's file system into JOB_FOLDER on the image partition. The
# earlier image of that name is moved aside, not removed, until the new one is complete.
backup() {
    local src=$1 dst=$2 fs size final new old start seconds f sum bytes total=0
    fs=$(fs_of "$src")
    case $fs in ntfs|fat) ;; *) fail "the partition to back up holds neither NTFS nor FAT"; return 1 ;; esac
    # A hibernated or unclean source is refused before anything is read.
    mount_part "$src" /run/chk rw || { fail "$MOUNT_WHY"; return 1; }
    if hibernated /run/chk; then
        umount /run/chk
        fail "Windows was hibernated on the partition to back up; start Windows and restart from it"
        return 1
    fi
    umount /run/chk || { fail "cannot close the partition to back up"; return 1; }
    size=$(size_of "$src")
    mount_part "$dst" /run/img rw || { fail "cannot open the image partition for writing: $MOUNT_WHY"; return 1; }
    final="/run/img$JOB_FOLDER" new="/run/img$JOB_FOLDER.new" old="/run/img$JOB_FOLDER.old"
    # An earlier backup cut off between its two renames left the previous image aside: it comes back first.
    if [ ! -e "$final" ] && [ -f "$old/$MANIFEST" ]; then mv "$old" "$final"; fi
    rm -rf "$new"
    mkdir -p "$new" || { fail "cannot create the image folder $JOB_FOLDER"; return 1; }
    say "backing up $JOB_GHOST_PARTITION ($fs, $size bytes) to $JOB_GHOST_IMAGE"
    start=$(date +%s)
    # Each stage leaves its status, so that a failure names the one that failed.
    start_watch backup /run/err.partclone
    { "partclone.$fs" -c -s "$src" -o - -L /run/partclone.log 2>>/run/err.partclone; echo $? >/run/st.partclone; } |
        { zstd -q -T0 -3 2>/run/err.zstd; echo $? >/run/st.zstd; } |
        { chunks "$new/$STREAM" 2>/run/err.chunks; echo $? >/run/st.chunks; }
    if stages_ok partclone zstd chunks; then stop_watch done; else
        stop_watch
        rm -rf "$new"
        fail "$STAGE_ERROR"
        return 1
    fi
    seconds=$(( $(date +%s) - start ))
    {
        echo "korvanix-image 1"
        echo "filesystem=$fs"
        echo "partition=$JOB_PARTITION"
        echo "size=$size"
        echo "tools=partclone zstd $(versions)"
        echo "seconds=$seconds"
    } >"$new/$MANIFEST.tmp" || { fail "cannot write the manifest"; return 1; }
    for f in "$new/$STREAM".*; do
        case $f in *.sha) continue ;; esac
        bytes=$(stat -c %s "$f") sum=$(cat "$f.sha")
        stream_line "${f##*/}" "$bytes" "$sum" >>"$new/$MANIFEST.tmp" || return 1
        total=$((total + bytes))
        rm -f "$f.sha"
    done
    echo end >>"$new/$MANIFEST.tmp" && mv "$new/$MANIFEST.tmp" "$new/$MANIFEST" || { fail "cannot write the manifest"; return 1; }
    if [ -e "$final" ]; then
        rm -rf "$old"
        mv "$final" "$old" || { fail "cannot move the earlier image aside"; return 1; }
    fi
    mv "$new" "$final" || { fail "cannot put the image in place"; return 1; }
    rm -rf "$old"
    sync
    umount /run/img || { fail "cannot close the image partition"; return 1; }
    SUMMARY="SUMMARY mode=backup seconds=$seconds image-bytes=$total"
    say "backup done in ${seconds}s, $total bytes"
}

# verify_image DIR TARGET: everything about the image is checked before the first byte goes to the
# target: the manifest, every stream's size and SHA-256, the target's size. /run/streams lists the streams,
# one path a line.
verify_image() {
    local dir=$1 tgt=$2 m name bytes sum n=0 total all
    m="$dir/$MANIFEST"
    [ -f "$m" ] || { fail "the image folder $JOB_FOLDER has no manifest"; return 1; }
    awk '{ sub(/\r$/, ""); print }' "$m" >/run/manifest
    [ "$(sed -n 1p /run/manifest)" = "korvanix-image 1" ] && [ "$(tail -n 1 /run/manifest)" = end ] ||
        { fail "the manifest is incomplete"; return 1; }
    IMG_FS=$(sed -n 's/^filesystem=//p' /run/manifest)
    IMG_SIZE=$(sed -n 's/^size=//p' /run/manifest)
    case $IMG_FS in ntfs|fat) ;; *) fail "the manifest names no known file system"; return 1 ;; esac
    case $IMG_SIZE in ''|*[!0-9]*) fail "the manifest has no source size"; return 1 ;; esac
    total=$(size_of "$tgt")
    if ! awk -v t="$total" -v s="$IMG_SIZE" 'BEGIN { exit !(t + 0 >= s + 0) }'; then
        fail "the target ($total bytes) is smaller than the image's source ($IMG_SIZE bytes)"
        return 1
    fi
    : >/run/streams
    IMG_BYTES=0
    sed -n 's/^stream=//p' /run/manifest >/run/manifest.streams
    all=$(awk '{ s += $2 } END { printf "%.0f", s }' /run/manifest.streams)
    while read -r name bytes sum; do
        case $name in ''|*/*|.*) fail "the manifest names a bad stream '$name'"; return 1 ;; esac
        case $bytes in ''|*[!0-9]*) fail "the manifest gives no size for stream $name"; return 1 ;; esac
        echo "$sum" | grep -qx '[0-9a-f]\{64\}' || { fail "the manifest gives no SHA-256 for stream $name"; return 1; }
        [ -f "$dir/$name" ] || { fail "stream $name is missing"; return 1; }
        [ "$(stat -c %s "$dir/$name")" = "$bytes" ] ||
            { fail "stream $name has $(stat -c %s "$dir/$name") bytes, the manifest says $bytes"; return 1; }
        [ "$(hash_with_progress "$dir/$name" "$IMG_BYTES" "$all")" = "$sum" ] ||
            { fail "stream $name does not match its SHA-256 (the image is damaged)"; return 1; }
        printf '%s\n' "$dir/$name" >>/run/streams
        IMG_BYTES=$((IMG_BYTES + bytes))
        n=$((n + 1))
    done </run/manifest.streams
    [ $n -gt 0 ] || { fail "the manifest lists no stream"; return 1; }
    progress_line check 100 $((all / 1048576)) $((all / 1048576)) - 00:00:00
    say "image checked: $IMG_FS, $IMG_SIZE bytes, $n stream(s)"
}

# image_folder: the folder the job names, or the earlier image a cut-off backup left aside.
image_folder() {
    if [ ! -e "/run/img$JOB_FOLDER" ] && [ -f "/run/img$JOB_FOLDER.old/$MANIFEST" ]; then
        say "the image folder is missing; using the earlier image a cut-off backup left aside"
        echo "/run/img$JOB_FOLDER.old"
    else
        echo "/run/img$JOB_FOLDER"
    fi
}

# write_streams DEVICE: the checked streams, in order, through zstd into partclone.restore.
write_streams() {
    # partclone.restore writes over a regular file (the benchmark's) only when told to.
    local out=-o
    [ -b "$1" ] || out=-O
    start_watch restore /run/err.partclone
    { (while read -r f; do cat "$f" || exit 1; done) </run/streams 2>/run/err.cat; echo $? >/run/st.cat; } |
        { zstd -q -d -c 2>/run/err.zstd; echo $? >/run/st.zstd; } |
        { partclone.restore -s - "$out" "$1" -L /run/partclone.log 2>>/run/err.partclone; echo $? >/run/st.partclone; }
    stages_ok cat zstd partclone || { stop_watch; fail "$STAGE_ERROR"; return 1; }
    stop_watch done
}
