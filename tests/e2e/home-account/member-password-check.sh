# The service accepts sam's new password and no longer his old one.
[ -n "$(session_token sam sam-2nd)" ] || fail "the service refuses sam's new password"
[ -z "$(session_token sam sam)" ] || fail "the service still accepts sam's old password"
