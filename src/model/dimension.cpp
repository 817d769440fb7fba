#include "model/dimension.h"

#include <cmath>

#include "model/number_text.h"

namespace tabulor {

Dimension::Dimension() : Pi(4.0 * std::atan(1.0)) {}

void Dimension::ClearVariables() {
  for (int v = 0; v < kSlots; ++v) {
    VarName[v].clear();
    CenterText[v].clear();
    PeriodText[v].clear();
    GridX[v].clear();
  }
  IsPower = {};
  LowerLimit = {};
  UpperLimit = {};
  Center = {};
  Period = {};
  LastTerm = {};
  LastPoint = {};
  DerOrder = {};
  EvenlySpaced = {};
  Extent = {};
  GridStep = {};
  Coefficients.clear();
  Results.Clear();
}

double Dimension::GetVarX(std::int64_t index) const {
  if (CurVar < 0 || CurVar >= kSlots) return 0.0;
  const auto& grid = GridX[CurVar];
  if (index < 0 || static_cast<std::size_t>(index) >= grid.size()) return 0.0;
  return grid[static_cast<std::size_t>(index)];
}

void Dimension::SetVarX(std::int64_t index, double value) {
  if (CurVar < 0 || CurVar >= kSlots) return;
  auto& grid = GridX[CurVar];
  if (index < 0 || static_cast<std::size_t>(index) >= grid.size()) return;
  grid[static_cast<std::size_t>(index)] = value;
}

void Dimension::ResizeCurrentGrid() {
  if (CurVar < 0 || CurVar >= kSlots) return;
  std::int64_t last = LastPoint[CurVar];
  GridX[CurVar].resize(last < 0 ? 0 : static_cast<std::size_t>(last) + 1, 0.0);
}

double Dimension::CenterOffset(int v, std::int64_t index) const {
  if (v < 0 || v >= kSlots) return 0.0;
  const auto& grid = GridX[v];
  const double x =
      index < 0 || static_cast<std::size_t>(index) >= grid.size() ? 0.0 : grid[static_cast<std::size_t>(index)];
  return x - Center[v];
}

std::string VariableLabel(const Dimension& model, int v) {
  std::string label = "variable " + IntegerText(v);
  if (v >= 0 && v < kSlots && !model.VarName[v].empty()) label += " (" + model.VarName[v] + ")";
  return label;
}

std::string CapitalVariableLabel(const Dimension& model, int v) {
  std::string label = VariableLabel(model, v);
  label[0] = 'V';
  return label;
}

bool EvenGridIsFinite(double lower, double upper, std::int32_t last) {
  if (last <= 0) return std::isfinite(lower);
  const double step = (upper - lower) / static_cast<double>(last);
  if (!std::isfinite(step)) return false;
  return std::isfinite(static_cast<double>(last) * step + lower);
}

void Dimension::FillEvenGrid(int v) {
  if (v < 0 || v >= kSlots) return;
  const std::int32_t last = LastPoint[v];
  auto& grid = GridX[v];
  grid.assign(last < 0 ? 0 : static_cast<std::size_t>(last) + 1, 0.0);
  if (last <= 0) {
    GridStep[v] = 0.0;
    if (last == 0) grid[0] = LowerLimit[v];
    return;
  }
  const double step = (UpperLimit[v] - LowerLimit[v]) / static_cast<double>(last);
  GridStep[v] = step;
  const double lower = LowerLimit[v];
  for (std::int32_t j = 0; j <= last; ++j) grid[static_cast<std::size_t>(j)] = static_cast<double>(j) * step + lower;
}

void Dimension::BuildGrids() {
  for (int v = 0; v <= LastVar && v < kSlots; ++v)
    if (EvenlySpaced[v]) FillEvenGrid(v);
}

namespace {
std::int64_t CountProduct(const std::array<std::int32_t, kSlots>& last, int last_var) {
  std::int64_t total = 1;
  for (int v = 0; v <= last_var && v < kSlots; ++v) {
    if (last[v] < 0) return -1;
    total *= static_cast<std::int64_t>(last[v]) + 1;
    if (total > 2147483647) return -1;
  }
  return total;
}
}  // namespace

std::int64_t Dimension::TermProduct() const { return CountProduct(LastTerm, LastVar); }
std::int64_t Dimension::PointProduct() const { return CountProduct(LastPoint, LastVar); }

}  // namespace tabulor
