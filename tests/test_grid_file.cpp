#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "engine/compute.h"
#include "model/grid_capture.h"
#include "model/grid_file.h"
#include "model/number_text.h"
#include "model/series_file.h"
#include "output/result_lines.h"
#include "test_helpers.h"

using namespace tabulor;
using namespace tabulor::testing;

namespace {

Dimension Computed(const std::string& series, const std::string& name = "run.ser") {
  Dimension m;
  SeriesReadResult r = ReadSeriesText(m, series, name);
  EXPECT_EQ(r.outcome, SeriesReadOutcome::Ok) << r.message;
  EXPECT_EQ(CaptureGridSpecs(m, DefaultGridSpec(m)), "");
  ComputeResult c = Compute(m);
  EXPECT_EQ(c.outcome, ComputeOutcome::Ok) << c.message;
  return m;
}

const char kPoly[] = "0,x,0,1,0,#TRUE#,*,2,#TRUE#,1,2,3";

}  // namespace

TEST(GridFile, WritesTheOneVariableExampleByteForByte) {
  Dimension m = Computed(kPoly);
  EXPECT_EQ(GridFileText(m),
            " 0 \r\nx\r\n 0 \r\n 1 \r\n 2 \r\n 0 \r\n#TRUE#\r\n 1 \r\n 2.75 \r\n 6 \r\n 0 \r\n 0.5 \r\n 1 \r\n");
}

TEST(GridFile, TwoVariablesWithThreeAndTwoPointsMakeTwentyFourLines) {
  Dimension m = Computed("1,x,0,1,0,#TRUE#,*,2,y,-1,1,0,#FALSE#,4,1,#TRUE#,1,2,3,4,5,6");
  std::string text = GridFileText(m);
  std::size_t lines = 0;
  for (std::size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2)) ++lines;
  EXPECT_EQ(lines, 24u);
  EXPECT_EQ(text.find('\n', 0) - 1, text.find('\r'));      // CR LF, not LF alone
  EXPECT_NE(text.find("\r\n-1 \r\n"), std::string::npos);  // negative limit: minus in the sign's place
}

TEST(GridFile, RoundTripRestoresGridAndValuesAndClearsTheSeries) {
  TempDir dir;
  Dimension m = Computed("1,x,0,1,0.5,#TRUE#,*,2,y,-1,1,0,#FALSE#,4,1,#TRUE#,1,2,3,4,5,6");
  const std::string base = dir.file("res");
  ASSERT_TRUE(WriteGridFile(m, base).ok);
  Dimension back;
  GridFileResult r = ReadGridFile(back, base);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(back.FileName, base);
  EXPECT_TRUE(back.ResultsReady);
  EXPECT_EQ(back.LastVar, 1);
  for (int v = 0; v < 2; ++v) {
    EXPECT_EQ(back.VarName[v], m.VarName[v]);
    EXPECT_EQ(back.LowerLimit[v], m.LowerLimit[v]);
    EXPECT_EQ(back.UpperLimit[v], m.UpperLimit[v]);
    EXPECT_EQ(back.LastPoint[v], m.LastPoint[v]);
    EXPECT_EQ(back.LastPt[v], m.LastPt[v]);
    EXPECT_EQ(back.DerOrder[v], m.DerOrder[v]);
    EXPECT_EQ(back.EvenlySpaced[v], m.EvenlySpaced[v]);
    EXPECT_EQ(back.GridX[v], m.GridX[v]);
    // Kind, centre, period and terms come back cleared.
    EXPECT_FALSE(back.IsPower[v]);
    EXPECT_EQ(back.Center[v], 0.0);
    EXPECT_EQ(back.Period[v], 0.0);
    EXPECT_EQ(back.LastTerm[v], 0);
  }
  EXPECT_EQ(back.TotalCount, 6);
  ResultLines a(m), b(back);
  ASSERT_EQ(a.count(), b.count());
  for (std::int64_t i = 0; i < a.count(); ++i) EXPECT_EQ(a.line(i), b.line(i));
  EXPECT_EQ(GridFileText(back), GridFileText(m));
}

TEST(GridFile, AFileSavedByAnEditorWithAByteOrderMarkReadsTheSame) {
  Dimension m = Computed("1,x,0,1,0,#TRUE#,*,2,y,-1,1,0,#FALSE#,4,1,#TRUE#,1,2,3,4,5,6");
  Dimension plain, marked;
  ASSERT_TRUE(ReadGridText(plain, GridFileText(m), "res").ok);
  GridFileResult r = ReadGridText(marked, "\xEF\xBB\xBF" + GridFileText(m), "res");
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(marked.LastVar, 1);
  EXPECT_EQ(GridFileText(marked), GridFileText(plain));
}

