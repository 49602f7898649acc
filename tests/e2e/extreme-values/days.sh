# The dates the power-draw graph shows one and two days back, as its sample
# label writes them ("Sat. 11/28/26"), in the household's zone; and a folder
# for the scripts' screenshots, which check-axis.sh reads.
zone=$(call /session "name=demo&password=demo" | jq -r '.currentUser.household.timeZoneArea')
[ -n "$zone" ] && [ "$zone" != null ] || fail "the service names no zone for the demo household"
ONE_DAY_BACK=$(TZ=$zone date -d "-1 days" +"%a. %m/%d/%y")
TWO_DAYS_BACK=$(TZ=$zone date -d "-2 days" +"%a. %m/%d/%y")
SHOTS="$work/shots"
mkdir -p "$SHOTS"
