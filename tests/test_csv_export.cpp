// CSV export: header, row order, number text, quoting, atomic writing.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/compute.h"
#include "model/grid_capture.h"
#include "model/grid_file.h"
#include "model/number_text.h"
#include "model/series_file.h"
#include "output/csv_export.h"
#include "output/result_lines.h"

namespace {

using namespace tabulor;
namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    std::string templ = (fs::temp_directory_path() / "csv_export_XXXXXX").string();
    path_ = ::mkdtemp(templ.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string operator/(const std::string& name) const { return (fs::path(path_) / name).string(); }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename().string());
    return names;
  }

 private:
  std::string path_;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteAll(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// Splits CSV text into records of fields, following RFC 4180 (quoted fields
// may hold commas, doubled quotes and line breaks). Records end in CR LF.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string field;
  std::size_t i = 0;
  bool at_field_start = true;
  while (i < text.size()) {
    char c = text[i];
    if (at_field_start && c == '"') {
      ++i;
      for (;;) {
        if (i >= text.size()) throw std::runtime_error("unterminated quoted field");
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field.push_back('"');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field.push_back(text[i++]);
      }
      at_field_start = false;
      continue;
    }
    if (c == ',') {
      record.push_back(field);
      field.clear();
      at_field_start = true;
      ++i;
    } else if (c == '\r') {
      if (i + 1 >= text.size() || text[i + 1] != '\n') throw std::runtime_error("CR without LF");
      record.push_back(field);
      field.clear();
      records.push_back(record);
      record.clear();
      at_field_start = true;
      i += 2;
    } else if (c == '\n') {
      throw std::runtime_error("LF without CR");
    } else {
      field.push_back(c);
      at_field_start = false;
      ++i;
    }
  }
  if (!record.empty() || !field.empty()) throw std::runtime_error("last line without CR LF");
  return records;
}

// The values a list line shows behind "VALUE=".
std::vector<std::string> ListValues(const Dimension& m) {
  std::vector<std::string> values;
  ResultLines lines(m);
  for (std::int64_t i = 0; i < lines.count(); ++i) {
    std::string line = lines.line(i);
    std::size_t at = line.find("VALUE=");
    if (at == std::string::npos) continue;
    std::size_t end = line.find(' ', at);
    values.push_back(line.substr(at + 6, end == std::string::npos ? std::string::npos : end - at - 6));
  }
  return values;
}

// wave.ser on a grid of nt x ny points; the t grid has fewer points than
// terms, so the results array is larger than the grid.
Dimension ComputedWave(int nt, int ny, bool uneven_y = false) {
  Dimension m;
  SeriesReadResult read = ReadSeriesFile(m, std::string(TABULOR_EXAMPLES_DIR) + "/wave.ser");
  EXPECT_EQ(read.outcome, SeriesReadOutcome::Ok) << read.message;
  auto spec = DefaultGridSpec(m);
  spec[0].points = IntegerText(nt);
  spec[1].points = IntegerText(ny);
  spec[1].der = "1";
  if (uneven_y) {
    spec[1].spaced = false;
    m.EvenlySpaced[1] = false;
    m.GridX[1].clear();
    for (int j = 0; j < ny; ++j) m.GridX[1].push_back(-1.0 + 2.0 * (j * j) / ((ny - 1) * (ny - 1)));
  }
  EXPECT_EQ(CaptureGridSpecs(m, spec), "");
  ComputeResult r = Compute(m);
  EXPECT_EQ(r.outcome, ComputeOutcome::Ok) << r.message;
  return m;
}

// A model with results set directly: dims[v] grid points per variable,
// value = the given function of the indices.
template <typename F>
Dimension MadeModel(const std::vector<int>& points, const std::vector<std::string>& names, F value) {
  Dimension m;
  m.LastVar = static_cast<int>(points.size()) - 1;
  std::array<std::int64_t, 4> dims{1, 1, 1, 1};
  for (int v = 0; v < kSlots; ++v) {
    int n = v <= m.LastVar ? points[v] : 1;
    dims[v] = n;
    m.LastPoint[v] = n - 1;
    m.LastPt[v] = n - 1;
    m.GridX[v].assign(static_cast<std::size_t>(n), 0.0);
    for (int j = 0; j < n; ++j) m.GridX[v][j] = 10.0 * v + 0.5 * j;
    if (v <= m.LastVar) m.VarName[v] = names[v];
  }
  EXPECT_TRUE(m.Results.Allocate(dims));
  for (int j3 = 0; j3 < dims[3]; ++j3)
    for (int j2 = 0; j2 < dims[2]; ++j2)
      for (int j1 = 0; j1 < dims[1]; ++j1)
        for (int j0 = 0; j0 < dims[0]; ++j0) m.Results(j0, j1, j2, j3) = value(j0, j1, j2, j3);
  m.ResultsReady = true;
  return m;
}

