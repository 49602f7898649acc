# After the first run demo's password changes elsewhere, so the stored one
# is refused at the next launch. After the second, no picture of it shows
# any of demo's texts (the view tree written beside each picture is what
# the screen shows), and only sam's kept lists are left.
if [ "$index" = 1 ]; then
  [ -f "$work/profile/cache/demo/devices.reply" ] || fail "the first run kept no device list of demo"
  token=$(session_token demo demo)
  call /api/user "name=demo&password=demo&new_password=changed&token=$token" | grep -q '"success":true' ||
    fail "could not change demo's password"
fi
if [ "$index" = 2 ]; then
  shots=("$work"/shots/*.txt)
  [ "${#shots[@]}" -ge 7 ] || fail "only ${#shots[@]} views of the screen were kept"
  while IFS= read -r text; do
    for shot in "${shots[@]}"; do
      # The texts a view shows are the quoted parts of its line.
      grep -o '"[^"]*"' "$shot" | grep -qF -- "$text" && fail "$(basename "$shot") shows demo's \"$text\""
    done
  done <"$work/demo-texts.txt"
  grep -qF "Koi Pond Pump" "$work/shots/4-devices.txt" || fail "sam's own device did not show"
  [ -e "$work/profile/cache/demo" ] && fail "demo's kept lists are still there: $(ls "$work/profile/cache/demo")"
  [ -f "$work/profile/cache/sam/devices.reply" ] || fail "sam's device list was not kept"
  head -n 1 "$work/profile/cache/sam/devices.reply" | grep -q ' sam$' || fail "sam's kept list does not name sam"
  [ "$(stat -c %a "$work/profile/cache")" = 700 ] || fail "the cache folder is open to others"
  [ "$(stat -c %a "$work/profile/cache/sam/devices.reply")" = 600 ] || fail "a kept list is open to others"
fi
