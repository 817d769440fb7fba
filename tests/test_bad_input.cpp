// Malformed series and grid files, one table: each must be refused by the
// reader with a message naming the file and the place, leaving the model
// exactly as it was, and by tabulor-batch with exit status 1, a message on
// standard error, nothing on standard output and no file written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/grid_file.h"
#include "model/series_file.h"
#include "model_dump.h"
#include "reliability_helpers.h"

using namespace tabulor;
using namespace tabulor::reliability;

namespace {

enum class Kind { Series, Grid };

struct BadFile {
  std::string name;  // the test's name
  Kind kind;
  std::string content;  // the file's bytes
  std::string place;    // what the message must say about where
  std::string reason;   // and about why
};

std::ostream& operator<<(std::ostream& os, const BadFile& f) { return os << f.name; }

std::string Lines(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\r\n";
  return s;
}

// One Power variable x on 0..1, 3 terms, coefficients 1, 2, 3: 12 fields on
// 12 lines.
std::vector<std::string> GoodSeries() { return {"0", "x", "0", "1", "0", "#TRUE#", "*", "2", "#TRUE#", "1", "2", "3"}; }

std::string SeriesWith(int field, const std::string& text) {
  auto f = GoodSeries();
  f[static_cast<std::size_t>(field - 1)] = text;
  return Lines(f);
}

// Two variables; the second field of variable 1's description is field 9.
std::string TwoVariableSeries(const std::string& terms0, const std::string& terms1, int coefficients) {
  std::vector<std::string> f = {"1", "x", "0", "1", "0",      "#TRUE#", "*",    terms0,
                                "y", "0", "1", "0", "#TRUE#", "*",      terms1, "#TRUE#"};
  for (int i = 0; i < coefficients; ++i) f.push_back(std::to_string(i + 1));
  return Lines(f);
}

// The grid file of 1 + 2x + 3x² on 3 points: 13 lines.
std::vector<std::string> GoodGrid() {
  return {" 0 ", "x", " 0 ", " 1 ", " 2 ", " 0 ", "#TRUE#", " 1 ", " 2.75 ", " 6 ", " 0 ", " 0.5 ", " 1 "};
}

std::string GridWith(int line, const std::string& text) {
  auto f = GoodGrid();
  f[static_cast<std::size_t>(line - 1)] = text;
  return Lines(f);
}

std::string GridWithout(int line) {
  auto f = GoodGrid();
  f.erase(f.begin() + (line - 1));
  return Lines(f);
}

std::string Bytes(int from, int to) {
  std::string s;
  for (int b = from; b <= to; ++b) s.push_back(static_cast<char>(b));
  return s;
}

std::string At(int field, int line) { return "field " + std::to_string(field) + " on line " + std::to_string(line); }

const std::string kEnds = "the file ends before this field";

std::vector<BadFile> Table() {
  const std::string megabyte(1 << 20, 'n');
  const std::string nul_name = std::string("x") + '\0' + "y";
  const std::string nul_number = std::string("2") + '\0';
  std::vector<BadFile> t = {
      // Series files.
      {"SeriesEmpty", Kind::Series, "", At(1, 1), kEnds},
      {"SeriesOnlyBlanks", Kind::Series, "  \t  ", At(1, 1), kEnds},
      {"SeriesBinaryWithNul", Kind::Series, Bytes(0, 255), At(1, 1), "NUL byte"},
      {"SeriesBinaryWithoutNul", Kind::Series, Bytes(1, 255), At(5, 3), kEnds},
      {"SeriesLastVarMinusOne", Kind::Series, SeriesWith(1, "-1"), At(1, 1), "-1 is outside 0 to 3"},
      {"SeriesLastVarFour", Kind::Series, SeriesWith(1, "4"), At(1, 1), "4 is outside 0 to 3"},
      {"SeriesLastVarBeyond32Bits", Kind::Series, SeriesWith(1, "1e10"), At(1, 1), "beyond the 32-bit range"},
      {"SeriesTermsNegative", Kind::Series, SeriesWith(8, "-2"), At(8, 8), "-2 is negative"},
      {"SeriesTermsLargest32Bit", Kind::Series, SeriesWith(8, "2147483647"), At(8, 8), "beyond the 32-bit range"},
      {"SeriesTermsBeyond32Bits", Kind::Series, SeriesWith(8, "99999999999"), At(8, 8), "beyond the 32-bit range"},
      {"SeriesTermsHugeCoefficientsMissing", Kind::Series, SeriesWith(8, "99999999"), "coefficient", ""},
      {"SeriesTermProductPasses2To31", Kind::Series, TwoVariableSeries("65535", "32767", 3), At(15, 15),
       "2147483648 coefficients, more than 2147483647"},
      {"SeriesTermProductOfFourPasses2To31", Kind::Series,
       Lines({"3", "a",      "0", "1",   "0",      "#TRUE#", "*",   "255",    "b",      "0", "1",
              "0", "#TRUE#", "*", "255", "c",      "0",      "1",   "0",      "#TRUE#", "*", "255",
              "d", "0",      "1", "0",   "#TRUE#", "*",      "255", "#TRUE#", "1"}),
       At(29, 29), "4294967296 coefficients"},
      {"SeriesKindMisspelled", Kind::Series, SeriesWith(6, "#True#"), At(6, 6), "neither #TRUE# nor #FALSE#"},
      {"SeriesKindWithoutHashes", Kind::Series, SeriesWith(6, "TRUE"), At(6, 6), "neither #TRUE# nor #FALSE#"},
      {"SeriesFlagMisspelled", Kind::Series, SeriesWith(9, "#FALS#"), At(9, 9), "neither #TRUE# nor #FALSE#"},
      {"SeriesFlagQuoted", Kind::Series, SeriesWith(9, "\"#TRUE#\""), At(9, 9), "neither #TRUE# nor #FALSE#"},
      {"SeriesNameQuoteNeverClosed", Kind::Series, SeriesWith(2, "\"x"), At(2, 2), "never closed"},
      {"SeriesNameOfAMegabyte", Kind::Series, SeriesWith(2, megabyte), At(2, 2), "longer than 65536 characters"},
      {"SeriesCoefficientOfAMegabyte", Kind::Series, SeriesWith(10, std::string(1 << 20, '1')), At(10, 10),
       "longer than 65536 characters"},
      {"SeriesNulInName", Kind::Series, SeriesWith(2, nul_name), At(2, 2), "NUL byte"},
      {"SeriesNulInCoefficient", Kind::Series, SeriesWith(11, nul_number), At(11, 11), "NUL byte"},
      {"SeriesCoefficientBlockShortByOne", Kind::Series, TwoVariableSeries("2", "1", 5), At(22, 22),
       "coefficient 6 of 6): " + kEnds},
      {"SeriesCommaSeparatedShortByOne", Kind::Series, "0,x,0,1,0,#TRUE#,*,2,#TRUE#,1,2,", At(12, 1), kEnds},
      {"SeriesCoefficientOverflow", Kind::Series, SeriesWith(10, "1e999"), At(10, 10), "too large for a double"},
      {"SeriesLowerLimitNegativeOverflow", Kind::Series, SeriesWith(3, "-1e999"), At(3, 3), "too large for a double"},
      {"SeriesCoefficientNan", Kind::Series, SeriesWith(11, "nan"), At(11, 11), "\"nan\" is not a finite number"},
      {"SeriesUpperLimitInf", Kind::Series, SeriesWith(4, "inf"), At(4, 4), "\"inf\" is not a finite number"},
      {"SeriesCoefficientMinusInfinity", Kind::Series, SeriesWith(12, "-Infinity"), At(12, 12),
       "is not a finite number"},
      {"SeriesCentreInf", Kind::Series, SeriesWith(5, "inf"), At(5, 5), "\"inf\" is not a finite number"},
      {"SeriesTrigonometricPeriodOverflow", Kind::Series,
       Lines({"0", "t", "0", "1", "0", "#FALSE#", "1e999", "2", "#TRUE#", "1", "2", "3"}), At(7, 7),
       "too large for a double"},
      {"SeriesCentreStarBeyondDouble", Kind::Series,
       Lines({"0", "x", "1e308", "1.7e308", "*", "#TRUE#", "*", "2", "#TRUE#", "1", "2", "3"}), At(5, 5),
       "the middle of the limits"},
      {"SeriesLimitsTooFarApart", Kind::Series,
       Lines({"0", "x", "-1e308", "1e308", "0", "#TRUE#", "*", "2", "#TRUE#", "1", "2", "3"}), At(4, 4),
       "so far apart"},
      {"SeriesDefaultGridBeyondDoubles", Kind::Series,
       Lines({"0", "x", "0", "1.7976931348623157E+308", "0", "#TRUE#", "*", "3", "#TRUE#", "1", "2", "3", "4"}),
       At(8, 8), "default grid's values"},

      // Grid files.
      {"GridEmpty", Kind::Grid, "", At(1, 1), kEnds},
      {"GridBinaryWithNul", Kind::Grid, Bytes(0, 255), At(1, 1), "NUL byte"},
      {"GridBinaryWithoutNul", Kind::Grid, Bytes(1, 255), At(5, 3), kEnds},
      {"GridLastVarMinusOne", Kind::Grid, GridWith(1, "-1"), At(1, 1), "-1 is outside 0 to 3"},
      {"GridLastVarFour", Kind::Grid, GridWith(1, " 4 "), At(1, 1), "4 is outside 0 to 3"},
      {"GridPointsNegative", Kind::Grid, GridWith(5, "-3 "), At(5, 5), "-3 is negative"},
      {"GridPointsLargest32Bit", Kind::Grid, GridWith(5, " 2147483647 "), At(5, 5), "beyond the 32-bit range"},
      {"GridPointsBeyond32Bits", Kind::Grid, GridWith(5, " 1E+12 "), At(5, 5), "beyond the 32-bit range"},
      {"GridPointProductPasses2To31", Kind::Grid,
       Lines({" 1 ", "x", " 0 ", " 1 ", " 65535 ", " 0 ", "#TRUE#", "y", " 0 ", " 1 ", " 32767 ", " 0 ", "#TRUE#",
              " 1 "}),
       At(11, 11), "2147483648 grid points, more than 2147483647"},
      {"GridPointsHugeValuesMissing", Kind::Grid, GridWith(5, " 99999999 "), "value", ""},
      {"GridDerivativeNegative", Kind::Grid, GridWith(6, "-1 "), At(6, 6), "-1 is negative"},
      {"GridEvenlyMisspelled", Kind::Grid, GridWith(7, "#true#"), At(7, 7), "neither #TRUE# nor #FALSE#"},
      {"GridEvenlyYes", Kind::Grid, GridWith(7, "Yes"), At(7, 7), "neither #TRUE# nor #FALSE#"},
      {"GridNameQuoteNeverClosed", Kind::Grid, GridWith(2, "\"x"), At(2, 2), "never closed"},
      {"GridNameOfAMegabyte", Kind::Grid, GridWith(2, megabyte), At(2, 2), "longer than 65536 characters"},
      {"GridNulInValue", Kind::Grid, GridWith(9, " 2.7" + std::string(1, '\0') + "5 "), At(9, 9), "NUL byte"},
      {"GridValueBlockShortByOne", Kind::Grid, GridWithout(10), At(13, 13), "grid value 2 of variable 0): " + kEnds},
      {"GridGridValuesShortByOne", Kind::Grid, GridWithout(13), At(13, 13), "grid value 2 of variable 0): " + kEnds},
      {"GridValueOverflow", Kind::Grid, GridWith(9, " 1E+999 "), At(9, 9), "too large for a double"},
      {"GridLowerLimitNegativeOverflow", Kind::Grid, GridWith(3, "-1e999 "), At(3, 3), "too large for a double"},
      {"GridValueNan", Kind::Grid, GridWith(10, " nan "), At(10, 10), "\"nan\" is not a finite number"},
      {"GridGridValueInf", Kind::Grid, GridWith(12, " inf "), At(12, 12), "\"inf\" is not a finite number"},
      {"GridValuePrintedInfinity", Kind::Grid, GridWith(8, " 1.#INF "), At(8, 8), "is not a finite number"},
  };
  // A small file cut after every one of its fields.
  const auto series = GoodSeries();
  for (std::size_t k = 0; k < series.size(); ++k)
    t.push_back({"SeriesCutAfterField" + std::to_string(k), Kind::Series,
                 Lines(std::vector<std::string>(series.begin(), series.begin() + static_cast<long>(k))),
                 At(static_cast<int>(k) + 1, static_cast<int>(k) + 1), kEnds});
  const auto grid = GoodGrid();
  for (std::size_t k = 0; k < grid.size(); ++k)
    t.push_back({"GridCutAfterLine" + std::to_string(k), Kind::Grid,
                 Lines(std::vector<std::string>(grid.begin(), grid.begin() + static_cast<long>(k))),
                 At(static_cast<int>(k) + 1, static_cast<int>(k) + 1), kEnds});
  return t;
}

class BadInput : public ::testing::TestWithParam<BadFile> {
 protected:
  ScratchDir dir_;
  // The file on disk: the series file itself, or the base name of the grid
  // file (the readers append ".grd").
  std::string Write() {
    const BadFile& f = GetParam();
    const std::string base = dir_.file(f.kind == Kind::Series ? "bad.ser" : "bad");
    WriteBytes(f.kind == Kind::Series ? base : base + ".grd", f.content);
    return base;
  }
};

TEST_P(BadInput, ReaderRefusesAndKeepsTheModel) {
  const BadFile& f = GetParam();
  const std::string path = Write();
  // The state a user is in: a series read and computed.
  Dimension model;
  LoadComputed(model, "wave.ser");
  ASSERT_TRUE(model.ResultsReady);
  const std::string before = ModelDump(model);

  std::string message;
  if (f.kind == Kind::Series) {
    SeriesReadResult r = ReadSeriesFile(model, path);
    EXPECT_EQ(r.outcome, SeriesReadOutcome::Error);
    message = r.message;
    EXPECT_EQ(message.rfind("Series file \"" + path + "\": ", 0), 0u) << message;
  } else {
    GridFileResult r = ReadGridFile(model, path);
    EXPECT_FALSE(r.ok);
    message = r.message;
    EXPECT_EQ(message.rfind("Grid file \"" + path + ".grd\": ", 0), 0u) << message;
  }
  EXPECT_NE(message.find(f.place), std::string::npos) << message;
  EXPECT_NE(message.find(f.reason), std::string::npos) << message;
  EXPECT_LT(message.size(), 400u) << "a message should be one readable line";
  EXPECT_EQ(message.find('\n'), std::string::npos) << message;
  const std::string after = ModelDump(model);
  EXPECT_TRUE(after == before) << FirstDifference(before, after);
}

TEST_P(BadInput, BatchRefusesWithStatusOne) {
  const BadFile& f = GetParam();
  const std::string path = Write();
  ScratchDir out_dir;
  ProcessResult r =
      f.kind == Kind::Series ? RunBatch({path, "--save", out_dir.file("out")}) : RunBatch({"--open-grid", path});
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("tabulor-batch: ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find(f.kind == Kind::Series ? "\"" + path + "\"" : "\"" + path + ".grd\""), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find(f.place), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(f.reason), std::string::npos) << r.err;
  EXPECT_TRUE(out_dir.Names().empty()) << "a file was written";
}

INSTANTIATE_TEST_SUITE_P(Table, BadInput, ::testing::ValuesIn(Table()),
                         [](const ::testing::TestParamInfo<BadFile>& info) { return info.param.name; });

TEST(BadInputTable, HoldsAtLeastThirtyFilesOfEachKind) {
  int series = 0, grid = 0;
  for (const auto& f : Table()) (f.kind == Kind::Series ? series : grid)++;
  EXPECT_GE(series, 30);
  EXPECT_GE(grid, 30);
}

// A file refused after a good one: the good one's model stays, and reading
// the good one again still works (nothing of the bad read lingers).
TEST(BadInputTable, GoodFileReadsAfterABadOne) {
  ScratchDir dir;
  Dimension model;
  SeriesReadResult bad = ReadSeriesText(model, SeriesWith(11, "nan"), "bad.ser");
  ASSERT_EQ(bad.outcome, SeriesReadOutcome::Error);
  LoadSeriesText(model, Lines(GoodSeries()));
  EXPECT_EQ(model.Coefficients, (std::vector<double>{1, 2, 3}));
}

}  // namespace