TEST(CsvExport, TwoVariablesReadBackEqualTheListAndTheResults) {
  for (bool uneven : {false, true}) {
    SCOPED_TRACE(uneven ? "uneven y grid" : "even grids");
    Dimension m = ComputedWave(3, 5, uneven);
    ASSERT_GT(m.Results.dims()[0], m.LastPt[0] + 1) << "the case needs a results array wider than the grid";
    auto records = ParseCsv(CsvText(m));
    ASSERT_EQ(records.size(), 1u + 3 * 5);
    EXPECT_EQ(records[0], (std::vector<std::string>{"t", "y", "value"}));
    std::vector<std::string> list = ListValues(m);
    ASSERT_EQ(list.size(), 15u);
    std::size_t row = 1;
    for (int j1 = 0; j1 <= m.LastPt[1]; ++j1)
      for (int j0 = 0; j0 <= m.LastPt[0]; ++j0, ++row) {
        const auto& r = records[row];
        ASSERT_EQ(r.size(), 3u);
        EXPECT_EQ(r[0], NumberText(m.GridX[0][j0]));
        EXPECT_EQ(r[1], NumberText(m.GridX[1][j1]));
        EXPECT_EQ(r[2], list[row - 1]);
        // Read back, the number is the result to the text's 15 digits.
        LeadingNumberResult back = ParseLeadingNumber(r[2]);
        ASSERT_EQ(back.status, NumberStatus::Ok);
        EXPECT_EQ(back.end, r[2].size());
        EXPECT_EQ(NumberText(back.value), NumberText(m.Results(j0, j1, 0, 0)));
        EXPECT_NEAR(back.value, m.Results(j0, j1, 0, 0), 1e-13 * (1 + std::abs(m.Results(j0, j1, 0, 0))));
      }
  }
}

TEST(CsvExport, FourVariablesRunVariableZeroFastest) {
  Dimension m = MadeModel({2, 3, 2, 2}, {"a", "b", "c", "d"},
                          [](int j0, int j1, int j2, int j3) { return j0 + 10 * j1 + 100 * j2 + 1000 * j3; });
  auto records = ParseCsv(CsvText(m));
  ASSERT_EQ(records.size(), 1u + 2 * 3 * 2 * 2);
  EXPECT_EQ(records[0], (std::vector<std::string>{"a", "b", "c", "d", "value"}));
  std::size_t row = 1;
  for (int j3 = 0; j3 < 2; ++j3)
    for (int j2 = 0; j2 < 2; ++j2)
      for (int j1 = 0; j1 < 3; ++j1)
        for (int j0 = 0; j0 < 2; ++j0, ++row) {
          std::vector<std::string> want{NumberText(0.5 * j0), NumberText(10 + 0.5 * j1), NumberText(20 + 0.5 * j2),
                                        NumberText(30 + 0.5 * j3), IntegerText(j0 + 10 * j1 + 100 * j2 + 1000 * j3)};
          EXPECT_EQ(records[row], want) << "row " << row;
        }
}

TEST(CsvExport, OneVariableAndNumberForms) {
  std::vector<double> values{-0.0, 1e20, -2.5e-7, 0.25, 123456789012345678.0};
  Dimension m = MadeModel({5}, {"x"}, [&](int j0, int, int, int) { return values[j0]; });
  EXPECT_EQ(CsvText(m),
            "x,value\r\n"
            "0,0\r\n"
            "0.5,1E+20\r\n"
            "1,-2.5E-07\r\n"
            "1.5,0.25\r\n"
            "2,1.23456789012346E+17\r\n");
}

TEST(CsvExport, NumbersKeepThePointUnderACommaLocale) {
  const char* set = std::setlocale(LC_ALL, "de_DE.UTF-8");
  Dimension m = MadeModel({2}, {"x"}, [](int j0, int, int, int) { return 1.25 + j0; });
  std::string text = CsvText(m);
  std::setlocale(LC_ALL, "C");
  if (!set) GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed";
  EXPECT_EQ(text, "x,value\r\n0,1.25\r\n0.5,2.25\r\n");
}

TEST(CsvExport, FieldsAreQuotedWhereCsvNeedsIt) {
  EXPECT_EQ(CsvField("x"), "x");
  EXPECT_EQ(CsvField(""), "");
  EXPECT_EQ(CsvField("a b"), "a b");
  EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
  EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(CsvField("\""), "\"\"\"\"");
  EXPECT_EQ(CsvField("line\nbreak"), "\"line\nbreak\"");
  EXPECT_EQ(CsvField("cr\rhere"), "\"cr\rhere\"");
  EXPECT_EQ(CsvField(" lead"), "\" lead\"");
  EXPECT_EQ(CsvField("trail\t"), "\"trail\t\"");

  Dimension m = MadeModel({2, 2}, {"dist, m", "\"speed\""}, [](int j0, int j1, int, int) { return j0 + 2 * j1; });
  std::string text = CsvText(m);
  EXPECT_EQ(text.substr(0, text.find("\r\n")), "\"dist, m\",\"\"\"speed\"\"\",value");
  auto records = ParseCsv(text);
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(records[0], (std::vector<std::string>{"dist, m", "\"speed\"", "value"}));
  for (std::size_t r = 1; r < records.size(); ++r) EXPECT_EQ(records[r].size(), 3u);
}

