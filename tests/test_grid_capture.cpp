// The grid settings as typed, taken into the model or refused whole.
#include <gtest/gtest.h>

#include "model/grid_capture.h"
#include "model_dump.h"
#include "test_helpers.h"

using namespace tabulor;
using namespace tabulor::testing;
using reliability::FirstDifference;
using reliability::ModelDump;

namespace {

// x (3 terms) and y (2 terms, Trigonometric), y's grid typed before as 0.1,
// 0.7 and 0.9 in the uneven grid editor.
Dimension TwoVariables() {
  Dimension m = Loaded("1,x,0,1,0,#TRUE#,*,2,y,0,1,0,#FALSE#,*,1,#TRUE#,1,2,3,4,5,6");
  m.GridX[1] = {0.1, 0.7, 0.9};
  return m;
}

// The total, then per variable: limits, last point, derivative order,
// kind, spacing, step and grid values.
std::string Grid(const Dimension& m) {
  std::string s = IntegerText(m.TotalCount);
  for (int v = 0; v <= m.LastVar; ++v) {
    s += " | " + NumberText(m.LowerLimit[v]) + " " + NumberText(m.UpperLimit[v]) + " " + IntegerText(m.LastPoint[v]) +
         " d" + IntegerText(m.DerOrder[v]) + (m.IsPower[v] ? " P" : " T") + (m.EvenlySpaced[v] ? " E " : " U ") +
         NumberText(m.GridStep[v]) + ":";
    for (double x : m.GridX[v]) s += " " + NumberText(x);
  }
  return s;
}

}  // namespace

// The boxes of y taken into the model, or refused whole: nothing of any
// variable goes in, the typed values of another included.
TEST(GridCapture, TakesTheBoxesIntoTheModel) {
  const std::array<GridSpecText, kSlots> defaults = DefaultGridSpec(TwoVariables());
  std::string shown;
  for (const GridSpecText& s : defaults)
    shown +=
        s.lower + "," + s.upper + "," + s.points + "," + s.der + (s.power ? ",P" : ",T") + (s.spaced ? "E " : "U ");
  EXPECT_EQ(shown, "0,1,3,0,PE 0,1,2,0,TE ,,,,PE ,,,,PE ");

  for (const auto& c : Table("grid_capture.tsv")) {
    SCOPED_TRACE(c[7]);
    Dimension m = TwoVariables();
    const std::string before = ModelDump(m);
    auto spec = defaults;
    spec[0] = {"5", "6", "1100", "2", false, false, std::vector<double>(1100, 5.5)};
    if (c[0] == "takes") spec[0] = defaults[0];
    spec[1] = {c[1], c[2], c[3], c[4], c[5] == "P", c[6] == "E", {}};
    for (std::size_t i = 8; i < c.size(); ++i) spec[1].values.push_back(Double(c[i]));
    EXPECT_EQ(CaptureGridSpecs(m, spec), c[0] == "takes" ? "" : c[7]);
    EXPECT_EQ(c[0] == "takes" ? Grid(m) : FirstDifference(before, ModelDump(m)), c[0] == "takes" ? c[7] : "");
  }
}

TEST(GridCapture, TotalOfFourVariables) {
  for (const auto& c : Table("grid_totals.tsv")) {
    Dimension m = Loaded("3,a,0,1,0,#TRUE#,*,0,b,0,1,0,#TRUE#,*,0,c,0,1,0,#TRUE#,*,0,d,0,1,0,#TRUE#,*,0,#TRUE#,7");
    std::array<GridSpecText, kSlots> spec;
    for (int v = 0; v < 4; ++v) spec[v] = {"0", "0", c[v], "0", true, false, {}};
    EXPECT_EQ(CaptureGridSpecs(m, spec), c[4]);
    EXPECT_EQ(m.TotalCount, c[4].empty() ? 2147483647 : 1);
  }
}

TEST(GridCapture, TheRuleForTheNumberOfGridPoints) {
  const char* checks[] = {"ok", "few", "many"};  // GridPointsCheck
  for (const auto& c : Table("grid_points.tsv")) {
    std::int32_t last = -7;
    EXPECT_EQ(checks[static_cast<int>(CheckGridPoints(Double(c[0]), c[1] == "single", last))], c[2]) << c[0];
    EXPECT_EQ(IntegerText(last), c[3]) << c[0];
  }
}
