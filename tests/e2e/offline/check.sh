# After the first run each list the client showed is kept in the profile's
# cache, whole; after the second, what the screens showed is what the
# service holds. Sourced by run-against-sim.sh with $index.
folder="$work/profile/cache/demo"
for list in devices suggestions schedules activities places; do
  file="$folder/$list.reply"
  [ -f "$file" ] || fail "run $index kept no $list ($(ls "$folder" 2>/dev/null | tr '\n' ' '))"
  head -n 1 "$file" | grep -q '^hestio-reply 2 [0-9]* [0-9]* [0-9a-f]* demo$' || fail "the kept $list has no header"
  tail -n +2 "$file" | jq -e '.success == true' >/dev/null || fail "the kept $list is not a whole answer"
done
if [ "$index" = 2 ]; then
  token=$(session_token demo demo)
  fetch "/api/device?action=true&token=$token" | jq -e '[.devices[].name] | index("Heater") and index("Bedside Lamp")' \
    >/dev/null || fail "the service has no Heater and Bedside Lamp, which the screen showed"
  fetch "/api/schedule?token=$token" | jq -e '[.schedules[].title] | index("Office")' >/dev/null ||
    fail "the service has no schedule Office, which the screen showed"
  fetch "/api/activity?token=$token" | jq -e '[.activities[].title] | index("Watered the ferns")' >/dev/null ||
    fail "the service has no activity Watered the ferns, which the screen showed"
fi
