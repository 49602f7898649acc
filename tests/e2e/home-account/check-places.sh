# The service lists exactly EXPECT_PLACES for demo; the client watches each
# of them and none of EXPECT_GONE.
listed=$(fetch "/api/location?token=$(session_token demo demo)" | grep -o '"title":"[^"]*"' |
  sed 's/"title":"\(.*\)"/\1/' | sort | tr '\n' ' ')
expected=$(printf '%s\n' $EXPECT_PLACES | sort | tr '\n' ' ')
[ "$listed" = "$expected" ] || fail "the service has the saved places '$listed', not '$expected'"
regions="$work/profile/data/regions"
for title in $EXPECT_PLACES; do
  grep -q "^$title " "$regions" || fail "$title is on the service but not watched"
done
for title in ${EXPECT_GONE:-}; do
  if grep -q "^$title " "$regions"; then fail "$title was deleted but is still watched"; fi
done
