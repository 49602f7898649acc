# The dates the power-draw graph should show 8 and 9 days back, as its sample
# label writes them ("Sat. 11/28/26"), in the household's zone.
zone=$(call /session "name=demo&password=demo" | jq -r '.currentUser.household.timeZoneArea')
[ -n "$zone" ] && [ "$zone" != null ] || fail "the service names no zone for the demo household"
EIGHT_DAYS_BACK=$(TZ=$zone date -d "-8 days" +"%a. %m/%d/%y")
NINE_DAYS_BACK=$(TZ=$zone date -d "-9 days" +"%a. %m/%d/%y")
