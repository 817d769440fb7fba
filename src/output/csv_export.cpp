#include "output/csv_export.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "model/grid_file.h"
#include "model/number_text.h"
#include "platform/atomic_file.h"

namespace tabulor {

namespace {

// Collects the bytes in a fixed block and hands full blocks on. A row never
// needs more than kRowRoom bytes (at most five numbers of at most 32
// characters each, their commas and the line end), so numbers are written
// straight into the block without checking its end for every character.
class RowBuffer {
 public:
  static constexpr std::size_t kChunk = std::size_t{1} << 20;
  static constexpr std::size_t kRowRoom = 256;

  explicit RowBuffer(const ByteSink& flush) : flush_(flush), buf_(new char[kChunk + kRowRoom]), p_(buf_.get()) {}

  // Room for one more row; false when an earlier flush failed.
  bool Reserve() {
    if (static_cast<std::size_t>(p_ - buf_.get()) >= kChunk) Flush();
    return ok_;
  }
  void Number(double value) { p_ += FormatNumber(p_, value); }
  void Bytes(const char* data, std::size_t n) {
    std::memcpy(p_, data, n);
    p_ += n;
  }
  void Char(char c) { *p_++ = c; }
  void LineEnd() {
    p_[0] = '\r';
    p_[1] = '\n';
    p_ += 2;
  }
  // Longer texts (the header) go through here.
  void Text(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); i += kRowRoom) {
      Reserve();
      std::size_t n = std::min(kRowRoom, text.size() - i);
      Bytes(text.data() + i, n);
    }
  }
  bool Flush() {
    std::size_t n = static_cast<std::size_t>(p_ - buf_.get());
    if (ok_ && n > 0) ok_ = flush_(buf_.get(), n);
    p_ = buf_.get();
    return ok_;
  }
  bool ok() const { return ok_; }

 private:
  const ByteSink& flush_;
  std::unique_ptr<char[]> buf_;
  char* p_;
  bool ok_ = true;
};

// The number texts of a variable's grid values, formatted once.
class GridTexts {
 public:
  GridTexts(const std::vector<double>& grid, std::int64_t count) {
    offset_.reserve(static_cast<std::size_t>(count) + 1);
    offset_.push_back(0);
    char tmp[32];
    for (std::int64_t j = 0; j < count; ++j) {
      std::size_t n = FormatNumber(tmp, grid[static_cast<std::size_t>(j)]);
      text_.append(tmp, n);
      offset_.push_back(static_cast<std::uint32_t>(text_.size()));
    }
  }
  const char* data(std::int64_t j) const { return text_.data() + offset_[static_cast<std::size_t>(j)]; }
  std::size_t size(std::int64_t j) const {
    return offset_[static_cast<std::size_t>(j) + 1] - offset_[static_cast<std::size_t>(j)];
  }

 private:
  std::string text_;
  std::vector<std::uint32_t> offset_;
};

// Grid values of variable 0 are formatted once when there are at most this
// many; beyond, each is formatted as its row is written.
constexpr std::int64_t kCachedGridTexts = std::int64_t{1} << 20;

