# Reads the battery state the service reports now and exports the texts the
# Home tab must show for it. The service's newest reading changes each
# minute, so this waits until at least 30 seconds of the minute are left for
# the client to start, sign in and download it.
while [ "$((10#$(date -u +%S)))" -gt 30 ]; do
  sleep 1
done
signed_in=$(call /session "name=demo&password=demo")
token=$(printf '%s' "$signed_in" | sed -n 's/.*"token":"\([0-9a-f]*\)".*/\1/p')
zone=$(printf '%s' "$signed_in" | sed -n 's/.*"timeZoneArea":"\([^"]*\)".*/\1/p')
[ -n "$token" ] && [ -n "$zone" ] || fail "could not sign in to read the battery state: $signed_in"
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
# Where the newest sample lies on today's battery graph, in window points:
# the day runs from x 15 to 255, 0 % is at y 385 and 110 % at y 77.5.
minutes=$(TZ=$zone date +%H:%M | awk -F: '{ print $1 * 60 + $2 }')
E2E_NOW_X=$(awk -v m="$minutes" 'BEGIN { printf("%.0f", 15 + 240 * m / 1440) }')
E2E_NOW_Y=$(awk -v p="$percentage" 'BEGIN { printf("%.0f", 385 - p / 110 * 307.5) }')
export E2E_NOW_X E2E_NOW_Y
# The tallest of today's hourly energy bars on the home energy graph: where a
# tap selects it (a little above the baseline, a quarter of an hour into its
# block) and the text its selection shows.
midnight_ms=$(( $(TZ=$zone date -d "today 00:00" +%s) * 1000 ))
now_ms=$(( $(date +%s) * 1000 ))
energy=$(fetch "/api/energyconsumption?device_id=battery&from=$midnight_ms&to=$now_ms&block=CLOCK_HOUR&token=$token")
tallest=$(printf '%s' "$energy" | jq -r '[.energyConsumptions[]] | max_by(.energyConsumed) | "\(.from) \(.energyConsumed)"')
read -r tallest_from tallest_kwh <<<"$tallest"
[ -n "$tallest_kwh" ] && [ "$tallest_kwh" != null ] || fail "no energy blocks for today: $energy"
E2E_ENERGY_X=$(awk -v f="$tallest_from" -v m="$midnight_ms" 'BEGIN { printf("%.0f", 15 + 240 * ((f - m) / 1000 + 900) / 86400) }')
E2E_ENERGY_Y=380
E2E_ENERGY_TEXT=$(perl -e 'printf("%.4f kWh", unpack("f", pack("f", $ARGV[0])))' "$tallest_kwh")
export E2E_ENERGY_X E2E_ENERGY_Y E2E_ENERGY_TEXT
echo "today's tallest energy bar: $E2E_ENERGY_TEXT at x $E2E_ENERGY_X"
