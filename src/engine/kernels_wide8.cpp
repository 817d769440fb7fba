// The inner loops of the transform in the 8-wide shape of the AVX-512 set,
// compiled for the baseline processor: the same register blocks, panels and
// remainders as the AVX-512 set, so the 8-wide logic is checked on any machine.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/exact_math.h"
#include "engine/kernels.h"

// The 64-byte vectors never cross a function boundary that is not inlined.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace tabulor::kernels {
namespace {

typedef double V __attribute__((vector_size(64)));
constexpr int W = 8;
constexpr int MI = 8;
constexpr int NV = 3;

#include "engine/kernels_impl.h"
#include "engine/sincos_impl.h"

}  // namespace
}  // namespace tabulor::kernels

namespace tabulor::kernels {

const KernelSet& Wide8Kernels() {
  static const KernelSet set{"wide8", W, MI, YP, LanesOverPoints, LanesOverRuns, PowerPanelX, PowerPanelY, TrigPanels};
  return set;
}

}  // namespace tabulor::kernels
