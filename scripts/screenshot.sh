#!/usr/bin/env bash
# Takes docs/screenshot-main.png: the window after examples/wave.ser has been
# opened and computed, under a virtual X display.
# Usage: scripts/screenshot.sh [build folder]   (default: build; built if needed)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
if [ ! -x "$dir/tabulor-demo" ]; then
  scripts/setup.sh
  scripts/build.sh "$dir"
fi
for tool in Xvfb import convert; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/setup.sh" >&2; exit 1; }
done
mkdir -p docs

display=":$(( 90 + RANDOM % 100 ))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X${display#:}" ] && break
  sleep 0.1
done

# The point as decimal separator, so no question comes up; the splash takes
# about three seconds, then tabulor-demo opens the file and computes.
DISPLAY=$display LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb "$dir/tabulor-demo" examples/wave.ser &
app_pid=$!
sleep 6
DISPLAY=$display import -window root docs/screenshot-main.png
# Only the window: the empty screen around it goes.
convert docs/screenshot-main.png -trim +repage docs/screenshot-main.png
echo "wrote docs/screenshot-main.png"
