#include <gtest/gtest.h>

#include "engine/compute.h"
#include "model/grid_capture.h"
#include "model/number_text.h"
#include "model/series_file.h"
#include "output/result_lines.h"

using namespace tabulor;

namespace {

Dimension Computed(const std::string& text, const std::array<int, 4>& points = {0, 0, 0, 0}) {
  Dimension m;
  EXPECT_EQ(ReadSeriesText(m, text, "/data/run.ser").outcome, SeriesReadOutcome::Ok);
  auto spec = DefaultGridSpec(m);
  for (int v = 0; v < 4; ++v)
    if (points[v]) spec[v].points = std::to_string(points[v]);
  EXPECT_EQ(CaptureGridSpecs(m, spec), "");
  EXPECT_EQ(Compute(m).outcome, ComputeOutcome::Ok);
  return m;
}

std::vector<std::string> All(const ResultLines& l) {
  std::vector<std::string> out;
  for (std::int64_t i = 0; i < l.count(); ++i) out.push_back(l.line(i));
  return out;
}
std::vector<std::string> All(const ReportLines& l) {
  std::vector<std::string> out;
  for (std::int64_t i = 0; i < l.count(); ++i) out.push_back(l.line(i));
  return out;
}

std::string RightTrim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// 1 + x^2 in x, constant in y.
const char kXY[] = "1,x,0,1,0,#TRUE#,*,2,y,0,1,0,#TRUE#,*,1,#TRUE#,1,0,1,0,0,0";

}  // namespace

TEST(ValueLine, ValueStartsInColumnFortyAndLengthIsPointTextPlusSeventy) {
  std::string line = ValueLine("x", 0.5, 1.25);
  EXPECT_EQ(line.size(), std::string("   x=0.5").size() + 70);
  EXPECT_EQ(line.substr(0, 39), "   x=0.5" + std::string(31, ' '));
  EXPECT_EQ(RightTrim(line), "   x=0.5" + std::string(31, ' ') + "VALUE=1.25");
  EXPECT_EQ(ValueLine("x", 0, -0.5).substr(39, 10), "VALUE=-0.5");
  EXPECT_EQ(ValueLine("x", 0, 1e-10).substr(39, 11), "VALUE=1E-10");
  // A point text longer than 39 characters is partly overwritten.
  std::string name(50, 'n');
  std::string longline = ValueLine(name, 2, 7);
  EXPECT_EQ(longline.size(), 3 + 50 + 2 + 70u);
  EXPECT_EQ(longline.substr(0, 39), "   " + std::string(36, 'n'));
  EXPECT_EQ(longline.substr(39, 7), "VALUE=7");
  EXPECT_EQ(longline.substr(46, 9), "nnnnnnn=2");  // what the value text does not cover stays
}

TEST(ValueLine, ColumnsCountCharactersOfAUtf8Name) {
  // "θ" and "é" are two bytes each, "€" three: the value still starts at the
  // 40th character, and the line has as many characters as with a one-byte name.
  const std::string theta = "\xCE\xB8";
  std::string line = ValueLine(theta, 0.5, 1.25);
  EXPECT_EQ(line, "   " + theta + "=0.5" + std::string(31, ' ') + "VALUE=1.25" + std::string(29, ' '));
  // A long name is overwritten whole characters at a time, never half of one.
  const std::string e_acute = "\xC3\xA9", euro = "\xE2\x82\xAC";
  std::string name;
  for (int i = 0; i < 25; ++i) name += e_acute + euro;  // 50 characters
  std::string head = "   ", tail = euro;
  for (int i = 0; i < 18; ++i) head += e_acute + euro;  // characters 1..39
  for (int i = 0; i < 3; ++i) tail += e_acute + euro;   // name characters 44..50
  EXPECT_EQ(ValueLine(name, 2, 7), head + "VALUE=7" + tail + "=2" + std::string(70, ' '));
  // Bytes that are not UTF-8 (an old 8-bit name) count one column each.
  const std::string latin = "\xE9t\xE9";
  EXPECT_EQ(ValueLine(latin, 1, 3).substr(39, 7), "VALUE=3");
  EXPECT_EQ(ValueLine(latin, 1, 3).size(), 3 + 3 + 2 + 70u);
}

TEST(ResultLines, OneVariableHasNoHeadings) {
  Dimension m = Computed("0,x,0,1,0,#TRUE#,*,2,#TRUE#,1,2,3");
  auto lines = All(ResultLines(m));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "VALUES AT GRID POINTS:");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], "   x=0" + std::string(33, ' ') + "VALUE=1" + std::string(70 - 33 - 7 + 0, ' '));
  EXPECT_EQ(RightTrim(lines[3]), "   x=0.5" + std::string(31, ' ') + "VALUE=2.75");
  EXPECT_EQ(RightTrim(lines[4]), "   x=1" + std::string(33, ' ') + "VALUE=6");
}

TEST(ResultLines, TwoVariablesGroupUnderHeadings) {
  Dimension m = Computed(kXY, {3, 2, 0, 0});
  auto lines = All(ResultLines(m));
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[2], "  y=0");
  EXPECT_EQ(lines[6], "  y=1");
  EXPECT_EQ(RightTrim(lines[3]), "   x=0" + std::string(33, ' ') + "VALUE=1");
  EXPECT_EQ(RightTrim(lines[4]), "   x=0.5" + std::string(31, ' ') + "VALUE=1.25");
  EXPECT_EQ(RightTrim(lines[9]), "   x=1" + std::string(33, ' ') + "VALUE=2");
}

