#!/usr/bin/env bash
# GUI smoke run: kavor-cen.exe under Wine and Xvfb, connected to the virtual sign on
# COM1 (Shift+Page Up), prices typed into the panel and sent; then a screenshot of the
# screen. Checks that the sign received the prices, and leaves the screenshot.
#
#   gui_smoke.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR SCREENSHOT.png
set -euo pipefail
WIN=$(cd "$1" && pwd)
LINUX=$(cd "$2" && pwd)
SHOT=$3
export WINEPREFIX=${KC_WINEPREFIX:-$WIN/wineprefix}
export WINEDEBUG=-all
WORK=$(mktemp -d)
PIDS=()
cleanup() {
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    wineserver -k 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

[ -f "$WINEPREFIX/kc_ports_set" ] || { echo "run run_wine_tests.sh first: it prepares the prefix"; exit 1; }
if [ -z "${DISPLAY:-}" ]; then
    export DISPLAY=:$((90 + RANDOM % 100))
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    PIDS+=($!)
    sleep 1
fi

"$LINUX/kavor-signsim" --log "$WORK/frames.log" >"$WORK/sim.out" 2>/dev/null &
PIDS+=($!)
for _ in $(seq 100); do
    [ -s "$WORK/sim.out" ] && break
    sleep 0.05
done
ln -sfn "$(head -1 "$WORK/sim.out")" "$WINEPREFIX/kc_com1"

mkdir -p "$WORK/station"
(cd "$WORK/station" && exec wine "$WIN/kavor-cen.exe") >/dev/null 2>&1 &
PIDS+=($!)
window=$(xdotool search --sync --onlyvisible --name '^Kavor Cen$' | head -1)
sleep 2
eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y: the corner, menu bar included
MENU=20

xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool key --window "$window" shift+Prior   # "Połącz"
sleep 1
# The price fields and "Wyślij" lie where the panel template puts them.
click() { xdotool mousemove $((X + $1)) $((Y + MENU + $2)) click 1; sleep 0.3; }
prices=(4.59 5.19 3.09 6.00 12)
for n in 0 1 2 3 4; do
    click 80 $((42 + 32 * n))
    xdotool type --delay 50 "${prices[$n]}"
done
click 110 205
sent() { grep -cE '^.x022[1-5][CM]|^.x0220E' "$WORK/frames.log" 2>/dev/null || true; }
for _ in $(seq 50); do
    [ "$(sent)" -ge 6 ] && break
    sleep 0.2
done
sleep 1
import -window root "$SHOT"
echo "screenshot: $SHOT"
echo "frames the sign received:"
grep -vE '20[SZ]' "$WORK/frames.log" 2>/dev/null || true
[ "$(sent)" -ge 6 ] || exit 1

# An installed copy (its uninstaller beside it) started in its own folder, as the
# Start-menu shortcut starts it, keeps its files in the user's data folder.
data=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/KavorCen
rm -rf "$data"
mkdir -p "$WORK/installed"
cp "$WIN/kavor-cen.exe" "$WORK/installed/"
touch "$WORK/installed/uninstall.exe"
(cd "$WORK/installed" && exec wine "$WORK/installed/kavor-cen.exe") >/dev/null 2>&1 &
PIDS+=($!)
for _ in $(seq 150); do
    [ -f "$data/KavorCen.ini" ] && break
    sleep 0.2
done
if [ ! -f "$data/KavorCen.ini" ] || [ -f "$WORK/installed/KavorCen.ini" ]; then
    echo "FAILED: the installed copy did not keep its files in the user's data folder"
    exit 1
fi
echo "installed copy: KavorCen.ini in the user's data folder"
rm -rf "$data"
