# Sourced by run.sh: the diskpart double never answers, and the program ends a console tool after 3 seconds
# instead of two minutes.
export KORVANIX_DISKPART_HANG=1
export KORVANIX_TOOL_TIMEOUT_MS=3000
export KORVANIX_DISKPART_LOG='C:\diskpart-timeout.log'
rm -f "$WINEPREFIX/drive_c/diskpart-timeout.log"
scenario_teardown() { rm -f "$WINEPREFIX/drive_c/diskpart-timeout.log"; }
