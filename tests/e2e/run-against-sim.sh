#!/usr/bin/env bash
# End-to-end: starts hestio-hub on a free loopback port with a fresh demo
# household, then runs each automation script with the headless client
# against it, in order, sharing one profile (so a later script sees what an
# earlier one stored). Exits with the first failing script's status.
#   run-against-sim.sh BUILD_DIR SCRIPT...
#
# Options, from the environment (hestio_e2e_test's ENV):
#   E2E_SETUP=FILE / E2E_CHECK=FILE  shell files (relative to E2E_DIR, the
#     test's folder) sourced before the first script and after the last one.
#     They may use `call PATH BODY` (a POST), `fetch PATH?QUERY` (a GET),
#     `session_token NAME PASSWORD`, `fail MESSAGE`, $base, $pin, $work,
#     and `reseed_sim SEED` (the service starts over with the demo
#     household made from SEED; same port, same certificate).
#   E2E_SCRIPT_ARGS="..."  extra options for every client run.
#   E2E_CHECK_EACH=FILE  a shell file sourced after every script, with $index
#     the script's number (from 1), for checks of the service between steps.
#   E2E_SCRIPT_VARS="NAME ..."  in every script, ${NAME} is replaced by the
#     value the setup file gave the shell variable NAME (for texts that
#     depend on the day or the service, such as dates in the household's zone).
#   E2E_ZONE=ZONE  the household's time zone (default America/New_York, so
#     that no test depends on the zone of the machine it runs on).
#   move_clocks DAYS (for the setup and check files): the service starts
#     again (same data, same port) with its clock DAYS days ahead of the
#     machine's, and every later client run is put as far ahead.
#   E2E_FAULT="MODE COUNT [REGEX]"  hestio-fault-proxy stands between the
#     client and the service and spoils the first COUNT requests (0: all)
#     whose text "METHOD TARGET BODY" matches REGEX (the rest of the line;
#     default: any) with MODE (tests/faultproxy/main.cpp lists them); the
#     test fails when no request was spoiled. E2E_FAULT_ARGS="..." adds
#     proxy options. Its log is $work/proxy.log.
#   E2E_SERVICE_DOWN_FOR=N  the service is stopped while script N runs;
#     with E2E_SERVICE_BACK_ON_FILE=NAME it comes back during that script,
#     once the file NAME appears in $work.
set -euo pipefail
# In a sanitizer build the client's leak check skips only what the
# repository's suppressions list (libraries outside our code), also when
# this runner is started by hand rather than by ./test.
case ":${LSAN_OPTIONS:-}:" in
  *:suppressions=*) ;;
  *) export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")/../.." && pwd)/.ci/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}" ;;
