# The service holds the activity exactly once, with one occurrence: nothing
# was lost and nothing was recorded twice. Sourced by run-against-sim.sh;
# CHECK_ACTIVITY names the activity.
token=$(session_token demo demo)
entry=$(fetch "/api/activity?token=$token" | grep -o "{[^{}]*\"title\":\"$CHECK_ACTIVITY\"[^{}]*}" || true)
[ -n "$entry" ] || fail "the service does not list the activity \"$CHECK_ACTIVITY\""
[ "$(printf '%s\n' "$entry" | wc -l)" = 1 ] || fail "the service lists \"$CHECK_ACTIVITY\" more than once: $entry"
printf '%s' "$entry" | grep -q '"count":1[,}]' || fail "\"$CHECK_ACTIVITY\" was not recorded exactly once: $entry"
