#!/usr/bin/env bash
# Head office against the Windows program under Wine: a real Mosquitto on 127.0.0.1
# (TLS from a CA made here, a password file, the station ACL), the station program
# (kavor-cen.exe under Wine and Xvfb; the Linux kavor-cen, offscreen, for comparison)
# on COM1 led to a fresh kavor-signsim, and `kavor-centrala push` from Linux. Each
# push must end `confirmed`, and the price frames each sign logged must be the same
# on both builds, byte for byte. The Windows station reads its password from a file
# sealed with the user's data protection (kc_seal_password.exe).
#
#   head_office_wine.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR
#
# Wine's prefix must be prepared (run_wine_tests.sh does it; COM1 -> $WINEPREFIX/kc_com1).
set -euo pipefail
WIN=$(cd "$1" && pwd)
LINUX=$(cd "$2" && pwd)
export WINEPREFIX=${KC_WINEPREFIX:-$WIN/wineprefix}
export WINEDEBUG=-all
WORK=$(mktemp -d)
PIDS=()
BROKER_PID=
cleanup() {
    for pid in "${PIDS[@]}" $BROKER_PID; do kill "$pid" 2>/dev/null || true; done
    wineserver -k 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

for tool in mosquitto mosquitto_passwd openssl; do
    command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || { echo "head office: $tool missing"; exit 1; }
done
MOSQUITTO=$(command -v mosquitto || echo /usr/sbin/mosquitto)
[ -f "$WINEPREFIX/kc_ports_set" ] || { echo "run run_wine_tests.sh first: it prepares the prefix"; exit 1; }

# waitfor SECONDS COMMAND...: polls COMMAND every 0.2 s until it succeeds; false at the deadline.
waitfor() {
    local end=$(($(date +%s) + $1))
    shift
    until "$@"; do
        [ "$(date +%s)" -lt "$end" ] || return 1
        sleep 0.2
    done
}

# The broker: CA, server certificate for 127.0.0.1, users with passwords, the ACL.
B=$WORK/broker
mkdir -p "$B"
ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
openssl req -x509 "${ec[@]}" -keyout "$B/ca.key" -out "$B/ca.crt" -days 2 -subj /CN=kavor-test-ca 2>/dev/null
openssl req "${ec[@]}" -keyout "$B/server.key" -out "$B/server.csr" -subj /CN=127.0.0.1 2>/dev/null
echo "subjectAltName=IP:127.0.0.1,DNS:localhost" >"$B/server.ext"
openssl x509 -req -in "$B/server.csr" -CA "$B/ca.crt" -CAkey "$B/ca.key" -CAcreateserial \
    -out "$B/server.crt" -days 2 -extfile "$B/server.ext" 2>/dev/null
mosquitto_passwd -c -b "$B/passwd" centrala centrala-pw
mosquitto_passwd -b "$B/passwd" st1 st1-pw
echo centrala-pw >"$B/centrala.pw"
echo st1-pw >"$B/st1.pw"
chmod 600 "$B"/*.pw "$B/passwd"
cat >"$B/acl" <<EOF
user centrala
topic readwrite kavorcen/#

pattern read kavorcen/%u/prices/set
pattern write kavorcen/%u/prices/result
pattern write kavorcen/%u/state
pattern write kavorcen/%u/status
pattern write kavorcen/%u/events
EOF
# A port nothing listens on now.
listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
PORT=$((20000 + RANDOM % 30000))
while listening "$PORT"; do PORT=$((20000 + RANDOM % 30000)); done
cat >"$B/mosquitto.conf" <<EOF
per_listener_settings false
allow_anonymous false
password_file $B/passwd
acl_file $B/acl
persistence false
log_dest file $B/mosquitto.log
log_type error
log_type warning
log_type notice
user $(id -un)
listener $PORT 127.0.0.1
cafile $B/ca.crt
certfile $B/server.crt
keyfile $B/server.key
EOF
"$MOSQUITTO" -c "$B/mosquitto.conf" >/dev/null 2>&1 &
BROKER_PID=$!
waitfor 20 listening "$PORT" || { echo "head office: the broker did not start"; exit 1; }

centrala() {
    "$LINUX/kavor-centrala" "$@" --broker "127.0.0.1:$PORT" --cafile "$B/ca.crt" \
        --user centrala --password-file "$B/centrala.pw"
}
online() { centrala status 2>/dev/null | grep -E '^st1 ' | grep -qw online; }
offline() { ! online; }

if [ -z "${DISPLAY:-}" ]; then
    export DISPLAY=:$((90 + RANDOM % 100))
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    PIDS+=($!)
    waitfor 20 test -e "/tmp/.X11-unix/X${DISPLAY#:}"
fi

failed=0
for build in linux windows; do
    dir=$WORK/$build
    mkdir -p "$dir/config/kavorcen"
    "$LINUX/kavor-signsim" --log "$dir/frames.log" >"$dir/sim.out" 2>/dev/null &
    sim=$!
    PIDS+=($sim)
    waitfor 10 test -s "$dir/sim.out" || { echo "kavor-signsim did not start"; exit 1; }
    pty=$(head -1 "$dir/sim.out")
    ln -sfn "$pty" "$WINEPREFIX/kc_com1"
    ln -sfn "$pty" "$dir/config/kavorcen/COM1"
    cp "$B/ca.crt" "$dir/ca.crt"
    cat >"$dir/KavorCen-dodatkowe.ini" <<EOF
connect_at_start=1
head_office_broker=127.0.0.1:$PORT
head_office_station=st1
head_office_ca_file=ca.crt
head_office_password_file=st1.pw
EOF
    if [ "$build" = windows ]; then
        (cd "$dir" && wine "$WIN/tests/win32/kc_seal_password.exe" st1.pw st1-pw)
        # Sealed: the password is not in the file as it is.
        if grep -q st1-pw "$dir/st1.pw"; then echo "FAILED: the password file holds the password in clear"; failed=1; fi
        (cd "$dir" && exec wine "$WIN/kavor-cen.exe") >"$dir/program.out" 2>&1 &
    else
        install -m 600 "$B/st1.pw" "$dir/st1.pw"
        (cd "$dir" && XDG_CONFIG_HOME=$dir/config QT_QPA_PLATFORM=offscreen exec "$LINUX/kavor-cen") \
            >"$dir/program.out" 2>&1 &
    fi
    program=$!
    PIDS+=($program)
    if ! waitfor 90 online; then
        echo "FAILED: head office on $build: the station never came online"
        tail -5 "$B/mosquitto.log"
        failed=1
    else
        out=$(centrala push --stations st1 --prices '4.59*,5.19,3.09,6.00,12' --timeout 60 2>&1) || true
        echo "$out" | grep -E '^st1 ' >"$dir/result" || true
        if ! grep -qw confirmed "$dir/result"; then
            echo "FAILED: head office on $build: the push was not confirmed"
            echo "$out"
            failed=1
        fi
    fi
    # The program ends as on a signal; the next one then finds the station offline.
    if [ "$build" = windows ]; then wineserver -k 2>/dev/null || true; else kill "$program" 2>/dev/null || true; fi
    wait "$program" 2>/dev/null || true
    kill "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
    grep -E '^.x022[1-5][CM]|^.x0220E' "$dir/frames.log" >"$dir/prices.log" 2>/dev/null || true
    waitfor 30 offline || { echo "FAILED: st1 still online after its program ended"; failed=1; }
done

# A change that comes while the Windows station is in test mode waits for the sign,
# and still goes once the program is started again, connecting at start.
held_case() {
    local dir=$WORK/held
    mkdir -p "$dir"
    cp "$B/ca.crt" "$dir/ca.crt"
    (cd "$dir" && wine "$WIN/tests/win32/kc_seal_password.exe" st1.pw st1-pw)
    local settings="head_office_broker=127.0.0.1:$PORT
head_office_station=st1
head_office_ca_file=ca.crt
head_office_password_file=st1.pw"
    echo "$settings" >"$dir/KavorCen-dodatkowe.ini"
    (cd "$dir" && exec wine "$WIN/kavor-cen.exe") >"$dir/program1.out" 2>&1 &
    PIDS+=($!)
    waitfor 90 online || { echo "FAILED: held: the station in test mode never came online"; return 1; }
    centrala push --stations st1 --prices '4.29,5.09,3.19,6.10,11' --id held-1 --timeout 5 >"$dir/push.out" 2>&1 || true
    grep -q 'held (test_mode)' "$dir/push.out" || { echo "FAILED: held: not answered held"; cat "$dir/push.out"; return 1; }
    [ -s "$dir/KavorCen-centrala-czeka.txt" ] || { echo "FAILED: held: the waiting change is not kept"; return 1; }
    wineserver -k 2>/dev/null || true
    waitfor 30 offline || { echo "FAILED: held: st1 still online after its program ended"; return 1; }
    centrala watch --stations st1 >"$dir/watch.out" 2>/dev/null &
    local watch=$!
    PIDS+=($watch)
    "$LINUX/kavor-signsim" --log "$dir/frames.log" >"$dir/sim.out" 2>/dev/null &
    PIDS+=($!)
    waitfor 10 test -s "$dir/sim.out" || { echo "FAILED: held: kavor-signsim did not start"; return 1; }
    ln -sfn "$(head -1 "$dir/sim.out")" "$WINEPREFIX/kc_com1"
    printf 'connect_at_start=1\n%s\n' "$settings" >"$dir/KavorCen-dodatkowe.ini"
    (cd "$dir" && exec wine "$WIN/kavor-cen.exe") >"$dir/program2.out" 2>&1 &
    PIDS+=($!)
    if ! waitfor 90 grep -q 'change_applied.*id=held-1' "$dir/watch.out"; then
        echo "FAILED: held: the kept change was not applied after the restart"
        cat "$dir/watch.out"
        return 1
    fi
    grep 'change_applied' "$dir/watch.out" | grep -q 'potwierdzon' ||
        { echo "FAILED: held: applied but not confirmed"; grep change_applied "$dir/watch.out"; return 1; }
    grep -Eq '^.x022[1-5][CM]' "$dir/frames.log" || { echo "FAILED: held: the sign got no price frame"; return 1; }
    wineserver -k 2>/dev/null || true
    kill "$watch" 2>/dev/null || true
    echo "head office: a change held in test mode survived a restart and was confirmed"
}
[ "$failed" = 0 ] && { held_case || failed=1; }

if [ "$failed" = 0 ]; then
    if [ "$(wc -l <"$WORK/windows/prices.log")" -ne 6 ] || ! cmp -s "$WORK/linux/prices.log" "$WORK/windows/prices.log"; then
        echo "FAILED: head office: the Windows station's sign received other price frames"
        diff "$WORK/linux/prices.log" "$WORK/windows/prices.log" || true
        failed=1
    else
        echo "head office: $(cat "$WORK/windows/result" | tr -s ' ')"
        echo "head office: 6 price frames, equal on both builds; password sealed for the user"
    fi
fi
exit $failed