TEST(GridFile, ValuesSurviveToFifteenDigitsNotBeyond) {
  Dimension m = Computed("0,x,0,1,0,#TRUE#,*,1,#TRUE#,0.1,0.2");
  Dimension back;
  ASSERT_TRUE(ReadGridText(back, GridFileText(m), "b").ok);
  EXPECT_EQ(NumberText(back.Results(1, 0, 0, 0)), NumberText(m.Results(1, 0, 0, 0)));
}

TEST(GridFile, NamesThatWouldNotReadBackAreQuoted) {
  Dimension m = Computed("1,\"a,b\",0,1,0,#TRUE#,*,1,\" lead\",0,1,0,#TRUE#,*,1,#TRUE#,1,2,3,4");
  std::string text = GridFileText(m);
  EXPECT_NE(text.find("\r\n\"a,b\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\n\" lead\"\r\n"), std::string::npos);
  Dimension back;
  ASSERT_TRUE(ReadGridText(back, text, "b").ok);
  EXPECT_EQ(back.VarName[0], "a,b");
  EXPECT_EQ(back.VarName[1], " lead");
}

TEST(GridFile, ASinglePointVariableWritesNoGridValueAndReadsAtItsLowerLimit) {
  Dimension m = Computed("1,x,0,1,0,#TRUE#,*,1,y,3,4,0,#TRUE#,*,0,#TRUE#,1,2");
  ASSERT_EQ(m.LastPoint[1], 0);
  std::string text = GridFileText(m);
  // 1 + 12 head lines, 2 values, 2 grid values of x, nothing for y.
  std::size_t lines = 0;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(lines, 17u);
  Dimension back;
  ASSERT_TRUE(ReadGridText(back, text, "b").ok);
  EXPECT_EQ(back.GridX[1], std::vector<double>{3.0});
}

TEST(GridFile, FalseSpacingStillReadsTheGridValues) {
  Dimension back;
  ASSERT_TRUE(
      ReadGridText(back, " 0 \r\nx\r\n 0 \r\n 1 \r\n 1 \r\n 0 \r\n#FALSE#\r\n 7 \r\n 8 \r\n .2 \r\n .9 \r\n", "b").ok);
  EXPECT_FALSE(back.EvenlySpaced[0]);
  EXPECT_EQ(back.GridX[0], (std::vector<double>{0.2, 0.9}));
  EXPECT_EQ(back.Results(1, 0, 0, 0), 8.0);
}

struct GridRefusal {
  const char* name;
  const char* text;
  const char* where;
};
class GridFileRefusal : public ::testing::TestWithParam<GridRefusal> {};

TEST_P(GridFileRefusal, LeavesTheModelAsItWas) {
  Dimension m = Computed(kPoly);
  const std::string before = Snapshot(m);
  GridFileResult r = ReadGridText(m, GetParam().text, "bad");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("\"bad.grd\""), std::string::npos) << r.message;
  EXPECT_NE(r.message.find(GetParam().where), std::string::npos) << r.message;
  EXPECT_EQ(Snapshot(m), before);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, GridFileRefusal,
    ::testing::Values(
        GridRefusal{"Empty", "", "field 1"}, GridRefusal{"LastVarFour", " 4 \r\n", "outside 0 to 3"},
        GridRefusal{"NegativeIndex", " 0 \r\nx\r\n 0 \r\n 1 \r\n-2 \r\n", "is negative"},
        GridRefusal{"NegativeOrder", " 0 \r\nx\r\n 0 \r\n 1 \r\n 1 \r\n-1 \r\n", "derivative order"},
        GridRefusal{"MisspelledBoolean", " 0 \r\nx\r\n 0 \r\n 1 \r\n 1 \r\n 0 \r\nTRUE\r\n",
                    "field 7 on line 7 (evenly spaced of variable 0)"},
        GridRefusal{"EndsInValues", " 0 \r\nx\r\n 0 \r\n 1 \r\n 1 \r\n 0 \r\n#TRUE#\r\n 1 \r\n", "value 2 of 2"},
        GridRefusal{"EndsInGrid", " 0 \r\nx\r\n 0 \r\n 1 \r\n 1 \r\n 0 \r\n#TRUE#\r\n 1 \r\n 2 \r\n 0 \r\n",
                    "grid value 1 of variable 0"},
        GridRefusal{"NotANumberValue",
                    " 0 \r\nx\r\n 0 \r\n 1 \r\n 1 \r\n 0 \r\n#TRUE#\r\n nan \r\n 2 \r\n 0 \r\n 1 \r\n",
                    "value 1 of 2"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GridFile, AFailedSaveLeavesTheExistingFileIntact) {
  TempDir dir;
  Dimension m = Computed(kPoly);
  const std::string base = dir.file("keep");
  WriteFile(base + ".grd", "precious");
  Dimension empty;  // nothing to save
  GridFileResult r = WriteGridFile(empty, base);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(ReadWholeFile(base + ".grd"), "precious");
  // A folder that does not exist: reported, nothing left behind.
  r = WriteGridFile(m, dir.file("no/such/folder/x"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("no/such/folder/x.grd"), std::string::npos) << r.message;
  // A target that is a folder.
  std::filesystem::create_directory(dir.file("isdir.grd"));
  r = WriteGridFile(m, dir.file("isdir"));
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("isdir.grd")));
  // A good save replaces the file and leaves no temporary behind.
  ASSERT_TRUE(WriteGridFile(m, base).ok);
  EXPECT_EQ(ReadWholeFile(base + ".grd"), GridFileText(m));
  std::size_t files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file();
  EXPECT_EQ(files, 1u);
}

