// Benchmarks of the two file formats: reading a series file's coefficient
// block and writing a grid file. Rates are bytes of the file per second
// (the files live in the page cache: this measures the program, not the disk).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "engine/compute.h"
#include "model/grid_file.h"
#include "model/number_text.h"
#include "model/series_file.h"

namespace {

std::string TempDir() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/tabulor-bench-XXXXXX";
    const char* d = mkdtemp(tmpl);
    return std::string(d ? d : "/tmp");
  }();
  return dir;
}

// A two-variable series with n0 x n1 coefficients of full precision (17
// significant digits, as a program writing doubles would).
std::string MakeSeriesFile(int n0, int n1) {
  const std::string path = TempDir() + "/bench_" + std::to_string(n0) + "x" + std::to_string(n1) + ".ser";
  std::ofstream f(path, std::ios::binary);
  f << "1,x,-1,1,*,#TRUE#,*," << n0 - 1 << ",y,0,6.283185307179586,0,#FALSE#,*," << n1 - 1 << ",#TRUE#\r\n";
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  char buf[40];
  for (long i = 0; i < static_cast<long>(n0) * n1; ++i) {
    int len = std::snprintf(buf, sizeof buf, "%.17g\r\n", dist(gen) * std::pow(10.0, static_cast<int>(i % 9) - 4));
    f.write(buf, len);
  }
  return path;
}

void BM_ReadSeriesCoefficients(benchmark::State& state) {
  const std::string path = MakeSeriesFile(2000, 1000);
  std::ifstream probe(path, std::ios::binary | std::ios::ate);
  const double bytes = static_cast<double>(probe.tellg());
  for (auto _ : state) {
    tabulor::Dimension m;
    m.Pi = 4 * std::atan(1.0);
    auto r = tabulor::ReadSeriesFile(m, path, nullptr);
    if (r.outcome != tabulor::SeriesReadOutcome::Ok) state.SkipWithError(r.message.c_str());
    benchmark::DoNotOptimize(m.Coefficients.data());
  }
  state.counters["MB_per_s"] =
      benchmark::Counter(bytes * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
  state.counters["file_MB"] = bytes / 1e6;
}

// dir: where the grid file goes. On a tmpfs the rate is the program's own; on
// a disk the writer's final fsync waits for the disk.
void BM_WriteGridFile(benchmark::State& state, const char* dir) {
  // 2000 x 2000 computed values.
  tabulor::Dimension m;
  m.Pi = 4 * std::atan(1.0);
  const std::string path = MakeSeriesFile(20, 20);
  tabulor::ReadSeriesFile(m, path, nullptr);
  m.LastPoint[0] = m.LastPoint[1] = 1999;
  m.BuildGrids();
  tabulor::Compute(m);
  const std::string base = (dir ? std::string(dir) : TempDir()) + "/tabulor_bench_grid";
  double bytes = 0;
  for (auto _ : state) {
    auto r = tabulor::WriteGridFile(m, base, nullptr);
    if (!r.ok) state.SkipWithError(r.message.c_str());
  }
  std::ifstream probe(base + ".grd", std::ios::binary | std::ios::ate);
  bytes = static_cast<double>(probe.tellg());
  std::remove((base + ".grd").c_str());
  state.counters["MB_per_s"] =
      benchmark::Counter(bytes * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
  state.counters["file_MB"] = bytes / 1e6;
}

void BM_ReadGridFile(benchmark::State& state) {
  tabulor::Dimension m;
  m.Pi = 4 * std::atan(1.0);
  tabulor::ReadSeriesFile(m, MakeSeriesFile(20, 20), nullptr);
  m.LastPoint[0] = m.LastPoint[1] = 999;
  m.BuildGrids();
  tabulor::Compute(m);
  const std::string base = TempDir() + "/bench_grid_read";
  tabulor::WriteGridFile(m, base, nullptr);
  std::ifstream probe(base + ".grd", std::ios::binary | std::ios::ate);
  const double bytes = static_cast<double>(probe.tellg());
  for (auto _ : state) {
    tabulor::Dimension g;
    auto r = tabulor::ReadGridFile(g, base, nullptr);
    if (!r.ok) state.SkipWithError(r.message.c_str());
  }
  state.counters["MB_per_s"] =
      benchmark::Counter(bytes * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

BENCHMARK(BM_ReadSeriesCoefficients)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK_CAPTURE(BM_WriteGridFile, tmpfs, "/dev/shm")->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK_CAPTURE(BM_WriteGridFile, disk_with_fsync, nullptr)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_ReadGridFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

}  // namespace

BENCHMARK_MAIN();
