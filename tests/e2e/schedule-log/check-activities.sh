# The service's activities are exactly CHECK_ACTIVITIES ("TITLE:COUNT|..."),
# nothing lost and nothing recorded twice.
token=$(session_token demo demo)
listed=$(fetch "/api/activity?token=$token" | jq -r '[.activities[] | "\(.title):\(.count)"] | sort | join("|")')
expected=$(tr '|' '\n' <<<"$CHECK_ACTIVITIES" | sort | paste -sd'|' -)
[ "$listed" = "$expected" ] || fail "the service lists activities \"$listed\", expected \"$expected\""
