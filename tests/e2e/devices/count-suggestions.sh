# How many suggestions the demo household has now; the heater's (1083) and
# the washing machine's (1114) must be among them. They follow the time and
# the days before: the washing machine's needs a wash in the last 24 hours,
# and the household washes on some days only (which ones its seed decides),
# and seeds that are multiples of 3 set the heater low enough to need none.
# So the household is made again from the next seeds until it has both now,
# whatever the date.
before=""
for seed in $(seq 1 30); do
  [ "$seed" = 1 ] || reseed_sim "$seed"
  token=$(session_token demo demo)
  before=$(fetch "/api/device?token=$token" | jq -r '[.devices[].suggestions[].id] | sort | map(tostring) | join(" ")')
  grep -qw 1083 <<<"$before" && grep -qw 1114 <<<"$before" && break
done
for id in 1083 1114; do
  grep -qw "$id" <<<"$before" || fail "no demo household of seeds 1 to 30 has suggestion $id now: $before"
done
echo "the demo household of seed $seed has the suggestions $before"
SUGGESTIONS=$(wc -w <<<"$before")
AFTER_ONE=$((SUGGESTIONS - 1))
AFTER_TWO=$((SUGGESTIONS - 2))
