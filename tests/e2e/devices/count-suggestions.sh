# How many suggestions the demo household has now (they follow the time of
# day); the heater's (1083) and the washing machine's (1114) are among them.
token=$(session_token demo demo)
before=$(fetch "/api/device?token=$token" | jq -r '[.devices[].suggestions[].id] | sort | map(tostring) | join(" ")')
for id in 1083 1114; do
  grep -qw "$id" <<<"$before" || fail "the demo household has no suggestion $id now: $before"
done
SUGGESTIONS=$(wc -w <<<"$before")
AFTER_ONE=$((SUGGESTIONS - 1))
AFTER_TWO=$((SUGGESTIONS - 2))
