// The grid file: the outcome of one computation, one item a line, CR LF.
// It is addressed by a name: a name that ends in ".grd" is the file itself,
// any other name is a base name to which ".grd" is appended.
#pragma once

#include <optional>
#include <string>

#include "model/dimension.h"
#include "model/progress.h"

namespace tabulor {

struct GridFileResult {
  bool ok = false;
  std::string message;  // when not ok: names the file and the reason
};

// The file a grid file name stands for: the name itself when it ends in
// ".grd" (in any case), else the name followed by ".grd".
std::string GridFilePath(const std::string& name);

// Writes the model's results and grid to GridFilePath(name), whole or not at all
// (WriteFileAtomically): a failed save leaves any existing file as it was.
// The model must hold results for its grid.
GridFileResult WriteGridFile(const Dimension& model, const std::string& name, const ProgressFn& progress = nullptr);

// The whole text the writer produces, for tests and small results.
std::string GridFileText(const Dimension& model);

// Reads GridFilePath(name) and, only when all of it is good, replaces the
// model: names, grid limits, grid sizes, derivative orders, spacing flags,
// results and grid values; kind, centre, period and terms come back cleared;
// ResultsReady true, FileName = name, LastPt = LastPoint.
GridFileResult ReadGridFile(Dimension& model, const std::string& name, const ProgressFn& progress = nullptr);

// The same from text in memory; `name` stands for the file in messages.
GridFileResult ReadGridText(Dimension& model, std::string_view text, const std::string& name);

// Why the model cannot be written as a grid file, or nothing.
std::optional<std::string> GridFileWritable(const Dimension& model);

}  // namespace tabulor
