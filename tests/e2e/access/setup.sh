# Sourced by run-against-sim.sh before the app starts: a private session bus
# with the accessibility bus's launcher on it (as a desktop has), and the
# screen reader's stand-in (client.py) started against it. The app finds the
# accessibility bus through the session bus, as it would on a desktop.
# Without the bus programs the test is skipped (77), not failed.
launcher=/usr/libexec/at-spi-bus-launcher
python=/usr/bin/python3
for program in dbus-daemon "$launcher" /usr/libexec/at-spi2-registryd; do
  command -v "$program" >/dev/null || { echo "skipped: $program is not installed (scripts/bootstrap installs it)"; exit 77; }
done
"$python" -c 'import pyatspi' 2>/dev/null || { echo "skipped: python3-pyatspi is not installed (scripts/bootstrap)"; exit 77; }

access_pids=()
access_cleanup() {
  # What the client saw, when the app's script failed before check.sh.
  [ -z "${client_checked:-}" ] && [ -s "$work/client.log" ] && cat "$work/client.log" >&2
  for pid in "${access_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -n "${bus_pid:-}" ] && kill "$bus_pid" 2>/dev/null || true
}
trap 'access_cleanup; cleanup' EXIT

{ read -r DBUS_SESSION_BUS_ADDRESS; read -r bus_pid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS
unset AT_SPI_BUS_ADDRESS NO_AT_BRIDGE DISPLAY WAYLAND_DISPLAY
# The launcher puts the accessibility bus's socket here: one per test run.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
"$launcher" --launch-immediately --a11y=1 >"$work/launcher.log" 2>&1 &
access_pids+=($!)
for _ in $(seq 1 100); do
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q "boolean true" && break
  sleep 0.05
done
"$python" "$E2E_DIR/client.py" >"$work/client.log" 2>&1 &
client_pid=$!
access_pids+=("$client_pid")
