# Sourced by run.sh: the demo site on a free port, its request log readable by the driver (KX_DEMO_PORT,
# KX_DEMO_LOG as a Windows path).
demo_log=$(mktemp)
demo_out=$(mktemp)
python3 "$here/../../scripts/demo-server.py" --port 0 --size-mb 1 >"$demo_out" 2>"$demo_log" &
demo_pid=$!
for _ in $(seq 100); do grep -q 'demo site on' "$demo_out" && break; sleep 0.1; done
export KX_DEMO_PORT KX_DEMO_LOG
KX_DEMO_PORT=$(sed -n 's|.*demo site on http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$demo_out")
KX_DEMO_LOG=$("$KORVANIX_WINE" winepath -w "$demo_log" 2>/dev/null)
scenario_teardown() {
    kill "$demo_pid" 2>/dev/null || true
    rm -f "$demo_log" "$demo_out"
}
