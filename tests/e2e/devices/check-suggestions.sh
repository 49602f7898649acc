# The two answered suggestions are gone from the service's list, the others
# are left, and the followed one set the heater to 20.
token=$(session_token demo demo)
devices=$(fetch "/api/device?token=$token")
ids=$(jq -r '[.devices[].suggestions[].id] | sort | map(tostring) | join(" ")' <<<"$devices")
expected=$(tr ' ' '\n' <<<"$before" | grep -vx '1083\|1114' | tr '\n' ' ' | sed 's/ $//')
[ "$ids" = "$expected" ] || fail "the service lists suggestions \"$ids\", expected \"$expected\""
level=$(jq -r '.devices[] | select(.id == 108) | .possibleActions[] | select(.type == 1) | .values[] | select(.name == "Current") | .value' <<<"$devices")
[ "$level" = 20 ] || fail "the followed suggestion left the heater at $level, not 20"
