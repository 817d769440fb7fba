// The inner loops of the transform for AVX-512: 8 doubles per vector.
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/exact_math.h"
#include "engine/kernels.h"

#if defined(__x86_64__)

#pragma GCC push_options
#pragma GCC target("avx512f,fma")

namespace tabulor::kernels {
namespace {

typedef double V __attribute__((vector_size(64)));
constexpr int W = 8;
constexpr int MI = 8;
constexpr int NV = 3;

#include "engine/kernels_impl.h"

// clang ignores the target pragmas and builds this file for the baseline
// processor: it gets the portable product errors instead of the intrinsics.
#if !defined(__clang__)
inline __attribute__((always_inline)) V FusedProductError(V a, V b, V p) {
  return reinterpret_cast<V>(
      _mm512_fmsub_pd(reinterpret_cast<__m512d>(a), reinterpret_cast<__m512d>(b), reinterpret_cast<__m512d>(p)));
}
inline __attribute__((always_inline)) V FusedMulAdd(V a, V b, V c) {
  return reinterpret_cast<V>(
      _mm512_fmadd_pd(reinterpret_cast<__m512d>(a), reinterpret_cast<__m512d>(b), reinterpret_cast<__m512d>(c)));
}
#define TABULOR_FMS FusedProductError
#define TABULOR_FMA FusedMulAdd
#define TABULOR_ALL_SET(m) (_mm512_cmpneq_epi64_mask(reinterpret_cast<__m512i>(m), _mm512_set1_epi64(-1)) == 0)
#endif
#include "engine/sincos_impl.h"
#undef TABULOR_FMS
#undef TABULOR_FMA
#undef TABULOR_ALL_SET

}  // namespace
}  // namespace tabulor::kernels

#pragma GCC pop_options

namespace tabulor::kernels {

const KernelSet& Avx512Kernels() {
  static const KernelSet set{"avx512", W, MI, YP, LanesOverPoints, LanesOverRuns, PowerPanelX, PowerPanelY, TrigPanels};
  return set;
}

}  // namespace tabulor::kernels

#endif
