// The computation: coefficients into the results array, the grids, and the
// transforms from the highest variable down to variable 0.
#pragma once

#include <string>

#include "model/dimension.h"
#include "model/progress.h"

namespace tabulor {

enum class ComputeOutcome { Ok, Error, Cancelled };

struct ComputeResult {
  ComputeOutcome outcome = ComputeOutcome::Error;
  std::string message;  // for Error: what is wrong and with which variable
};

// Checks what the computation needs before anything is allocated: derivative
// orders, periods, grid sizes, grid values, coefficients and memory.
// Returns a message, or an empty text when all is well.
std::string CheckComputable(const Dimension& model);

// Evaluates the series (or the mixed derivative) at every grid point of the
// model. On success Results, Extent and LastPt describe the computed grid and
// ResultsReady is true. On an error or when progress asks to stop, the
// model's results are cleared, ResultsReady is false and Extent and LastPt
// are as before. Progress counts multiply-adds.
ComputeResult Compute(Dimension& model, const ProgressFn& progress = nullptr);

// The name of a variable for messages: "variable 1 (y)".
std::string VariableLabel(const Dimension& model, int v);

}  // namespace tabulor
