// Numbers at the edge of the doubles: an overflow, an undefined operation, a
// period of 0 and huge derivative orders are refused with a message and
// leave no results; subnormal values, the largest double and orders of 400
// are computed exactly as the operations order them, and an infinity or a
// NaN never reaches the list, the report or the grid file.
#include <gtest/gtest.h>

#include "model/grid_file.h"
#include "model/number_text.h"
#include "output/result_lines.h"
#include "reliability_helpers.h"
#include "test_helpers.h"

using namespace tabulor;
using namespace tabulor::reliability;
using namespace tabulor::testing;

TEST(NumberEdges, RefusedOrComputedExactly) {
  for (const auto& c : Table("number_edges.tsv")) {
    SCOPED_TRACE(c[1] + " " + c[3]);
    Dimension model = Loaded(c[1]), back;
    auto spec = DefaultGridSpec(model);
    spec[0].points = c[2];
    spec[0].der = c[3];
    ASSERT_EQ(CaptureGridSpecs(model, spec), "");
    if (c[0] == "refuses far apart") {
      model.LowerLimit[0] = -1e308;
      model.UpperLimit[0] = 1e308;
    }
    const ComputeResult r = Compute(model);
    if (c[0] != "computes") {
      EXPECT_EQ(r.message, c[4]);
      EXPECT_EQ(r.outcome, ComputeOutcome::Error);
      EXPECT_FALSE(model.ResultsReady);
      EXPECT_EQ(ResultLines(model).count() + ReportLines(model).count(), 7);  // the report's head alone
      EXPECT_EQ(GridFileText(model), "");
      continue;
    }
    ASSERT_EQ(r.outcome, ComputeOutcome::Ok) << r.message;
    ResultLines list(model);
    ReportLines report(model);
    for (std::int64_t i = 0; i < list.count(); ++i) EXPECT_FALSE(ShowsNonFinite(list.line(i))) << list.line(i);
    for (std::int64_t i = 1; i < report.count(); ++i) EXPECT_FALSE(ShowsNonFinite(report.line(i))) << report.line(i);
    // Read back from the grid file: the doubles of the number texts.
    ASSERT_TRUE(ReadGridText(back, GridFileText(model), "back").ok);
    for (std::size_t j = 4; j < c.size(); ++j) {
      const auto i = static_cast<std::int64_t>(j - 4);
      EXPECT_EQ(Bits(model.Results(i, 0, 0, 0)), Bits(Double(c[j]))) << c[j];
      EXPECT_EQ(Bits(back.Results(i, 0, 0, 0)), Bits(LeadingNumber(NumberText(Double(c[j]))))) << c[j];
    }
  }
}