TEST(ResultLines, FourVariablesHeadingsIndentByLevelAndSkipSinglePoints) {
  Dimension m;
  ASSERT_EQ(ReadSeriesFile(m, std::string(TABULOR_EXAMPLES_DIR) + "/four.ser").outcome, SeriesReadOutcome::Ok);
  auto spec = DefaultGridSpec(m);
  spec[2].points = "2";
  spec[3].points = "3";
  ASSERT_EQ(CaptureGridSpecs(m, spec), "");
  ASSERT_EQ(Compute(m).outcome, ComputeOutcome::Ok);
  ResultLines l(m);
  // per d: heading + 2 x (heading + 3 x (heading + 2))
  EXPECT_EQ(l.count(), 2 + 3 * (1 + 2 * (1 + 3 * (1 + 2))));
  EXPECT_EQ(l.line(2), "d=1");
  EXPECT_EQ(l.line(3), " c=0");
  EXPECT_EQ(l.line(4), "  b=-1");
  EXPECT_EQ(l.line(5).substr(0, 6), "   a=0");
  EXPECT_EQ(l.line(l.count() - 1).substr(0, 6), "   a=1");
  // Every value line matches the results array.
  std::int64_t i = 2;
  for (int j3 = 0; j3 < 3; ++j3) {
    ++i;
    for (int j2 = 0; j2 < 2; ++j2) {
      ++i;
      for (int j1 = 0; j1 < 3; ++j1) {
        ++i;
        for (int j0 = 0; j0 < 2; ++j0, ++i)
          EXPECT_EQ(RightTrim(l.line(i)).substr(39), "VALUE=" + NumberText(m.Results(j0, j1, j2, j3)));
      }
    }
  }
  EXPECT_EQ(l.line(l.count()), "");  // beyond the end: nothing
  // A variable with a single grid point (b, of a single term) gets no
  // heading.
  Dimension m2;
  ASSERT_EQ(ReadSeriesText(m2,
                           "3,a,0,1,0,#TRUE#,*,1,b,-1,1,*,#TRUE#,*,0,c,0,1,0,#FALSE#,1,2,d,1,2,1,#TRUE#,*,1,"
                           "#TRUE#,1,2,3,4,5,6,7,8,9,10,11,12",
                           "f")
                .outcome,
            SeriesReadOutcome::Ok);
  spec = DefaultGridSpec(m2);
  EXPECT_EQ(spec[1].points, "1");
  spec[2].points = "2";
  spec[3].points = "3";
  ASSERT_EQ(CaptureGridSpecs(m2, spec), "");
  ASSERT_EQ(Compute(m2).outcome, ComputeOutcome::Ok);
  ResultLines l2(m2);
  EXPECT_EQ(l2.count(), 2 + 3 * (1 + 2 * (1 + 2)));
  EXPECT_EQ(l2.line(4).substr(0, 6), "   a=0");
}

TEST(ResultLines, NothingWithoutResults) {
  Dimension m;
  ASSERT_EQ(ReadSeriesText(m, kXY, "f").outcome, SeriesReadOutcome::Ok);
  EXPECT_EQ(ResultLines(m).count(), 0);
}

TEST(ReportLines, HeadAlignsOnColumnThirtyTwo) {
  Dimension m = Computed("0,x,-1,1,0,#TRUE#,*,2,#TRUE#,1,2,3", {11, 0, 0, 0});
  auto lines = All(ReportLines(m));
  EXPECT_EQ(lines[0], "FILE NAME: /data/run.ser");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], "                       VARIABLE: x");
  EXPECT_EQ(lines[3], "               # OF GRID POINTS: 11 ");
  EXPECT_EQ(lines[4], "                    GRID LIMITS: [-1 , 1 ]");
  EXPECT_EQ(lines[5], "DERIVATIVE W.R.T. THIS VARIABLE: 0 ");
  EXPECT_EQ(lines[6], "");
  for (int i = 2; i <= 5; ++i) EXPECT_EQ(lines[i][31], ':') << lines[i];
  EXPECT_EQ(lines[7], "VALUES AT GRID POINTS:");
  EXPECT_EQ(lines[8], "");
  // Eleven value lines, then three empty lines.
  ASSERT_EQ(lines.size(), 9u + 11 + 3);
  for (std::size_t i = 20; i < 23; ++i) EXPECT_EQ(lines[i], "");
}

TEST(ReportLines, TwoVariablesPutEmptyLinesAfterEachRun) {
  Dimension m = Computed(kXY, {3, 2, 0, 0});
  auto lines = All(ReportLines(m));
  const std::size_t head = 2 + 10;
  ASSERT_EQ(lines.size(), head + 2 + (1 + 3 + 1) * 2 + 2);
  std::vector<std::string> tail(lines.begin() + head + 2, lines.end());
  EXPECT_EQ(tail[0], "  y=0");
  EXPECT_EQ(tail[4], "");
  EXPECT_EQ(tail[5], "  y=1");
  EXPECT_EQ(tail[9], "");
  EXPECT_EQ(tail[10], "");
  EXPECT_EQ(tail[11], "");
}

TEST(ReportLines, WithoutResultsEndsAfterTheLastBlock) {
  Dimension m;
  ASSERT_EQ(ReadSeriesText(m, kXY, "in.ser").outcome, SeriesReadOutcome::Ok);
  auto lines = All(ReportLines(m));
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[7], "                       VARIABLE: y");
  EXPECT_EQ(lines[11], "");
}