TEST(CsvExport, FileHoldsTheTextAndProgressCountsGridPoints) {
  TempDir dir;
  Dimension m = ComputedWave(4, 3);
  std::uint64_t last_done = 0, last_total = 0;
  int calls = 0;
  CsvExportResult r = WriteCsvFile(m, dir / "out.csv", [&](std::uint64_t done, std::uint64_t total) {
    EXPECT_GE(done, last_done);
    last_done = done;
    last_total = total;
    ++calls;
    return true;
  });
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(ReadAll(dir / "out.csv"), CsvText(m));
  EXPECT_GE(calls, 1);
  EXPECT_EQ(last_done, 12u);
  EXPECT_EQ(last_total, 12u);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.csv"});
}

TEST(CsvExport, ReplacesAnExistingFileWholly) {
  TempDir dir;
  WriteAll(dir / "out.csv", std::string(100000, 'z'));
  Dimension m = MadeModel({2}, {"x"}, [](int j0, int, int, int) { return j0; });
  ASSERT_TRUE(WriteCsvFile(m, dir / "out.csv").ok);
  EXPECT_EQ(ReadAll(dir / "out.csv"), "x,value\r\n0,0\r\n0.5,1\r\n");
}

TEST(CsvExport, FailureLeavesAnExistingFileIntact) {
  TempDir dir;
  const std::string old_text = "old contents\r\n";
  const std::string target = dir / "keep.csv";
  WriteAll(target, old_text);

  // No results.
  Dimension empty;
  CsvExportResult r = WriteCsvFile(empty, target);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("keep.csv"), std::string::npos) << r.message;
  EXPECT_NE(r.message.find("no results"), std::string::npos) << r.message;
  EXPECT_EQ(ReadAll(target), old_text);

  // Results that no longer match the grid.
  Dimension stale = MadeModel({3}, {"x"}, [](int j0, int, int, int) { return j0; });
  stale.LastPoint[0] = 7;
  EXPECT_FALSE(WriteCsvFile(stale, target).ok);
  EXPECT_EQ(ReadAll(target), old_text);

  // Cancelled half-way through a large export.
  Dimension big = MadeModel({400, 400}, {"x", "y"}, [](int j0, int j1, int, int) { return j0 * 0.1 + j1; });
  int calls = 0;
  r = WriteCsvFile(big, target, [&](std::uint64_t, std::uint64_t) { return ++calls < 2; });
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(calls, 2);
  EXPECT_NE(r.message.find("cancelled"), std::string::npos) << r.message;
  EXPECT_EQ(ReadAll(target), old_text);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"keep.csv"}) << "no temporary file is left behind";

  // A folder in the way, a missing folder, no name.
  fs::create_directory(dir / "sub.csv");
  r = WriteCsvFile(big, dir / "sub.csv");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("folder"), std::string::npos) << r.message;
  EXPECT_TRUE(fs::is_directory(dir / "sub.csv"));
  r = WriteCsvFile(big, dir / "missing/out.csv");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("missing/out.csv"), std::string::npos) << r.message;
  EXPECT_FALSE(WriteCsvFile(big, "").ok);
}

TEST(CsvExport, GridFileReadBackExportsAsTheComputedModel) {
  TempDir dir;
  Dimension m = ComputedWave(3, 4, true);
  ASSERT_TRUE(WriteGridFile(m, dir / "wave").ok);
  Dimension back;
  GridFileResult read = ReadGridFile(back, dir / "wave");
  ASSERT_TRUE(read.ok) << read.message;
  EXPECT_EQ(CsvText(back), CsvText(m));
}

TEST(CsvExport, SinkFailureAndLargeExportsArriveWhole) {
  // More rows than one buffer holds: the pieces join up to the same text.
  Dimension big = MadeModel({1500, 700}, {"x", "y"}, [](int j0, int j1, int, int) { return j0 / 7.0 - j1; });
  std::string joined;
  int pieces = 0;
  CsvExportResult r = WriteCsvTo(big, [&](const char* p, std::size_t n) {
    joined.append(p, n);
    ++pieces;
    return true;
  });
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_GT(pieces, 1);
  auto records = ParseCsv(joined);
  ASSERT_EQ(records.size(), 1u + 1500 * 700);
  EXPECT_EQ(
      records[1 + 1499 + 1500 * 699],
      (std::vector<std::string>{NumberText(0.5 * 1499), NumberText(10 + 0.5 * 699), NumberText(1499 / 7.0 - 699)}));

  r = WriteCsvTo(big, [](const char*, std::size_t) { return false; });
  EXPECT_FALSE(r.ok);
}

}  // namespace
