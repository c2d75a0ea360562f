#!/usr/bin/env bash
# Builds Wellvox and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "Wellvox is built (build/release/app/wellvox) but there is no display to show its window on:"
  echo "DISPLAY and WAYLAND_DISPLAY are not set. Start it from a desktop session, or under a virtual"
  echo "display with:  xvfb-run -a scripts/run.sh"
  exit 1
fi
exec build/release/app/wellvox "$@"
