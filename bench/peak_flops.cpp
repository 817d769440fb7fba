// The peak rate of one core without fused multiply-add: 12 independent
// chains, 6 of vector multiplies and 6 of vector adds, per vector width
// this processor runs. The transform's rate is judged against it.
//
//   peak_flops            prints GFLOP/s per width (best of 5 runs of 0.2 s)
#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

// The same loop for every width: 6 chains of multiplies (x = x * m) and 6
// of adds (y = y + c), all independent: 14 registers, so no spills with 16,
// and enough chains to hide the latencies on two pipes of each kind.
#define TABULOR_PEAK_LOOP(V, W)                                                                               \
  V x0 = V{} + 1.0, x1 = V{} + 1.001, x2 = V{} + 1.002, x3 = V{} + 1.003, x4 = V{} + 1.004, x5 = V{} + 1.005; \
  V y0 = V{}, y1 = V{} + 1, y2 = V{} + 2, y3 = V{} + 3, y4 = V{} + 4, y5 = V{} + 5;                           \
  const V m = V{} + 0.9999999, c = V{} + 1e-9;                                                                \
  const auto start = std::chrono::steady_clock::now();                                                        \
  for (long s = 0; s < steps; ++s) {                                                                          \
    x0 = x0 * m;                                                                                              \
    x1 = x1 * m;                                                                                              \
    x2 = x2 * m;                                                                                              \
    x3 = x3 * m;                                                                                              \
    x4 = x4 * m;                                                                                              \
    x5 = x5 * m;                                                                                              \
    y0 = y0 + c;                                                                                              \
    y1 = y1 + c;                                                                                              \
    y2 = y2 + c;                                                                                              \
    y3 = y3 + c;                                                                                              \
    y4 = y4 + c;                                                                                              \
    y5 = y5 + c;                                                                                              \
  }                                                                                                           \
  const double sec = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();         \
  const V sum = x0 + x1 + x2 + x3 + x4 + x5 + y0 + y1 + y2 + y3 + y4 + y5;                                    \
  sink = sum[0];                                                                                              \
  return 12.0 * W * static_cast<double>(steps) / sec / 1e9;

double sink = 0;

typedef double V2 __attribute__((vector_size(16)));
__attribute__((noinline)) double Rate2(long steps) { TABULOR_PEAK_LOOP(V2, 2) }

#pragma GCC push_options
#pragma GCC target("avx2")
typedef double V4 __attribute__((vector_size(32)));
__attribute__((noinline)) double Rate4(long steps) { TABULOR_PEAK_LOOP(V4, 4) }
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f")
typedef double V8 __attribute__((vector_size(64)));
__attribute__((noinline)) double Rate8(long steps) { TABULOR_PEAK_LOOP(V8, 8) }
// With 32 registers: 12 pairs x = x * m, y = y + x, which runs faster here.
__attribute__((noinline)) double Rate8Pairs(long steps) {
  V8 x[12], y[12];
#pragma GCC unroll 12
  for (int i = 0; i < 12; ++i) {
    x[i] = V8{} + (1.0 + i * 1e-3);
    y[i] = V8{};
  }
  const V8 m = V8{} + 0.9999999;
  const auto start = std::chrono::steady_clock::now();
  for (long s = 0; s < steps; ++s) {
#pragma GCC unroll 12
    for (int i = 0; i < 12; ++i) {
      x[i] = x[i] * m;
      y[i] = y[i] + x[i];
    }
  }
  const double sec = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  V8 sum{};
#pragma GCC unroll 12
  for (int i = 0; i < 12; ++i) sum += y[i];
  sink = sum[0];
  return 2.0 * 12 * 8 * static_cast<double>(steps) / sec / 1e9;
}
#pragma GCC pop_options

double Best(double (*rate)(long)) {
  double best = 0;
  for (int rep = 0; rep < 5; ++rep) best = std::max(best, rate(20000000));
  return best;
}

}  // namespace

int main() {
  std::printf("sse2     %6.1f GFLOP/s\n", Best(Rate2));
  if (__builtin_cpu_supports("avx2")) std::printf("avx2     %6.1f GFLOP/s\n", Best(Rate4));
  if (__builtin_cpu_supports("avx512f"))
    std::printf("avx512   %6.1f GFLOP/s\n", std::max(Best(Rate8), Best(Rate8Pairs)));
  return sink == 42 ? 1 : 0;
  return 0;
}
