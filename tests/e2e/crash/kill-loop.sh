#!/usr/bin/env bash
# Crash safety of the client's own files: the client is killed (SIGKILL) at
# random moments while it walks in and out of a saved place and from tab to
# tab (each list it downloads is kept in the profile's cache), movement
# postings fail on the way (hestio-fault-proxy drops every other one) and
# kept ones are re-sent in the background. After every kill the failed-
# movement file, the user defaults, the credential file and every kept
# list must still read (a kept list whole, or not there at all; the next
# run never finds one damaged);
# at the end, every movement the test caused (every one the client posted,
# as the proxy saw it, and every one ever kept in the file) is on the
# service, or still in the failed-movement file or a copy of it set aside;
# none is lost. Only a movement that went through the file may be there
# twice (killed after the service took it and before it left the file: it
# is sent once more, never lost).
#   kill-loop.sh BUILD_DIR      KILLS=N (default 60) kills, KILL_SEED=S
set -euo pipefail
build=$1
kills=${KILLS:-60}
here=$(cd "$(dirname "$0")" && pwd)
RANDOM=${KILL_SEED:-$$}
work=$(mktemp -d)
sim_pid=""
proxy_pid=""
client_pid=""
cleanup() {
  for pid in "$client_pid" "$proxy_pid" "$sim_pid"; do
    if [ -n "$pid" ] && kill "$pid" 2>/dev/null; then wait "$pid" 2>/dev/null || true; fi
  done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "kill-loop: $*" >&2
  exit 1
}
listening_port() { # listening_port LOG PID: waits for "listening on https://127.0.0.1:PORT"
  for _ in $(seq 1 200); do
    p=$(sed -n 's|.*listening on https://127.0.0.1:\([0-9]*\).*|\1|p' "$1")
    [ -n "$p" ] && { echo "$p"; return 0; }
    kill -0 "$2" 2>/dev/null || { cat "$1" >&2; return 1; }
    sleep 0.05
  done
  return 1
}

: >"$work/sim.log"
: >"$work/proxy.log"
"$build/bin/hestio-hub" --demo --data "$work/sim" --port 0 --zone America/New_York >"$work/sim.log" 2>&1 &
sim_pid=$!
sim_port=$(listening_port "$work/sim.log" "$sim_pid") || fail "hestio-hub did not start"
pin=$("$build/bin/hestio-hub" --data "$work/sim" --print-pin)
base="https://localhost:$sim_port/kivoraserver"
call() { curl -sS -k --pinnedpubkey "sha256//$pin" -X POST --data "$2" "$base$1"; }
token() { call /session "name=demo&password=demo" | sed -n 's/.*"token":"\([0-9a-f]*\)".*/\1/p'; }
call /api/location "title=Home&latitude=40.712800&longitude=-74.006000&token=$(token)" >/dev/null
# Every device that can be switched is switched off, so that walking out of
# Home (marked as home by sign-in.txt) finds nothing left on: the leave-home
# check still downloads the list, but no notice stands in the way of the
# walk's taps.
switch_token=$(token)
curl -sS -k --pinnedpubkey "sha256//$pin" "$base/api/device?action=true&token=$switch_token" |
  python3 -c 'import json,sys
for d in json.load(sys.stdin).get("devices", []):
    if d.get("onOff"):
        print(d["id"], d["onOff"]["id"])' |
  while read -r id action; do
    call /api/action "device_id=$id&act_id=$action&act_value=0&token=$switch_token" >/dev/null
  done

"$build/bin/hestio-fault-proxy" --upstream "127.0.0.1:$sim_port" \
  --certificate "$work/sim/certificate.pem" --key "$work/sim/private-key.pem" \
  --fault drop --count 0 --every 2 --match '^POST [^ ]*/api/movement' --log-bodies 1 >"$work/proxy.log" 2>&1 &
proxy_pid=$!
proxy_port=$(listening_port "$work/proxy.log" "$proxy_pid") || fail "hestio-fault-proxy did not start"

profile="$work/profile"
movements_file="$profile/Documents/failedLocationPosts.plist"
client() { # client PORT SCRIPT LOG: the headless client against PORT
  "$build/bin/hestio" --headless --clock real --profile "$profile" \
    --service-host "localhost:$1" --service-pin "sha256//$pin" --location 40.8,-74.1 \
    --script "$2" --failure-screenshot "$work/failure.png" >"$3" 2>&1
}
# A property list that does not parse fails the loop; xmllint or python3
# read it when present, otherwise its end must be whole.
check_plist() {
  [ -f "$1" ] || return 0
  if command -v xmllint >/dev/null; then
    xmllint --noout "$1" 2>/dev/null || fail "$1 does not parse after kill $2"
  elif command -v python3 >/dev/null; then
    python3 -c 'import plistlib,sys; plistlib.load(open(sys.argv[1],"rb"))' "$1" ||
      fail "$1 does not parse after kill $2"
  else
    tail -c 9 "$1" | grep -q '</plist>' || fail "$1 is cut short after kill $2"
  fi
}
cache="$profile/cache/demo"
# Every kept list is whole: the header the client writes, a body of the
# length it names, and that body an answer that said "success".
check_cache() {
  [ -d "$cache" ] || return 0
  for file in "$cache"/*.reply; do
    [ -f "$file" ] || continue
    read -r magic format _ length _ owner < <(head -n 1 "$file")
    [ "$magic $format $owner" = "hestio-reply 2 demo" ] || fail "$file has no header after kill $1"
    body=$(($(stat -c %s "$file") - $(head -n 1 "$file" | wc -c)))
    [ "$body" = "$length" ] || fail "$file holds $body of $length bytes after kill $1"
    tail -n +2 "$file" | jq -e '.success == true' >/dev/null || fail "$file is not a whole answer after kill $1"
  done
  # A run killed between writing and renaming leaves its temporary file;
  # the next run that keeps a list sweeps them away.
  orphans=$(find "$cache" -name '*.tmp-*' | wc -l)
  [ "$orphans" -le 6 ] || fail "$orphans temporary cache files pile up after kill $1"
}
kept_movements() { # "ACTION TIMESTAMP" of every entry of the failed-movement file and its set-aside copies
  for file in "$movements_file" "$profile"/Documents/failedLocationPosts-unreadable-*.plist; do
    [ -f "$file" ] || continue
    grep -o '<string>action=[^<]*</string>' "$file" |
      sed 's/.*action=\([A-Z]*\)&.*timestamp=\([0-9]*\).*/\1 \2/' || true
  done
}
posted_movements() { # "ACTION TIMESTAMP" of every movement posting the proxy saw
  grep -o '/api/movement -> [a-z-]* action=[^ ]*' "$work/proxy.log" |
    sed 's/.*action=\([A-Z]*\)&.*timestamp=\([0-9]*\).*/\1 \2/' || true
}

