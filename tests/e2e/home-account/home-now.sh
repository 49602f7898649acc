# Keeps a tariff for demo in the client's profile before its first start
# (0.30 EUR a kWh), then waits for the start of a minute: the Home tab's
# first reading falls in this minute on the household's clock
# (E2E_NOW_MINUTE), and, the tab staying on screen, a later one in the next
# (E2E_NEXT_MINUTE), both as "h:mm", the way the client's locale writes them.
mkdir -p "$work/profile/config"
cat >"$work/profile/config/UserDefaults.plist" <<'PLIST'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>tariff.demo</key>
	<dict>
		<key>currency</key>
		<string>EUR</string>
		<key>pricePerKWh</key>
		<real>0.3</real>
	</dict>
</dict>
</plist>
PLIST
signed_in=$(call /session "name=demo&password=demo")
zone=$(printf '%s' "$signed_in" | sed -n 's/.*"timeZoneArea":"\([^"]*\)".*/\1/p')
[ -n "$zone" ] || fail "could not sign in to read the household's zone: $signed_in"
second=$((10#$(date -u +%S)))
[ "$second" -le 10 ] || sleep "$((60 - second))"
E2E_NOW_MINUTE=$(TZ=$zone date +%-I:%M)
E2E_NEXT_MINUTE=$(TZ=$zone date -d "+1 minute" +%-I:%M)
export E2E_NOW_MINUTE E2E_NEXT_MINUTE
echo "the first reading falls at $E2E_NOW_MINUTE, a later one at $E2E_NEXT_MINUTE"
