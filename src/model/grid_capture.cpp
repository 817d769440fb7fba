#include "model/grid_capture.h"

#include "model/limits.h"
#include "model/number_text.h"

namespace tabulor {

std::array<GridSpecText, kSlots> DefaultGridSpec(const Dimension& m) {
  std::array<GridSpecText, kSlots> spec;
  for (int v = 0; v <= m.LastVar && v < kSlots; ++v) {
    spec[v].lower = NumberText(m.LowerLimit[v]);
    spec[v].upper = NumberText(m.UpperLimit[v]);
    spec[v].points = IntegerText(static_cast<std::int64_t>(m.LastTerm[v]) + 1);
    spec[v].der = "0";
    spec[v].power = m.IsPower[v];
    spec[v].spaced = m.EvenlySpaced[v];
  }
  return spec;
}

namespace {
std::string Who(const Dimension& m, int v) {
  std::string s = "Variable " + IntegerText(v);
  if (!m.VarName[v].empty()) s += " (" + m.VarName[v] + ")";
  return s;
}
}  // namespace

std::string CaptureGridSpecs(Dimension& m, const std::array<GridSpecText, kSlots>& spec) {
  std::array<double, kSlots> lower{}, upper{};
  std::array<std::int32_t, kSlots> last{}, der{};
  std::int64_t total = 1;
  for (int v = 0; v <= m.LastVar && v < kSlots; ++v) {
    const GridSpecText& s = spec[v];
    lower[v] = LeadingNumber(s.lower);
    upper[v] = LeadingNumber(s.upper);
    if (!RoundToInt32(LeadingNumber(s.points) - 1.0, last[v]) || last[v] < 0)
      return Who(m, v) + ": the number of grid points \"" + s.points + "\" is not between 1 and " +
             IntegerText(kMaxCount) + ".";
    WholeNumberResult d = ParseWholeNumber(s.der);
    if (d.status == WholeNumberStatus::NotANumber)
      return Who(m, v) + ": the derivative order \"" + s.der + "\" is not a number.";
    if (d.status == WholeNumberStatus::OutOfRange)
      return Who(m, v) + ": the derivative order \"" + s.der + "\" is beyond the 32-bit range.";
    if (d.value < 0)
      return Who(m, v) + ": the derivative order " + IntegerText(d.value) + " is negative.";
    der[v] = d.value;
    if (spec[v].spaced)
      if (auto too_big = CheckDoublesFit(static_cast<std::uint64_t>(last[v]) + 1, Who(m, v) + ": the grid"))
        return *too_big + ".";
    total *= static_cast<std::int64_t>(last[v]) + 1;
    if (total > kMaxCount)
      return "The numbers of grid points make more than " + IntegerText(kMaxCount) + " grid points.";
  }
  for (int v = 0; v <= m.LastVar && v < kSlots; ++v) {
    m.LowerLimit[v] = lower[v];
    m.UpperLimit[v] = upper[v];
    m.LastPoint[v] = last[v];
    m.DerOrder[v] = der[v];
    m.IsPower[v] = spec[v].power;
    m.EvenlySpaced[v] = spec[v].spaced;
  }
  m.TotalCount = static_cast<std::int32_t>(total);
  m.BuildGrids();
  return {};
}

}  // namespace tabulor
