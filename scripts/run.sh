#!/usr/bin/env bash
# Builds Wellvox and starts it. Without a display it stops after the build and says so.
# The program keeps its settings and data in the per-user data folder (~/.local/share/Wellvox,
# or $XDG_DATA_HOME/Wellvox), not in the build tree; $WELLVOX_HOME names another folder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release

# An earlier version kept the settings beside the executable. A Config folder there makes the
# build folder a portable home, which a clean rebuild deletes: say so, move nothing.
for entry in build/release/app/*; do
  if [ -d "$entry" ] && [ "$(basename "$entry" | tr '[:upper:]' '[:lower:]')" = config ]; then
    echo "Note: build/release/app holds $(basename "$entry")/ from an earlier run, so the program keeps its"
    echo "settings and data there, and a clean rebuild deletes them. To keep them, move Config, Data and"
    echo "the .wv4 site files of build/release/app to ${XDG_DATA_HOME:-~/.local/share}/Wellvox."
  fi
done

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "Wellvox is built (build/release/app/wellvox) but there is no display to show its window on:"
  echo "DISPLAY and WAYLAND_DISPLAY are not set. Start scripts/run.sh again from a desktop session"
  echo "(or over ssh -X), or try it on a virtual display with:  xvfb-run -a scripts/run.sh"
  command -v xvfb-run >/dev/null || echo "(xvfb-run comes with the package xvfb: sudo apt-get install xvfb)"
  exit 1
fi
exec build/release/app/wellvox "$@"
