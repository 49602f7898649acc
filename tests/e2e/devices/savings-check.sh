# After the follow: the client kept the suggestion, its device and the time;
# then the service and the client are moved seven days on, and the figure the
# Followed row must show is worked out from the service's hourly energy, the
# way the client counts it: the seven whole days before the follow day
# against the whole days since (today and the follow day left out), per
# hour, at EUR 0.30 a kWh.
[ "$index" = 1 ] || return 0
zone=${E2E_ZONE:-America/New_York}
kept="$work/profile/data/FollowedSuggestions/demo.plist"
[ -f "$kept" ] || fail "the client kept no followed suggestion in $kept"
record=$(tr -d '\n\t' <"$kept")
field() { sed -n "s|.*<key>$1</key><$2>\([^<]*\)</$2>.*|\1|p" <<<"$record"; }
[ "$(field suggestionID integer)" = "$FIRST_ID" ] ||
  fail "the client kept suggestion $(field suggestionID integer), not $FIRST_ID: $record"
device_id=$(field deviceID string)
followed_at=$(field followedAt real)
followed_at=${followed_at%.*}
[ -n "$device_id" ] && [ -n "$followed_at" ] || fail "the kept record lacks its device or time: $record"

# The client's today is the machine's a week on; a check made in the last
# two minutes of a day could give the client another today: wait for it.
to_midnight=$(($(TZ=$zone date -d "tomorrow 00:00" +%s) - $(date +%s)))
[ "$to_midnight" -lt 120 ] && sleep $((to_midnight + 2))
move_clocks 7

day() { # the day $2 days after day $1 (from its noon, which no clock change moves off the day)
  TZ=$zone date -d "@$(($(TZ=$zone date -d "$1 12:00" +%s) + $2 * 86400))" +%F
}
midnight() { TZ=$zone date -d "$1 00:00" +%s; }
day0=$(TZ=$zone date -d "@$followed_at" +%F)
today=$(TZ=$zone date -d "@$(($(date +%s) + 7 * 86400))" +%F)
since=0
while [ "$since" -lt 7 ] && [ "$(day "$day0" $((since + 1)))" != "$today" ]; do
  since=$((since + 1))
done
bounds=""
for i in $(seq -7 -1) $(seq 1 "$since"); do
  bounds="$bounds $(midnight "$(day "$day0" "$i")") $(midnight "$(day "$day0" $((i + 1)))")"
done
from=$(midnight "$(day "$day0" -7)")
to=$(midnight "$(day "$day0" $((since + 1)))")
token=$(session_token demo demo)
# What the list's first row shows a week on, to tell that the list is in.
LIST_FIRST=$(fetch "/api/device?token=$token&suggestion=true&token=$token" | jq -r '
  [.devices[] | . as $d | .suggestions[] | {room: $d.location, text: .name}]
  | to_entries | sort_by(.value.room, .key) | .[0].value.text // "No suggestions right now." | .[0:24]')
hours=$(fetch "/api/energyconsumption?token=$token&device_id=$device_id&from=${from}000&to=${to}000&block=CLOCK_HOUR&token=$token" |
  jq -r '.energyConsumptions[] | "\(.from) \(.energyConsumed)"')
{
  read -r FIGURE
  read -r NOTE
} < <(awk -v bounds="$bounds" -v since="$since" '
  BEGIN { n = split(bounds, b, " "); days = n / 2 }
  { t = $1 / 1000; for (d = 1; d <= days; d++) if (t >= b[2*d-1] && t < b[2*d]) { count[d]++; kwh[d] += $2 } }
  function plural(k, one, many) { return k " " (k == 1 ? one : many) }
  END {
    for (d = 1; d <= days; d++) {
      hours = (b[2*d] - b[2*d-1]) / 3600
      if (count[d] < int(hours)) { left++; continue }
      if (d <= 7) { nb++; eb += kwh[d]; hb += hours } else { ns++; es += kwh[d]; hs += hours }
    }
    diff = es - eb * hs / hb
    k = sprintf("%.1f", diff < 0 ? -diff : diff)
    m = sprintf("%.2f", (diff < 0 ? -diff : diff) * 0.3)
    sign = diff < 0 ? "\342\210\222" : "+"
    kwhText = (k == "0.0" ? "" : sign) k "\302\240kWh"
    money = (m == "0.00" ? "" : sign) "\342\202\254" m
    note = "Against " plural(nb, "day", "days") " before" (left ? "; " plural(left, "day", "days") " without data left out" : "")
    printf "%s, %s in %s\n%s\n", kwhText, money, plural(ns, "day", "days"), note
  }' <<<"$hours")
echo "a week on, the Followed row must read \"$FIGURE\" and \"$NOTE\""
