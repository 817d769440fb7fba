#include <gtest/gtest.h>

#include <cmath>

#include "model/series_file.h"
#include "test_helpers.h"

using namespace tabulor;
using namespace tabulor::testing;

namespace {
const char kPoly[] = "0\r\nx\r\n0\r\n1\r\n0\r\n#TRUE#\r\n*\r\n2\r\n#TRUE#\r\n1\r\n2\r\n3\r\n";
}

TEST(SeriesFile, ReadsTheOneVariablePolynomial) {
  Dimension m;
  SeriesReadResult r = ReadSeriesText(m, kPoly, "poly.ser");
  ASSERT_EQ(r.outcome, SeriesReadOutcome::Ok) << r.message;
  EXPECT_EQ(m.LastVar, 0);
  EXPECT_EQ(m.VarName[0], "x");
  EXPECT_EQ(m.LowerLimit[0], 0.0);
  EXPECT_EQ(m.UpperLimit[0], 1.0);
  EXPECT_EQ(m.Center[0], 0.0);
  EXPECT_TRUE(m.IsPower[0]);
  EXPECT_EQ(m.Period[0], 2 * m.Pi);
  EXPECT_EQ(m.PeriodText[0], "*");
  EXPECT_EQ(m.LastTerm[0], 2);
  EXPECT_EQ(m.LastPoint[0], 2);
  EXPECT_TRUE(m.EvenlySpaced[0]);
  EXPECT_EQ(m.DerOrder[0], 0);
  EXPECT_EQ(m.GridX[0], (std::vector<double>{0, 0.5, 1}));
  EXPECT_EQ(m.Coefficients, (std::vector<double>{1, 2, 3}));
  EXPECT_FALSE(m.ResultsReady);
  EXPECT_EQ(m.FileName, "poly.ser");
  EXPECT_EQ(m.TotalCount, 3);
  // Absent variables: one term, one grid point, nothing else.
  for (int v = 1; v < 4; ++v) {
    EXPECT_EQ(m.LastTerm[v], 0);
    EXPECT_EQ(m.LastPoint[v], 0);
    EXPECT_TRUE(m.VarName[v].empty());
  }
}

TEST(SeriesFile, CommasAndLineEndsSeparateAlike) {
  Dimension a, b;
  ASSERT_EQ(ReadSeriesText(a, kPoly, "f").outcome, SeriesReadOutcome::Ok);
  ASSERT_EQ(ReadSeriesText(b, "0,x,0,1,0,#TRUE#,*,2,#TRUE#,1,2,3", "f").outcome, SeriesReadOutcome::Ok);
  EXPECT_EQ(Snapshot(a), Snapshot(b));
}

TEST(SeriesFile, AByteOrderMarkInFrontIsNotPartOfTheFirstField) {
  Dimension m;
  SeriesReadResult r = ReadSeriesText(m,
                                      "\xEF\xBB\xBF"
                                      "1,x,0,1,0,#TRUE#,*,1,y,0,1,0,#TRUE#,*,0,#TRUE#,1,2",
                                      "bom.ser");
  ASSERT_EQ(r.outcome, SeriesReadOutcome::Ok) << r.message;
  EXPECT_EQ(m.LastVar, 1);
  EXPECT_EQ(m.VarName[1], "y");
  EXPECT_EQ(m.Coefficients, (std::vector<double>{1, 2}));
}

TEST(SeriesFile, CentreAndPeriodDefaultsAndTexts) {
  Dimension m;
  ASSERT_EQ(ReadSeriesText(m, "0,v,-1,3,*,#FALSE#,*,1,#TRUE#,0,0", "f").outcome, SeriesReadOutcome::Ok);
  EXPECT_EQ(m.Center[0], 1.0);
  EXPECT_EQ(m.Period[0], 8 * std::atan(1.0));
  EXPECT_EQ(m.CenterText[0], "*");
  EXPECT_FALSE(m.IsPower[0]);
  ASSERT_EQ(ReadSeriesText(m, "0,v,-1,3, 0.5 ,#TRUE#,abc,1,#TRUE#,0,0", "f").outcome, SeriesReadOutcome::Ok);
  EXPECT_EQ(m.Center[0], 0.5);
  EXPECT_EQ(m.CenterText[0], "0.5");
  EXPECT_EQ(m.Period[0], 0.0);
  EXPECT_EQ(m.PeriodText[0], "abc");
  ASSERT_EQ(ReadSeriesText(m, "0,\"my x\",-1,3,\"*\",#TRUE#,**,1,#TRUE#,0,0", "f").outcome, SeriesReadOutcome::Ok);
  EXPECT_EQ(m.VarName[0], "my x");
  EXPECT_EQ(m.Center[0], 1.0);
  EXPECT_EQ(m.Period[0], 0.0);  // two asterisks are no default and no number
}

TEST(SeriesFile, APowerVariableReadsWhateverItsUnusedPeriodSays) {
  for (const char* period : {"inf", "nan", "1e999", "-Infinity"}) {
    Dimension m;
    const std::string text = std::string("0,x,0,1,0,#TRUE#,") + period + ",2,#TRUE#,1,2,3";
    SeriesReadResult r = ReadSeriesText(m, text, "p.ser");
    ASSERT_EQ(r.outcome, SeriesReadOutcome::Ok) << period << ": " << r.message;
    EXPECT_EQ(m.PeriodText[0], period);
    EXPECT_EQ(m.Period[0], 0.0);
    // A Trigonometric variable, which divides by its period, refuses it.
    const std::string trig = std::string("0,t,0,1,0,#FALSE#,") + period + ",2,#TRUE#,1,2,3";
    EXPECT_EQ(ReadSeriesText(m, trig, "t.ser").outcome, SeriesReadOutcome::Error) << period;
  }
}

