# After the walk: the service has the heater (108) off.
token=$(session_token demo demo)
heater=$(fetch "/api/device?action=true&token=$token" | jq -c '.devices[] | select(.id == 108)')
[ "$(jq -r '.meterSupplyingPower' <<<"$heater")" = false ] ||
  fail "after \"Switch off Heater\", the service reports the heater supplying power: $heater"
