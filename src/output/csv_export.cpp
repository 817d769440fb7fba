#include "output/csv_export.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "model/grid_file.h"
#include "model/number_text.h"
#include "model/result_rows.h"
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

std::string HeaderLine(const Dimension& m) {
  std::string header;
  for (int v = 0; v <= m.LastVar; ++v) {
    header += CsvField(m.VarName[v]);
    header.push_back(',');
  }
  return header + "value\r\n";
}

// ",x1,x2,x3," of the row j: the grid values of variables 1 and up.
void RowMiddle(const Dimension& m, const std::array<std::int64_t, 4>& j, std::string& middle) {
  middle.assign(1, ',');
  for (int v = 1; v <= m.LastVar; ++v) {
    AppendNumberText(middle, m.GridX[v][static_cast<std::size_t>(j[v])]);
    middle.push_back(',');
  }
}

// Writes the header and the rows; false when the sink failed or progress
// asked to stop (then `cancelled` is set).
bool WriteRows(const Dimension& m, const ByteSink& sink, const ProgressFn& progress, bool& cancelled) {
  RowBuffer out(sink);
  out.Text(HeaderLine(m));
  const std::int64_t points0 = m.IsPresent(0) ? static_cast<std::int64_t>(m.LastPoint[0]) + 1 : 1;
  std::unique_ptr<GridTexts> x0;
  if (points0 <= kCachedGridTexts) x0 = std::make_unique<GridTexts>(m.GridX[0], points0);
  std::string middle;
  const bool written = ForEachResultPiece(
      m, progress,
      [&](const ResultPiece& piece) {
        if (piece.j[0] == 0) RowMiddle(m, piece.j, middle);
        for (std::int64_t i = 0, j0 = piece.j[0]; i < piece.count; ++i, ++j0) {
          if (!out.Reserve()) return false;
          if (x0)
            out.Bytes(x0->data(j0), x0->size(j0));
          else
            out.Number(m.GridX[0][static_cast<std::size_t>(j0)]);
          out.Bytes(middle.data(), middle.size());
          out.Number(piece.values[i]);
          out.LineEnd();
        }
        return true;
      },
      cancelled);
  if (!written) return false;
  const std::uint64_t total = ResultValueCount(m);
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
  AtomicWriteResult written =
      WriteFileAtomically(path, [&](const ByteSink& sink) { return WriteRows(model, sink, progress, cancelled); });
  if (written.outcome == AtomicWriteOutcome::Ok) return {true, {}};
  if (cancelled) return Failure(path, "the export was cancelled; nothing was written");
  return Failure(path, "cannot be written: " + AtomicWriteProblem(written));
}

}  // namespace tabulor
