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