// A name that ends in ".grd" is the grid file itself; any other name is a
// base name that gets ".grd".
TEST(GridFile, FilePathOfAName) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"res", "res.grd"},
      {"run.ser", "run.ser.grd"},
      {"res.grd", "res.grd"},
      {"res.grd.grd", "res.grd.grd"},
      {"RES.GRD", "RES.GRD"},
      {"res.Grd", "res.Grd"},
      {"resgrd", "resgrd.grd"},
      {"res.grdx", "res.grdx.grd"},
      {"res.gr", "res.gr.grd"},
      {".grd", ".grd.grd"},
      {"folder/.grd", "folder/.grd.grd"},
      {"a.grd/b", "a.grd/b.grd"},
      {"", ".grd"},
  };
  for (const auto& [name, file] : cases) EXPECT_EQ(GridFilePath(name), file) << name;
}

TEST(GridFile, TheNamedFileIsTheFileWrittenAndRead) {
  TempDir dir;
  Dimension poly = Computed(kPoly);
  Dimension wave = Computed("0,t,0,6.28,0,#FALSE#,*,4,#TRUE#,1,0.5,0.25,0,0");
  // A base name gets ".grd"; a name with ".grd" is written as it is.
  ASSERT_TRUE(WriteGridFile(poly, dir.file("a")).ok);
  ASSERT_TRUE(WriteGridFile(wave, dir.file("a.grd")).ok);
  EXPECT_EQ(ReadWholeFile(dir.file("a.grd")), GridFileText(wave));
  EXPECT_FALSE(std::filesystem::exists(dir.file("a.grd.grd")));
  // Files written under a doubled name before stay readable by that name.
  ASSERT_TRUE(WriteGridFile(poly, dir.file("old.grd.grd")).ok);

  struct Case {
    std::string name;
    const Dimension* content;
  };
  for (const Case& c :
       std::vector<Case>{{dir.file("a.grd"), &wave}, {dir.file("a"), &wave}, {dir.file("old.grd.grd"), &poly}}) {
    Dimension back;
    GridFileResult r = ReadGridFile(back, c.name);
    ASSERT_TRUE(r.ok) << c.name << ": " << r.message;
    EXPECT_EQ(GridFileText(back), GridFileText(*c.content)) << c.name;
    EXPECT_EQ(back.FileName, c.name);
  }
  // A missing file is named in the message as the file that was looked for.
  Dimension none;
  EXPECT_NE(
      ReadGridFile(none, dir.file("other.grd")).message.find("\"" + dir.file("other.grd") + "\": cannot be opened"),
      std::string::npos);
  EXPECT_NE(ReadGridFile(none, dir.file("other")).message.find("\"" + dir.file("other.grd") + "\": cannot be opened"),
            std::string::npos);
}

// A save tells its progress and can be cancelled whatever the grid's shape:
// one long row of variable 0 as well as many short ones.
TEST(GridFile, SavingTellsProgressAndCancelsForEveryShape) {
  TempDir dir;
  for (const char* points : {"300000", "3"}) {
    Dimension m;
    ASSERT_EQ(ReadSeriesText(m, kPoly, "run.ser").outcome, SeriesReadOutcome::Ok);
    auto spec = DefaultGridSpec(m);
    spec[0].points = points;
    ASSERT_EQ(CaptureGridSpecs(m, spec), "");
    ASSERT_EQ(Compute(m).outcome, ComputeOutcome::Ok);
    const std::uint64_t total = m.LastPoint[0] + 1ull;

    std::vector<std::uint64_t> told;
    const std::string base = dir.file(std::string("p") + points);
    ASSERT_TRUE(WriteGridFile(m, base, [&](std::uint64_t done, std::uint64_t all) {
                  EXPECT_EQ(all, total);
                  told.push_back(done);
                  return true;
                }).ok);
    EXPECT_EQ(ReadWholeFile(base + ".grd"), GridFileText(m));
    if (total > 100000) {
      ASSERT_GE(told.size(), 3u);
      EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
      EXPECT_LE(told.back(), total);
      // Cancelled at the first report: nothing written, the old file kept.
      WriteFile(base + ".grd", "precious");
      GridFileResult r = WriteGridFile(m, base, [](std::uint64_t, std::uint64_t) { return false; });
      EXPECT_FALSE(r.ok);
      EXPECT_NE(r.message.find("cancelled"), std::string::npos) << r.message;
      EXPECT_EQ(ReadWholeFile(base + ".grd"), "precious");
    }
  }
}
