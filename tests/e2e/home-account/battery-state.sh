# Reads the battery state the service reports now and exports the texts the
# Home tab must show for it, and where the graphs' taps go. The service's
# newest reading changes each minute, and so does the energy of the hour
# under way: the reading is taken early enough in a minute for the client to
# start, sign in and download the same one.
zone_now() { # zone_now FORMAT: the household's clock now
  TZ=$zone date +"$1"
}
signed_in=$(call /session "name=demo&password=demo")
token=$(printf '%s' "$signed_in" | sed -n 's/.*"token":"\([0-9a-f]*\)".*/\1/p')
zone=$(printf '%s' "$signed_in" | sed -n 's/.*"timeZoneArea":"\([^"]*\)".*/\1/p')
[ -n "$token" ] && [ -n "$zone" ] || fail "could not sign in to read the battery state: $signed_in"
# Before 1 AM there is no whole hour of today yet: the tallest bar is the
# hour under way, read by the second script, so the whole minute is needed.
if [ "$((10#$(zone_now %H)))" = 0 ]; then latest_second=5; else latest_second=45; fi
second=$((10#$(date -u +%S)))
[ "$second" -le "$latest_second" ] || sleep "$((60 - second))"
reply=$(fetch "/api/battery?count=1&token=$token")
percentage=$(printf '%s' "$reply" | sed -n 's/.*"percentage":\([-0-9.eE+]*\).*/\1/p')
voltage=$(printf '%s' "$reply" | sed -n 's/.*"voltage":\([-0-9.eE+]*\).*/\1/p')
charging=$(printf '%s' "$reply" | sed -n 's/.*"isCharging":\(true\|false\).*/\1/p')
[ -n "$percentage" ] && [ -n "$voltage" ] && [ -n "$charging" ] || fail "unexpected battery reply: $reply"
# The client reads the numbers as single-precision floats before formatting.
E2E_BATTERY_PERCENTAGE=$(perl -e 'printf("%.1f%%", unpack("f", pack("f", $ARGV[0])))' "$percentage")
E2E_BATTERY_VOLTAGE=$(perl -e 'printf("%.1fV", unpack("f", pack("f", $ARGV[0])))' "$voltage")
if [ "$charging" = true ]; then E2E_BATTERY_CHARGING=Yes; else E2E_BATTERY_CHARGING=No; fi
export E2E_BATTERY_PERCENTAGE E2E_BATTERY_VOLTAGE E2E_BATTERY_CHARGING
echo "the service reports $E2E_BATTERY_PERCENTAGE, $E2E_BATTERY_VOLTAGE, charging: $E2E_BATTERY_CHARGING"
# Today's graph runs from x 15 to 255 for the 86,400 s after the household's
# midnight (on a day with a clock change that is not the whole day: a
# 25-hour day's last hour lies past its end); 0 % is at y 385 and 110 % at
# y 77.5. The newest sample is where the seconds since midnight put it.
midnight=$(TZ=$zone date -d "today 00:00" +%s)
now=$(date +%s)
midnight_ms=$((midnight * 1000))
now_ms=$((now * 1000))
E2E_NOW_X=$(awk -v s="$((now - midnight))" 'BEGIN { x = 15 + 240 * s / 86400; if (x > 255) x = 255; printf("%.0f", x) }')
E2E_NOW_Y=$(awk -v p="$percentage" 'BEGIN { printf("%.0f", 385 - p / 110 * 307.5) }')
export E2E_NOW_X E2E_NOW_Y
# The tallest of today's hourly energy bars on the home energy graph: where a
# tap selects it (a little above the baseline, a quarter of an hour into its
# block) and the text its selection shows. A whole hour that has ended and
# lies on the page is taken when there is one, as its energy no longer grows.
energy=$(fetch "/api/energyconsumption?device_id=battery&from=$midnight_ms&to=$now_ms&block=CLOCK_HOUR&token=$token")
tallest=$(printf '%s' "$energy" | jq -r --argjson now "$now_ms" --argjson page_end "$((midnight_ms + 86400000))" '
  [.energyConsumptions[] | select(.from + 3600000 <= $page_end)] as $on_page
  | ([$on_page[] | select(.from + 3600000 <= $now)] | if length > 0 then . else $on_page end)
  | max_by(.energyConsumed) | "\(.from) \(.energyConsumed)"')
read -r tallest_from tallest_kwh <<<"$tallest"
[ -n "$tallest_kwh" ] && [ "$tallest_kwh" != null ] || fail "no energy blocks for today: $energy"
E2E_ENERGY_X=$(awk -v f="$tallest_from" -v m="$midnight_ms" 'BEGIN { printf("%.0f", 15 + 240 * ((f - m) / 1000 + 900) / 86400) }')
E2E_ENERGY_Y=380
E2E_ENERGY_TEXT=$(perl -e 'printf("%.4f kWh", unpack("f", pack("f", $ARGV[0])))' "$tallest_kwh")
export E2E_ENERGY_X E2E_ENERGY_Y E2E_ENERGY_TEXT
echo "today's tallest energy bar: $E2E_ENERGY_TEXT at x $E2E_ENERGY_X"
