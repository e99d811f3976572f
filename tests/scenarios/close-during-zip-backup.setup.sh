# Sourced by run.sh: a large text file in the test user's documents, so that the zip backup of them runs for
# many seconds, and a backup folder on C: that is removed again afterwards.
documents="$WINEPREFIX/drive_c/users/$(id -un)/Documents"  # Wine names the user folder after the Unix user
if [ -L "$documents" ] || [ ! -d "$documents" ]; then
    echo "the documents folder of $WINEPREFIX is not a folder of the prefix"
    exit 1
fi
# Text that packs (random bytes would only be stored, which is quick): about 20 s of work under Wine.
head -c $((240 * 1048576)) /dev/urandom | base64 -w 76 >"$documents/kx-big.txt"
scenario_teardown() {
    rm -f "$documents/kx-big.txt"
    rm -rf "$WINEPREFIX/drive_c/kx-backup"
}
