#!/usr/bin/env bash
# Benchmark: start-up time and memory of kavor-cen.exe under Wine on Xvfb. Start-up is
# launch to the main window on screen, against Wine's start of a console program that
# does nothing (Wine's own share); memory is the resident size once the window shows.
#
#   bench/windows_startup.sh WINDOWS_BUILD_DIR [RUNS]
set -euo pipefail
WIN=$(cd "$1" && pwd)
RUNS=${2:-5}
export WINEPREFIX=${KC_WINEPREFIX:-$WIN/wineprefix}
export WINEDEBUG=-all
WORK=$(mktemp -d)
XVFB=
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "$XVFB" ] && kill "$XVFB" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
[ -f "$WINEPREFIX/system.reg" ] || { mkdir -p "$WINEPREFIX"; wineboot -i >/dev/null 2>&1 || true; }
if [ -z "${DISPLAY:-}" ]; then
    export DISPLAY=:$((90 + RANDOM % 100))
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB=$!
    sleep 1
fi
wineserver -p 60 >/dev/null 2>&1
wine cmd /c exit >/dev/null 2>&1 || true  # Wine's services, started once

ms() { date +%s%3N; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }

for _ in $(seq "$RUNS"); do
    t0=$(ms)
    wine cmd /c exit >/dev/null 2>&1 || true
    echo $(($(ms) - t0)) >>"$WORK/wine.txt"

    rm -f "$WORK/KavorCen.ini"
    t0=$(ms)
    (cd "$WORK" && exec wine "$WIN/kavor-cen.exe") >/dev/null 2>&1 &
    xdotool search --sync --onlyvisible --name '^Kavor Cen$' >/dev/null
    echo $(($(ms) - t0)) >>"$WORK/start.txt"
    sleep 1
    pid=$(pgrep -n -f 'kavor-cen\.exe' || true)
    [ -n "$pid" ] && awk '/^VmRSS/ {print $2}' "/proc/$pid/status" >>"$WORK/rss.txt"
    # Closing asks a question: end this prefix's programs instead.
    wineserver -k 2>/dev/null || true
    wait 2>/dev/null || true
    wineserver -p 60 >/dev/null 2>&1
    wine cmd /c exit >/dev/null 2>&1 || true
done

echo "kavor-cen.exe under Wine, $RUNS runs (median):"
echo "  start to main window:   $(median <"$WORK/start.txt") ms"
echo "  Wine alone (cmd /c exit): $(median <"$WORK/wine.txt") ms"
echo "  resident memory:        $(($(median <"$WORK/rss.txt") / 1024)) MiB"
