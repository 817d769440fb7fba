#include "model/series_file.h"

#include <array>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>

#include "model/field_reader.h"
#include "model/limits.h"
#include "model/number_text.h"
#include "platform/file_io.h"

namespace tabulor {

namespace {

struct StagedSeries {
  std::int32_t last_var = 0;
  std::array<std::string, kSlots> name, center_text, period_text;
  std::array<double, kSlots> lower{}, upper{}, center{}, period{};
  std::array<bool, kSlots> is_power{};
  std::array<std::int32_t, kSlots> last_term{};
  std::vector<double> coefficients;
};

std::string VarWhat(const char* item, int v) { return std::string(item) + " of variable " + IntegerText(v); }

SeriesReadResult Failure(const std::string& name, const std::string& problem) {
  return {SeriesReadOutcome::Error, "Series file \"" + name + "\": " + problem};
}

// "field 5 on line 2 (centre of expansion of variable 0): " for the field
// just read.
std::string At(const FieldReader& in, const std::string& what) {
  return "field " + IntegerText(in.field_number()) + " on line " + IntegerText(in.line_number()) + " (" + what + "): ";
}

// The centre and period fields are texts whose leading number counts; a
// number beyond the range of a double, or an infinity or NaN written out, is
// refused (the reason is returned).
std::optional<std::string> TextNumber(const std::string& text, double& out) {
  LeadingNumberResult r = ParseLeadingNumber(text);
  if (r.status == NumberStatus::Overflow) return std::string("the number is too large for a double");
  if (NamesNonFiniteNumber(text)) return "\"" + text.substr(0, 40) + "\" is not a finite number";
  out = r.status == NumberStatus::Ok ? r.value : 0.0;
  return std::nullopt;
}

// The limits of variable v; the problem when they are refused.
std::optional<std::string> ReadLimits(FieldReader& in, StagedSeries& s, int v) {
  if (!in.ReadText(s.name[v], VarWhat("name", v)) || !in.ReadNumber(s.lower[v], VarWhat("lower limit", v)) ||
      !in.ReadNumber(s.upper[v], VarWhat("upper limit", v)))
    return in.error();
  // The default grid steps from the lower to the upper limit.
  if (!std::isfinite(s.upper[v] - s.lower[v]))
    return At(in, VarWhat("upper limit", v)) +
           "the limits are so far apart that the distance between them is beyond the range of a double";
  return std::nullopt;
}

// The centre of expansion, the kind and the period of variable v.
std::optional<std::string> ReadCentreAndPeriod(FieldReader& in, StagedSeries& s, int v, double pi) {
  if (!in.ReadText(s.center_text[v], VarWhat("centre of expansion", v))) return in.error();
  if (s.center_text[v] == "*") {
    s.center[v] = (s.upper[v] + s.lower[v]) / 2.0;
    if (!std::isfinite(s.center[v]))
      return At(in, VarWhat("centre of expansion", v)) +
             "the middle of the limits (\"*\") is beyond the range of a double";
  } else if (auto why = TextNumber(s.center_text[v], s.center[v])) {
    return At(in, VarWhat("centre of expansion", v)) + *why;
  }
  if (!in.ReadBoolean(s.is_power[v], VarWhat("kind (#TRUE# for Power)", v)) ||
      !in.ReadText(s.period_text[v], VarWhat("period", v)))
    return in.error();
  if (s.period_text[v] == "*") {
    s.period[v] = pi + pi;
  } else if (auto why = TextNumber(s.period_text[v], s.period[v])) {
    // A Power variable never uses its period: the text stays as written
    // and the number is 0, as for a text without one.
    if (!s.is_power[v]) return At(in, VarWhat("period", v)) + *why;
    s.period[v] = 0.0;
  }
  return std::nullopt;
}

// The number of terms of variable v.
std::optional<std::string> ReadTerms(FieldReader& in, StagedSeries& s, int v) {
  const std::string what = VarWhat("number of terms minus 1", v);
  if (!in.ReadInteger(s.last_term[v], what)) return in.error();
  if (s.last_term[v] < 0) return At(in, what) + IntegerText(s.last_term[v]) + " is negative";
  if (s.last_term[v] == kMaxCount) return At(in, what) + "the number of terms is beyond the 32-bit range";
  // The default grid has one point per term.
  if (!EvenGridIsFinite(s.lower[v], s.upper[v], s.last_term[v]))
    return At(in, what) +
           "the limits are so far apart that the default grid's values (one per term) are beyond the range of a "
           "double";
  return std::nullopt;
}

// The number of variables and every variable's description; `count` the
// number of coefficients, `too_many` why it is beyond the 32-bit range
// (named at the field that takes it there; told after the flag, which may
// say that there are no coefficients at all).
std::optional<std::string> ReadHead(FieldReader& in, StagedSeries& s, double pi, std::int64_t& count,
                                    std::string& too_many) {
  if (!in.ReadInteger(s.last_var, "number of variables minus 1")) return in.error();
  if (s.last_var < 0 || s.last_var > 3)
    return "field 1 on line 1 (number of variables minus 1): " + IntegerText(s.last_var) +
           " is outside 0 to 3 (a series has one to four variables)";
  count = 1;
  for (int v = 0; v <= s.last_var; ++v) {
    if (auto why = ReadLimits(in, s, v)) return why;
    if (auto why = ReadCentreAndPeriod(in, s, v, pi)) return why;
    if (auto why = ReadTerms(in, s, v)) return why;
    if (too_many.empty()) {
      count *= static_cast<std::int64_t>(s.last_term[v]) + 1;
      if (count > kMaxCount)
        too_many = At(in, VarWhat("number of terms minus 1", v)) + "the numbers of terms make " + IntegerText(count) +
                   " coefficients, more than " + IntegerText(kMaxCount);
    }
  }
  return std::nullopt;
}

// The coefficients, k0 fastest; room for the default grids is made first.
std::optional<SeriesReadResult> ReadCoefficients(FieldReader& in, StagedSeries& s, const std::string& name,
                                                 std::int64_t count, std::uint64_t size_hint,
                                                 const ProgressFn& progress,
                                                 std::array<std::vector<double>, kSlots>& grid) {
  try {
    for (int v = 0; v <= s.last_var; ++v) grid[v].reserve(static_cast<std::size_t>(s.last_term[v]) + 1);
    // Every field takes at least one byte: do not reserve beyond the file.
    std::uint64_t room = size_hint ? std::min<std::uint64_t>(static_cast<std::uint64_t>(count), size_hint + 1)
                                   : static_cast<std::uint64_t>(count);
    s.coefficients.reserve(static_cast<std::size_t>(room));
    const std::uint64_t step = 1 << 20;
    for (std::int64_t i = 0; i < count; ++i) {
      double c = 0.0;
      if (!in.ReadNumberNamedOnError(c,
                                     [&] { return "coefficient " + IntegerText(i + 1) + " of " + IntegerText(count); }))
        return Failure(name, in.error());
      s.coefficients.push_back(c);
      if (progress && (i + 1) % static_cast<std::int64_t>(step) == 0 &&
          !progress(static_cast<std::uint64_t>(i + 1), static_cast<std::uint64_t>(count)))
        return SeriesReadResult{SeriesReadOutcome::Cancelled, "cancelled"};
    }
  } catch (const std::bad_alloc&) {
    return Failure(name, "there is not enough memory for " + IntegerText(count) + " coefficients");
  }
  return std::nullopt;
}

// All is read: puts it into the model.
void Commit(Dimension& model, StagedSeries& s, std::array<std::vector<double>, kSlots>& grid, const std::string& name,
            std::int64_t count) {
  model.ClearVariables();
  model.LastVar = s.last_var;
  for (int v = 0; v <= s.last_var; ++v) {
    model.VarName[v] = std::move(s.name[v]);
    model.LowerLimit[v] = s.lower[v];
    model.UpperLimit[v] = s.upper[v];
    model.CenterText[v] = std::move(s.center_text[v]);
    model.Center[v] = s.center[v];
    model.IsPower[v] = s.is_power[v];
    model.PeriodText[v] = std::move(s.period_text[v]);
    model.Period[v] = s.period[v];
    model.LastTerm[v] = s.last_term[v];
    model.LastPoint[v] = s.last_term[v];
    model.EvenlySpaced[v] = true;
  }
  model.Coefficients = std::move(s.coefficients);
  // The grids fill the room reserved above: nothing is allocated once the
  // model has been cleared.
  for (int v = 0; v <= s.last_var; ++v) model.GridX[v] = std::move(grid[v]);
  model.BuildGrids();
  model.ResultsReady = false;
  model.FileName = name;
  model.TotalCount = static_cast<std::int32_t>(count);
}

SeriesReadResult ReadSeries(FieldReader& in, Dimension& model, const std::string& name, std::uint64_t size_hint,
                            const ProgressFn& progress) {
  StagedSeries s;
  std::int64_t count = 1;
  std::string too_many;
  if (auto why = ReadHead(in, s, model.Pi, count, too_many)) return Failure(name, *why);
  bool present = false;
  if (!in.ReadBoolean(present, "coefficients present")) return Failure(name, in.error());
  if (!present) return {SeriesReadOutcome::NoCoefficients, "NO COEFFICIENTS IN FILE."};
  if (!too_many.empty()) return Failure(name, too_many);
  // The default grids (one value per term) are made with the coefficients.
  std::uint64_t grid_values = 0;
  for (int v = 0; v <= s.last_var; ++v) grid_values += static_cast<std::uint64_t>(s.last_term[v]) + 1;
  if (auto too_big = CheckDoublesFit(static_cast<std::uint64_t>(count) + grid_values,
                                     "The coefficient block with its default grid"))
    return Failure(name, *too_big);
  std::array<std::vector<double>, kSlots> grid;
  if (auto stopped = ReadCoefficients(in, s, name, count, size_hint, progress, grid)) return *stopped;
  Commit(model, s, grid, name, count);
  return {SeriesReadOutcome::Ok, {}};
}

}  // namespace

SeriesReadResult ReadSeriesFile(Dimension& model, const std::string& path, const ProgressFn& progress) {
  const FileToRead file = OpenToRead(path);
  if (file.folder) return Failure(path, "is a folder, not a file");
  if (file.fd < 0) return Failure(path, std::string("cannot be opened: ") + std::strerror(file.error));
  FieldReader in(file.fd);
  return ReadSeries(in, model, path, file.size, progress);
}

SeriesReadResult ReadSeriesText(Dimension& model, std::string_view text, const std::string& name) {
  FieldReader in(text);
  return ReadSeries(in, model, name, text.size(), nullptr);
}

}  // namespace tabulor
