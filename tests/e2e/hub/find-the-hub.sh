#!/usr/bin/env bash
# End-to-end: a household's hub (no demo household) with one user added from
# standard input and, when mosquitto is installed, one metering plug on a
# broker of its own. The app, with a fresh profile and no service given on
# the command line, is pointed at the hub on the login screen (confirming
# the pin that hestio-hub prints), signs in and sees the plug. Then the hub's
# certificate is replaced: the next run is refused with the message, and
# recovers once the service is chosen again. Last, with a fresh profile, the
# hub is chosen through a port where nothing listens, a network that drops
# the handshake, and one that holds it 4 s while the user taps again.
#   find-the-hub.sh BUILD_DIR
set -euo pipefail
# shellcheck disable=SC2155
case ":${LSAN_OPTIONS:-}:" in
  *:suppressions=*) ;;
  *) export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")/../../.." && pwd)/.ci/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}" ;;
esac
build=$1
here=${E2E_DIR:-$(dirname "$0")}
work=$(mktemp -d)
hub_pid=""
proxy_pids=""
broker_pid=""
plugs_pid=""
cleanup() {
  for pid in $proxy_pids $hub_pid $plugs_pid $broker_pid; do
    kill "$pid" 2>/dev/null && { wait "$pid" 2>/dev/null || true; }
  done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "$*" >&2
  exit 1
}
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

broker_port=$(free_port)
device=""
if [ -x /usr/sbin/mosquitto ]; then
  printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n' "$broker_port" >"$work/mosquitto.conf"
  [ "$(id -u)" = 0 ] && echo "user root" >>"$work/mosquitto.conf"
  /usr/sbin/mosquitto -c "$work/mosquitto.conf" >"$work/broker.log" 2>&1 &
  broker_pid=$!
  sleep 0.3
  "$build/bin/hestio-test-plugs" --mqtt "mqtt://127.0.0.1:$broker_port" --period 1 rpc:desk:40 \
    >"$work/plugs.log" 2>&1 &
  plugs_pid=$!
  device=desk
fi
# Without mosquitto the hub keeps trying a broker that is not there, and the
# household has no devices yet.

port=""
# shellcheck source-path=SCRIPTDIR source=../start-hub.sh
source "$(dirname "$0")/../start-hub.sh"
start_hub() { # start_hub PORT (0: any free one); sets $port once it listens
  start_hub_listening "$work/hub.log" --mqtt "mqtt://127.0.0.1:$broker_port" --data "$work/hub" --port "$1"
}
stop_hub() {
  kill "$hub_pid" 2>/dev/null && { wait "$hub_pid" 2>/dev/null || true; }
  hub_pid=""
}

start_hub 0
printf 'pw\n' | "$build/bin/hestio-hub" user add ann --admin --data "$work/hub" >/dev/null

# Each script with PORT, PIN and DEVICE_CHECK filled in, run by the headless
# app on the one profile.
if [ -n "$device" ]; then
  device_check="wait-for \"$device\" 30"
else
  # No plug: the list stays empty, as a new household's does.
  device_check='expect-not "desk"'
fi
run_app() { # run_app SCRIPT [PROFILE]
  local script
  script="$work/$(basename "$1")"
  # shellcheck disable=SC2016 # the names envsubst fills, not the shell
  PORT=${app_port:-$port} PIN=$("$build/bin/hestio-hub" --data "$work/hub" --print-pin) DEVICE_CHECK=$device_check \
    DEAD_PORT=${dead_port:-} DROP_PORT=${drop_port:-} \
    envsubst '${PORT} ${PIN} ${DEVICE_CHECK} ${DEAD_PORT} ${DROP_PORT}' <"$here/$1" >"$script"
  "$build/bin/hestio" --headless --clock real --profile "$work/${2:-profile}" --script "$script" \
    --failure-screenshot "$work/$(basename "$1" .txt)-failure.png"
}

run_app choose-and-sign-in.txt
grep -q "localhost:$port" "$work/profile/config/Service.plist" || fail "the choice was not kept in Service.plist"

# A new certificate (the hub's data folder lost its key): same port.
stop_hub
old_pin=$("$build/bin/hestio-hub" --data "$work/hub" --print-pin)
rm "$work/hub/certificate.pem" "$work/hub/private-key.pem"
start_hub "$port"
new_pin=$("$build/bin/hestio-hub" --data "$work/hub" --print-pin)
[ "$old_pin" != "$new_pin" ] || fail "the certificate was not replaced"
run_app certificate-changed.txt

# The hub behind hestio-fault-proxy, which shows the hub's own certificate.
start_proxy() { # start_proxy NAME FAULT ARGS...; sets proxy_port (not in a subshell, so its pid is kept)
  local log="$work/proxy-$1.log"
  shift
  : >"$log" # before the first look below, which may come before the proxy runs
  "$build/bin/hestio-fault-proxy" --upstream "127.0.0.1:$port" --certificate "$work/hub/certificate.pem" \
    --key "$work/hub/private-key.pem" --at-handshake 1 --fault "$@" >"$log" 2>&1 &
  proxy_pids="$proxy_pids $!"
  proxy_port=""
  for _ in $(seq 1 200); do
    proxy_port=$(sed -n 's|.*listening on https://127.0.0.1:\([0-9]*\).*|\1|p' "$log")
    [ -n "$proxy_port" ] && return 0
    sleep 0.05
  done
  fail "hestio-fault-proxy did not start"
}
dead_port=$(free_port)
start_proxy drop drop --count 0
drop_port=$proxy_port
start_proxy delay delay --delay-seconds 4 --count 1
app_port=$proxy_port
run_app choose-through-faults.txt profile-faults
grep -q "TLS handshake -> drop" "$work/proxy-drop.log" || fail "the proxy never dropped a handshake"
[ "$(grep -c "TLS handshake -> delay" "$work/proxy-delay.log")" = 1 ] || fail "not exactly one probe was delayed"
grep -q "localhost:$app_port" "$work/profile-faults/config/Service.plist" || fail "the delayed choice was not kept"
