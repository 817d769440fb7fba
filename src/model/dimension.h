// The one model of the program: the series in up to four variables, the grid
// on which it is evaluated, the grid values and the results.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/results_array.h"

namespace tabulor {

inline constexpr int kSlots = 4;  // variables 0..3

class Dimension {
 public:
  Dimension();

  // Per variable, indices 0..3. A variable above LastVar is absent: 0, false
  // or empty, with one term and one grid point.
  std::array<std::string, kSlots> VarName;
  std::array<bool, kSlots> IsPower{};
  std::array<double, kSlots> LowerLimit{};
  std::array<double, kSlots> UpperLimit{};
  std::array<double, kSlots> Center{};
  std::array<double, kSlots> Period{};
  std::array<std::int32_t, kSlots> LastTerm{};
  std::array<std::int32_t, kSlots> LastPoint{};
  std::array<std::int32_t, kSlots> DerOrder{};
  std::array<bool, kSlots> EvenlySpaced{};
  std::array<std::int32_t, kSlots> Extent{};
  std::array<double, kSlots> GridStep{};
  // The centre and period fields as the series file writes them ("*" or a
  // number), for display.
  std::array<std::string, kSlots> CenterText;
  std::array<std::string, kSlots> PeriodText;

  // GridX0..GridX3: the grid values of each variable, indices 0..LastPoint.
  std::array<std::vector<double>, kSlots> GridX;

  // The series' coefficients as read from the series file, k0 fastest; they
  // enter Results at the start of a computation.
  std::vector<double> Coefficients;

  ResultsArray Results;

  std::int32_t LastVar = 0;
  std::int32_t CurVar = 0;  // the variable the grid operations work on
  bool ResultsReady = false;
  bool Loading = false;
  std::string FileName;
  std::int32_t TotalCount = 0;
  double Pi = 0.0;
  // LastPoint(0..3) as the last computation or grid file read left them.
  std::array<std::int32_t, kSlots> LastPt{};

  // Clears every per-variable field of the four slots (LastPt, which tells
  // the last computation, stays), the grid arrays, the coefficients and the
  // results.
  void ClearVariables();

  // Grid operations on the variable CurVar; they do nothing when CurVar is
  // outside 0..3 or the index is outside the grid array: GetVarX then gives
  // 0.
  double GetVarX(std::int64_t index) const;
  void SetVarX(std::int64_t index, double value);
  // Gives the grid array of CurVar the indices 0..LastPoint(CurVar), keeping
  // the values that exist before and after; new entries are 0.
  void ResizeCurrentGrid();
  // Grid value `index` of variable v less the variable's centre: 0 for v
  // outside 0..3, 0 - Center for an index outside the grid.
  double CenterOffset(int v, std::int64_t index) const;

  // Every evenly spaced variable 0..LastVar gets its grid anew.
  void BuildGrids();
  // x(j) = j * GridStep + LowerLimit with GridStep = (Upper - Lower) / LastPoint.
  // A variable with a single grid point has it at its lower limit (step 0).
  void FillEvenGrid(int v);

  // Product over the present variables of (LastTerm + 1), or of (LastPoint + 1);
  // -1 when the product is beyond the 32-bit range.
  std::int64_t TermProduct() const;
  std::int64_t PointProduct() const;

  bool IsPresent(int v) const { return v >= 0 && v <= LastVar; }
};

// True when every value of the evenly spaced grid from `lower` to `upper`
// with `last` + 1 points, made as FillEvenGrid makes it, is a finite number.
// The values run monotonically from index 0 (the lower limit itself) to
// index `last`, so the step and the last value tell.
bool EvenGridIsFinite(double lower, double upper, std::int32_t last);

// How messages name a variable: "variable 1 (y)", or "variable 1" when it
// has no name; CapitalVariableLabel begins a sentence with it.
std::string VariableLabel(const Dimension& model, int v);
std::string CapitalVariableLabel(const Dimension& model, int v);

}  // namespace tabulor
