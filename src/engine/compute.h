// The computation: coefficients into the results array, the grids, and the
// transforms from the highest variable down to variable 0.
#pragma once

#include <string>

#include "engine/kernel_path.h"
#include "engine/transform.h"
#include "model/dimension.h"
#include "model/progress.h"

namespace tabulor {

enum class ComputeOutcome { Ok, Error, Cancelled };

struct ComputeResult {
  ComputeOutcome outcome = ComputeOutcome::Error;
  std::string message;  // for Error: what is wrong and with which variable
  // Wall time in seconds from allocating Results to the end of the last
  // transform (0 when the computation did not get that far).
  double seconds = 0.0;
};

// How the computation runs; the values do not depend on it.
struct ComputeOptions {
  int threads = 0;                        // 0: as many as the processor runs at once
  KernelPath kernels = KernelPath::Auto;  // the widest vectors the processor has
  // Variables 1 and 0 slab by slab (the bits are the same either way).
  SlabMode slabs = SlabMode::BySize;
};

// Checks what the computation needs before anything is allocated: derivative
// orders, periods, grid sizes, grid values, coefficients and memory.
// Returns a message, or an empty text when all is well.
std::string CheckComputable(const Dimension& model);

// Evaluates the series (or the mixed derivative) at every grid point of the
// model; the model's CurVar is left as it was. On success Results, Extent and LastPt describe the computed grid and
// ResultsReady is true. On an error or when progress asks to stop, the
// model's results are cleared, ResultsReady is false and Extent and LastPt
// are as before. Progress counts multiply-adds.
ComputeResult Compute(Dimension& model, const ProgressFn& progress = nullptr);
ComputeResult Compute(Dimension& model, const ProgressFn& progress, const ComputeOptions& options);

}  // namespace tabulor
