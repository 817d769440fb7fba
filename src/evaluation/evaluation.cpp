#include "evaluation/evaluation.h"

#include <algorithm>
#include <cmath>

#include "model/result_rows.h"

namespace tabulor {

Evaluation::Evaluation(Dimension& model, ComputeStep compute) : model_(model), compute_(std::move(compute)) {
  if (!compute_) compute_ = [](Dimension& m, const ProgressFn& progress) { return tabulor::Compute(m, progress); };
}

SeriesReadResult Evaluation::OpenSeries(const std::string& path, const ProgressFn& progress) {
  return ReadSeriesFile(model_, path, progress);
}

GridFileResult Evaluation::OpenGridFile(const std::string& name, const ProgressFn& progress) {
  return ReadGridFile(model_, name, progress);
}

std::string Evaluation::CaptureGrids(const std::array<GridSpecText, kSlots>& spec) {
  return CaptureGridSpecs(model_, spec);
}

ComputeResult Evaluation::Compute(const ProgressFn& progress) { return compute_(model_, progress); }

GridFileResult Evaluation::SaveGridFile(const std::string& name, const ProgressFn& progress) {
  GridFileResult r = WriteGridFile(model_, name, progress);
  if (r.ok) model_.FileName = name;
  return r;
}

CsvExportResult Evaluation::ExportCsv(const std::string& path, const ProgressFn& progress) const {
  return WriteCsvFile(model_, path, progress);
}

ResultSummary Evaluation::Summarize() const {
  ResultSummary s{0, INFINITY, -INFINITY};
  bool cancelled = false;
  ForEachResultPiece(
      model_, nullptr,
      [&s](const ResultPiece& piece) {
        for (std::int64_t i = 0; i < piece.count; ++i) {
          s.min = std::min(s.min, piece.values[i]);
          s.max = std::max(s.max, piece.values[i]);
        }
        s.points += piece.count;
        return true;
      },
      cancelled);
  return s;
}

}  // namespace tabulor
