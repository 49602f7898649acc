# Sourced after the app's script: the client must have finished and passed.
client_status=0
wait "$client_pid" || client_status=$?
cat "$work/client.log"
client_checked=1
[ "$client_status" = 0 ] || fail "the accessibility client failed ($client_status); the bus launcher said: $(cat "$work/launcher.log")"
grep -q "^access client: Power now: .*W" "$work/client.log" || fail "the client did not read the power now"
grep -q "^access client: audited sign in, alert Authentication Failed, suggestions, home now, .*, log, alert Are you sure?$" "$work/client.log" ||
  fail "the client did not audit every screen of the tour"
