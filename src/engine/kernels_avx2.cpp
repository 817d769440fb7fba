// The inner loops of the transform for AVX2: 4 doubles per vector.
#include <cstdint>

#include "engine/kernels.h"

#if defined(__x86_64__)

#pragma GCC push_options
#pragma GCC target("avx2")

namespace tabulor::kernels {
namespace {

typedef double V __attribute__((vector_size(32)));
constexpr int W = 4;
constexpr int MI = 6;
constexpr int NV = 2;

#include "engine/kernels_impl.h"

}  // namespace
}  // namespace tabulor::kernels

#pragma GCC pop_options

namespace tabulor::kernels {

const KernelSet& Avx2Kernels() {
  static const KernelSet set{"avx2", W, MI, YP, LanesOverPoints, LanesOverRuns, PowerPanelX, PowerPanelY};
  return set;
}

}  // namespace tabulor::kernels

#endif
