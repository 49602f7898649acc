# After each script: the heater (device 108) is off, then on again at 19 degrees.
token=$(session_token demo demo)
heater=$(fetch "/api/device?action=true&token=$token" | jq -c '.devices[] | select(.id == 108)')
supplying=$(jq -r '.meterSupplyingPower' <<<"$heater")
level=$(jq -r '.possibleActions[] | select(.type == 1) | .values[] | select(.name == "Current") | .value' <<<"$heater")
case $index in
1) [ "$supplying" = false ] || fail "after switching off, the service reports the heater supplying power: $heater" ;;
2)
  [ "$supplying" = true ] || fail "after switching on, the service reports the heater not supplying power: $heater"
  [ "$level" = 19 ] || fail "after the slider's release at 19, the service reports temperature $level"
  ;;
esac
