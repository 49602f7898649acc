# What the power-draw graph's sample label says ("Sat. 11/28/26 at 08:") for
# a tap 8 hours into the page 1, 8 and 9 days back. The graph's day n back
# starts n × 86,400 s before the household's midnight today, so across a
# change of clock its hours are an hour off the calendar's: the texts come
# from that rule, not from the calendar, and hold on any day.
zone=$(call /session "name=demo&password=demo" | jq -r '.currentUser.household.timeZoneArea')
[ -n "$zone" ] && [ "$zone" != null ] || fail "the service names no zone for the demo household"
midnight=$(TZ=$zone date -d "today 00:00" +%s)
at_eight() { # at_eight DAYS_BACK
  TZ=$zone date -d "@$((midnight - $1 * 86400 + 8 * 3600))" +"%a. %m/%d/%y at %I:"
}
YESTERDAY_AT_EIGHT=$(at_eight 1)
EIGHT_DAYS_BACK_AT_EIGHT=$(at_eight 8)
NINE_DAYS_BACK_AT_EIGHT=$(at_eight 9)
