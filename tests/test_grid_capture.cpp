#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "model/grid_capture.h"
#include "model/series_file.h"
#include "model_dump.h"
#include "test_helpers.h"

using namespace tabulor;
using namespace tabulor::testing;
using tabulor::reliability::FirstDifference;
using tabulor::reliability::ModelDump;

namespace {
Dimension TwoVars() {
  Dimension m;
  EXPECT_EQ(ReadSeriesText(m, "1,x,0,1,0,#TRUE#,*,2,y,0,1,0,#TRUE#,*,1,#TRUE#,1,2,3,4,5,6", "f").outcome,
            SeriesReadOutcome::Ok);
  return m;
}
}  // namespace

TEST(GridSpec, DefaultIsWhatTheWindowShowsAfterOpening) {
  Dimension m = TwoVars();
  auto spec = DefaultGridSpec(m);
  EXPECT_EQ(spec[0].lower, "0");
  EXPECT_EQ(spec[0].upper, "1");
  EXPECT_EQ(spec[0].points, "3");
  EXPECT_EQ(spec[1].points, "2");
  EXPECT_EQ(spec[0].der, "0");
  EXPECT_TRUE(spec[1].spaced);
}

TEST(GridSpec, CaptureConvertsTheBoxes) {
  Dimension m = TwoVars();
  auto spec = DefaultGridSpec(m);
  spec[0] = {"0", "1", "5", " 1 ", true, true, {}};
  spec[1] = {"1e-3", "2,5", "4", "1.5", false, true, {}};
  ASSERT_EQ(CaptureGridSpecs(m, spec), "");
  EXPECT_EQ(m.LastPoint[0], 4);
  EXPECT_EQ(m.GridStep[0], 0.25);
  EXPECT_EQ(m.GridX[0], (std::vector<double>{0, 0.25, 0.5, 0.75, 1}));
  EXPECT_EQ(m.DerOrder[0], 1);
  EXPECT_EQ(m.LowerLimit[1], 0.001);
  EXPECT_EQ(m.UpperLimit[1], 2.0);
  EXPECT_EQ(m.DerOrder[1], 2);
  EXPECT_FALSE(m.IsPower[1]);
  EXPECT_EQ(m.TotalCount, 20);
}

TEST(GridSpec, GridPointsRoundHalfToEven) {
  Dimension m = TwoVars();
  auto spec = DefaultGridSpec(m);
  spec[0].points = "2.5";
  ASSERT_EQ(CaptureGridSpecs(m, spec), "");
  EXPECT_EQ(m.LastPoint[0], 2);
  spec[0].points = "3.5";
  ASSERT_EQ(CaptureGridSpecs(m, spec), "");
  EXPECT_EQ(m.LastPoint[0], 2);
  spec[0] = {"1", "0", "3", "0", true, true, {}};
  ASSERT_EQ(CaptureGridSpecs(m, spec), "");
  EXPECT_EQ(m.GridX[0], (std::vector<double>{1, 0.5, 0}));
}

TEST(GridSpec, UnevenGridKeepsItsValuesButTakesLimitsAndCount) {
  Dimension m = TwoVars();
  m.GridX[1] = {0.1, 0.7, 0.9};
  auto spec = DefaultGridSpec(m);
  spec[1] = {"-5", "5", "3", "0", true, false, {}};
  ASSERT_EQ(CaptureGridSpecs(m, spec), "");
  EXPECT_EQ(m.GridX[1], (std::vector<double>{0.1, 0.7, 0.9}));
  EXPECT_EQ(m.LowerLimit[1], -5.0);
  EXPECT_EQ(m.LastPoint[1], 2);
  EXPECT_FALSE(m.EvenlySpaced[1]);
}

TEST(GridSpec, RefusedSettingsNameTheVariableAndChangeNothing) {
  const std::pair<const char*, const char*> bad_der[] = {
      {"", "not a number"}, {"abc", "not a number"}, {"1x", "not a number"}, {"-1", "negative"}, {"1e99", "32-bit"}};
  for (const auto& [der, why] : bad_der) {
    Dimension m = TwoVars();
    const std::string before = Snapshot(m);
    auto spec = DefaultGridSpec(m);
    spec[0].points = "7";
    spec[1].der = der;
    std::string msg = CaptureGridSpecs(m, spec);
    EXPECT_NE(msg.find("Variable 1 (y)"), std::string::npos) << msg;
    EXPECT_NE(msg.find(why), std::string::npos) << msg;
    EXPECT_EQ(Snapshot(m), before);
  }
  Dimension m = TwoVars();
  auto spec = DefaultGridSpec(m);
  spec[0].points = "100000";
  spec[1].points = "100000";
  EXPECT_NE(CaptureGridSpecs(m, spec).find("more than 2147483647"), std::string::npos);
  spec[1].points = "0";
  EXPECT_NE(CaptureGridSpecs(m, spec).find("not between 1"), std::string::npos);
}

