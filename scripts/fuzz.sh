#!/usr/bin/env bash
# Builds the libFuzzer targets with clang-14 into build-fuzz/, replays the
# kept regression inputs, then fuzzes each target for SECONDS seconds
# (default 60) starting from the seed corpora in fuzz/corpus/.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# New inputs go to build-fuzz/corpus/<target>/ (the seeds in the repository
# stay small); a crash, leak, timeout or sanitizer report is written to
# build-fuzz/artifacts/<target>/ and makes the script fail. Copy such an
# input to fuzz/regressions/<target>/ once it is fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then targets=(series grid number fields compute); fi

CC=clang-14 CXX=clang++-14 cmake -S fuzz -B build-fuzz -G Ninja >/dev/null
if ! cmake --build build-fuzz -- -j2 >build-fuzz/build.log 2>&1; then
  tail -n 30 build-fuzz/build.log >&2
  echo "fuzz build failed" >&2
  exit 1
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for t in "${targets[@]}"; do
  bin=build-fuzz/fuzz_$t
  work=build-fuzz/corpus/$t
  artifacts=build-fuzz/artifacts/$t
  mkdir -p "$work" "$artifacts"
  # The regression inputs, once each.
  if compgen -G "fuzz/regressions/$t/*" >/dev/null; then
    if ! "$bin" -runs=1 fuzz/regressions/$t/* >"build-fuzz/replay_$t.log" 2>&1; then
      echo "fuzz_$t: a regression input fails again; see build-fuzz/replay_$t.log" >&2
      status=1
      continue
    fi
  fi
  log=build-fuzz/fuzz_$t.log
  if "$bin" "$work" "fuzz/corpus/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=4096 -print_final_stats=1 -artifact_prefix="$artifacts/" >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    echo "fuzz_$t: ${runs} executions in ${seconds} s, no failure"
  else
    echo "fuzz_$t: FAILED; see $log and $artifacts/" >&2
    grep -m1 -E 'ERROR|check failed|runtime error' "$log" >&2 || true
    status=1
  fi
done
exit $status
