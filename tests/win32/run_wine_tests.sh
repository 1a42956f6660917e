#!/usr/bin/env bash
# Runs the Windows build's tests under Wine:
#   1. the core tests, cross-built (ctest in the Windows build, Wine as the emulator);
#   2. the Win32 serial backend's tests on COM1, led to a running kavor-signsim;
#   3. four operator sessions (prices, read-back, a dropped answer resent, hang-up) from
#      the Linux build and from the Windows build, each against a fresh virtual sign; the
#      frames each sign logged must be equal byte for byte, and the settings file the
#      Windows build writes must hold the Linux build's 40 lines with CR LF ends.
#
#   4. head office (head_office_wine.sh): kavor-cen.exe takes a push from kavor-centrala
#      through a real Mosquitto with TLS and a password, and its sign gets the frames;
#   5. with an installer given: a silent install, the program and its Start-menu shortcut
#      (working folder: the user's data folder), and a silent uninstall that leaves the
#      data folder's files.
#   5. the COM ports as the program lists them, and the start at login: the Run value
#      written and removed (reg query), by the program's code and by the installer's option.
#
#   run_wine_tests.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR [INSTALLER]
#
# Wine's mount manager maps COM1 to /dev/ttyS0 at every start unless
# HKLM\Software\Wine\Ports names another device, so COM1 is pointed once at a link in
# the prefix, and that link at each simulator's pty.
set -euo pipefail
WIN=$(cd "$1" && pwd)
LINUX=$(cd "$2" && pwd)
INSTALLER=${3:-}
SIGNSIM=$LINUX/kavor-signsim
export WINEPREFIX=${KC_WINEPREFIX:-$WIN/wineprefix}
export WINEDEBUG=-all
WORK=$(mktemp -d)
SIM_PID=
cleanup() {
    [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

COM1_LINK=$WINEPREFIX/kc_com1
if [ ! -f "$WINEPREFIX/kc_ports_set" ]; then
    echo "wine: preparing $WINEPREFIX (the first start takes a while)"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$COM1_LINK" /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/kc_ports_set"
fi
wineserver -p 60 >/dev/null 2>&1  # one server for the whole run; each wine start is then quick
# Wine's own services start with the first program and would hold ctest's output pipe
# open: start them here.
wine cmd /c exit >/dev/null 2>&1 || true

# start_sign LOG [signsim options...]: a virtual sign on a new pty, logged to LOG.
start_sign() {
    local log=$1
    shift
    rm -f "$WORK/sim.out"
    "$SIGNSIM" --log "$log" "$@" >"$WORK/sim.out" 2>>"$WORK/sim.err" &
    SIM_PID=$!
    local pty=
    for _ in $(seq 100); do
        pty=$(head -1 "$WORK/sim.out" 2>/dev/null || true)
        [ -n "$pty" ] && break
        sleep 0.05
    done
    [ -n "$pty" ] || { echo "kavor-signsim did not start"; exit 1; }
    ln -sfn "$pty" "$COM1_LINK"
    mkdir -p "$WORK/config/kavorcen"
    ln -sfn "$pty" "$WORK/config/kavorcen/COM1"
}
stop_sign() {
    kill "$SIM_PID" 2>/dev/null || true
    wait "$SIM_PID" 2>/dev/null || true
    SIM_PID=
}

echo "== core tests under Wine"
ctest --test-dir "$WIN" --output-on-failure -j "$(nproc)"

echo "== Win32 serial backend on COM1 under Wine"
start_sign "$WORK/backend.log"
wine "$WIN/tests/win32/win32_serial_tests.exe"
stop_sign

# Options of the virtual sign for each session.
declare -A SIGN_OPTIONS=(
    [prices]=""
    [readback]=""
    [resend]="--drop 0.3 --seed 5"
    [hangup]="--hangup-after 3"
)
failed=0
for scenario in prices readback resend hangup; do
    for build in linux windows; do
        dir=$WORK/$scenario-$build
        mkdir -p "$dir"
        # shellcheck disable=SC2086
        start_sign "$dir/frames.log" ${SIGN_OPTIONS[$scenario]}
        if [ "$build" = linux ]; then
            (cd "$dir" && XDG_CONFIG_HOME=$WORK/config "$LINUX/tests/win32/kc_e2e_scenario" "$scenario")
        else
            (cd "$dir" && wine "$WIN/tests/win32/kc_e2e_scenario.exe" "$scenario")
        fi || { echo "FAILED: $scenario on $build"; failed=1; }
        stop_sign
    done
    if ! cmp -s "$WORK/$scenario-linux/frames.log" "$WORK/$scenario-windows/frames.log"; then
        echo "FAILED: $scenario: the sign received other frames from the Windows build"
        diff "$WORK/$scenario-linux/frames.log" "$WORK/$scenario-windows/frames.log" | head -20 || true
        failed=1
    else
        echo "$scenario: $(wc -l <"$WORK/$scenario-windows/frames.log") frames, equal on both builds"
    fi
done

# The settings file the read-back wrote: the same 40 values, CR LF on Windows.
ini_linux=$WORK/readback-linux/KavorCen.ini
ini_windows=$WORK/readback-windows/KavorCen.ini
if [ "$(wc -l <"$ini_windows")" -ne 40 ] || [ "$(grep -c $'\r$' "$ini_windows")" -ne 40 ] ||
    ! cmp -s <(tr -d '\r' <"$ini_windows") "$ini_linux"; then
    echo "FAILED: KavorCen.ini from Windows is not the Linux file's 40 lines with CR LF"
    failed=1
else
    echo "KavorCen.ini: 40 lines, CR LF, the same values as on Linux"
fi
if [ -x "$WIN/tests/win32/kc_seal_password.exe" ] && [ -x "$LINUX/kavor-centrala" ]; then
    echo "== head office under Wine"
    "$(dirname "$0")/head_office_wine.sh" "$WIN" "$LINUX" || failed=1
else
    echo "head office: left out (no head-office link in one of the builds)"
fi
if [ -n "$INSTALLER" ] && [ -f "$INSTALLER" ]; then
    echo "== installer under Wine"
    c=$WINEPREFIX/drive_c
    wine "$INSTALLER" /S
    dir="$c/Program Files/Kavor Cen"
    link="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kavor Cen.lnk"
    # The shortcut is every account's: it names the program's folder, no user's.
    if [ ! -f "$dir/kavor-cen.exe" ] || [ ! -f "$dir/uninstall.exe" ] || [ ! -f "$link" ] ||
        strings -el "$link" | grep -qi 'AppData' || ! strings -el "$link" | grep -q 'Kavor Cen$'; then
        echo "FAILED: the installer left no program or a shortcut with a per-user folder"
        failed=1
    else
        data=$c/users/$(id -un)/AppData/Local/KavorCen
        mkdir -p "$data"
        echo "station's settings" >"$data/KavorCen.ini"
        # The uninstaller copies itself away and returns at once: wait for its work.
        wine "$dir/uninstall.exe" /S
        for _ in $(seq 100); do
            [ -e "$dir/kavor-cen.exe" ] || [ -e "$dir/uninstall.exe" ] || break
            sleep 0.2
        done
        if [ -f "$dir/kavor-cen.exe" ] || [ -f "$link" ] || [ ! -f "$data/KavorCen.ini" ]; then
            echo "FAILED: the uninstaller left the program or took the station's files"
            failed=1
        else
            echo "installer: program, shortcut in the program's folder; uninstall keeps KavorCen.ini"
        fi
        rm -rf "$data"
    fi
fi
# ---- devices and the start at login ----------------------------------------------------
PROBE=$WIN/tests/win32/kc_win32_probe.exe
RUN_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
run_value() { wine reg query "$RUN_KEY" /v KavorCen 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p'; }

check_port_listing() {
    echo "== COM ports listed under Wine"
    local ports
    ports=$(wine "$PROBE" ports | tr -d '\r')
    if ! grep -q '^COM1' <<<"$ports"; then
        echo "FAILED: COM1 is not among the ports listed: $ports"
        failed=1
    else
        echo "ports: $(cut -f1 <<<"$ports" | tr '\n' ' ')"
    fi
}

check_start_at_login() {
    echo "== start at login under Wine"
    wine "$PROBE" autostart on
    local value
    value=$(run_value)
    # The quoted program, then the folder it is to work in.
    if [[ "$value" != '"'*'kc_win32_probe.exe" /folder "'*'"' ]] || [ "$(wine "$PROBE" autostart state | tr -d '\r')" != 1 ]; then
        echo "FAILED: the Run value after switching on: '$value'"
        failed=1
    fi
    wine "$PROBE" autostart off
    if [ -n "$(run_value)" ] || [ "$(wine "$PROBE" autostart state | tr -d '\r')" != 0 ]; then
        echo "FAILED: the Run value stayed after switching off"
        failed=1
    fi
    [ -n "$INSTALLER" ] && [ -f "$INSTALLER" ] || { echo "start at login: Run value written and removed"; return; }
    local dir="$WINEPREFIX/drive_c/Program Files/Kavor Cen"
    wine "$INSTALLER" /S
    if [ -n "$(run_value)" ]; then
        echo "FAILED: the installer set the start at login without being asked"
        failed=1
    fi
    wine "$INSTALLER" /S /AUTOSTART
    value=$(run_value)
    if [ "$value" != '"C:\Program Files\Kavor Cen\kavor-cen.exe" /folder "%LOCALAPPDATA%\KavorCen"' ]; then
        echo "FAILED: the installer's start at login: '$value'"
        failed=1
    fi
    wine "$dir/uninstall.exe" /S
    for _ in $(seq 100); do
        [ -e "$dir/uninstall.exe" ] || break
        sleep 0.2
    done
    if [ -n "$(run_value)" ]; then
        echo "FAILED: the uninstaller left the start at login"
        failed=1
    else
        echo "start at login: Run value written and removed; the installer's option unticked by default"
    fi
}

check_port_listing
check_start_at_login
exit $failed
