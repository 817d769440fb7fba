#!/usr/bin/env bash
# Takes docs/screenshot-plot.png: the plot window's colour map of
# examples/wave.ser computed on a 60 x 40 grid, under a virtual X display.
# The plot window test draws it and saves the window's picture when
# TABULOR_PLOT_SCREENSHOT names a file.
# Usage: scripts/plot_screenshot.sh [build folder]   (default: build; built if needed)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
test_bin="$dir/src/ui/ui_test_plot_window"
if [ ! -x "$test_bin" ]; then
  scripts/setup.sh
  scripts/build.sh "$dir"
fi
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing: run scripts/setup.sh" >&2; exit 1; }
mkdir -p docs
out="$PWD/docs/screenshot-plot.png"
rm -f "$out"
# The point as decimal separator; the xcb platform, not offscreen, so the
# window is drawn with the desktop style and fonts.
env -u QT_QPA_PLATFORM LC_ALL=C.UTF-8 TABULOR_PLOT_SCREENSHOT="$out" \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$test_bin" screenshotOfATwoVariableMap >/dev/null
[ -s "$out" ] || { echo "no picture was written" >&2; exit 1; }
echo "wrote docs/screenshot-plot.png"
