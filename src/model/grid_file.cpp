#include "model/grid_file.h"

#include <algorithm>
#include <array>

#include <sys/stat.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>

#include "model/field_reader.h"
#include "model/limits.h"
#include "model/number_text.h"
#include "model/result_rows.h"
#include "platform/atomic_file.h"
#include "platform/file_io.h"

namespace tabulor {

namespace {

bool NeedsQuotes(const std::string& name) {
  if (name.empty()) return false;
  // A comma or a line end would end the field early; a quoted name (from a
  // quoted field of the series file) may hold both.
  if (name.find_first_of(",\r\n") != std::string::npos) return true;
  char first = name.front(), last = name.back();
  return first == ' ' || first == '\t' || first == '"' || last == ' ' || last == '\t';
}

// Collects the file's bytes and hands them on in large pieces.
class LineSink {
 public:
  explicit LineSink(std::function<bool(const char*, std::size_t)> flush)
      : flush_(std::move(flush)), buf_(kChunk + kLineRoom, '\0') {}
  void Number(double value) {
    // Written in place: a blank for the sign of a non-negative number.
    char* p = buf_.data() + used_;
    std::size_t n = FormatNumber(p + 1, value);
    if (p[1] == '-') {
      std::memmove(p, p + 1, n);
    } else {
      p[0] = ' ';
      ++n;
    }
    std::memcpy(p + n, " \r\n", 3);
    used_ += n + 3;
    Check();
  }
  void Integer(std::int64_t value) { Text(PrintForm(value)); }
  void Text(const std::string& text) {
    Append(text.data(), text.size());
    Append("\r\n", 2);
    Check();
  }
  bool Finish() {
    if (ok_ && used_ > 0) ok_ = flush_(buf_.data(), used_);
    used_ = 0;
    return ok_;
  }
  bool ok() const { return ok_; }

