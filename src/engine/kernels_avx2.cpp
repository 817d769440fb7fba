// The inner loops of the transform for AVX2: 4 doubles per vector.
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/exact_math.h"
#include "engine/kernels.h"

#if defined(__x86_64__)

#pragma GCC push_options
#pragma GCC target("avx2,fma")

namespace tabulor::kernels {
namespace {

typedef double V __attribute__((vector_size(32)));
constexpr int W = 4;
constexpr int MI = 6;
constexpr int NV = 2;

#include "engine/kernels_impl.h"

// clang ignores the target pragmas and builds this file for the baseline
// processor: it gets the portable product errors instead of the intrinsics.
#if !defined(__clang__)
inline __attribute__((always_inline)) V FusedProductError(V a, V b, V p) {
  return reinterpret_cast<V>(
      _mm256_fmsub_pd(reinterpret_cast<__m256d>(a), reinterpret_cast<__m256d>(b), reinterpret_cast<__m256d>(p)));
}
inline __attribute__((always_inline)) V FusedMulAdd(V a, V b, V c) {
  return reinterpret_cast<V>(
      _mm256_fmadd_pd(reinterpret_cast<__m256d>(a), reinterpret_cast<__m256d>(b), reinterpret_cast<__m256d>(c)));
}
#define TABULOR_FMS FusedProductError
#define TABULOR_FMA FusedMulAdd
#define TABULOR_ALL_SET(m) (_mm256_movemask_pd(reinterpret_cast<__m256d>(m)) == 0xf)
#endif
#include "engine/sincos_impl.h"
#undef TABULOR_FMS
#undef TABULOR_FMA
#undef TABULOR_ALL_SET

}  // namespace
}  // namespace tabulor::kernels

#pragma GCC pop_options

namespace tabulor::kernels {

const KernelSet& Avx2Kernels() {
  static const KernelSet set{"avx2", W, MI, YP, LanesOverPoints, LanesOverRuns, PowerPanelX, PowerPanelY, TrigPanels};
  return set;
}

}  // namespace tabulor::kernels

#endif
