# Reads the battery state the service reports now and exports the texts the
# Home tab must show for it. The service's newest reading changes each
# minute, so this waits until at least 30 seconds of the minute are left for
# the client to start, sign in and download it.
while [ "$((10#$(date -u +%S)))" -gt 30 ]; do
  sleep 1
done
token=$(session_token demo demo)
[ -n "$token" ] || fail "could not sign in to read the battery state"
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
