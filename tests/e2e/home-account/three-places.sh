# demo has three saved places before the client starts.
places_token=$(session_token demo demo)
for place in "Gym,40.750000,-73.990000" "Pool,40.600000,-73.900000" "Park,40.780000,-73.970000"; do
  IFS=, read -r title lat lon <<<"$place"
  call /api/location "title=$title&latitude=$lat&longitude=$lon&token=$places_token" >/dev/null
done
