#!/usr/bin/env bash
# Head office demo on one machine: a Mosquitto of its own on 127.0.0.1 with certificates
# made here, five headless stations each with its virtual sign (st05's field 2 is stuck),
# and `kavor-centrala serve`. Prints the address and the demo logins; Ctrl+C ends all.
#
# Usage: tools/centrala/console.sh BUILD_DIR [DIR]
#   KC_CONSOLE_LISTEN   the page's address (default 127.0.0.1:8080)
# When everything is up, DIR/ready holds the page's address (tests wait for it).
set -euo pipefail

build=$(cd "${1:?build dir}" && pwd)
dir=${2:-$(pwd)/demo/console}
listen=${KC_CONSOLE_LISTEN:-127.0.0.1:8080}
web=$(cd "$(dirname "$0")/web" && pwd)
stations=(st01 st02 st03 st04 st05)

for exe in "$build/kavor-centrala" "$build/kavor-station"; do
    [ -x "$exe" ] || { echo "console: $exe is missing; build first" >&2; exit 1; }
done
for tool in mosquitto mosquitto_passwd openssl curl; do
    command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || { echo "console: $tool is missing" >&2; exit 1; }
done
mosquitto=$(command -v mosquitto || echo /usr/sbin/mosquitto)

rm -rf "$dir"
mkdir -p "$dir/broker"
cd "$dir"
pids=()
cleanup() {
    trap - EXIT INT TERM
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
}
trap cleanup EXIT
trap 'exit 0' INT TERM

free_port() {
    local p=$1
    while (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; do p=$((p + 1)); done
    echo "$p"
}
wait_for() {  # wait_for SECONDS COMMAND...: polls the condition, no fixed sleep beyond the poll
    local until=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$until" ] || return 1
        sleep 0.1
    done
}

# Certificates: a CA, and the broker's for 127.0.0.1.
b=broker
ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
openssl req -x509 "${ec[@]}" -keyout $b/ca.key -out $b/ca.crt -days 30 -subj /CN=kavor-console-ca 2>/dev/null
openssl req "${ec[@]}" -keyout $b/server.key -out $b/server.csr -subj /CN=127.0.0.1 2>/dev/null
echo "subjectAltName=IP:127.0.0.1,DNS:localhost" > $b/server.ext
openssl x509 -req -in $b/server.csr -CA $b/ca.crt -CAkey $b/ca.key -CAcreateserial -out $b/server.crt -days 30 \
    -extfile $b/server.ext 2>/dev/null

# Accounts: head office and each station, each password in a file of its own (mode 600).
: > $b/passwd
for u in centrala "${stations[@]}"; do
    head -c 18 /dev/urandom | base64 | tr -d '/+=' > "$b/$u.pw"
    chmod 600 "$b/$u.pw"
    mosquitto_passwd -b $b/passwd "$u" "$(cat "$b/$u.pw")"
done
chmod 600 $b/passwd
cat > $b/acl <<ACL
user centrala
topic readwrite kavorcen/#

pattern read kavorcen/%u/prices/set
pattern write kavorcen/%u/prices/result
pattern write kavorcen/%u/state
pattern write kavorcen/%u/status
pattern write kavorcen/%u/events
ACL
mqtt_port=$(free_port 18883)
cat > $b/mosquitto.conf <<CONF
per_listener_settings false
user $(id -un)
allow_anonymous false
password_file $dir/$b/passwd
acl_file $dir/$b/acl
persistence true
persistence_location $dir/$b/
log_dest file $dir/$b/mosquitto.log
listener $mqtt_port 127.0.0.1
cafile $dir/$b/ca.crt
certfile $dir/$b/server.crt
keyfile $dir/$b/server.key
CONF
"$mosquitto" -c $b/mosquitto.conf &
pids+=($!)
wait_for 10 bash -c "(exec 3<>/dev/tcp/127.0.0.1/$mqtt_port) 2>/dev/null" || { echo "console: mosquitto did not start" >&2; exit 1; }

for s in "${stations[@]}"; do
    extra=()
    [ "$s" = st05 ] && extra=(--stuck-field 2)
    "$build/kavor-station" --station "$s" --broker "127.0.0.1:$mqtt_port" --cafile $b/ca.crt \
        --password-file "$b/$s.pw" --dir "stations/$s" "${extra[@]}" > "$s.log" 2>&1 &
    pids+=($!)
    echo $! > "$s.pid"  # a test stops and starts a station by it
done

# The server and its demo users.
printf 'demo-centrala\n' | "$build/kavor-centrala" user add demo --role admin --db centrala.db >/dev/null
printf 'ceny-centrala\n' | "$build/kavor-centrala" user add cennik --role ceny --db centrala.db >/dev/null
printf 'podglad-centrala\n' | "$build/kavor-centrala" user add podglad --role podgląd --db centrala.db >/dev/null
host=${listen%:*}
port=${listen##*:}
[ "$port" = 0 ] && port=$(free_port 18080)
"$build/kavor-centrala" serve --broker "127.0.0.1:$mqtt_port" --cafile $b/ca.crt --user centrala \
    --password-file $b/centrala.pw --db centrala.db --listen "$host:$port" --web "$web" \
    --result-timeout 20 --offline-alarm 120 > serve.log 2>&1 &
pids+=($!)
url="http://$host:$port"
wait_for 10 curl -sf -o /dev/null "$url/" || { echo "console: the server did not start:" >&2; cat serve.log >&2; exit 1; }

# Every station online at head office, then the demo's groups.
curl -sf -c cookies -H 'Content-Type: application/json' -d '{"user":"demo","password":"demo-centrala"}' \
    "$url/api/login" > login.json
csrf=$(sed 's/.*"csrf":"\([0-9a-f]*\)".*/\1/' login.json)
online() { [ "$(curl -sf -b cookies "$url/api/stations?state=online" | grep -o '"id":"st0' | wc -l)" -ge 5 ]; }
wait_for 60 online || { echo "console: not every station reached head office (see $dir/*.log)" >&2; exit 1; }
for s in "${stations[@]}"; do
    case $s in st01 | st02 | st03) g="Północ" ;; *) g="Południe" ;; esac
    curl -sf -b cookies -H "X-CSRF-Token: $csrf" -H 'Content-Type: application/json' \
        -d "{\"group\":\"$g\"}" "$url/api/stations/$s/group" >/dev/null
done
rm -f cookies login.json

echo "$url" > ready
cat <<TEXT
Konsola centrali: $url/
  logowanie:  demo / demo-centrala      (admin)
              cennik / ceny-centrala    (ceny)
              podglad / podglad-centrala (podgląd)
  broker:     127.0.0.1:$mqtt_port (TLS, CA $dir/$b/ca.crt)
  stacje:     ${stations[*]} (st05: pole 2 wieży stoi w miejscu)
  pliki:      $dir
Ctrl+C kończy wszystko.
TEXT
# Runs until Ctrl+C or until the broker or the server ends (a station may come and go).
wait -n "${pids[0]}" "${pids[-1]}" || true
echo "console: the broker or the server ended; stopping the rest" >&2
