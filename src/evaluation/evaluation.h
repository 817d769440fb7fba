// One evaluation of a series, step by step, as both front ends run it: the
// window and the batch command open files, capture the grid settings,
// compute, save and export through this class, so that both follow the same
// rules in the same order.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/compute.h"
#include "model/dimension.h"
#include "model/grid_capture.h"
#include "model/grid_file.h"
#include "model/progress.h"
#include "model/series_file.h"
#include "output/csv_export.h"

namespace tabulor {

// How the values are computed: the engine's Compute unless a front end
// brings its own (a slower one, to watch the progress of a long run).
using ComputeStep = std::function<ComputeResult(Dimension&, const ProgressFn&)>;

// The smallest and largest computed value and the number of values.
struct ResultSummary {
  std::int64_t points = 0;
  double min = 0.0;
  double max = 0.0;
};

class Evaluation {
 public:
  // Works on `model`, which must outlive it.
  explicit Evaluation(Dimension& model, ComputeStep compute = nullptr);

  Dimension& model() { return model_; }
  const Dimension& model() const { return model_; }

  // Reads a series file with its default grid (ReadSeriesFile).
  SeriesReadResult OpenSeries(const std::string& path, const ProgressFn& progress = nullptr);
  // Reads a grid file, results and all (ReadGridFile).
  GridFileResult OpenGridFile(const std::string& name, const ProgressFn& progress = nullptr);
  // Takes the grid settings into the model (CaptureGridSpecs): "" when they
  // were taken, else why not, and then the model is as it was.
  std::string CaptureGrids(const std::array<GridSpecText, kSlots>& spec);
  // Computes the values at the grid points; may run on another thread.
  ComputeResult Compute(const ProgressFn& progress = nullptr);
  // Writes the grid file GridFilePath(name); when written, the model's file
  // name becomes `name`.
  GridFileResult SaveGridFile(const std::string& name, const ProgressFn& progress = nullptr);
  // Writes the values as comma-separated values to `path`.
  CsvExportResult ExportCsv(const std::string& path, const ProgressFn& progress = nullptr) const;
  // The smallest and largest value of the results.
  ResultSummary Summarize() const;

 private:
  Dimension& model_;
  ComputeStep compute_;
};

}  // namespace tabulor
