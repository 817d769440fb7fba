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

std::int32_t MinGridPoints(bool single_term) { return single_term ? 1 : kMinGridPoints; }

GridPointsCheck CheckGridPoints(double count, bool single_term, std::int32_t& last_point) {
  std::int32_t last = 0;
  if (!(count >= MinGridPoints(single_term))) return GridPointsCheck::TooFew;
  if (!RoundToInt32(count - 1.0, last) || last >= kMaxCount) return GridPointsCheck::TooMany;
  last_point = last;
  return GridPointsCheck::Ok;
}

namespace {

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

// The settings of every variable, read and checked, before any goes into
// the model.
struct Captured {
  std::array<double, kSlots> lower{}, upper{};
  std::array<std::int32_t, kSlots> last{}, der{};
};

// Reads the limits, the number of grid points and the derivative order of
// variable v; the reason when one is refused, else "".
std::string ReadCounts(const Dimension& m, int v, const GridSpecText& s, Captured& c) {
  const std::string who = CapitalVariableLabel(m, v);
  if (!ReadLimit(s.lower, c.lower[v]))
    return who + ": the lower limit \"" + s.lower + "\" is beyond the range of a double.";
  if (!ReadLimit(s.upper, c.upper[v]))
    return who + ": the upper limit \"" + s.upper + "\" is beyond the range of a double.";
  // The window and the batch command hold their boxes and options to the
  // rule; a program calling the capture itself (the Python module, one
  // point of a grid at a time) may ask for a single point.
  if (CheckGridPoints(LeadingNumber(s.points), true, c.last[v]) != GridPointsCheck::Ok)
    return who + ": the number of grid points \"" + s.points + "\" is not between 1 and " + IntegerText(kMaxCount) +
           ".";
  const WholeNumberResult d = ParseWholeNumber(s.der);
  if (d.status == WholeNumberStatus::NotANumber)
    return who + ": the derivative order \"" + s.der + "\" is not a number.";
  if (d.status == WholeNumberStatus::OutOfRange)
    return who + ": the derivative order \"" + s.der + "\" is beyond the 32-bit range.";
  if (d.value < 0) return who + ": the derivative order " + IntegerText(d.value) + " is negative.";
  c.der[v] = d.value;
  return {};
}

// Checks that variable v's grid can be made: an even grid with finite
// values that fits the memory, or typed values that fit its count.
std::string CheckGrid(const Dimension& m, int v, const GridSpecText& s, const Captured& c) {
  const std::string who = CapitalVariableLabel(m, v);
  const std::int64_t points = static_cast<std::int64_t>(c.last[v]) + 1;
  if (s.spaced) {
    if (!EvenGridIsFinite(c.lower[v], c.upper[v], c.last[v]))
      return who + ": the limits " + NumberText(c.lower[v]) + " and " + NumberText(c.upper[v]) +
             " are too far apart for " + IntegerText(points) +
             " evenly spaced grid points: the grid step or a grid value is beyond the range of a double.";
    if (auto too_big = CheckDoublesFit(static_cast<std::uint64_t>(points), who + ": the grid")) return *too_big + ".";
    return {};
  }
  if (!s.values.empty() && static_cast<std::int64_t>(s.values.size()) != points)
    return who + ": " + IntegerText(static_cast<std::int64_t>(s.values.size())) + " grid values are typed for " +
           IntegerText(points) + " grid points.";
  for (const double x : s.values)
    if (!std::isfinite(x)) return who + ": the typed grid value " + NumberText(x) + " is not a finite number.";
  // A grid of one point is kept (and saved) as its lower limit: a typed
  // value elsewhere would be computed here but read back from a grid file
  // at the lower limit.
  const std::vector<double>& typed = s.values.empty() ? m.GridX[v] : s.values;
  if (c.last[v] == 0 && !typed.empty() && !(typed[0] == c.lower[v]))
    return who + ": a grid of one point lies at the lower limit, so the typed value " + NumberText(typed[0]) +
           " cannot be used; type it as the lower limit, or give two or more points.";
  return {};
}

void Commit(Dimension& m, const std::array<GridSpecText, kSlots>& spec, const Captured& c, std::int64_t total) {
  for (int v = 0; v <= m.LastVar && v < kSlots; ++v) {
    m.LowerLimit[v] = c.lower[v];
    m.UpperLimit[v] = c.upper[v];
    m.LastPoint[v] = c.last[v];
    m.DerOrder[v] = c.der[v];
    m.IsPower[v] = spec[v].power;
    m.EvenlySpaced[v] = spec[v].spaced;
    if (!spec[v].spaced && !spec[v].values.empty()) m.GridX[v] = spec[v].values;
  }
  m.TotalCount = static_cast<std::int32_t>(total);
  m.BuildGrids();
}

}  // namespace

std::string CaptureGridSpecs(Dimension& m, const std::array<GridSpecText, kSlots>& spec) {
  Captured c;
  std::int64_t total = 1;
  bool too_many = false;
  for (int v = 0; v <= m.LastVar && v < kSlots; ++v) {
    if (std::string why = ReadCounts(m, v, spec[v], c); !why.empty()) return why;
    if (std::string why = CheckGrid(m, v, spec[v], c); !why.empty()) return why;
    // Each count is at most 2^31 and the running product is checked at
    // every step, so it never leaves 64 bits.
    if (!too_many) {
      total *= static_cast<std::int64_t>(c.last[v]) + 1;
      too_many = total > kMaxCount;
    }
  }
  if (too_many)
    return "The numbers of grid points make " + PointCountText(c.last, m.LastVar) + " grid points, more than " +
           IntegerText(kMaxCount) + ".";
  // The typed values are copied before anything in the model changes.
  Commit(m, spec, c, total);
  return {};
}

}  // namespace tabulor
