# After each script: the service has what the screen showed at its end: the
# lamp on (script 1) or off (script 2), and the brightness the slider was
# released at. Both requests went through the proxy and were held there.
token=$(session_token demo demo)
lamp=$(fetch "/api/device?action=true&token=$token" | jq -c '.devices[] | select(.id == 104)')
supplying=$(jq -r '.meterSupplyingPower' <<<"$lamp")
level=$(jq -r '.possibleActions[] | select(.type == 1) | .values[] | select(.name == "Current") | .value' <<<"$lamp")
delayed=$(grep -c 'POST /kivoraserver/api/action.* -> delay$' "$work/proxy.log" || true)
[ "$delayed" = $((2 * index)) ] || fail "expected $((2 * index)) delayed action requests, the proxy saw $delayed: $(cat "$work/proxy.log")"
case $index in
1) [ "$supplying" = true ] || fail "the screen showed the lamp ON, the service has it off: $lamp" ;;
2) [ "$supplying" = false ] || fail "the screen showed the lamp OFF, the service has it on: $lamp" ;;
esac
[ "$level" = 50 ] || fail "the slider was released at 50, the service has brightness $level: $lamp"