TEST(SeriesFile, TwoVariablesCarryTheirCoefficientsKZeroFastest) {
  Dimension m;
  ASSERT_EQ(ReadSeriesText(m, "1,x,0,1,0,#TRUE#,*,2,y,0,1,0,#TRUE#,*,1,#TRUE#,1,2,3,4,5,6", "f").outcome,
            SeriesReadOutcome::Ok);
  EXPECT_EQ(m.TotalCount, 6);
  EXPECT_EQ(m.Coefficients, (std::vector<double>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(m.GridX[1], (std::vector<double>{0, 1}));
  EXPECT_EQ(m.LastPoint[0], 2);
  EXPECT_EQ(m.LastPoint[1], 1);
}

TEST(SeriesFile, ASingleTermGivesOneGridPointAtTheLowerLimit) {
  Dimension m;
  ASSERT_EQ(ReadSeriesText(m, "0,x,-2,5,0,#TRUE#,*,0,#TRUE#,4", "f").outcome, SeriesReadOutcome::Ok);
  EXPECT_EQ(m.GridX[0], std::vector<double>{-2.0});
  EXPECT_EQ(m.GridStep[0], 0.0);
}

TEST(SeriesFile, NoCoefficientsIsItsOwnOutcomeAndChangesNothing) {
  Dimension m;
  ASSERT_EQ(ReadSeriesText(m, kPoly, "first").outcome, SeriesReadOutcome::Ok);
  const std::string before = Snapshot(m);
  SeriesReadResult r = ReadSeriesText(m, "0,x,0,1,0,#TRUE#,*,2,#FALSE#,garbage", "f");
  EXPECT_EQ(r.outcome, SeriesReadOutcome::NoCoefficients);
  EXPECT_EQ(r.message, "NO COEFFICIENTS IN FILE.");
  EXPECT_EQ(Snapshot(m), before);
}

struct Refusal {
  const char* name;
  const char* text;
  const char* where;  // part of the message that names the place
};

class SeriesRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(SeriesRefusal, NamesFileAndPlaceAndLeavesTheModel) {
  Dimension m;
  ASSERT_EQ(ReadSeriesText(m, kPoly, "earlier.ser").outcome, SeriesReadOutcome::Ok);
  const std::string before = Snapshot(m);
  SeriesReadResult r = ReadSeriesText(m, GetParam().text, "bad.ser");
  EXPECT_EQ(r.outcome, SeriesReadOutcome::Error);
  EXPECT_NE(r.message.find("\"bad.ser\""), std::string::npos) << r.message;
  EXPECT_NE(r.message.find(GetParam().where), std::string::npos) << r.message;
  EXPECT_EQ(Snapshot(m), before);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, SeriesRefusal,
    ::testing::Values(Refusal{"Empty", "", "field 1 on line 1"}, Refusal{"LastVarMinusOne", "-1,x", "outside 0 to 3"},
                      Refusal{"LastVarFour", "4,x", "outside 0 to 3"},
                      Refusal{"EndsInHead", "0\r\nx\r\n0\r\n", "field 4 on line 4 (upper limit of variable 0)"},
                      Refusal{"NegativeTerms", "0,x,0,1,0,#TRUE#,*,-3,#TRUE#", "is negative"},
                      Refusal{"MisspelledKind", "0,x,0,1,0,#YES#,*,2,#TRUE#,1,2,3", "field 6 on line 1 (kind"},
                      Refusal{"MisspelledFlag", "0,x,0,1,0,#TRUE#,*,2,TRUE,1,2,3", "coefficients present"},
                      Refusal{"ShortByOne", "0,x,0,1,0,#TRUE#,*,2,#TRUE#,1,2", "coefficient 3 of 3"},
                      Refusal{"TooManyCoefficients", "1,x,0,1,0,#TRUE#,*,99999,y,0,1,0,#TRUE#,*,99999,#TRUE#,1",
                              "more than 2147483647"},
                      Refusal{"InfiniteCoefficient", "0,x,0,1,0,#TRUE#,*,1,#TRUE#,1,inf", "coefficient 2 of 2"},
                      Refusal{"HugeLimit", "0,x,1e999,1,0,#TRUE#,*,1,#TRUE#,1,2", "lower limit of variable 0"},
                      Refusal{"HugeCentre", "0,x,0,1,1e400,#TRUE#,*,1,#TRUE#,1,2",
                              "centre of expansion of variable 0"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SeriesFile, MissingFileAndFolderAreReported) {
  Dimension m;
  const std::string before = Snapshot(m);
  SeriesReadResult r = ReadSeriesFile(m, "/nonexistent/x.ser");
  EXPECT_EQ(r.outcome, SeriesReadOutcome::Error);
  EXPECT_NE(r.message.find("/nonexistent/x.ser"), std::string::npos);
  EXPECT_NE(r.message.find("cannot be opened"), std::string::npos);
  r = ReadSeriesFile(m, "/tmp");
  EXPECT_EQ(r.outcome, SeriesReadOutcome::Error);
  EXPECT_EQ(Snapshot(m), before);
}

TEST(SeriesFile, ReadsTheBundledExamples) {
  for (const char* name : {"poly.ser", "wave.ser", "four.ser"}) {
    Dimension m;
    SeriesReadResult r = ReadSeriesFile(m, std::string(TABULOR_EXAMPLES_DIR) + "/" + name);
    EXPECT_EQ(r.outcome, SeriesReadOutcome::Ok) << name << ": " << r.message;
    EXPECT_EQ(static_cast<std::int64_t>(m.Coefficients.size()), m.TermProduct());
  }
}
