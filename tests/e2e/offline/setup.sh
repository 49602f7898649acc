# The demo user has a schedule "Office" and an activity "Watered the ferns"
# before the client starts, so every list has something to keep.
token=$(session_token demo demo)
call /api/schedule "title=Office&startHour=8&startMin=0&endHour=17&endMin=30&repeatDays=&token=$token" |
  grep -q '"success":true' || fail "could not create the schedule Office"
stamp=$(($(date +%s) * 1000))
call /api/activity "new=true&activity=Watered%20the%20ferns&timestamp=$stamp&token=$token" |
  grep -q '"success":true' || fail "could not create the activity Watered the ferns"
# The offline script's screenshot lands here; the service comes back once it
# is there.
SHOTS=$work
