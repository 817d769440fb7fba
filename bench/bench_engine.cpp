// Benchmarks of the computation on evenly spaced grids (the cases of
// cases.h), at 1 and 2 threads:
//   BM_Warm/<case>/<threads>: coefficients in and every transform, on a
//     results array that is allocated and touched once (no first-touch cost);
//     counters: transform GFLOP/s (2 flops per multiply-add, basis time
//     excluded), basis seconds, whole GFLOP/s.
//   BM_Cold/<case>/<threads>: Compute() as the program calls it, a fresh
//     results array every time (page faults of its first touch included).
//   BM_CancelLatency/<case>/<threads>: how long Compute takes to return
//     after its progress callback asks it to stop (latency_ms, the worst).
#include <benchmark/benchmark.h>

#include <chrono>

#include "cases.h"
#include "engine/compute.h"
#include "output/result_lines.h"
#include "warm_run.h"

namespace {

using tabulor::Dimension;

void BM_Warm(benchmark::State& state, const bench::Case* c) {
  const int threads = static_cast<int>(state.range(0));
  bench::WarmRun run(*c, threads);
  double basis = 0, total = 0;
  for (auto _ : state) {
    run.transformer().ResetStats();
    if (!run.Run()) state.SkipWithError("transform failed");
    basis += run.transformer().stats().basis_seconds;
    total += run.transformer().stats().seconds;
    benchmark::DoNotOptimize(run.results().data());
  }
  const double iters = static_cast<double>(state.iterations());
  const double flops = 2 * bench::MultiplyAdds(*c);
  state.counters["transform_GFLOPs"] = flops * iters / (total - basis) / 1e9;
  state.counters["basis_s"] = basis / iters;
  state.counters["GFLOPs"] = benchmark::Counter(flops * iters / 1e9, benchmark::Counter::kIsRate);
}

void BM_Cold(benchmark::State& state, const bench::Case* c) {
  Dimension m;
  bench::FillModel(m, *c);
  tabulor::ComputeOptions options;
  options.threads = static_cast<int>(state.range(0));
  for (auto _ : state) {
    auto r = tabulor::Compute(m, nullptr, options);
    if (r.outcome != tabulor::ComputeOutcome::Ok) state.SkipWithError(r.message.c_str());
    benchmark::DoNotOptimize(m.Results.data());
    state.PauseTiming();
    m.Results.Clear();  // the next run starts from fresh memory again
    state.ResumeTiming();
  }
  state.counters["GFLOPs"] = benchmark::Counter(
      2 * bench::MultiplyAdds(*c) * static_cast<double>(state.iterations()) / 1e9, benchmark::Counter::kIsRate);
}

// How long Compute takes to return once progress asks it to stop (asked
// 100 ms into the computation): the counter latency_ms.
void BM_CancelLatency(benchmark::State& state, const bench::Case* c) {
  Dimension m;
  bench::FillModel(m, *c);
  tabulor::ComputeOptions options;
  options.threads = static_cast<int>(state.range(0));
  double worst = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point asked{};
    auto r = tabulor::Compute(
        m,
        [&](std::uint64_t, std::uint64_t) {
          if (asked != std::chrono::steady_clock::time_point{}) return false;
          if (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(100)) return true;
          asked = std::chrono::steady_clock::now();
          return false;
        },
        options);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - asked).count();
    if (r.outcome != tabulor::ComputeOutcome::Cancelled) state.SkipWithError("not cancelled");
    worst = std::max(worst, ms);
  }
  state.counters["latency_ms"] = worst;
}

void BM_ListLines(benchmark::State& state) {
  Dimension m;
  bench::FillModel(m, {"list", {{true, 10, 1000, 0, -1, 1, 0, 1}, {true, 10, 1000, 0, -1, 1, 0, 1}}});
  tabulor::Compute(m);
  tabulor::ResultLines lines(m);
  std::int64_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(lines.line(i));
    i = (i + 7919) % lines.count();
  }
}

int Register() {
  for (const std::string name : {"S1", "S1T", "S2", "S3", "S4"}) {
    const bench::Case* c = bench::FindCase(name);
    const int iterations = name == "S1T" || name == "S4" ? 2 : 5;
    benchmark::RegisterBenchmark(("BM_Warm/" + name).c_str(), BM_Warm, c)
        ->Arg(1)
        ->Arg(2)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(iterations);
    benchmark::RegisterBenchmark(("BM_Cold/" + name).c_str(), BM_Cold, c)
        ->Arg(1)
        ->Arg(2)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(name == "S1T" ? 1 : 2);
  }
  for (const std::string name : {"S1T", "S3", "S4"})
    benchmark::RegisterBenchmark(("BM_CancelLatency/" + name).c_str(), BM_CancelLatency, bench::FindCase(name))
        ->Arg(1)
        ->Arg(2)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(3);
  benchmark::RegisterBenchmark("BM_ListLines", BM_ListLines);
  return 0;
}

const int registered = Register();

}  // namespace

BENCHMARK_MAIN();
