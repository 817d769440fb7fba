// The transform's inner loops against the core's own peak without FMA, both
// measured in this run, for the shapes of S2 (100 terms, 6000 points per
// variable) with one thread:
//   block   one register block, everything in L1 (the loop over the terms)
//   runs    a piece of S2's second variable as the transform hands it over:
//           160 grid points (a tile of the basis) x 192 packed runs, the
//           values stored into an array that stays in cache
//   runs*   the same pieces, stored into the 288 MB results array, rows of
//           6000 runs, walked as the transform walks it
//   points  a piece of S2's first variable as the transform hands it over:
//           64 packed runs x 144 grid points (a tile of the basis), the
//           values stored into an array that stays in cache
//   points* 8 packed runs x all 6000 grid points, the basis from memory
//
//   bench_kernel [avx512|avx2|sse2|scalar ...]     (default: every set this processor runs)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/kernel_path.h"
#include "engine/kernels.h"
#include "peak.h"

namespace {

using tabulor::kernels::BlockArgs;
using tabulor::kernels::KernelSet;

constexpr std::int64_t kTerms = 100;

std::vector<double> Filled(std::int64_t n, double seed) {
  std::vector<double> v(static_cast<std::size_t>(n));
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = 1.0 / (seed + static_cast<double>(i % 97));
  return v;
}

std::int64_t RoundUp(std::int64_t n, std::int64_t m) { return (n + m - 1) / m * m; }

// GFLOP/s of `calls` calls of `one` (each `flops` valid floating-point
// operations), the best of 7 runs.
template <class F>
double Rate(double flops, int calls, F one) {
  double best = 0;
  for (int rep = 0; rep < 7; ++rep) {
    const auto start = std::chrono::steady_clock::now();
    for (int c = 0; c < calls; ++c) one(c);
    const double sec = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    best = std::max(best, flops * calls / sec / 1e9);
  }
  return best;
}

// The operands of a block: nx items of x against ny lanes of y in panels of y_panel.
BlockArgs Args(const std::vector<double>& x, std::int64_t nx, const std::vector<double>& y, std::int64_t ny,
               std::int64_t y_panel) {
  BlockArgs a;
  a.nk = kTerms;
  a.x = x.data();
  a.nx = nx;
  a.y = y.data();
  a.ny = ny;
  a.ny_panels = RoundUp(ny, y_panel) / y_panel;
  return a;
}

struct OverRuns {
  const KernelSet& set;
  std::int64_t points, runs, stride, rows;  // stride: doubles per grid point row of the target
  std::vector<double> x, y, out;
  std::vector<std::int64_t> base;
  std::vector<std::uint8_t> contiguous;
  OverRuns(const KernelSet& s, std::int64_t np, std::int64_t nr, std::int64_t row_doubles, std::int64_t nrows)
      : set(s), points(np), runs(nr), stride(row_doubles), rows(nrows) {
    x = Filled(RoundUp(points, set.x_panel) * kTerms, 3);
    y = Filled(RoundUp(runs, set.y_panel) * kTerms, 5);
    out.assign(static_cast<std::size_t>(stride * rows), 0.0);
    for (std::int64_t r = 0; r < runs; ++r) base.push_back(r);
    contiguous.assign(static_cast<std::size_t>(RoundUp(runs, set.y_panel) / set.width), 1);
  }
  // Call c: the piece at grid row c * points (mod rows) and run column
  // (c * runs) mod the row, as the transform's blocks of runs walk a row.
  void operator()(int c) {
    BlockArgs a = Args(x, points, y, runs, set.y_panel);
    const std::int64_t columns = stride / runs;
    a.data = out.data() + (c % columns) * runs;
    a.run_base = base.data();
    a.point0 = (c / columns * points) % (rows - points + 1);
    a.stride = stride;
    a.contiguous = contiguous.data();
    set.lanes_over_runs(a);
  }
};

struct OverPoints {
  const KernelSet& set;
  std::int64_t runs, points;
  std::vector<double> x, y, out;
  std::vector<std::int64_t> base;
  OverPoints(const KernelSet& s, std::int64_t nr, std::int64_t np) : set(s), runs(nr), points(np) {
    x = Filled(RoundUp(runs, set.x_panel) * kTerms, 3);
    y = Filled(RoundUp(points, set.y_panel) * kTerms, 5);
    out.assign(static_cast<std::size_t>(runs * points + set.y_panel), 0.0);
    for (std::int64_t r = 0; r < runs; ++r) base.push_back(r * points);
  }
  void operator()(int) {
    BlockArgs a = Args(x, runs, y, points, set.y_panel);
    a.data = out.data();
    a.run_base = base.data();
    set.lanes_over_points(a);
  }
};

void Measure(const KernelSet& set) {
  const double peak = tabulor_bench::PeakGflops(set.width);
  auto show = [&](const char* what, double rate) {
    std::printf("%-8s %-7s %6.1f GFLOP/s  %5.1f %% of the peak (%.1f)\n", set.name, what, rate, 100 * rate / peak,
                peak);
  };
  const std::int64_t bx = set.x_panel, by = set.y_panel;
  OverRuns block(set, bx, by, by, bx);
  show("block", Rate(2.0 * kTerms * bx * by, 200000, block));
  OverRuns runs(set, 160, 192, 192, 160);
  show("runs", Rate(2.0 * kTerms * 160 * 192, 2000, runs));
  OverRuns far(set, 160, 192, 6000, 6000);
  show("runs*", Rate(2.0 * kTerms * 160 * 192, 2000, far));
  OverPoints points(set, 64, 144);
  show("points", Rate(2.0 * kTerms * 64 * 144, 2000, points));
  OverPoints whole(set, 8, 6000);
  show("points*", Rate(2.0 * kTerms * 8 * 6000, 500, whole));
}

}  // namespace

int main(int argc, char** argv) {
  namespace k = tabulor::kernels;
  std::vector<const KernelSet*> sets;
  std::vector<const KernelSet*> all;
#if defined(__x86_64__)
  if (tabulor::KernelPathRuns(tabulor::KernelPath::Avx512)) all.push_back(&k::Avx512Kernels());
  if (tabulor::KernelPathRuns(tabulor::KernelPath::Avx2)) all.push_back(&k::Avx2Kernels());
#endif
  all.push_back(&k::Sse2Kernels());
  all.push_back(&k::ScalarKernels());
  for (int i = 1; i < argc; ++i)
    for (const KernelSet* s : all)
      if (std::strcmp(argv[i], s->name) == 0) sets.push_back(s);
  if (argc == 1) sets = all;
  for (const KernelSet* s : sets) Measure(*s);
  return tabulor_bench::sink == 42 ? 1 : 0;
}