 private:
  static constexpr std::size_t kChunk = 1 << 20;
  static constexpr std::size_t kLineRoom = 64;  // a number line is at most 28 bytes
  void Append(const char* p, std::size_t n) {
    while (n > 0) {
      const std::size_t room = buf_.size() - used_;
      const std::size_t part = n < room ? n : room;
      std::memcpy(buf_.data() + used_, p, part);
      used_ += part;
      p += part;
      n -= part;
      if (used_ == buf_.size()) Flush();
    }
  }
  void Flush() {
    if (ok_) ok_ = flush_(buf_.data(), used_);
    used_ = 0;
  }
  void Check() {
    if (used_ >= kChunk) Flush();
  }
  std::function<bool(const char*, std::size_t)> flush_;
  std::string buf_;
  std::size_t used_ = 0;
  bool ok_ = true;
};

// Writes the items in the file's order; false when the sink failed or
// progress asked to stop.
bool WriteItems(const Dimension& m, LineSink& out, const ProgressFn& progress, bool& cancelled) {
  cancelled = false;
  out.Integer(m.LastVar);
  for (int v = 0; v <= m.LastVar; ++v) {
    const std::string& name = m.VarName[v];
    out.Text(NeedsQuotes(name) ? "\"" + name + "\"" : name);
    out.Number(m.LowerLimit[v]);
    out.Number(m.UpperLimit[v]);
    out.Integer(m.LastPoint[v]);
    out.Integer(m.DerOrder[v]);
    out.Text(m.EvenlySpaced[v] ? "#TRUE#" : "#FALSE#");
  }
  const bool written = ForEachResultPiece(
      m, progress,
      [&](const ResultPiece& piece) {
        for (std::int64_t i = 0; i < piece.count; ++i) out.Number(piece.values[i]);
        return out.ok();
      },
      cancelled);
  if (!written) return false;
  for (int v = 0; v <= m.LastVar && v < kSlots; ++v)
    if (m.LastPoint[v] != 0)
      for (std::int64_t j = 0; j <= m.LastPoint[v]; ++j) out.Number(m.GridX[v][static_cast<std::size_t>(j)]);
  return out.Finish();
}

GridFileResult Failure(const std::string& file, const std::string& problem) {
  return {false, "Grid file \"" + file + "\": " + problem};
}

std::string Errno(int e) { return std::strerror(e); }

}  // namespace

std::optional<std::string> GridFileWritable(const Dimension& m) {
  if (!m.ResultsReady || m.Results.empty()) return "there are no results to save";
  if (m.LastVar < 0 || m.LastVar > 3) return "the number of variables is outside 1 to 4";
  const auto& dims = m.Results.dims();
  for (int v = 0; v < kSlots; ++v) {
    std::int64_t last = m.IsPresent(v) ? m.LastPoint[v] : 0;
    if (last < 0 || last != m.LastPt[v] || dims[v] < last + 1 ||
        (last != 0 && m.GridX[v].size() < static_cast<std::size_t>(last) + 1))
      return "the results do not match the grid of variable " + IntegerText(v);
  }
  return std::nullopt;
}

std::string GridFileText(const Dimension& model) {
  std::string text;
  if (GridFileWritable(model)) return text;
  LineSink sink([&](const char* p, std::size_t n) {
    text.append(p, n);
    return true;
  });
  bool cancelled;
  WriteItems(model, sink, nullptr, cancelled);
  return text;
}

std::string GridFilePath(const std::string& name) {
  static constexpr char kExt[] = ".grd";
  constexpr std::size_t n = sizeof kExt - 1;
  if (name.size() > n) {
    bool same = true;
    for (std::size_t i = 0; i < n && same; ++i) {
      char c = name[name.size() - n + i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      same = c == kExt[i];
    }
    // "folder/.grd" is a base name: its file is "folder/.grd.grd".
    if (same && name[name.size() - n - 1] != '/') return name;
  }
  return name + kExt;
}

GridFileResult WriteGridFile(const Dimension& model, const std::string& name, const ProgressFn& progress) {
  const std::string target = GridFilePath(name);
  if (auto why = GridFileWritable(model)) return Failure(target, "cannot be written: " + *why);

  bool cancelled = false;
  AtomicWriteResult written = WriteFileAtomically(target, [&](const ByteSink& bytes) {
    LineSink sink(bytes);
    return WriteItems(model, sink, progress, cancelled);
  });
  if (written.outcome != AtomicWriteOutcome::Ok) {
    if (cancelled) return Failure(target, "saving was cancelled; nothing was written");
    return Failure(target, "cannot be written: " + AtomicWriteProblem(written));
  }
  return {true, {}};
}

namespace {

// A grid file's head as read, before it goes into the model.
struct StagedGrid {
  std::int32_t last_var = 0;
  std::array<std::string, kSlots> name;
  std::array<double, kSlots> lower{}, upper{};
  std::array<std::int32_t, kSlots> last{}, der{};
  std::array<bool, kSlots> even{};
  std::int64_t count = 1;  // grid points of the variables so far
};

std::string VarWhat(const char* item, int v) { return std::string(item) + " of variable " + IntegerText(v); }

// "field 5 on line 2 (derivative order of variable 0): " for the field just
// read.
std::string At(const FieldReader& in, const std::string& what) {
  return "field " + IntegerText(in.field_number()) + " on line " + IntegerText(in.line_number()) + " (" + what + "): ";
}

// The description of variable v; the problem when it is refused.
std::optional<std::string> ReadGridVariable(FieldReader& in, StagedGrid& g, int v) {
  const std::string points = VarWhat("number of grid points minus 1", v);
  if (!in.ReadText(g.name[v], VarWhat("name", v)) || !in.ReadNumber(g.lower[v], VarWhat("grid lower limit", v)) ||
      !in.ReadNumber(g.upper[v], VarWhat("grid upper limit", v)) || !in.ReadInteger(g.last[v], points))
    return in.error();
  if (g.last[v] < 0) return At(in, points) + IntegerText(g.last[v]) + " is negative";
  if (g.last[v] == kMaxCount) return At(in, points) + "the number of grid points is beyond the 32-bit range";
  g.count *= static_cast<std::int64_t>(g.last[v]) + 1;
  if (g.count > kMaxCount)
    return At(in, points) + "the grid sizes make " + IntegerText(g.count) + " grid points, more than " +
           IntegerText(kMaxCount);
  if (!in.ReadInteger(g.der[v], VarWhat("derivative order", v))) return in.error();
  if (g.der[v] < 0) return At(in, VarWhat("derivative order", v)) + IntegerText(g.der[v]) + " is negative";
  if (!in.ReadBoolean(g.even[v], VarWhat("evenly spaced", v))) return in.error();
  return std::nullopt;
}

std::optional<std::string> ReadGridHead(FieldReader& in, StagedGrid& g) {
  if (!in.ReadInteger(g.last_var, "number of variables minus 1")) return in.error();
  if (g.last_var < 0 || g.last_var > 3)
    return "field 1 on line 1 (number of variables minus 1): " + IntegerText(g.last_var) + " is outside 0 to 3";
  for (int v = 0; v <= g.last_var; ++v)
    if (auto why = ReadGridVariable(in, g, v)) return why;
  std::int64_t grid_values = 0;
  for (int v = 0; v <= g.last_var; ++v) grid_values += static_cast<std::int64_t>(g.last[v]) + 1;
  return CheckDoublesFit(static_cast<std::uint64_t>(g.count + grid_values), "The grid");
}

// The values at the grid points and the grid values; the problem when they
// cannot be read, "" when reading was cancelled.
std::optional<std::string> ReadGridData(FieldReader& in, const StagedGrid& g, const ProgressFn& progress,
                                        ResultsArray& results, std::array<std::vector<double>, kSlots>& grid) {
  std::array<std::int64_t, 4> dims{1, 1, 1, 1};
  for (int v = 0; v <= g.last_var; ++v) dims[v] = static_cast<std::int64_t>(g.last[v]) + 1;
  if (!results.Allocate(dims)) return "there is not enough memory for " + IntegerText(g.count) + " values";
  double* out = results.data();
  for (std::int64_t i = 0; i < g.count; ++i) {
    if (!in.ReadNumberNamedOnError(out[i],
                                   [&] { return "value " + IntegerText(i + 1) + " of " + IntegerText(g.count); }))
      return in.error();
    if (progress && ((i + 1) & 0xFFFFF) == 0 &&
        !progress(static_cast<std::uint64_t>(i + 1), static_cast<std::uint64_t>(g.count)))
      return "reading was cancelled";
  }
  for (int v = 0; v < kSlots; ++v) {
    std::int32_t lp = v <= g.last_var ? g.last[v] : 0;
    grid[v].assign(static_cast<std::size_t>(lp) + 1, 0.0);
    if (lp == 0) {
      // No grid value is written for a single point: it lies at the lower limit.
      grid[v][0] = v <= g.last_var ? g.lower[v] : 0.0;
      continue;
    }
    for (std::int32_t j = 0; j <= lp; ++j)
      if (!in.ReadNumber(grid[v][static_cast<std::size_t>(j)],
                         "grid value " + IntegerText(j) + " of variable " + IntegerText(v)))
        return in.error();
  }
  return std::nullopt;
}

void CommitGrid(Dimension& model, StagedGrid& g, ResultsArray& results, std::array<std::vector<double>, kSlots>& grid,
                const std::string& base) {
  model.ClearVariables();
  model.LastVar = g.last_var;
  for (int v = 0; v <= g.last_var; ++v) {
    model.VarName[v] = std::move(g.name[v]);
    model.LowerLimit[v] = g.lower[v];
    model.UpperLimit[v] = g.upper[v];
    model.LastPoint[v] = g.last[v];
    model.Extent[v] = g.last[v];
    model.DerOrder[v] = g.der[v];
    model.EvenlySpaced[v] = g.even[v];
    if (g.even[v] && g.last[v] > 0) {
      // Limits too far apart have no step a double can hold; it stays 0.
      const double step = (g.upper[v] - g.lower[v]) / static_cast<double>(g.last[v]);
      if (std::isfinite(step)) model.GridStep[v] = step;
    }
  }
  for (int v = 0; v < kSlots; ++v) {
    model.GridX[v] = std::move(grid[v]);
    model.LastPt[v] = model.LastPoint[v];
  }
  model.Results = std::move(results);
  model.ResultsReady = true;
  model.FileName = base;
  model.TotalCount = static_cast<std::int32_t>(g.count);
}

GridFileResult ReadGrid(FieldReader& in, Dimension& model, const std::string& base, const std::string& file,
                        const ProgressFn& progress) {
  StagedGrid g;
  if (auto why = ReadGridHead(in, g)) return Failure(file, *why);
  ResultsArray results;
  std::array<std::vector<double>, kSlots> grid;
  try {
    if (auto why = ReadGridData(in, g, progress, results, grid)) return Failure(file, *why);
  } catch (const std::bad_alloc&) {
    return Failure(file, "there is not enough memory for " + IntegerText(g.count) + " values");
  }
  CommitGrid(model, g, results, grid, base);
  return {true, {}};
}

}  // namespace

GridFileResult ReadGridFile(Dimension& model, const std::string& name, const ProgressFn& progress) {
  const std::string file = GridFilePath(name);
  const FileToRead opened = OpenToRead(file);
  if (opened.folder) return Failure(file, "is a folder, not a file");
  if (opened.fd < 0) return Failure(file, "cannot be opened: " + Errno(opened.error));
  FieldReader in(opened.fd);
  return ReadGrid(in, model, name, file, progress);
}

GridFileResult ReadGridText(Dimension& model, std::string_view text, const std::string& name) {
  FieldReader in(text);
  return ReadGrid(in, model, name, GridFilePath(name), nullptr);
}

}  // namespace tabulor
