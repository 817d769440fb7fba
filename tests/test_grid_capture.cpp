#include <gtest/gtest.h>

#include "model/grid_capture.h"
#include "model/series_file.h"
#include "test_helpers.h"

using namespace tabulor;
using namespace tabulor::testing;

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
  spec[0] = {"0", "1", "5", " 1 ", true, true};
  spec[1] = {"1e-3", "2,5", "4", "1.5", false, true};
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
  spec[0] = {"1", "0", "3", "0", true, true};
  ASSERT_EQ(CaptureGridSpecs(m, spec), "");
  EXPECT_EQ(m.GridX[0], (std::vector<double>{1, 0.5, 0}));
}

TEST(GridSpec, UnevenGridKeepsItsValuesButTakesLimitsAndCount) {
  Dimension m = TwoVars();
  m.GridX[1] = {0.1, 0.7, 0.9};
  auto spec = DefaultGridSpec(m);
  spec[1] = {"-5", "5", "3", "0", true, false};
  ASSERT_EQ(CaptureGridSpecs(m, spec), "");
  EXPECT_EQ(m.GridX[1], (std::vector<double>{0.1, 0.7, 0.9}));
  EXPECT_EQ(m.LowerLimit[1], -5.0);
  EXPECT_EQ(m.LastPoint[1], 2);
  EXPECT_FALSE(m.EvenlySpaced[1]);
}

TEST(GridSpec, RefusedSpecificationsNameTheVariableAndChangeNothing) {
  const std::pair<const char*, const char*> bad_der[] = {
      {"", "not a number"}, {"abc", "not a number"}, {"1x", "not a number"}, {"-1", "negative"},
      {"1e99", "32-bit"}};
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