// Writes the header and the rows; false when the sink failed or progress
// asked to stop (then `cancelled` is set).
bool WriteRows(const Dimension& m, const ByteSink& sink, const ProgressFn& progress, bool& cancelled) {
  cancelled = false;
  RowBuffer out(sink);
  std::string header;
  for (int v = 0; v <= m.LastVar; ++v) {
    header += CsvField(m.VarName[v]);
    header.push_back(',');
  }
  header += "value\r\n";
  out.Text(header);

  std::array<std::int64_t, 4> last{};
  for (int v = 0; v < kSlots; ++v) last[v] = m.IsPresent(v) ? m.LastPoint[v] : 0;
  const std::uint64_t total = static_cast<std::uint64_t>((last[0] + 1) * (last[1] + 1)) *
                              static_cast<std::uint64_t>((last[2] + 1) * (last[3] + 1));
  std::unique_ptr<GridTexts> x0;
  if (last[0] + 1 <= kCachedGridTexts) x0 = std::make_unique<GridTexts>(m.GridX[0], last[0] + 1);
  const std::vector<double>& grid0 = m.GridX[0];
  const double* data = m.Results.data();
  const int lv = m.LastVar;
  constexpr std::int64_t kStep = 1 << 16;  // rows between progress calls
  std::uint64_t done = 0, next_report = kStep;
  std::string middle;  // ",x1,x2,x3," of the current block of rows
  for (std::int64_t j3 = 0; j3 <= last[3]; ++j3)
    for (std::int64_t j2 = 0; j2 <= last[2]; ++j2)
      for (std::int64_t j1 = 0; j1 <= last[1]; ++j1) {
        middle.assign(1, ',');
        const std::array<std::int64_t, 4> j{0, j1, j2, j3};
        for (int v = 1; v <= lv; ++v) {
          AppendNumberText(middle, m.GridX[v][static_cast<std::size_t>(j[v])]);
          middle.push_back(',');
        }
        const double* row = data + m.Results.Index(0, j1, j2, j3);
        for (std::int64_t start = 0; start <= last[0]; start += kStep) {
          const std::int64_t stop = std::min(last[0] + 1, start + kStep);
          for (std::int64_t j0 = start; j0 < stop; ++j0) {
            if (!out.Reserve()) return false;
            if (x0) out.Bytes(x0->data(j0), x0->size(j0));
            else out.Number(grid0[static_cast<std::size_t>(j0)]);
            out.Bytes(middle.data(), middle.size());
            out.Number(row[j0]);
            out.LineEnd();
          }
          done += static_cast<std::uint64_t>(stop - start);
          if (progress && done >= next_report) {
            next_report = done + kStep;
            if (!progress(done, total)) {
              cancelled = true;
              return false;
            }
          }
        }
      }
  if (progress && !progress(total, total)) {
    cancelled = true;
    return false;
  }
  return out.Flush();
}

CsvExportResult Failure(const std::string& file, const std::string& problem) {
  return {false, "CSV file \"" + file + "\": " + problem};
}

}  // namespace

std::string CsvField(std::string_view text) {
  bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos;
  if (!text.empty()) {
    char first = text.front(), last = text.back();
    quote = quote || first == ' ' || first == '\t' || last == ' ' || last == '\t';
  }
  if (!quote) return std::string(text);
  std::string field = "\"";
  for (char c : text) {
    if (c == '"') field.push_back('"');
    field.push_back(c);
  }
  field.push_back('"');
  return field;
}

std::string CsvText(const Dimension& model) {
  std::string text;
  WriteCsvTo(model, [&](const char* p, std::size_t n) {
    text.append(p, n);
    return true;
  });
  return text;
}

CsvExportResult WriteCsvTo(const Dimension& model, const ByteSink& sink, const ProgressFn& progress) {
  if (auto why = GridFileWritable(model)) return {false, "The results cannot be exported: " + *why};
  bool cancelled = false;
  if (!WriteRows(model, sink, progress, cancelled))
    return {false, cancelled ? "The export was cancelled." : "The exported text could not be taken."};
  return {true, {}};
}

CsvExportResult WriteCsvFile(const Dimension& model, const std::string& path, const ProgressFn& progress) {
  if (path.empty()) return Failure(path, "no file name was given");
  if (auto why = GridFileWritable(model)) return Failure(path, "cannot be written: " + *why);
  bool cancelled = false;
  AtomicWriteResult written = WriteFileAtomically(
      path, [&](const ByteSink& sink) { return WriteRows(model, sink, progress, cancelled); });
  if (written.outcome == AtomicWriteOutcome::Ok) return {true, {}};
  if (cancelled) return Failure(path, "the export was cancelled; nothing was written");
  return Failure(path, "cannot be written: " + AtomicWriteProblem(written));
}

}  // namespace tabulor
