# After the last script: the proxy really rewrote the samples, and the value
# axis in the screenshot one day back ends inside the graph's panel (no label
# runs off its edge) and, when AXIS_LABELS is set, carries that many labels.
# Sourced by run-against-sim.sh; reads the screenshot with ImageMagick.
grep -q "rewrote [1-9][0-9]* values in the reply to /kivoraserver/api/status" "$work/proxy.log" ||
  fail "the proxy rewrote no power draw: $(tail -3 "$work/proxy.log")"
shot="$SHOTS/one-day-back.png"
[ -f "$shot" ] || fail "no screenshot at $shot"
# At two pixels a point the labels start at x = 528 and end before x = 616,
# between the plot's top (y = 150) and the time axis (y = 780).
edge=$(convert "$shot" -crop 16x630+616+150 -colorspace gray -format "%[fx:maxima]" info:)
awk -v v="$edge" 'BEGIN { exit !(v < 0.8) }' || fail "a value label runs to the edge of the graph's panel"
if [ -n "${AXIS_LABELS:-}" ]; then
  # Each label is a band of white rows in a strip at the labels' start.
  labels=$(convert "$shot" -crop 30x630+528+150 -colorspace gray -threshold 80% -scale 1x630! -threshold 1% txt:- |
    awk 'NR > 1 { bright = /#FFFFFF/; if (bright && !was) n++; was = bright } END { print n + 0 }')
  [ "$labels" = "$AXIS_LABELS" ] || fail "the value axis shows $labels labels, expected $AXIS_LABELS"
fi
