# After each run the week of the Heater's power graph the screen showed is
# kept whole in the profile's cache under the graph's kind, the device and
# how many weeks back it lies, with the stretch it was asked for. Sourced by
# run-against-sim.sh with $index.
shopt -s nullglob
kept=("$work"/profile/cache/demo/graph-power-*.reply)
[ "${#kept[@]}" = 1 ] || fail "run $index kept ${#kept[@]} power weeks ($(ls "$work/profile/cache/demo" | tr '\n' ' '))"
file=${kept[0]}
[[ "$(basename "$file")" =~ ^graph-power-[^-]+-week-0\.reply$ ]] || fail "a kept week named $file"
head -n 1 "$file" | grep -q '^hestio-reply 2 [0-9]* [0-9]* [0-9a-f]* demo$' || fail "the kept week has no header"
tail -n +2 "$file" | jq -e '.success == true and .from < .to and (.week.statuses | length) > 0' >/dev/null ||
  fail "the kept week is not a whole answer with samples"
# The next run is a day later: the week kept today serves it.
if [ "$index" = 1 ]; then
  move_clocks 1
fi
