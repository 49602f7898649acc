# After each script: the service holds the schedule "Home" leaving at about
# the household's time when it was made and arriving two clock hours later
# (the hour wheel stays in the half of the day), then with repeat days 2 and
# 4, then none at all.
token=$(session_token demo demo)
schedules=$(fetch "/api/schedule?token=$token")
count=$(jq '.schedules | length' <<<"$schedules")
if [ "$index" = 3 ]; then
  [ "$count" = 0 ] || fail "after deleting, the service still lists $schedules"
  return 0
fi
[ "$count" = 1 ] || fail "the service lists $count schedules: $schedules"
read -r title sh sm eh em days < <(jq -r '.schedules[0] | "\(.title) \(.startHour) \(.startMin) \(.endHour) \(.endMin) \(.repeatDays)"' <<<"$schedules")
[ "$title" = Home ] || fail "the schedule is titled \"$title\""
if [ "$index" = 1 ]; then
  zone=$(call /session "name=demo&password=demo" | jq -r '.currentUser.household.timeZoneArea')
  now=$((10#$(TZ=$zone date +%H) * 60 + 10#$(TZ=$zone date +%M)))
  since=$(((now - (sh * 60 + sm) + 1440) % 1440))
  [ "$since" -le 3 ] || fail "the schedule leaves at $sh:$sm, not at the household's time of making it (now $((now / 60)):$((now % 60)) in $zone)"
  half=$((sh >= 12 ? 12 : 0))
  expected=$(((sh % 12 + 2) % 12 + half))
  [ "$eh:$em" = "$expected:$sm" ] || fail "the schedule arrives at $eh:$em, expected $expected:$sm"
  [ "$days" = "" ] || fail "the new schedule repeats on \"$days\""
fi
if [ "$index" = 2 ]; then
  [ "$days" = 24 ] || fail "the schedule repeats on \"$days\", expected \"24\""
fi