client "$proxy_port" "$here/sign-in.txt" "$work/sign-in.log" || { cat "$work/sign-in.log" >&2; fail "sign-in failed"; }
: >"$work/kept.txt"
kept_lists=0
orphans_seen=0
for i in $(seq 1 "$kills"); do
  # Started directly (not through the function) so that $! is the client.
  "$build/bin/hestio" --headless --clock real --profile "$profile" \
    --service-host "localhost:$proxy_port" --service-pin "sha256//$pin" --location 40.8,-74.1 \
    --script "$here/walk.txt" --failure-screenshot "$work/failure.png" >"$work/run.log" 2>&1 &
  client_pid=$!
  # Anywhere from the start-up to the middle of the walk.
  sleep "$((RANDOM % 3)).$((RANDOM % 10))$((RANDOM % 10))"
  kill -KILL "$client_pid" 2>/dev/null || true
  status=0
  wait "$client_pid" 2>/dev/null || status=$?
  client_pid=""
  [ "$status" = 137 ] || { cat "$work/run.log" >&2; fail "run $i ended by itself with status $status"; }
  if grep -E "Could not read property list|Credential file|Ignoring the damaged cached reply" "$work/run.log" >&2; then
    fail "run $i found a damaged file"
  fi
  cat "$work/run.log" >>"$work/all-runs.log"
  check_plist "$movements_file" "$i"
  check_plist "$profile/config/UserDefaults.plist" "$i"
  check_cache "$i"
  if [ -d "$cache" ]; then
    kept_lists=$((kept_lists + $(find "$cache" -name '*.reply' | wc -l)))
    orphans_seen=$((orphans_seen + $(find "$cache" -name '*.tmp-*' | wc -l)))
  fi
  [ ! -f "$profile/data/credentials" ] || head -n 1 "$profile/data/credentials" | grep -qx 'hestio-keychain 1' ||
    fail "the credential file is damaged after kill $i"
  kept_movements >>"$work/kept.txt"
done

# Straight to the service: the stored session still works and every kept
# movement is re-sent.
client "$sim_port" "$here/finish.txt" "$work/finish.log" || { cat "$work/finish.log" >&2; fail "the last run failed"; }
grep -E "Could not read property list|Credential file|Ignoring the damaged cached reply" "$work/finish.log" >&2 &&
  fail "the last run found a damaged file"
check_cache end
[ "$kept_lists" -gt 0 ] || fail "no list was ever kept in the cache; the walk did not reach the tabs"
check_plist "$movements_file" end
left=$(kept_movements | wc -l)
[ "$left" = 0 ] || fail "$left movements are still kept after the last resend"

listed=$(curl -sS -k --pinnedpubkey "sha256//$pin" "$base/api/movement?token=$(token)" |
  grep -o '{[^{}]*"action"[^{}]*}' |
  sed 's/.*"action":"\([A-Z]*\)".*/\1 &/; s/^\([A-Z]*\) .*"timestamp":\([0-9]*\).*/\1 \2/' | sort)
sort -u "$work/kept.txt" >"$work/kept-unique.txt"
lost=$(comm -23 "$work/kept-unique.txt" <(printf '%s\n' "$listed" | sort -u) || true)
[ -z "$lost" ] || fail "movements kept in the file never reached the service: $lost"
# Every movement the client posted: on the service, or still waiting in the
# file (or a copy set aside).
posted_movements | sort -u >"$work/caused.txt"
[ -s "$work/caused.txt" ] || fail "the proxy saw no movement posting; the walk did not run"
missing=$(comm -23 "$work/caused.txt" <( (printf '%s\n' "$listed"; kept_movements) | sort -u) || true)
[ -z "$missing" ] || fail "movements the client posted are neither on the service nor kept: $missing"
twice=$(printf '%s\n' "$listed" | uniq -d)
if [ -n "$twice" ]; then
  unexplained=$(comm -23 <(printf '%s\n' "$twice") "$work/kept-unique.txt" || true)
  [ -z "$unexplained" ] || fail "movements that were never kept reached the service twice: $unexplained"
fi
posted=$(printf '%s\n' "$listed" | grep -c . || true)
echo "kill-loop: $kills kills; the client posted $(wc -l <"$work/caused.txt") movements, the service lists $posted;" \
  "$(wc -l <"$work/kept-unique.txt") went" \
  "through the failed-movement file, all delivered; $(printf '%s\n' "$twice" | grep -c . || true) sent twice" \
  "(killed between the service's answer and the file update); $(grep -c -- '-> drop' "$work/proxy.log" || true)" \
  "postings dropped on the way; $kept_lists kept lists checked whole after the kills," \
  "$orphans_seen temporary files left by kills between writing and renaming"
