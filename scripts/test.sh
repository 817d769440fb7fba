#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j2

# Every test again, built with AddressSanitizer and UndefinedBehaviorSanitizer
# (-O1 with line tables only, which halves the build time; no benchmarks). Leaks inside third-party libraries are suppressed by
# tests/lsan.supp, each one named and explained there.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
  -DTABULOR_SANITIZE=ON -DTABULOR_BUILD_BENCH=OFF >/dev/null
if ! cmake --build build-asan -- -j2 -k 0 >build-asan/build.log 2>&1; then
  tail -n 40 build-asan/build.log >&2
  echo "sanitizer build failed" >&2
  exit 1
fi
ASAN_OPTIONS=detect_leaks=1 \
LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j2

# A short fuzz run: the kept regression inputs, then 12 seconds per target.
scripts/fuzz.sh 12
