// The inner loops of the transform for SSE2: 2 doubles per vector (every x86-64 processor has it).
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/exact_math.h"
#include "engine/kernels.h"

namespace tabulor::kernels {
namespace {

typedef double V __attribute__((vector_size(16)));
constexpr int W = 2;
constexpr int MI = 6;
constexpr int NV = 2;

#include "engine/kernels_impl.h"
#include "engine/sincos_impl.h"

}  // namespace
}  // namespace tabulor::kernels

namespace tabulor::kernels {

const KernelSet& Sse2Kernels() {
  static const KernelSet set{"sse2", W, MI, YP, LanesOverPoints, LanesOverRuns, PowerPanelX, PowerPanelY, TrigPanels};
  return set;
}

}  // namespace tabulor::kernels
