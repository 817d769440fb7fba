// The inner loops of the transform for one double at a time: the portable fallback.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/exact_math.h"
#include "engine/kernels.h"

namespace tabulor::kernels {
namespace {

typedef double V __attribute__((vector_size(8)));
constexpr int W = 1;
constexpr int MI = 4;
constexpr int NV = 4;

#include "engine/kernels_impl.h"
#include "engine/sincos_impl.h"

}  // namespace
}  // namespace tabulor::kernels

namespace tabulor::kernels {

const KernelSet& ScalarKernels() {
  static const KernelSet set{"scalar", W, MI, YP, LanesOverPoints, LanesOverRuns, PowerPanelX, PowerPanelY, TrigPanels};
  return set;
}

}  // namespace tabulor::kernels
