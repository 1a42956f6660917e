#!/usr/bin/env bash
# Pictures of every window of the Windows build under Wine and Xvfb, beside the Linux
# build's (the GUI walk test leaves them in LINUX_BUILD_DIR/tests/gui_dialogs), so the
# two can be compared by eye: OUT/<name>.png is Windows on the left, Linux on the right.
#
#   dialog_screens.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR OUT
set -euo pipefail
WIN=$(cd "$1" && pwd)
LINUX=$(cd "$2" && pwd)
OUT=$3
mkdir -p "$OUT"
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
export DISPLAY=:$((90 + RANDOM % 100))
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
PIDS+=($!)
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

mkdir -p "$WORK/station"
(cd "$WORK/station" && exec wine "$WIN/kavor-cen.exe") >/dev/null 2>&1 &
PIDS+=($!)
main=$(xdotool search --sync --onlyvisible --name '^Kavor Cen$' | head -1)
sleep 2

# Without a window manager there is no active window to ask for: a new window is one
# that was not shown before.
shown() { xdotool search --onlyvisible --name '.' 2>/dev/null | sort; }
BEFORE=
NEW=
# wait_active: until a window appears that was not there before; NEW names it.
wait_active() {
    NEW=
    for _ in $(seq 50); do
        # A dialog has a title and a size; the menu that opened it has neither.
        NEW=$(comm -13 <(echo "$BEFORE") <(shown) | while read -r w; do
            [ -n "$(xdotool getwindowname "$w" 2>/dev/null)" ] || continue
            eval "$(xdotool getwindowgeometry --shell "$w" 2>/dev/null)"
            [ "${WIDTH:-0}" -gt 150 ] && echo "$w"
        done | tail -1)
        [ -n "$NEW" ] && break
        sleep 0.1
    done
    sleep 0.5
}
# shot NAME LINUX_NAME: window NEW, beside the Linux picture of the same window.
shot() {
    import -window "${NEW:-$main}" "$WORK/$1-win.png" || { echo "no picture of $1"; return; }
    local linux=$LINUX/tests/gui_dialogs/$2.png
    if [ -f "$linux" ]; then
        convert "$WORK/$1-win.png" "$linux" -background '#808080' -gravity north +append "$OUT/$1.png"
    else
        cp "$WORK/$1-win.png" "$OUT/$1.png"
    fi
    echo "$OUT/$1.png"
}
# close KEY: closes window NEW with KEY and waits until it is gone.
close() {
    xdotool key "$1"
    for _ in $(seq 50); do
        shown | grep -qx "$NEW" || break
        sleep 0.1
    done
    BEFORE=$(shown)
}

xdotool windowfocus --sync "$main" 2>/dev/null || true
BEFORE=$(shown)
shot main_window walk_main_window
# "Ustawienia" items in menu order and the dialog each opens; "Czytaj z wieży" (4) opens none.
declare -A items=([0]=101 [1]=102 [2]=103 [3]=104 [5]=140 [6]=141 [7]=142)
for n in 0 1 2 3 5 6 7; do
    xdotool windowfocus --sync "$main" 2>/dev/null || true
    xdotool key --window "$main" alt+u
    sleep 0.3
    for _ in $(seq "$n"); do xdotool key Down; done
    xdotool key Return
    wait_active
    shot "dialog_${items[$n]}" "walk_dialog_${items[$n]}"
    close Escape
done
# "Program" is a menu-bar command: the About box.
xdotool windowfocus --sync "$main" 2>/dev/null || true
xdotool key --window "$main" alt+u Right Return
wait_active
shot dialog_100 walk_dialog_100
close Escape
# The "not connected" box of "Czytaj z wieży".
xdotool key --window "$main" alt+u
for _ in 1 2 3 4; do xdotool key Down; done
xdotool key Return
wait_active
shot message_box walk_message_box
close Return
