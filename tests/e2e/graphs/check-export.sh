# The files the export wrote into the profile's documents folder (by
# default two home energy weeks and a power-draw week), each week with its
# day's picture. Every
# check is against the day in the file's own name (the day the screen
# showed), so it holds at any hour: the first line is midnight six days
# before that day, in the household's zone, with its offset.
zone=$(call /session "name=demo&password=demo" | jq -r '.currentUser.household.timeZoneArea')
[ -n "$zone" ] && [ "$zone" != null ] || fail "the service names no zone for the demo household"
folder="$work/profile/Documents/Hestio"
[ -d "$folder" ] || fail "no folder $folder"
names=$(cd "$folder" && ls)
count() { printf '%s\n' "$names" | grep -c "$1" || true; }
# EXPORTED="NAME=COUNT ...": how many exports of each graph (by the start
# of the files' names) the scripts made.
total=0
for expected in ${EXPORTED:-home-energy=2 washing-machine-power=1}; do
  graph=${expected%=*}
  for extension in csv png; do
    [ "$(count "^$graph-[0-9-]*\\.$extension\$")" = "${expected#*=}" ] ||
      fail "expected ${expected#*=} $graph .$extension files, found: $names"
  done
  total=$((total + 2 * ${expected#*=}))
done
[ "$(printf '%s\n' "$names" | wc -l)" = "$total" ] || fail "unexpected files: $names"
[ -z "$(cd "$folder" && ls -A | grep '^\.')" ] || fail "hidden files left behind: $(ls -A "$folder")"

local_time() { # local_time DATE-TEXT: ISO 8601 with the zone's offset
  TZ=$zone date -d "$1" +%Y-%m-%dT%H:%M:%S%:z
}
now=$(date +%s)
for csv in "$folder"/*.csv; do
  name=$(basename "$csv" .csv)
  day=${name: -10}
  unit=kWh
  case $name in washing-machine-power-*) unit=W ;; esac
  png="$folder/$name.png"
  [ -f "$png" ] || fail "$name: no picture beside the week"
  # The PNG signature and a header of 640 × 734 pixels (320 × 367 points).
  header=$(od -An -tx1 -N24 "$png" | tr -d ' \n')
  [ "$header" = 89504e470d0a1a0a0000000d4948445200000280000002de ] || fail "$name.png: header $header"
  # Lines end in CR LF; the header, then the week's first line at midnight
  # six days before the shown day, then only lines of this unit.
  [ "$(head -c 17 "$csv" | od -An -c | tr -d ' \n')" = 'time,value,unit\r\n' ] || fail "$name: header $(head -1 "$csv")"
  first=$(sed -n 2p "$csv" | tr -d '\r')
  start=$(local_time "$day -6 days 00:00")
  [ "${first%%,*}" = "$start" ] || fail "$name: the first line is [$first], expected the time $start"
  lines=$(($(wc -l <"$csv") - 1))
  [ "$(tail -n +2 "$csv" | grep -cv "^[0-9T:+-]*,[-0-9.e+]*,$unit"$'\r'"\$")" = 0 ] ||
    fail "$name: lines not of the form time,value,$unit: $(tail -n +2 "$csv" | grep -v ",$unit"$'\r'"\$" | head -3)"
  times=$(tail -n +2 "$csv" | cut -d, -f1 | TZ=UTC date -f - +%s)
  last=$(printf '%s\n' "$times" | tail -1)
  end=$(TZ=$zone date -d "$day +1 day 00:00" +%s)
  [ "$last" -lt "$end" ] && [ "$last" -le "$now" ] || fail "$name: the last line lies past the week or now"
  if [ "$unit" = kWh ]; then
    # One line an hour, with a block or empty: no hour left out.
    gaps=$(printf '%s\n' "$times" | awk 'NR > 1 && $1 - previous != 3600 { print previous " " $1 } { previous = $1 }')
    [ -z "$gaps" ] || fail "$name: hours not one after another: $gaps"
    [ "$lines" -ge $((6 * 24)) ] || fail "$name: only $lines hours"
    # A week that is over has every one of its hours (167 to 169).
    week_start=$(TZ=$zone date -d "$day -6 days 00:00" +%s)
    if [ "$end" -le "$now" ] && [ "$lines" != $(((end - week_start) / 3600)) ]; then
      fail "$name: $lines hours, expected $(((end - week_start) / 3600))"
    fi
  else
    # A sample a minute: at least six whole days of them, in time order.
    [ "$lines" -ge $((6 * 24 * 60)) ] || fail "$name: only $lines samples"
    unordered=$(printf '%s\n' "$times" | awk 'NR > 1 && $1 < previous { print } { previous = $1 }')
    [ -z "$unordered" ] || fail "$name: samples out of order"
  fi
  echo "$name: $lines lines from $first"
done
