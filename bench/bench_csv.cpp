// CSV export speed: the text of 10^7 grid points handed to a sink that
// only counts, so the figure is the formatting rate, not the disk's.
#include <benchmark/benchmark.h>

#include <memory>

#include "output/csv_export.h"

namespace {

using tabulor::Dimension;

std::unique_ptr<Dimension> MakeModel(std::int64_t n0, std::int64_t n1) {
  auto m = std::make_unique<Dimension>();
  m->LastVar = n1 > 1 ? 1 : 0;
  m->VarName = {"t", "y", "", ""};
  m->LastPoint = {static_cast<std::int32_t>(n0 - 1), static_cast<std::int32_t>(n1 - 1), 0, 0};
  m->LastPt = m->LastPoint;
  for (int v = 0; v < 2; ++v) {
    std::int64_t n = v == 0 ? n0 : n1;
    m->GridX[v].resize(static_cast<std::size_t>(n));
    for (std::int64_t i = 0; i < n; ++i)
      m->GridX[v][static_cast<std::size_t>(i)] =
          n > 1 ? -1.0 + 2.0 * static_cast<double>(i) / static_cast<double>(n - 1) : 0.0;
  }
  m->GridX[2] = m->GridX[3] = {0.0};
  m->Results.Allocate({n0, n1, 1, 1});
  double* p = m->Results.data();
  for (std::int64_t i = 0; i < n0 * n1; ++i) p[i] = 1.0 / static_cast<double>(3 + i % 1009) - 0.125;
  m->ResultsReady = true;
  return m;
}

void RunExport(benchmark::State& state, const Dimension& m) {
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    auto r = tabulor::WriteCsvTo(m, [&](const char*, std::size_t n) {
      bytes += n;
      return true;
    });
    if (!r.ok) state.SkipWithError(r.message.c_str());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  state.counters["rows/s"] = benchmark::Counter(
      static_cast<double>(m.Results.size()) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_CsvTwoVariables1e7(benchmark::State& state) {
  static auto m = MakeModel(4000, 2500);
  RunExport(state, *m);
}

void BM_CsvOneVariable1e7(benchmark::State& state) {
  static auto m = MakeModel(10000000, 1);  // grid texts formatted row by row
  RunExport(state, *m);
}

BENCHMARK(BM_CsvTwoVariables1e7)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CsvOneVariable1e7)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
