# The service logs the activity under its exact title, recorded twice.
token=$(session_token demo demo)
activity=$(fetch "/api/activity?token=$token" | jq -c '.activities[] | {title, count}')
[ "$activity" = '{"title":"Watered the plants & herbs","count":2}' ] || fail "the service logs activities $activity"
