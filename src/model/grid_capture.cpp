#include "model/grid_capture.h"

#include <cmath>

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

// A limit box read by the leading-number rule; false when the number in it
// is beyond the range of a double.
bool ReadLimit(const std::string& text, double& value) {
  const LeadingNumberResult r = ParseLeadingNumber(text);
  if (r.status == NumberStatus::Overflow) return false;
  value = r.value;
  return true;
}

// The number of grid points the counts make, as decimal text: exact while
// it fits into 64 bits, otherwise the number text of the product.
std::string PointCountText(const std::array<std::int32_t, kSlots>& last, int last_var) {
  std::int64_t exact = 1;
  bool fits = true;
  double approx = 1.0;
  for (int v = 0; v <= last_var && v < kSlots; ++v) {
    const std::int64_t n = static_cast<std::int64_t>(last[v]) + 1;
    approx *= static_cast<double>(n);
    if (fits && __builtin_mul_overflow(exact, n, &exact)) fits = false;
  }
  return fits ? IntegerText(exact) : NumberText(approx);
}
}  // namespace

std::string CaptureGridSpecs(Dimension& m, const std::array<GridSpecText, kSlots>& spec) {
  std::array<double, kSlots> lower{}, upper{};
  std::array<std::int32_t, kSlots> last{}, der{};
  std::int64_t total = 1;
  bool too_many = false;
  for (int v = 0; v <= m.LastVar && v < kSlots; ++v) {
    const GridSpecText& s = spec[v];
    if (!ReadLimit(s.lower, lower[v]))
      return Who(m, v) + ": the lower limit \"" + s.lower + "\" is beyond the range of a double.";
    if (!ReadLimit(s.upper, upper[v]))
      return Who(m, v) + ": the upper limit \"" + s.upper + "\" is beyond the range of a double.";
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
    if (spec[v].spaced && !EvenGridIsFinite(lower[v], upper[v], last[v]))
      return Who(m, v) + ": the limits " + NumberText(lower[v]) + " and " + NumberText(upper[v]) +
             " are too far apart for " + IntegerText(static_cast<std::int64_t>(last[v]) + 1) +
             " evenly spaced grid points: the grid step or a grid value is beyond the range of a double.";
    // A grid of one point is kept (and saved) as its lower limit: a typed
    // value elsewhere would be computed here but read back from a grid file
    // at the lower limit.
    if (!spec[v].spaced && last[v] == 0 && !m.GridX[v].empty() && !(m.GridX[v][0] == lower[v]))
      return Who(m, v) + ": a grid of one point lies at the lower limit, so the typed value " +
             NumberText(m.GridX[v][0]) + " cannot be used; type it as the lower limit, or give two or more points.";
    if (spec[v].spaced)
      if (auto too_big = CheckDoublesFit(static_cast<std::uint64_t>(last[v]) + 1, Who(m, v) + ": the grid"))
        return *too_big + ".";
    // Each count is at most 2^31 and the running product is checked at
    // every step, so it never leaves 64 bits.
    if (!too_many) {
      total *= static_cast<std::int64_t>(last[v]) + 1;
      too_many = total > kMaxCount;
    }
  }
  if (too_many)
    return "The numbers of grid points make " + PointCountText(last, m.LastVar) + " grid points, more than " +
           IntegerText(kMaxCount) + ".";
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
