# Waits for the start of a minute: the Home tab's first reading falls in this
# minute on the household's clock (E2E_NOW_MINUTE), and, the tab staying on
# screen, a later one in the next (E2E_NEXT_MINUTE), both as "h:mm", the way
# the client's locale writes them.
signed_in=$(call /session "name=demo&password=demo")
zone=$(printf '%s' "$signed_in" | sed -n 's/.*"timeZoneArea":"\([^"]*\)".*/\1/p')
[ -n "$zone" ] || fail "could not sign in to read the household's zone: $signed_in"
second=$((10#$(date -u +%S)))
[ "$second" -le 10 ] || sleep "$((60 - second))"
E2E_NOW_MINUTE=$(TZ=$zone date +%-I:%M)
E2E_NEXT_MINUTE=$(TZ=$zone date -d "+1 minute" +%-I:%M)
export E2E_NOW_MINUTE E2E_NEXT_MINUTE
echo "the first reading falls at $E2E_NOW_MINUTE, a later one at $E2E_NEXT_MINUTE"
