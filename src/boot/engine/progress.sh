# What the person in front of the machine sees while the engine works: a progress line at least every two
# seconds (percent, megabytes done of the total, speed, time left), never going down, ending at 100.
# Sourced by init; busybox sh.

# show LINE: on the screen and the serial port, not in the log (a line every second would drown it). The
# serial copy carries the seconds since the start, for whoever reads it later.
show() {
    echo "korvanix: $*" >/dev/tty1 2>/dev/null
    echo "korvanix: $* [$(cut -d' ' -f1 /proc/uptime)s]" >/dev/ttyS0 2>/dev/null
}

# progress_line KIND PERCENT DONE_MB TOTAL_MB MB_PER_S LEFT
progress_line() { show "progress $1 $2% ($3 of $4 MB, $5 MB/s, $6 left)"; }

# watch_partclone KIND ERRFILE: partclone's own progress (on its standard error, CR-separated) as our line,
# every second, until killed. Before partclone says how much is in use (it first maps the file system), the
# line says 0%. Only the file's tail is read each time: it grows by a line a second.
watch_partclone() {
    local last=0 line used= from= parent=$$ pct mb total rate left
    while :; do
        sleep 1
        # Never outlives the engine's shell ($$ is still its process in this background copy).
        kill -0 "$parent" 2>/dev/null && [ -e "$2" ] || exit 0
        # The copy's own lines follow "Space in use"; the mapping's before it reach 100% too.
        # (From where the file stood when that line was first seen.)
        if [ -z "$from" ] && grep -q 'Space in use:' "$2" 2>/dev/null; then
            from=$(stat -c %s "$2")
            used=$(tr '\r' '\n' <"$2" | awk '/Space in use:/ {
                u = $4 + 0; if ($5 == "GB") u *= 1024; else if ($5 == "KB") u /= 1024; printf "%.0f", u; exit }')
        fi
        line=
        [ -n "$from" ] && line=$(tail -c +$((from + 1)) "$2" | tail -c 1024 | tr '\r' '\n' | grep 'Completed:' | tail -n 1 | awk -v used="${used:-0}" '{
                for (i = 1; i < NF; i++) {
                    if ($i == "Completed:") pct = $(i + 1)
                    if ($i == "Remaining:") left = $(i + 1)
                    if ($i == "Elapsed:") { split($(i + 1), t, ":"); secs = t[1] * 3600 + t[2] * 60 + t[3] }
                }
            }
            END {
                gsub(/[%,]/, "", pct); gsub(/,/, "", left)
                if (left == "") left = "--:--:--"
                done = used * pct / 100
                speed = (secs > 0) ? done / secs : 0
                printf "%d %.0f %.0f %.1f %s\n", pct, done, used, speed, left
            }')
        [ -n "$line" ] || line="0 0 ${used:-0} 0.0 --:--:--"
        echo "$line" >/run/watch.line
        read -r pct mb total rate left </run/watch.line
        [ -n "$left" ] || continue
        [ "$pct" -ge "$last" ] && last=$pct
        progress_line "$1" "$last" "$mb" "$total" "$rate" "$left"
    done
}

# start_watch KIND ERRFILE / stop_watch [done]: the watcher around a pipeline; one that succeeded ends
# with its 100% line.
start_watch() {
    : >"$2"
    watch_partclone "$1" "$2" &
    WATCH_PID=$! WATCH_KIND=$1 WATCH_FILE=$2
}
stop_watch() {
    local used
    [ -n "$WATCH_PID" ] && kill "$WATCH_PID" 2>/dev/null && wait "$WATCH_PID" 2>/dev/null
    WATCH_PID=
    if [ "$1" = done ]; then
        used=$(tr '\r' '\n' <"$WATCH_FILE" 2>/dev/null | awk '/Space in use:/ { u = $4 + 0; if ($5 == "GB") u *= 1024
            else if ($5 == "KB") u /= 1024 } END { printf "%.0f", u }')
        progress_line "$WATCH_KIND" 100 "$used" "$used" - 00:00:00
    fi
    return 0
}

# hash_with_progress FILE DONE_BYTES TOTAL_BYTES: the file's SHA-256 on standard output; while it is read,
# the check's progress over the whole image from where sha256sum stands in the file.
hash_with_progress() {
    local pid pos n=0 start pct mb total rate left
    start=$(date +%s)
    sha256 <"$1" >/run/hash.out &
    pid=$!
    while kill -0 $pid 2>/dev/null; do
        sleep 0.5
        n=$((n + 1))
        [ $((n % 2)) = 0 ] || continue
        pos=$(awk '/^pos:/ { print $2 }' "/proc/$pid/fdinfo/0" 2>/dev/null)
        # busybox awk takes no bare conditional expression among printf's arguments.
        awk -v d="$2" -v p="${pos:-0}" -v t="$3" -v s="$(( $(date +%s) - start ))" 'BEGIN {
            done = d + p; rate = (s > 0) ? p / s : 0
            left = (rate > 0) ? (t - done) / rate : 0
            pct = (t > 0) ? done * 100 / t : 0
            printf "%d %.0f %.0f %.1f %02d:%02d:%02d\n", pct, done / 1048576, t / 1048576, rate / 1048576,
                left / 3600, (left % 3600) / 60, left % 60 }' >/run/hash.progress
        read -r pct mb total rate left </run/hash.progress
        progress_line check "$pct" "$mb" "$total" "$rate" "$left"
    done
    wait $pid || return 1
    cat /run/hash.out
}

# banner: what runs, in the words the program showed, and the warning that matters most.
banner() {
    local what
    case $JOB_MODE in
        backup) what="BACKING UP partition $JOB_GHOST_PARTITION to $JOB_GHOST_IMAGE" ;;
        apply) what="INSTALLING Windows on partition $JOB_GHOST_PARTITION from $JOB_GHOST_IMAGE" ;;
        *) what="RESTORING partition $JOB_GHOST_PARTITION from $JOB_GHOST_IMAGE" ;;
    esac
    # Each line fits the console's 80 columns after the "korvanix: " in front of it.
    show "======================================================================"
    show "Korvanix is $what"
    show "DO NOT switch the computer off or restart it."
    show "It restarts by itself when the work is done."
    show "======================================================================"
}
