#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build
if [ -x build/tabulor ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/tabulor "$@"
fi
echo "No display: evaluating examples/poly.ser with tabulor-batch instead of opening the window." >&2
exec build/tabulor-batch examples/poly.ser
