// The peak rate of one core without fused multiply-add, per vector width.
// The transform's rate is judged against it (bench/peak_flops,
// bench/bench_kernel). Two loops per width, the faster one counts:
//   chains  8 chains of multiplies (x = x * m) and 6 of adds (y = y + c),
//           all independent: 16 registers, enough to keep two pipes of
//           each kind busy at a multiply latency of 4 cycles;
//   pairs   N pairs x = x * m, y = y + x: the multiply feeds the add, as in
//           the transform (6 pairs with 16 registers, 12 with 32).
#pragma once

#include <algorithm>
#include <chrono>

namespace tabulor_bench {

inline double sink = 0;

#define TABULOR_PEAK_CHAINS(V, W)                                                                     \
  V x0 = V{} + 1.0, x1 = V{} + 1.001, x2 = V{} + 1.002, x3 = V{} + 1.003, x4 = V{} + 1.004;           \
  V x5 = V{} + 1.005, x6 = V{} + 1.006, x7 = V{} + 1.007;                                             \
  V y0 = V{}, y1 = V{} + 1, y2 = V{} + 2, y3 = V{} + 3, y4 = V{} + 4, y5 = V{} + 5;                   \
  const V m = V{} + 0.9999999, c = V{} + 1e-9;                                                        \
  const auto start = std::chrono::steady_clock::now();                                                \
  for (long s = 0; s < steps; ++s) {                                                                  \
    x0 = x0 * m;                                                                                      \
    x1 = x1 * m;                                                                                      \
    x2 = x2 * m;                                                                                      \
    x3 = x3 * m;                                                                                      \
    x4 = x4 * m;                                                                                      \
    x5 = x5 * m;                                                                                      \
    x6 = x6 * m;                                                                                      \
    x7 = x7 * m;                                                                                      \
    y0 = y0 + c;                                                                                      \
    y1 = y1 + c;                                                                                      \
    y2 = y2 + c;                                                                                      \
    y3 = y3 + c;                                                                                      \
    y4 = y4 + c;                                                                                      \
    y5 = y5 + c;                                                                                      \
  }                                                                                                   \
  const double sec = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); \
  const V sum = x0 + x1 + x2 + x3 + x4 + x5 + x6 + x7 + y0 + y1 + y2 + y3 + y4 + y5;                  \
  sink = *reinterpret_cast<const double*>(&sum);                                                      \
  return 14.0 * W * static_cast<double>(steps) / sec / 1e9;

#define TABULOR_PEAK_PAIRS(V, W, N)                                                                   \
  V x[N], y[N];                                                                                       \
  _Pragma("GCC unroll 12") for (int i = 0; i < N; ++i) {                                              \
    x[i] = V{} + (1.0 + i * 1e-3);                                                                    \
    y[i] = V{};                                                                                       \
  }                                                                                                   \
  const V m = V{} + 0.9999999;                                                                        \
  const auto start = std::chrono::steady_clock::now();                                                \
  for (long s = 0; s < steps; ++s) {                                                                  \
    _Pragma("GCC unroll 12") for (int i = 0; i < N; ++i) {                                            \
      x[i] = x[i] * m;                                                                                \
      y[i] = y[i] + x[i];                                                                             \
    }                                                                                                 \
  }                                                                                                   \
  const double sec = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); \
  V sum{};                                                                                            \
  _Pragma("GCC unroll 12") for (int i = 0; i < N; ++i) sum += y[i];                                   \
  sink = *reinterpret_cast<const double*>(&sum);                                                      \
  return 2.0 * N * W * static_cast<double>(steps) / sec / 1e9;

typedef double V1;
typedef double V2 __attribute__((vector_size(16)));
__attribute__((noinline)) inline double Chains1(long steps) { TABULOR_PEAK_CHAINS(V1, 1) }
__attribute__((noinline)) inline double Pairs1(long steps) { TABULOR_PEAK_PAIRS(V1, 1, 6) }
__attribute__((noinline)) inline double Chains2(long steps) { TABULOR_PEAK_CHAINS(V2, 2) }
__attribute__((noinline)) inline double Pairs2(long steps) { TABULOR_PEAK_PAIRS(V2, 2, 6) }

#pragma GCC push_options
#pragma GCC target("avx2")
typedef double V4 __attribute__((vector_size(32)));
__attribute__((noinline)) inline double Chains4(long steps) { TABULOR_PEAK_CHAINS(V4, 4) }
__attribute__((noinline)) inline double Pairs4(long steps) { TABULOR_PEAK_PAIRS(V4, 4, 6) }
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f")
typedef double V8 __attribute__((vector_size(64)));
__attribute__((noinline)) inline double Chains8(long steps) { TABULOR_PEAK_CHAINS(V8, 8) }
__attribute__((noinline)) inline double Pairs8(long steps) { TABULOR_PEAK_PAIRS(V8, 8, 12) }
#pragma GCC pop_options

// The best of 5 runs of 2 x 10^7 steps of both loops.
inline double Best(double (*chains)(long), double (*pairs)(long)) {
  double best = 0;
  for (int rep = 0; rep < 5; ++rep) best = std::max({best, chains(20000000), pairs(20000000)});
  return best;
}

// GFLOP/s of vectors of `width` doubles (1, 2, 4 or 8; the processor must
// run that width).
inline double PeakGflops(int width) {
  if (width >= 8) return Best(Chains8, Pairs8);
  if (width >= 4) return Best(Chains4, Pairs4);
  if (width >= 2) return Best(Chains2, Pairs2);
  return Best(Chains1, Pairs1);
}

}  // namespace tabulor_bench
