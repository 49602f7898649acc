# After the scripts: the service holds exactly one schedule, "Home", with no
# repeat day (the one made on the phone). Sourced by run-against-sim.sh.
token=$(session_token demo demo)
schedules=$(fetch "/api/schedule?token=$token")
count=$(jq '.schedules | length' <<<"$schedules")
[ "$count" = 1 ] || fail "the service lists $count schedules: $schedules"
title=$(jq -r '.schedules[0].title' <<<"$schedules")
days=$(jq -r '.schedules[0].repeatDays // ""' <<<"$schedules")
[ "$title" = Home ] || fail "the schedule is titled \"$title\""
[ "$days" = "" ] || fail "the new schedule repeats on \"$days\""
