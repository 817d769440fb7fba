// The results written out: the lines of the results list and of the printed
// report, and the comma-separated values with their quoting, the point under
// any locale, and exports that never lose the file there was.
#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>

#include "output/csv_export.h"
#include "output/result_lines.h"
#include "test_helpers.h"

using namespace tabulor;
using namespace tabulor::testing;

namespace {

// Every line, each ended by \n; beyond either end there is no line.
template <class Lines>
std::string All(const Lines& lines) {
  std::string all;
  for (std::int64_t i = 0; i < lines.count(); ++i) all += lines.line(i) + "\n";
  EXPECT_EQ(lines.line(lines.count()) + lines.line(-1), "");
  return all;
}

double Sum(int j0, int j1, int j2, int j3) { return j0 + 10 * j1 + 100 * j2 + 1000.5 * j3; }

// A model with points[v] grid points of variable v at 10 v + 0.5 j and the
// value Sum at each; its results array is one wider than the grid in each
// present dimension, the extra entries -1.
Dimension Made(const std::vector<int>& points, const std::vector<std::string>& names = {"a", "b", "c", "d"}) {
  Dimension m;
  m.LastVar = static_cast<int>(points.size()) - 1;
  std::array<std::int64_t, 4> dims{1, 1, 1, 1};
  for (int v = 0; v <= m.LastVar; ++v) {
    dims[v] = points[v] + 1;
    m.LastPoint[v] = m.LastPt[v] = points[v] - 1;
    m.VarName[v] = names[v];
    for (int j = 0; j < points[v]; ++j) m.GridX[v].push_back(10.0 * v + 0.5 * j);
  }
  EXPECT_TRUE(m.Results.Allocate(dims));
  std::fill(m.Results.data(), m.Results.data() + m.Results.size(), -1.0);
  for (int j3 = 0; j3 <= m.LastPoint[3]; ++j3)
    for (int j2 = 0; j2 <= m.LastPoint[2]; ++j2)
      for (int j1 = 0; j1 <= m.LastPoint[1]; ++j1)
        for (int j0 = 0; j0 <= m.LastPoint[0]; ++j0) m.Results(j0, j1, j2, j3) = Sum(j0, j1, j2, j3);
  m.ResultsReady = true;
  return m;
}

}  // namespace

TEST(ResultLines, ValueLineFromColumnForty) {
  for (const auto& c : Table("value_lines.tsv")) EXPECT_EQ(ValueLine(c[0], Double(c[1]), Double(c[2])), c[3]) << c[0];
}

TEST(ResultLines, ListAndReport) {
  const auto cases = Table("result_lines.tsv");
  for (const auto& c : cases) {
    const Dimension m = Computed(c[0], nullptr, "/data/run.ser");
    EXPECT_EQ(All(ResultLines(m)), c[1]) << c[0];
    EXPECT_EQ(All(ReportLines(m)), c[2]) << c[0];
  }
  // Before a computation: no list, and the report's head alone.
  const Dimension loaded = Loaded(cases[1][0], "/data/run.ser");
  EXPECT_EQ(ResultLines(loaded).count(), 0);
  EXPECT_EQ(All(ReportLines(loaded)), cases[1][2].substr(0, cases[1][2].find("VALUES AT GRID POINTS:")));
}

TEST(CsvExport, TextOfEveryShape) {
  for (const auto& c : Table("csv_text.tsv")) {
    std::vector<int> points;
    for (std::size_t v = 1; v < c.size(); ++v) points.push_back(std::stoi(c[v]));
    EXPECT_EQ(CsvText(Made(points)), c[0]);
  }
  for (const auto& c : Table("csv_fields.tsv")) EXPECT_EQ(CsvField(c[0]), c[1]) << c[0];
  EXPECT_EQ(CsvText(Made({1, 1}, {"dist, m", "\"v\""})), "\"dist, m\",\"\"\"v\"\"\",value\r\n0,10,0\r\n");
  EXPECT_EQ(CsvText(Made({1}, {std::string(300, 'n')})), std::string(300, 'n') + ",value\r\n0,0\r\n");
  Dimension numbers = Made({5});
  std::copy_n(std::begin({-0.0, 1e20, -2.5e-7, 0.25, 123456789012345678.0}), 5, numbers.Results.data());
  EXPECT_EQ(CsvText(numbers), "a,value\r\n0,0\r\n0.5,1E+20\r\n1,-2.5E-07\r\n1.5,0.25\r\n2,1.23456789012346E+17\r\n");
  // Under a locale whose decimal separator is a comma, the point stays.
  const char* german = std::setlocale(LC_ALL, "de_DE.UTF-8");
  const std::string text = CsvText(Made({3}));
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(german ? text : "", german ? "a,value\r\n0,0\r\n0.5,1\r\n1,2\r\n" : "");
}

// 160000 rows: more than one block of the writer, progress in grid points
// after every 65536 or so and at the end; refused, failed and cancelled
// exports leave the file there was.
TEST(CsvExport, FilesAndProgress) {
  ScratchDir dir;
  const Dimension big = Made({400, 400});
  const std::string keep = dir.file("keep.csv");
  std::string text = "a,b,value\r\n";
  for (int j1 = 0; j1 < 400; ++j1)
    for (int j0 = 0; j0 < 400; ++j0)
      text += NumberText(0.5 * j0) + "," + NumberText(10 + 0.5 * j1) + "," + NumberText(Sum(j0, j1, 0, 0)) + "\r\n";
  std::string joined;
  int pieces = 0;
  ASSERT_TRUE(WriteCsvTo(big, [&](const char* p, std::size_t n) {
                joined.append(p, n);
                return ++pieces > 0;
              }).ok);
  EXPECT_TRUE(joined == text);
  EXPECT_TRUE(CsvText(big) == text);
  EXPECT_GT(pieces, 2);
  EXPECT_EQ(WriteCsvTo(big, [](const char*, std::size_t) { return false; }).message,
            "The exported text could not be taken.");
  WriteFile(keep, "old");
  std::vector<std::uint64_t> told;
  const auto tell = [&](std::uint64_t done, std::uint64_t total) {
    told.push_back(done);
    return total == 160000 && told.size() != 2;
  };
  Dimension stale = Made({3, 2});
  stale.LastPoint[1] = 5;
  const std::pair<CsvExportResult, std::string> failures[] = {
      {WriteCsvFile(Dimension(), keep), keep + "\": cannot be written: there are no results to save"},
      {WriteCsvFile(stale, keep), keep + "\": cannot be written: the results do not match the grid of variable 1"},
      {WriteCsvFile(big, keep, tell), keep + "\": the export was cancelled; nothing was written"},
      {WriteCsvFile(big, ""), "\": no file name was given"}};
  for (const auto& [result, message] : failures) EXPECT_EQ(result.message.rfind("CSV file \"" + message, 0), 0u);
  EXPECT_EQ(ReadWholeFile(keep), "old");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"keep.csv"});
  ASSERT_TRUE(WriteCsvFile(big, keep, tell).ok);
  EXPECT_TRUE(ReadWholeFile(keep) == text);
  EXPECT_EQ(told, (std::vector<std::uint64_t>{65600, 131200, 65600, 131200, 160000}));
}
