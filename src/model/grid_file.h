// The grid file: the outcome of one computation, one item a line, CR LF.
// It is addressed by a base name to which ".grd" is appended.
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

// Writes the model's results and grid to base + ".grd", whole or not at all
// (WriteFileAtomically): a failed save leaves any existing file as it was.
// The model must hold results for its grid.
GridFileResult WriteGridFile(const Dimension& model, const std::string& base,
                             const ProgressFn& progress = nullptr);

// The whole text the writer produces, for tests and small results.
std::string GridFileText(const Dimension& model);

// Reads base + ".grd" and, only when all of it is good, replaces the model:
// names, grid limits, grid sizes, derivative orders, spacing flags, results
// and grid values; kind, centre, period and terms come back cleared;
// ResultsReady true, FileName = base, LastPt = LastPoint.
GridFileResult ReadGridFile(Dimension& model, const std::string& base,
                            const ProgressFn& progress = nullptr);

// The same from text in memory; `base` stands for the name in messages.
GridFileResult ReadGridText(Dimension& model, std::string_view text, const std::string& base);

// The base name to open for a name picked in an open dialog: the name
// itself, unless it ends in ".grd" and that name plus ".grd" does not exist;
// then the name without ".grd" (so that a missing file is named as given).
std::string GridBaseForChosenName(const std::string& chosen);

// Why the model cannot be written as a grid file, or nothing.
std::optional<std::string> GridFileWritable(const Dimension& model);

}  // namespace tabulor
