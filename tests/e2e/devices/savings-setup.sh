# Which suggestion the first row of the list shows (rooms in byte order, the
# service's order within a room), so that the follow script can check it is
# the one it follows; and a flat tariff of EUR 0.30 a kWh for demo, written
# into the client's settings before its first run, so that the figure has
# its money part.
token=$(session_token demo demo)
first=$(fetch "/api/device?token=$token&suggestion=true&token=$token" | jq -c '
  [.devices[] | . as $d | .suggestions[] | {room: $d.location, id: .id, text: .name, device: $d.name}]
  | to_entries | sort_by(.value.room, .key) | .[0].value // empty')
[ -n "$first" ] || fail "the demo household has no suggestion to follow now"
FIRST_ID=$(jq -r .id <<<"$first")
# The start of the text: the row's label shows it whole or cut short.
FIRST_TEXT=$(jq -r '.text[0:24]' <<<"$first")
FIRST_DEVICE=$(jq -r .device <<<"$first")
echo "following suggestion $FIRST_ID of the $FIRST_DEVICE: $(jq -r .text <<<"$first")"
FIGURE=""
LIST_FIRST=""
NOTE=""
mkdir -p "$work/profile/config"
cat >"$work/profile/config/UserDefaults.plist" <<'PLIST'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>
<key>tariff.demo</key><dict><key>currency</key><string>EUR</string><key>pricePerKWh</key><real>0.3</real></dict>
</dict></plist>
PLIST
