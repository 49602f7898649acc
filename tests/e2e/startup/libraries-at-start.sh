#!/usr/bin/env bash
# A headless start to the login screen loads none of the libraries that
# screen does not need: each is opened when first used (the window, the
# network, the SVG pictures of the screens under it, the certificate reader,
# the secret service, the accessibility bridge). The dynamic loader's own
# trace says what was loaded.
#   libraries-at-start.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo 'wait-for "Sign In" 5' >"$work/login.txt"
if ! LD_DEBUG=files LD_DEBUG_OUTPUT="$work/loader" "$build/bin/hestio" --headless --profile "$work/profile" \
  --service-host localhost:1 --script "$work/login.txt" >"$work/out.txt" 2>&1; then
  cat "$work/out.txt" >&2
  exit 1
fi
loaded=$(cat "$work"/loader.* | sed -n 's/.*file=\([^ ]*\).*/\1/p' | sort -u)
if ! grep -q '^libcairo' <<<"$loaded"; then
  echo "the loader's trace names no library:" >&2
  cat "$work"/loader.* >&2
  exit 1
fi
status=0
for library in libSDL2 libcurl librsvg libcrypto libsecret libatk-bridge; do
  if grep -q "^$library" <<<"$loaded"; then
    echo "$library is loaded before the login screen needs it" >&2
    status=1
  fi
done
exit $status
