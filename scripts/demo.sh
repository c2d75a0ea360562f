#!/usr/bin/env bash
# Tries Wellvox without an instrument: builds everything (as scripts/run.sh does), starts
# the instrument simulator with a level logger and a sonde that hold data files, makes a
# program home of the demo's own, registers the simulator's pseudo-terminal there as COM1
# and starts the program in that home. The simulator stops when the program exits.
#
# The home is a new temporary folder, kept afterwards; name one in WELLVOX_DEMO_HOME to
# start in it again (the site saved at exit, Home.wv4, then reopens). Arguments are passed
# to the program.
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
mkdir -p "$demo/home/Config" "$demo/config" "$demo/files"
demo=$(cd "$demo" && pwd)
# The program's home and the user's settings both live in the demo folder.
export WELLVOX_HOME="$demo/home"
export XDG_CONFIG_HOME="$demo/config"

# Data files of the instruments: test 1 on the level logger, tests 1 and 2 on the sonde.
make_file() { # path, size in bytes
  [ -s "$1" ] || head -c "$2" /dev/urandom >"$1"
}
make_file "$demo/files/level-01.bin" 6144
make_file "$demo/files/sonde-01.bin" 12288
make_file "$demo/files/sonde-02.bin" 2048

sim_out="$demo/simulator.out"
: >"$sim_out"
build/release/tools/instrument-sim/wv-instrument-sim \
  --device 1001:25:Level:19200 \
  --device 2002:30:Sonde:19200 \
  --file 1001:01="$demo/files/level-01.bin" \
  --file 2002:01="$demo/files/sonde-01.bin" \
  --file 2002:02="$demo/files/sonde-02.bin" \
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
