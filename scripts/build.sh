#!/usr/bin/env bash
# Configures and builds into build/ (or the folder given as $1 with extra
# CMake options after it).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$dir" -- -k 0 2>&1 | tail -n 30 >&2 || { echo "build failed" >&2; exit 1; }