esac
build=$1
shift
work=$(mktemp -d)
hub_pid=""
proxy_pid=""
cleanup() {
  [ -n "$hub_pid" ] && kill "$hub_pid" 2>/dev/null && wait "$hub_pid" 2>/dev/null
  [ -n "$proxy_pid" ] && kill "$proxy_pid" 2>/dev/null && { wait "$proxy_pid" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT

sim_seed=1
sim_reset=""
clock_offset_days=0
# shellcheck source-path=SCRIPTDIR source=start-hub.sh
source "$(dirname "$0")/start-hub.sh"
start_sim() { # start_sim PORT (0: any free one); sets $port once it listens
  # E2E_TOKEN_TTL=SECONDS: session tokens expire that soon.
  start_hub_listening "$work/sim.log" --demo --data "$work/sim" --port "$1" --zone "${E2E_ZONE:-America/New_York}" \
    --seed "$sim_seed" $sim_reset ${E2E_TOKEN_TTL:+--token-ttl "$E2E_TOKEN_TTL"} \
    --clock-offset-days "$clock_offset_days"
}
stop_sim() {
  kill "$hub_pid" 2>/dev/null && wait "$hub_pid" 2>/dev/null
  hub_pid=""
}
reseed_sim() { # reseed_sim SEED: a new demo household from SEED, on the same port
  stop_sim
  sim_seed=$1
  sim_reset=--reset
  start_sim "$port"
  sim_reset=""
}
move_clocks() { # move_clocks DAYS: the service and the later client runs DAYS days ahead
  stop_sim
  clock_offset_days=$1
  start_sim "$port"
}
start_sim 0
pin=$("$build/bin/hestio-hub" --data "$work/sim" --print-pin)
# E2E_WRONG_PIN=1: the client expects another certificate (a stand-in for a
# man in the middle).
[ "${E2E_WRONG_PIN:-0}" = 1 ] && pin="AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA="

base="https://localhost:$port/kivoraserver"
call() { # call PATH BODY: a POST with curl, trusting the service by its pin
  curl -sS -k --pinnedpubkey "sha256//$pin" -X POST --data "$2" "$base$1"
}
fetch() { # fetch PATH?QUERY: a GET with curl
  curl -sS -k --pinnedpubkey "sha256//$pin" "$base$1"
}
session_token() { # session_token NAME PASSWORD: a fresh session's token
  call /session "name=$1&password=$2" | sed -n 's/.*"token":"\([0-9a-f]*\)".*/\1/p'
}
fail() {
  echo "$*" >&2
  exit 1
}
token=""
if [ -n "${E2E_SETUP:-}" ]; then
  # shellcheck disable=SC1090
  source "${E2E_DIR:-.}/$E2E_SETUP"
fi
if [ -n "${E2E_SAVED_LOCATION:-}" ]; then
  # E2E_SAVED_LOCATION="TITLE,LAT,LON": demo has this saved place before the client starts.
  IFS=, read -r title lat lon <<<"$E2E_SAVED_LOCATION"
  token=$(call /session "name=demo&password=demo" | sed -n 's/.*"token":"\([0-9a-f]*\)".*/\1/p')
  call /api/location "title=$title&latitude=$lat&longitude=$lon&token=$token" >/dev/null
fi

index=0
service_port=$port
client_port=$port
if [ -n "${E2E_FAULT:-}" ]; then
  read -r fault_mode fault_count fault_match <<<"$E2E_FAULT"
  other=()
  if [ "$fault_mode" = wrong-certificate ]; then
    # Another identity, made the way hestio-hub makes its own.
    "$build/bin/hestio-hub" --data "$work/other" --print-pin >/dev/null
    other=(--other-certificate "$work/other/certificate.pem" --other-key "$work/other/private-key.pem")
  fi
  : >"$work/proxy.log"
  # shellcheck disable=SC2086
  "$build/bin/hestio-fault-proxy" --upstream "127.0.0.1:$service_port" \
    --certificate "$work/sim/certificate.pem" --key "$work/sim/private-key.pem" "${other[@]}" \
    --fault "$fault_mode" --count "${fault_count:-1}" --match "${fault_match:-.}" ${E2E_FAULT_ARGS:-} \
    >"$work/proxy.log" 2>&1 &
  proxy_pid=$!
  client_port=""
  for _ in $(seq 1 200); do
    client_port=$(sed -n 's|.*listening on https://127.0.0.1:\([0-9]*\).*|\1|p' "$work/proxy.log")
    [ -n "$client_port" ] && break
    kill -0 "$proxy_pid" 2>/dev/null || { cat "$work/proxy.log" >&2; exit 1; }
    sleep 0.05
  done
  [ -n "$client_port" ] || fail "hestio-fault-proxy did not start"
fi
for script in "$@"; do
  index=$((index + 1))
  # E2E_SERVICE_DOWN_FOR=N: the service is stopped while script N runs and is
  # back (same data, same port) for the scripts after it.
  if [ "${E2E_SERVICE_DOWN_FOR:-0}" = "$index" ]; then
    stop_sim
  elif [ -z "$hub_pid" ]; then
    start_sim "$service_port"
  fi
  if [ -n "${E2E_SCRIPT_VARS:-}" ]; then
    mkdir -p "$work/scripts"
    shown=""
    for name in $E2E_SCRIPT_VARS; do
      export "${name?}"
      shown="$shown \${$name}"
    done
    envsubst "$shown" <"$script" >"$work/scripts/$(basename "$script")"
    script="$work/scripts/$(basename "$script")"
  fi
  run_client() {
    "$build/bin/hestio" --headless --clock real --profile "$work/profile" \
      --service-host "localhost:$client_port" --service-pin "sha256//$pin" \
      --script "$script" --failure-screenshot "$work/$(basename "$script" .txt)-failure.png" \
      --clock-offset-days "$clock_offset_days" \
      ${E2E_START_LOCATION:+--location "$E2E_START_LOCATION"} ${E2E_SCRIPT_ARGS:-}
  }
  if [ -z "$hub_pid" ] && [ -n "${E2E_SERVICE_BACK_ON_FILE:-}" ]; then
    # E2E_SERVICE_BACK_ON_FILE=NAME: the service stopped for this script
    # comes back (same data, same port) while it runs, once the file NAME
    # appears in $work (a script's "screenshot" makes it when it is ready).
    run_client &
    client_pid=$!
    while kill -0 "$client_pid" 2>/dev/null; do
      [ -z "$hub_pid" ] && [ -e "$work/$E2E_SERVICE_BACK_ON_FILE" ] && start_sim "$service_port"
      sleep 0.05
    done
    wait "$client_pid"
  else
    run_client
  fi
  if [ -n "${E2E_CHECK_EACH:-}" ]; then
    [ -z "$hub_pid" ] && start_sim "$service_port"
    # shellcheck disable=SC1090
    source "${E2E_DIR:-.}/$E2E_CHECK_EACH"
  fi
done

if [ -n "${E2E_FAULT:-}" ] && [ "$fault_mode" != pass ] && ! grep -q -- "-> $fault_mode\$" "$work/proxy.log"; then
  cat "$work/proxy.log" >&2
  fail "the proxy never applied the fault $fault_mode"
fi

if [ -n "${E2E_EXPECT_MOVEMENTS:-}" ]; then
  # E2E_EXPECT_MOVEMENTS="LEFT ARRIVED": the service lists these movements, newest first.
  # A fresh session: the first one may have expired meanwhile.
  token=$(call /session "name=demo&password=demo" | sed -n 's/.*"token":"\([0-9a-f]*\)".*/\1/p')
  listed=$(curl -sS -k --pinnedpubkey "sha256//$pin" "$base/api/movement?token=$token&token=$token" |
    grep -o '"action":"[A-Z]*"' | sed 's/"action":"\([A-Z]*\)"/\1/' | tr '\n' ' ' | sed 's/ $//' || true)
  if [ "$listed" != "$E2E_EXPECT_MOVEMENTS" ]; then
    echo "the service lists movements \"$listed\", expected \"$E2E_EXPECT_MOVEMENTS\"" >&2
    exit 1
  fi
fi

if [ -n "${E2E_CHECK:-}" ]; then
  [ -z "$hub_pid" ] && start_sim "$service_port"
  # shellcheck disable=SC1090
  source "${E2E_DIR:-.}/$E2E_CHECK"
fi
