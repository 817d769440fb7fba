// The series file: the number of variables, seven fields per variable, the
// coefficients-present flag and the coefficients, k0 fastest.
#pragma once

#include <string>

#include "model/dimension.h"
#include "model/progress.h"

namespace tabulor {

enum class SeriesReadOutcome {
  Ok,              // the model holds the series and its default grid
  NoCoefficients,  // the flag said "#FALSE#"; the model is unchanged
  Error,           // the message says why; the model is unchanged
  Cancelled,       // progress asked to stop; the model is unchanged
};

struct SeriesReadResult {
  SeriesReadOutcome outcome = SeriesReadOutcome::Error;
  std::string message;  // for Error: names the file and the field
};

// Reads the whole series file `path`, head and coefficients, and only when
// all of it is good puts it into the model: every per-variable field anew,
// the default grid (evenly spaced, as many points as terms, the series'
// limits, derivative order 0), ResultsReady false, FileName = path and
// TotalCount = the number of coefficients.
SeriesReadResult ReadSeriesFile(Dimension& model, const std::string& path, const ProgressFn& progress = nullptr);

// The same from text in memory; `name` stands for the file in messages.
SeriesReadResult ReadSeriesText(Dimension& model, std::string_view text, const std::string& name);

}  // namespace tabulor