namespace {
// Four variables of one term each: the grid sizes alone decide the product.
Dimension FourVars() {
  Dimension m;
  EXPECT_EQ(ReadSeriesText(m,
                           "3,a,0,1,0,#TRUE#,*,0,b,0,1,0,#TRUE#,*,0,c,0,1,0,#TRUE#,*,0,d,0,1,0,#TRUE#,*,0,"
                           "#TRUE#,7",
                           "f")
                .outcome,
            SeriesReadOutcome::Ok);
  return m;
}
}  // namespace

TEST(GridSpec, TooManyGridPointsGivesTheNumberAsked) {
  {
    Dimension m = TwoVars();
    const std::string before = ModelDump(m);
    auto spec = DefaultGridSpec(m);
    spec[0].points = "2000000";
    spec[1].points = "2000000";
    EXPECT_EQ(CaptureGridSpecs(m, spec),
              "The numbers of grid points make 4000000000000 grid points, more than 2147483647.");
    EXPECT_EQ(FirstDifference(before, ModelDump(m)), "");
  }
  // The product is of every variable, also those after the one that passed
  // the limit; exact while it fits into 64 bits.
  {
    Dimension m = FourVars();
    auto spec = DefaultGridSpec(m);
    spec[0].points = "2000000";
    spec[1].points = "2000000";
    spec[2].points = "2000000";
    spec[3].points = "1";
    EXPECT_NE(CaptureGridSpecs(m, spec).find(" 8000000000000000000 grid points, "), std::string::npos);
    spec[3].points = "2000000";
    EXPECT_NE(CaptureGridSpecs(m, spec).find(" 1.6E+25 grid points, "), std::string::npos) << CaptureGridSpecs(m, spec);
  }
  // The largest counts there are: beyond 64 bits, given as number text.
  // Unevenly spaced, so that no grid array is asked for.
  {
    Dimension m = FourVars();
    const std::string before = ModelDump(m);
    auto spec = DefaultGridSpec(m);
    for (auto& s : spec) {
      s.points = "2147483647";
      s.spaced = false;
    }
    EXPECT_EQ(CaptureGridSpecs(m, spec),
              "The numbers of grid points make 2.12676478929446E+37 grid points, more than 2147483647.");
    EXPECT_EQ(FirstDifference(before, ModelDump(m)), "");
  }
  // Exactly 2147483647 grid points still pass the count check (the other
  // variables, of one term each, keep their single point).
  {
    Dimension m = FourVars();
    auto spec = DefaultGridSpec(m);
    spec[0].points = "2147483647";
    spec[0].spaced = false;
    EXPECT_EQ(CaptureGridSpecs(m, spec), "");
    EXPECT_EQ(m.TotalCount, 2147483647);
  }
}

TEST(GridSpec, LimitsWithoutAFiniteEvenGridAreRefusedAndChangeNothing) {
  struct Case {
    const char* lower;
    const char* upper;
    const char* points;
  };
  const Case cases[] = {
      {"-1E+308", "1E+308", "3"},             // the distance, and so the step, overflows
      {"1E+308", "-1E+308", "5"},             // the same downwards
      {"-1.5E+308", "1E+308", "2000000"},     // however many points
      {"0", "1.7976931348623157E+308", "4"},  // the step is finite, the last value rounds past the largest double
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.lower) + " " + c.upper + " " + c.points);
    Dimension m = TwoVars();
    const std::string before = ModelDump(m);
    auto spec = DefaultGridSpec(m);
    spec[0].points = "7";
    spec[1] = {c.lower, c.upper, c.points, "0", true, true, {}};
    const std::string msg = CaptureGridSpecs(m, spec);
    EXPECT_NE(msg.find("Variable 1 (y)"), std::string::npos) << msg;
    EXPECT_NE(msg.find("too far apart"), std::string::npos) << msg;
    EXPECT_EQ(FirstDifference(before, ModelDump(m)), "");
  }
}

