#!/usr/bin/env bash
# Builds Wellvox and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
if [ -x build/release/app/wellvox ]; then
  exec build/release/app/wellvox "$@"
fi
echo "Wellvox has no program window yet: the protocol core, the foundation library and the"
echo "instrument simulator are built. Start a simulated instrument with:"
echo "  build/release/tools/instrument-sim/wv-instrument-sim --help"
