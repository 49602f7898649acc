# Before the first script: the Living Room Lamp (device 104) is switched off,
# so that the journey starts by switching it on.
token=$(session_token demo demo)
lamp=$(fetch "/api/device?action=true&token=$token" | jq -c '.devices[] | select(.id == 104)')
[ -n "$lamp" ] || fail "the demo household has no Living Room Lamp"
power=$(jq -r '.onOff.id' <<<"$lamp")
call /api/action "device_id=104&act_id=$power&act_value=0&token=$token" | grep -q '"success":true' ||
  fail "the Living Room Lamp could not be switched off before the test"
