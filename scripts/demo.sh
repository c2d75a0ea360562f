#!/usr/bin/env bash
# Tries Wellvox without an instrument: builds everything (as scripts/run.sh does), starts
# the instrument simulator with a level logger and a sonde that hold tests (complete, ended
# abnormally, running and pending, with their data files), makes a
# program home of the demo's own, registers the simulator's pseudo-terminal there as COM1
# and starts the program in that home. The simulator stops when the program exits.
#
# The home is a new temporary folder, kept afterwards; name one in WELLVOX_DEMO_HOME to
# start in it again (the site saved at exit, Home.wv4, then reopens). Arguments are passed
# to the program; WELLVOX_DEMO_SIM_ARGS adds options to the simulator's command line (for
# example "--info 2002:battery=2.42" gives the sonde an almost empty battery, 3 %).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target wellvox wv-instrument-sim

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "Wellvox is built but there is no display to show its window on: DISPLAY and WAYLAND_DISPLAY"
  echo "are not set. Start it from a desktop session, or under a virtual display with:"
  echo "  xvfb-run -a scripts/demo.sh"
  exit 1
fi

demo=${WELLVOX_DEMO_HOME:-$(mktemp -d -t wellvox-demo-XXXXXX)}
mkdir -p "$demo/home/Config" "$demo/config"
demo=$(cd "$demo" && pwd)
# The program's home and the user's settings both live in the demo folder.
export WELLVOX_HOME="$demo/home"
export XDG_CONFIG_HOME="$demo/config"

# Both instruments with their full set of sensors (the sonde one of every parameter kind).
# The tests of the instruments, their samples one minute apart up to now: on the level
# logger a complete week-end run, a running test and a pending one; on the sonde a complete
# run, one that ended abnormally, a running test, and one pending for a manual start and one
# for a scheduled start. A second level logger (1003) holds no test, so its device wizard can
# be opened (a device with a running test cannot be edited).
sim_out="$demo/simulator.out"
: >"$sim_out"
build/release/tools/instrument-sim/wv-instrument-sim \
  --device 1001:25:Level:19200 \
  --device 2002:30:Sonde:19200 \
  --device 1003:25:Spare:19200 \
  --profile 1001 --profile 2002 --profile 1003 \
  --test "1001:1:complete:2880:Weekend pumping" \
  --test "1001:2:running:90:Recovery" \
  --test "1001:3:pending:0:Next pump test" \
  --test "2002:1:complete:720:River survey" \
  --test "2002:2:abended:45:Battery low" \
  --test "2002:3:running:240:Dock monitor" \
  --test "2002:4:pending:0:Spare" \
  --test "2002:5:scheduled:0:Night run" \
  ${WELLVOX_DEMO_SIM_ARGS:-} \
  >"$sim_out" 2>"$demo/simulator.log" &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT

# The simulator prints its pseudo-terminal's path on its first line.
pty=""
for _ in $(seq 100); do
  pty=$(head -n 1 "$sim_out")
  [ -n "$pty" ] && break
  kill -0 "$sim_pid" 2>/dev/null || { cat "$demo/simulator.log" >&2; exit 1; }
  sleep 0.1
done
[ -n "$pty" ] || { echo "The instrument simulator did not start." >&2; exit 1; }

# COM1 in section Ports of the machine settings (Config/Registry.ini), other values kept.
registry="$WELLVOX_HOME/Config/Registry.ini"
touch "$registry"
awk -v path="$pty" '
  /^[ \t]*\[/ { inPorts = tolower($0) ~ /^[ \t]*\[ports\][ \t]*$/
                print
                if (inPorts && !done) { print "COM1=\"" path "\""; done = 1 }
                next }
  inPorts && tolower($0) ~ /^[ \t]*com1[ \t]*=/ { next }
  { print }
  END { if (!done) { print "[Ports]"; print "COM1=\"" path "\"" } }
' "$registry" >"$registry.new"
mv "$registry.new" "$registry"

echo "Instrument simulator on $pty (COM1): level logger 1001 and sonde 2002 at 19200 baud."
echo "Program home: $WELLVOX_HOME"
echo "Start in it again with: WELLVOX_DEMO_HOME=$demo scripts/demo.sh"
status=0
build/release/app/wellvox "$@" || status=$?
exit "$status"