TEST(GridSpec, LimitsAtTheEdgeOfTheDoublesPassWhenTheGridIsFinite) {
  Dimension m = TwoVars();
  auto spec = DefaultGridSpec(m);
  spec[0] = {"0", "1.7976931348623157E+308", "3", "0", true, true, {}};
  spec[1] = {"-1E+308", "0", "2", "0", true, true, {}};
  ASSERT_EQ(CaptureGridSpecs(m, spec), "");
  for (int v = 0; v < 2; ++v) {
    EXPECT_TRUE(std::isfinite(m.GridStep[v]));
    for (double x : m.GridX[v]) EXPECT_TRUE(std::isfinite(x)) << v;
  }
  EXPECT_EQ(m.GridX[0].back(), std::numeric_limits<double>::max());
  // One grid point (a variable of one term) has no step: only the lower
  // limit is used.
  Dimension one;
  ASSERT_EQ(ReadSeriesText(one, "0,x,0,1,0,#TRUE#,*,0,#TRUE#,5", "f").outcome, SeriesReadOutcome::Ok);
  spec = DefaultGridSpec(one);
  spec[0] = {"-1E+308", "1E+308", "1", "0", true, true, {}};
  ASSERT_EQ(CaptureGridSpecs(one, spec), "");
  EXPECT_EQ(one.GridX[0], std::vector<double>{-1e308});
}

TEST(GridSpec, UnevenGridTakesLimitsFarApart) {
  // No grid is made from the limits of an unevenly spaced variable.
  Dimension m = TwoVars();
  m.GridX[1] = {0.1, 0.7, 0.9};
  auto spec = DefaultGridSpec(m);
  spec[1] = {"-1E+308", "1E+308", "3", "0", true, false, {}};
  ASSERT_EQ(CaptureGridSpecs(m, spec), "");
  EXPECT_EQ(m.GridX[1], (std::vector<double>{0.1, 0.7, 0.9}));
  EXPECT_EQ(m.LowerLimit[1], -1e308);
  EXPECT_EQ(m.UpperLimit[1], 1e308);
}

TEST(GridSpec, LimitBeyondTheDoublesIsRefusedNotReadAsZero) {
  for (bool spaced : {true, false}) {
    for (int which = 0; which < 2; ++which) {
      Dimension m = TwoVars();
      m.GridX[1] = {0.1, 0.7};
      const std::string before = ModelDump(m);
      auto spec = DefaultGridSpec(m);
      spec[1].spaced = spaced;
      (which == 0 ? spec[1].lower : spec[1].upper) = "-1e309";
      const std::string msg = CaptureGridSpecs(m, spec);
      EXPECT_EQ(msg, std::string("Variable 1 (y): the ") + (which == 0 ? "lower" : "upper") +
                         " limit \"-1e309\" is beyond the range of a double.");
      EXPECT_EQ(FirstDifference(before, ModelDump(m)), "");
    }
  }
}

TEST(GridSpec, SeriesLimitsAtTheEdgeOfTheDoublesGetNoGridBeyondThem) {
  // Four evenly spaced points from 0 to the largest double have no finite
  // last value: the series file's default grid (one point per term) is
  // refused when the file is read, and a typed count when it is captured.
  Dimension m;
  EXPECT_EQ(ReadSeriesText(m, "0,x,0,1.7976931348623157e308,0,#TRUE#,*,3,#TRUE#,1,2,3,4", "f").outcome,
            SeriesReadOutcome::Error);
  ASSERT_EQ(ReadSeriesText(m, "0,x,0,1.7976931348623157e308,0,#TRUE#,*,2,#TRUE#,1,2,3", "f").outcome,
            SeriesReadOutcome::Ok);
  auto spec = DefaultGridSpec(m);
  EXPECT_EQ(CaptureGridSpecs(m, spec), "");
  const std::string before = ModelDump(m);
  spec[0].points = "4";
  const std::string msg = CaptureGridSpecs(m, spec);
  EXPECT_NE(msg.find("Variable 0 (x)"), std::string::npos) << msg;
  EXPECT_NE(msg.find("too far apart"), std::string::npos) << msg;
  EXPECT_EQ(FirstDifference(before, ModelDump(m)), "");
}

