// The lines of the results list and of the printed report. Every line is
// computed on its own from the model, so a list of 10^8 grid points is shown
// without building the other lines.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "model/dimension.h"

namespace tabulor {

// The value line: three blanks, name, "=", the grid value, 70 blanks, and
// "VALUE=" with the value written over the line from column 40 on.
std::string ValueLine(const std::string& name, double x, double value);

// The walk over the grid points, variable 3 outermost and variable 0
// innermost, with the heading lines of variables 3, 2 and 1 (each only when
// that variable has more than one grid point), and, for the report, an
// empty line after each complete run of the loops over variables 0, 1 and 2.
class GridWalk {
 public:
  GridWalk(const Dimension& model, bool report_blanks);
  std::int64_t count() const { return count_; }
  std::string line(std::int64_t i) const;

 private:
  const Dimension* model_;
  std::array<std::int64_t, 4> points_{};
  std::array<bool, 4> heading_{};
  std::int64_t blank_ = 0;
  std::int64_t block1_ = 0, block2_ = 0, block3_ = 0;
  std::int64_t count_ = 0;
};

// The lines that ListResults appends: "VALUES AT GRID POINTS:", an empty
// line, then the walk. Empty when the model holds no results.
class ResultLines {
 public:
  explicit ResultLines(const Dimension& model);
  std::int64_t count() const { return ready_ ? walk_.count() + 2 : 0; }
  std::string line(std::int64_t i) const;

 private:
  bool ready_;
  GridWalk walk_;
};

// The lines of the printed report: the file name, a block per variable and,
// with results, the values section.
class ReportLines {
 public:
  explicit ReportLines(const Dimension& model);
  std::int64_t count() const { return head_ + (ready_ ? walk_.count() + 2 : 0); }
  std::string line(std::int64_t i) const;

 private:
  const Dimension* model_;
  bool ready_;
  std::int64_t head_;
  GridWalk walk_;
};

}  // namespace tabulor
