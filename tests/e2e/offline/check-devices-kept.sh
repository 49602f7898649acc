# The kept device list is whole and is the service's list (the newest
# answer shown, whatever order the answers came in). Sourced by
# run-against-sim.sh after each script.
file="$work/profile/cache/demo/devices.reply"
[ -f "$file" ] || fail "run $index kept no device list"
token=$(session_token demo demo)
service=$(fetch "/api/device?action=true&token=$token" | jq -c '[.devices[].name] | sort')
kept=$(tail -n +2 "$file" | jq -c '[.devices[].name] | sort')
[ "$kept" = "$service" ] || fail "run $index kept the devices $kept, the service has $service"
