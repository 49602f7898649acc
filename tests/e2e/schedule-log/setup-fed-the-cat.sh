# The demo user has logged "Fed the cat" once before the client starts.
token=$(session_token demo demo)
stamp=$(($(date +%s) * 1000))
call /api/activity "new=true&activity=Fed%20the%20cat&timestamp=$stamp&token=$token" | grep -q '"success":true' ||
  fail "could not create the activity Fed the cat"
call /api/activity "activity=Fed%20the%20cat&timestamp=$stamp&token=$token" | grep -q '"success":true' ||
  fail "could not record Fed the cat"
