# sam gets a household of their own, with one device no one else has, so
# that any of demo's names on sam's screens is a leak. The service stops
# while its database is changed.
stop_sim
sqlite3 "$work/sim/hestio-hub.db" <<'SQL'
INSERT INTO households (name, time_zone) VALUES ('The Sams', 'America/New_York');
UPDATE users SET household_id = (SELECT id FROM households WHERE name = 'The Sams') WHERE name = 'sam';
INSERT INTO rooms (household_id, name) SELECT id, 'Boathouse' FROM households WHERE name = 'The Sams';
INSERT INTO devices (household_id, room_id, name, kind, meter_plugged_in, left_on, reports_until_ms)
  SELECT r.household_id, r.id, 'Koi Pond Pump', d.kind, d.meter_plugged_in, d.left_on, d.reports_until_ms
  FROM rooms r, households h, devices d
  WHERE h.name = 'The Sams' AND r.household_id = h.id AND r.name = 'Boathouse' AND d.name = 'Heater';
SQL
start_sim "$port"
token=$(session_token demo demo)
call /api/schedule "title=Office&startHour=8&startMin=0&endHour=17&endMin=30&repeatDays=&token=$token" |
  grep -q '"success":true' || fail "could not create the schedule Office"
call /api/activity "new=true&activity=Watered%20the%20ferns&timestamp=$(($(date +%s) * 1000))&token=$token" |
  grep -q '"success":true' || fail "could not create the activity Watered the ferns"
# Every text of demo's lists that sam must never see.
{
  fetch "/api/device?action=true&token=$token" | jq -r '.devices[] | .name, .location'
  echo Office
  echo "Watered the ferns"
} | sort -u >"$work/demo-texts.txt"
[ "$(wc -l <"$work/demo-texts.txt")" -ge 5 ] || fail "demo's household has too few names to compare with"
grep -qx "Koi Pond Pump" "$work/demo-texts.txt" && fail "sam's device is demo's too"
fetch "/api/device?action=true&token=$(session_token sam sam)" | jq -e '[.devices[].name] == ["Koi Pond Pump"]' \
  >/dev/null || fail "sam's household is not sam's alone"
SHOTS=$work/shots
