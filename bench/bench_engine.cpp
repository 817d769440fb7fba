// Benchmarks of the computation on evenly spaced grids.
#include <benchmark/benchmark.h>

#include <cmath>

#include "engine/compute.h"
#include "model/grid_file.h"
#include "output/result_lines.h"

namespace {

using tabulor::Dimension;

struct VarSpec {
  bool power;
  int terms;
  int points;
  int der;
  double lo, hi, center, period;
};

Dimension MakeModel(const std::vector<VarSpec>& vars) {
  Dimension m;
  m.LastVar = static_cast<int>(vars.size()) - 1;
  std::size_t coeffs = 1;
  for (std::size_t v = 0; v < vars.size(); ++v) {
    const VarSpec& s = vars[v];
    m.VarName[v] = std::string(1, static_cast<char>('x' + v));
    m.IsPower[v] = s.power;
    m.LowerLimit[v] = s.lo;
    m.UpperLimit[v] = s.hi;
    m.Center[v] = s.center;
    m.Period[v] = s.period;
    m.LastTerm[v] = s.terms - 1;
    m.LastPoint[v] = s.points - 1;
    m.DerOrder[v] = s.der;
    m.EvenlySpaced[v] = true;
    coeffs *= static_cast<std::size_t>(s.terms);
  }
  m.Coefficients.resize(coeffs);
  for (std::size_t i = 0; i < coeffs; ++i) m.Coefficients[i] = 1.0 / static_cast<double>(1 + i % 97);
  return m;
}

void RunCase(benchmark::State& state, const std::vector<VarSpec>& vars) {
  Dimension m = MakeModel(vars);
  for (auto _ : state) {
    auto r = tabulor::Compute(m);
    if (r.outcome != tabulor::ComputeOutcome::Ok) state.SkipWithError(r.message.c_str());
    benchmark::DoNotOptimize(m.Results.data());
  }
  // Multiply-adds: runs x (M+1) x (N+1) summed over the variables.
  double madds = 0;
  std::array<double, 4> shape{1, 1, 1, 1};
  for (std::size_t v = 0; v < vars.size(); ++v) shape[v] = vars[v].terms;
  for (int v = static_cast<int>(vars.size()) - 1; v >= 0; --v) {
    double runs = 1;
    for (int u = 0; u < 4; ++u)
      if (u != v) runs *= shape[static_cast<std::size_t>(u)];
    madds += runs * vars[static_cast<std::size_t>(v)].points * vars[static_cast<std::size_t>(v)].terms;
    shape[static_cast<std::size_t>(v)] = vars[static_cast<std::size_t>(v)].points;
  }
  state.counters["GFLOPs"] = benchmark::Counter(2 * madds * static_cast<double>(state.iterations()) / 1e9,
                                                benchmark::Counter::kIsRate);
}

const double kTwoPi = 8 * std::atan(1.0);

void BM_S1(benchmark::State& s) { RunCase(s, {{true, 200, 1000000, 1, -1, 1, 0, kTwoPi}}); }
void BM_S1T(benchmark::State& s) { RunCase(s, {{false, 200, 1000000, 1, 0, kTwoPi, 0, kTwoPi}}); }
void BM_S2(benchmark::State& s) {
  RunCase(s, {{false, 100, 6000, 0, 0, kTwoPi, 0, kTwoPi}, {true, 100, 6000, 1, -1, 1, 0, kTwoPi}});
}
void BM_S3(benchmark::State& s) {
  RunCase(s, {{true, 60, 400, 0, -1, 1, 0, 1}, {false, 60, 400, 1, 0, 1, 0, 1}, {true, 60, 400, 2, 0, 2, 1, 1}});
}
void BM_S4(benchmark::State& s) {
  RunCase(s, {{false, 20, 100, 0, 0, kTwoPi, 0, kTwoPi},
              {true, 20, 100, 0, -1, 1, 0, kTwoPi},
              {false, 20, 100, 2, 0, kTwoPi, 0, kTwoPi},
              {true, 20, 100, 1, -1, 1, 0, kTwoPi}});
}

void BM_ListLines(benchmark::State& state) {
  Dimension m = MakeModel({{true, 10, 1000, 0, -1, 1, 0, 1}, {true, 10, 1000, 0, -1, 1, 0, 1}});
  tabulor::Compute(m);
  tabulor::ResultLines lines(m);
  std::int64_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(lines.line(i));
    i = (i + 7919) % lines.count();
  }
}

BENCHMARK(BM_S1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_S1T)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_S2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_S3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_S4)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ListLines);

}  // namespace

BENCHMARK_MAIN();
