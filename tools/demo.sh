#!/usr/bin/env bash
# Virtual sign demo: runs Kavor Cen connected to kavor-signsim in a private folder
# (demo/, git-ignored), so "Połącz" works at once and the operator's own settings and
# port links stay untouched. Usage: tools/demo.sh <root> [kavor-signsim options...]
set -euo pipefail

root="${1:-$(cd "$(dirname "$0")/.." && pwd)}"
shift || true
root="$(cd "$root" && pwd)"
sim="$root/build/default/kavor-signsim"
app="$root/build/default/kavor-cen"
for exe in "$sim" "$app"; do
    if [ ! -x "$exe" ]; then
        echo "demo: $exe is missing; build the default preset first" >&2
        exit 1
    fi
done

demo="$root/demo"
mkdir -p "$demo/config/kavorcen"
out="$demo/signsim.out"
: > "$out"

"$sim" --log "$demo/signsim-frames.log" "$@" > "$out" 2> "$demo/signsim.err" &
sim_pid=$!
stop_sim() {
    kill "$sim_pid" 2> /dev/null || true
    wait "$sim_pid" 2> /dev/null || true
}
trap stop_sim EXIT

# The simulator prints its pty path as the first line.
pty=""
for _ in $(seq 1 50); do
    pty="$(head -n 1 "$out" 2> /dev/null || true)"
    [ -n "$pty" ] && break
    if ! kill -0 "$sim_pid" 2> /dev/null; then
        echo "demo: kavor-signsim ended:" >&2
        cat "$demo/signsim.err" >&2
        exit 1
    fi
    sleep 0.1
done
if [ -z "$pty" ]; then
    echo "demo: kavor-signsim printed no device" >&2
    exit 1
fi

ln -sfn "$pty" "$demo/config/kavorcen/COM1"
echo "demo: virtual sign on $pty (COM1); frames it received go to demo/signsim-frames.log"

cd "$demo"
status=0
XDG_CONFIG_HOME="$demo/config" "$app" || status=$?
exit "$status"