TEST(GridSpec, OnePointTypedAwayFromTheLowerLimitIsRefused) {
  // A grid file keeps a grid of one point as the lower limit: a typed value
  // elsewhere would be listed at one place and read back at another. Only a
  // variable of one term keeps a single grid point.
  Dimension m;
  ASSERT_EQ(ReadSeriesText(m, "1,x,0,1,0,#TRUE#,*,2,y,0,1,0,#TRUE#,*,0,#TRUE#,1,2,3", "f").outcome,
            SeriesReadOutcome::Ok);
  m.GridX[1] = {0.3};
  const std::string before = ModelDump(m);
  auto spec = DefaultGridSpec(m);
  spec[1] = {"0", "1", "1", "0", true, false, {}};
  EXPECT_EQ(CaptureGridSpecs(m, spec),
            "Variable 1 (y): a grid of one point lies at the lower limit, so the typed value 0.3 cannot be used; "
            "type it as the lower limit, or give two or more points.");
  EXPECT_EQ(FirstDifference(before, ModelDump(m)), "");
  // Typed through the capture, the same.
  spec[1].values = {0.7};
  EXPECT_NE(CaptureGridSpecs(m, spec).find("the typed value 0.7 cannot be used"), std::string::npos);
  EXPECT_EQ(FirstDifference(before, ModelDump(m)), "");
  spec[1].values.clear();

  // The same value as the lower limit, or two points, or an even grid: kept.
  spec[1].lower = "0.3";
  ASSERT_EQ(CaptureGridSpecs(m, spec), "");
  EXPECT_EQ(m.GridX[1], std::vector<double>{0.3});
  m.GridX[1] = {0.3};
  spec[1] = {"0", "1", "1", "0", true, true, {}};
  ASSERT_EQ(CaptureGridSpecs(m, spec), "");
  EXPECT_EQ(m.GridX[1], std::vector<double>{0});
}

TEST(GridSpec, GridPointsRuleIsTheSameForEveryCaller) {
  struct Case {
    double count;
    bool single_term;
    GridPointsCheck check;
    std::int32_t last;
  };
  const Case cases[] = {
      {2, false, GridPointsCheck::Ok, 1},
      {1.9, false, GridPointsCheck::TooFew, 0},
      {1, false, GridPointsCheck::TooFew, 0},
      {1, true, GridPointsCheck::Ok, 0},
      {0.9, true, GridPointsCheck::TooFew, 0},
      {0, true, GridPointsCheck::TooFew, 0},
      {-5, false, GridPointsCheck::TooFew, 0},
      {2.5, false, GridPointsCheck::Ok, 2},
      {3.5, false, GridPointsCheck::Ok, 2},
      {2147483647, false, GridPointsCheck::Ok, 2147483646},
      {2147483648, false, GridPointsCheck::TooMany, 0},
      {1e300, false, GridPointsCheck::TooMany, 0},
      {std::nan(""), false, GridPointsCheck::TooFew, 0},
  };
  for (const Case& c : cases) {
    std::int32_t last = 0;
    EXPECT_EQ(CheckGridPoints(c.count, c.single_term, last), c.check) << c.count << " " << c.single_term;
    if (c.check == GridPointsCheck::Ok) {
      EXPECT_EQ(last, c.last) << c.count;
    }
  }
  // The capture itself takes a single point of any variable (at its lower
  // limit): the window and the batch hold their entries to the rule above.
  Dimension m = TwoVars();
  auto spec = DefaultGridSpec(m);
  spec[1].points = "1";
  EXPECT_EQ(CaptureGridSpecs(m, spec), "");
  EXPECT_EQ(m.LastPoint[1], 0);
  EXPECT_EQ(m.GridX[1][0], m.LowerLimit[1]);
  m = FourVars();
  spec = DefaultGridSpec(m);
  EXPECT_EQ(spec[2].points, "1");
  EXPECT_EQ(CaptureGridSpecs(m, spec), "");
  spec[2].points = "0";
  EXPECT_EQ(CaptureGridSpecs(m, spec),
            "Variable 2 (c): the number of grid points \"0\" is not between 1 and 2147483647.");
}

TEST(GridSpec, TypedValuesGoInOnlyWhenEverythingPasses) {
  Dimension m = TwoVars();
  const std::string before = ModelDump(m);
  auto spec = DefaultGridSpec(m);
  spec[1] = {"0", "1", "3", "0", true, false, {0.5, 0.1, 0.9}};
  spec[0].der = "x";  // refused: nothing typed goes in
  EXPECT_NE(CaptureGridSpecs(m, spec).find("Variable 0 (x): the derivative order"), std::string::npos);
  EXPECT_EQ(FirstDifference(before, ModelDump(m)), "");
  spec[0].der = "0";
  spec[1].values = {0.5, 0.1};
  EXPECT_EQ(CaptureGridSpecs(m, spec), "Variable 1 (y): 2 grid values are typed for 3 grid points.");
  spec[1].values = {0.5, INFINITY, 0.9};
  EXPECT_EQ(CaptureGridSpecs(m, spec), "Variable 1 (y): the typed grid value INF is not a finite number.");
  EXPECT_EQ(FirstDifference(before, ModelDump(m)), "");
  spec[1].values = {0.5, 0.1, 0.9};
  ASSERT_EQ(CaptureGridSpecs(m, spec), "");
  EXPECT_EQ(m.GridX[1], (std::vector<double>{0.5, 0.1, 0.9}));
  EXPECT_FALSE(m.EvenlySpaced[1]);
  EXPECT_EQ(m.LastPoint[1], 2);
}
