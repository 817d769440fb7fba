// The inner loops of the transform for AVX-512: 8 doubles per vector.
#include <cstdint>

#include "engine/kernels.h"

#if defined(__x86_64__)

#pragma GCC push_options
#pragma GCC target("avx512f")

namespace tabulor::kernels {
namespace {

typedef double V __attribute__((vector_size(64)));
constexpr int W = 8;
constexpr int MI = 8;
constexpr int NV = 3;

#include "engine/kernels_impl.h"

}  // namespace
}  // namespace tabulor::kernels

#pragma GCC pop_options

namespace tabulor::kernels {

const KernelSet& Avx512Kernels() {
  static const KernelSet set{"avx512", W, MI, YP, LanesOverPoints, LanesOverRuns, PowerPanelX, PowerPanelY};
  return set;
}

}  // namespace tabulor::kernels

#endif
