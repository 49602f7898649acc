# The service keeps the EV charger's new name and the heater's new room.
token=$(session_token demo demo)
devices=$(fetch "/api/device?action=true&token=$token")
charger=$(jq -r '.devices[] | select(.id == 112) | "\(.name) in \(.location)"' <<<"$devices")
heater=$(jq -r '.devices[] | select(.id == 108) | "\(.name) in \(.location)"' <<<"$devices")
[ "$charger" = "Car Charger in Garage" ] || fail "the service lists the EV charger as \"$charger\""
[ "$heater" = "Heater in Garage" ] || fail "the service lists the heater as \"$heater\""
