// The peak rate of one core without fused multiply-add (see peak.h).
//
//   peak_flops            prints GFLOP/s per width (the best of 5 runs of each loop)
#include <cstdio>

#include "peak.h"

int main() {
  using namespace tabulor_bench;
  std::printf("scalar   %6.1f GFLOP/s\n", PeakGflops(1));
  std::printf("sse2     %6.1f GFLOP/s\n", PeakGflops(2));
  if (__builtin_cpu_supports("avx2")) std::printf("avx2     %6.1f GFLOP/s\n", PeakGflops(4));
  if (__builtin_cpu_supports("avx512f")) std::printf("avx512   %6.1f GFLOP/s\n", PeakGflops(8));
  return sink == 42 ? 1 : 0;
}
