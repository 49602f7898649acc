# shellcheck shell=bash disable=SC2154 # $build is the sourcing runner's
# Starting hestio-hub for an end-to-end run and waiting until it listens;
# sourced by run-against-sim.sh and hub/find-the-hub.sh. Needs $build, the
# build folder.
#   start_hub_listening LOG ARG...  starts "$build/bin/hestio-hub" ARG... in
#     the background, its output in LOG, and sets hub_pid; returns once the
#     hub says where it listens, with its port in $port. A hub that ends
#     before that has its log shown, and the script ends (status 1), as it
#     does when the hub is not listening within 10 s.
start_hub_listening() {
  local log=$1
  shift
  # Made here: the background job opens it only when it gets to run, which
  # may be after the first look below.
  : >"$log"
  "$build/bin/hestio-hub" "$@" >"$log" 2>&1 &
  hub_pid=$!
  port=""
  for _ in $(seq 1 200); do
    port=$(sed -n 's|.*listening on https://127.0.0.1:\([0-9]*\).*|\1|p' "$log")
    [ -n "$port" ] && return 0
    kill -0 "$hub_pid" 2>/dev/null || { cat "$log" >&2; exit 1; }
    sleep 0.05
  done
  echo "hestio-hub did not start" >&2
  exit 1
}
