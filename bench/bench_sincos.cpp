// The Trigonometric basis of case S1T (10^6 points, 200 terms: 10^8 sines
// and 10^8 cosines along the angle chains), timed per kernel set and thread
// count, against the same chains with one C library sincos call per value
// (the former way, not correctly rounded).
//
//   bench_sincos [--threads N] [--reach A] [--points N] [--set NAME|all|libm]
//
// --reach scales the period so that the largest angle is about A (the case
// itself reaches 628). Prints one line per set: seconds (best of 3), values
// per nanosecond, and the share of values that fell back on MPFR.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "engine/basis.h"
#include "engine/exact_math.h"
#include "engine/kernel_path.h"
#include "engine/kernels.h"

namespace {

using tabulor::BasisRule;
namespace kernels = tabulor::kernels;

constexpr int kTerms = 200;

// The former panel: one sincos per multiple, the C library's last bits.
void LibmPanel(const BasisRule& rule, std::int64_t panel, std::int64_t j0, std::int64_t j_end, double* out) {
  for (std::int64_t i = 0; i < panel; ++i) {
    double* o = out + i;
    o[0] = 0.0;
    const double t = rule.w * rule.offsets[std::min(j0 + i, j_end - 1)];
    double a = 0.0;
    for (std::int64_t k = 1; k < rule.terms; k += 2) {
      a = a + t;
      double sn, cs;
      ::sincos(a, &sn, &cs);
      o[k * panel] = rule.factor[k] * cs;
      if (k + 1 < rule.terms) o[(k + 1) * panel] = rule.factor[k + 1] * -sn;
    }
  }
}

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// Returns the best wall time of 3 runs; `cpu` gets the processor time of
// that run (the same as the wall time on a quiet machine; a fairer figure
// when other programs share it).
double Run(const BasisRule& rule, const kernels::KernelSet* set, int threads, double& cpu) {
  const std::int64_t panel = set ? set->y_panel : 24;
  const std::int64_t points = rule.points;
  const std::int64_t panels = (points + panel - 1) / panel;
  const std::int64_t per_thread = (panels + threads - 1) / threads;
  // Every thread writes one tile of 128 KB (or one panel) over and over, as
  // the transform does: the basis is used while it is in cache.
  const std::int64_t tile_panels = std::max<std::int64_t>(1, 16384 / (panel * kTerms));
  std::vector<std::vector<double>> tiles(static_cast<std::size_t>(threads),
                                         std::vector<double>(static_cast<std::size_t>(tile_panels * panel * kTerms)));
  double best = 1e30;
  for (int rep = 0; rep < 3; ++rep) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu_start = CpuSeconds();
    std::vector<std::thread> pool;
    for (int th = 0; th < threads; ++th)
      pool.emplace_back([&, th] {
        double* tile = tiles[static_cast<std::size_t>(th)].data();
        const std::int64_t p_end = std::min(panels, (th + 1) * per_thread);
        for (std::int64_t p = th * per_thread; p < p_end; p += tile_panels) {
          const std::int64_t j0 = p * panel, j1 = std::min(points, std::min(p + tile_panels, p_end) * panel);
          if (set) {
            tabulor::BuildBasisPanels(rule, panel, j0, j1, tile, set);
          } else {
            for (std::int64_t j = j0; j < j1; j += panel) LibmPanel(rule, panel, j, j1, tile + (j - j0) * kTerms);
          }
        }
      });
    for (auto& t : pool) t.join();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (wall < best) {
      best = wall;
      cpu = CpuSeconds() - cpu_start;
    }
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  int threads = 1;
  double reach = 0;
  std::int64_t points = 1000000;
  std::string only = "all";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--threads")) threads = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--reach")) reach = std::atof(argv[i + 1]);
    if (!std::strcmp(argv[i], "--points")) points = std::atoll(argv[i + 1]);
    if (!std::strcmp(argv[i], "--set")) only = argv[i + 1];
  }
  const double two_pi = 8 * tabulor::exact::kQuarterPi;
  const double period = reach > 0 ? two_pi * (two_pi * (kTerms / 2) / reach) : two_pi;
  std::vector<double> u(static_cast<std::size_t>(points));
  for (std::int64_t j = 0; j < points; ++j) u[static_cast<std::size_t>(j)] = two_pi * j / (points - 1);
  const BasisRule rule = tabulor::MakeTrigRule(u, kTerms - 1, 1, period);
  const double values = static_cast<double>(points) * (kTerms - 1);
  std::vector<std::pair<const char*, const kernels::KernelSet*>> sets;
  if (tabulor::KernelPathRuns(tabulor::KernelPath::Avx512)) sets.push_back({"avx512", &kernels::Avx512Kernels()});
  if (tabulor::KernelPathRuns(tabulor::KernelPath::Avx2)) sets.push_back({"avx2", &kernels::Avx2Kernels()});
  sets.push_back({"sse2", &kernels::Sse2Kernels()});
  sets.push_back({"libm", nullptr});
  std::printf("threads %d, %lld points, %d terms, largest angle %.3g\n", threads, static_cast<long long>(points),
              kTerms, u.back() * (two_pi / period) * (kTerms / 2));
  for (const auto& [name, set] : sets) {
    if (only != "all" && only != name) continue;
    const std::uint64_t before = tabulor::exact::MpfrFallbacks();
    double cpu = 0;
    const double s = Run(rule, set, threads, cpu);
    const double fell = static_cast<double>(tabulor::exact::MpfrFallbacks() - before) / 3;
    std::printf("%-7s %8.4f s  %6.3f values/ns  fallback share %.2e  cpu %.4f s\n", name, s, values / s * 1e-9,
                set ? fell / values : 0.0, cpu);
  }
  return 0;
}
