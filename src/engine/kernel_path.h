// Which inner loops the transform uses.
#pragma once

namespace tabulor {

// Auto takes the widest vectors the processor has. The others force one set
// (for tests and measurements); every set gives the same bits.
enum class KernelPath {
  Auto,
  Scalar,  // one double at a time
  Sse2,    // 2 doubles per vector
  Avx2,    // 4 doubles per vector
  Avx512,  // 8 doubles per vector
  Wide8,   // the 8-wide register blocks of Avx512 on the baseline processor
};

// Whether this processor runs the set (Auto and the portable ones always).
bool KernelPathRuns(KernelPath path);

// The set Auto stands for on this processor.
KernelPath BestKernelPath();

// "scalar", "sse2", "avx2", "avx512", "wide8" ("auto" for Auto).
const char* KernelPathName(KernelPath path);

}  // namespace tabulor
