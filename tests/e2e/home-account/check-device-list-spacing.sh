# The device list's requests reached the service at least as far apart as
# each of their answers was held back (E2E_DELAY seconds): the client sent
# none while another was on its way.
times=$(sed -n 's|^\[\([0-9.]*\)\] fault-proxy: GET [^ ]*/api/device[?].*action=true.* -> delay$|\1|p' "$work/proxy.log")
count=$(printf '%s\n' "$times" | grep -c .)
[ "$count" -ge 3 ] || fail "the Home tab asked for the device list $count times: $(cat "$work/proxy.log")"
printf '%s\n' "$times" | awk -v least="$E2E_DELAY" '
  NR > 1 && $1 - previous < least { printf("two requests %.3f s apart\n", $1 - previous); spoiled = 1 }
  { previous = $1 }
  END { exit spoiled }' || fail "a device-list request went out while another was on its way: $(cat "$work/proxy.log")"
echo "$count device-list requests, each after the last one's answer"
