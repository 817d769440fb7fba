// Numbers at the edge of the doubles: an overflow, an invalid operation, a
// period of 0, huge derivative orders and subnormal values are computed
// exactly as the operations order them or refused with a message; an
// infinity or a NaN never reaches the list, the report or the grid file.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>

#include "engine/compute.h"
#include "model/grid_file.h"
#include "model/number_text.h"
#include "output/result_lines.h"
#include "reliability_helpers.h"

using namespace tabulor;
using namespace tabulor::reliability;

namespace {

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A one-variable series: kind, period text, coefficients.
std::string OneVariable(bool power, const std::string& period, const std::string& lower, const std::string& upper,
                        const std::vector<std::string>& coefficients) {
  std::string s = "0,x," + lower + "," + upper + ",0," + (power ? "#TRUE#" : "#FALSE#") + "," + period + "," +
                  std::to_string(coefficients.size() - 1) + ",#TRUE#";
  for (const auto& c : coefficients) s += "," + c;
  return s;
}

// Reads the series, takes the grid (points, derivative order) and computes.
ComputeResult ComputeOn(Dimension& model, const std::string& series, const std::string& points,
                        const std::string& der) {
  SeriesReadResult read = ReadSeriesText(model, series, "edge.ser");
  EXPECT_EQ(read.outcome, SeriesReadOutcome::Ok) << read.message;
  auto spec = DefaultGridSpec(model);
  spec[0].points = points;
  spec[0].der = der;
  EXPECT_EQ(CaptureGridSpecs(model, spec), "");
  return Compute(model);
}

// Every line of the list and the report, and the grid file, free of
// infinities and NaNs; the file reads back to the very same values.
void ExpectShownFinite(const Dimension& model) {
  ResultLines list(model);
  ASSERT_GT(list.count(), 2);
  for (std::int64_t i = 0; i < list.count(); ++i) EXPECT_FALSE(ShowsNonFinite(list.line(i))) << list.line(i);
  ReportLines report(model);
  for (std::int64_t i = 1; i < report.count(); ++i) EXPECT_FALSE(ShowsNonFinite(report.line(i))) << report.line(i);
  const std::string file = GridFileText(model);
  ASSERT_FALSE(file.empty());
  EXPECT_FALSE(ShowsNonFinite(file));
  Dimension back;
  GridFileResult read = ReadGridText(back, file, "back");
  ASSERT_TRUE(read.ok) << "the file written cannot be read back: " << read.message;
  EXPECT_EQ(GridFileText(back), file);
}

void ExpectRefused(const Dimension& model, const ComputeResult& r, const std::string& words) {
  EXPECT_EQ(r.outcome, ComputeOutcome::Error);
  EXPECT_NE(r.message.find(words), std::string::npos) << r.message;
  EXPECT_FALSE(model.ResultsReady);
  EXPECT_EQ(ResultLines(model).count(), 0);
  EXPECT_EQ(GridFileText(model), "");
  EXPECT_FALSE(WriteGridFile(model, "/nonexistent/never").ok);
}

TEST(NumberEdges, OverflowInTheSumsIsRefused) {
  Dimension model;
  // 1e308 + 1e308 x at x = 1 is beyond the largest double.
  ComputeResult r = ComputeOn(model, OneVariable(true, "*", "0", "1", {"1e308", "1e308"}), "2", "0");
  ExpectRefused(model, r, "overflow");
  EXPECT_NE(r.message.find("variable 0 (x)"), std::string::npos) << r.message;
}

TEST(NumberEdges, OverflowInTheBasisIsRefused) {
  Dimension model;
  // x² at x = 1e200.
  ComputeResult r = ComputeOn(model, OneVariable(true, "*", "0", "1e200", {"0", "0", "1"}), "2", "0");
  ExpectRefused(model, r, "overflow");
  EXPECT_NE(r.message.find("Variable 0 (x)"), std::string::npos) << r.message;
}

TEST(NumberEdges, InvalidOperationIsRefused) {
  Dimension model;
  // A period of 1e-310: the angular factor is infinite, and infinity times
  // the offset 0 at the centre is undefined.
  ComputeResult r = ComputeOn(model, OneVariable(false, "1e-310", "-1", "1", {"1", "1", "1"}), "3", "0");
  ExpectRefused(model, r, "undefined");
}

TEST(NumberEdges, PeriodZeroIsRefused) {
  Dimension model;
  ComputeResult r = ComputeOn(model, OneVariable(false, "0", "0", "1", {"1", "2", "3"}), "3", "0");
  ExpectRefused(model, r, "the period is 0");
}

TEST(NumberEdges, GridLimitsTooFarApartAreRefused) {
  Dimension model;
  SeriesReadResult read = ReadSeriesText(model, OneVariable(true, "*", "0", "1", {"1", "2"}), "edge.ser");
  ASSERT_EQ(read.outcome, SeriesReadOutcome::Ok);
  auto spec = DefaultGridSpec(model);
  spec[0].lower = "-1e308";
  spec[0].upper = "1e308";
  EXPECT_NE(CaptureGridSpecs(model, spec).find("too far apart"), std::string::npos);
  // Compute checks the limits of a model it is handed all the same.
  model.LowerLimit[0] = -1e308;
  model.UpperLimit[0] = 1e308;
  ExpectRefused(model, Compute(model), "so far apart");
}

TEST(NumberEdges, DerivativeOrder400OfATrigonometricVariableIsExact) {
  // Period 2 pi: w = 1 exactly, W = 1 for the first multiple, W^400 = 1.
  // The 400th derivative of sin t is sin t, of cos t is cos t; the 401st
  // of sin t is cos t, the 402nd -sin t, the 403rd -cos t.
  for (int d : {400, 401, 402, 403}) {
    SCOPED_TRACE(d);
    Dimension model;
    ComputeResult r = ComputeOn(model, OneVariable(false, "*", "0", "3", {"5", "1", "0"}), "4", std::to_string(d));
    ASSERT_EQ(r.outcome, ComputeOutcome::Ok) << r.message;
    for (int j = 0; j < 4; ++j) {
      const double u = j;  // centre 0, grid 0, 1, 2, 3
      double s = d % 2 == 0 ? std::sin(u) : std::cos(u);
      if (d % 4 >= 2) s = -s;
      // 0 * 5 + 0, then 1 * s * 1 + that, then the cosine term times 0.
      double expected = 0.0 * 5.0 + 0.0;
      expected = s * 1.0 + expected;
      expected = (d % 2 == 0 ? std::cos(u) : -std::sin(u)) * (d % 4 >= 2 ? -1.0 : 1.0) * 0.0 + expected;
      EXPECT_TRUE(SameBits(model.Results(j, 0, 0, 0), expected)) << j << ": " << model.Results(j, 0, 0, 0);
    }
    ExpectShownFinite(model);
  }
}

TEST(NumberEdges, DerivativeOrder400WhoseFactorOverflowsIsRefused) {
  // Forty terms: the multiple 20 of w, and 20^400 is beyond the doubles.
  std::vector<std::string> c(41, "1");
  Dimension model;
  ComputeResult r = ComputeOn(model, OneVariable(false, "*", "0", "1", c), "3", "400");
  ExpectRefused(model, r, "derivative order 400");
}

TEST(NumberEdges, DerivativeOrder400WhoseFactorUnderflowsGivesZeros) {
  // Period 1000: W = 0.00628...; W^400 is below the smallest double, 0.
  Dimension model;
  ComputeResult r = ComputeOn(model, OneVariable(false, "1000", "0", "1", {"1", "1", "1"}), "3", "400");
  ASSERT_EQ(r.outcome, ComputeOutcome::Ok) << r.message;
  for (int j = 0; j < 3; ++j) EXPECT_TRUE(SameBits(model.Results(j, 0, 0, 0), 0.0)) << model.Results(j, 0, 0, 0);
  EXPECT_NE(ResultLines(model).line(2).find("VALUE=0 "), std::string::npos) << ResultLines(model).line(2);
  ExpectShownFinite(model);
}

TEST(NumberEdges, PowerDerivativeBeyondTheTermsIsZero) {
  Dimension model;
  ComputeResult r = ComputeOn(model, OneVariable(true, "*", "0", "1", {"1", "2", "3"}), "3", "400");
  ASSERT_EQ(r.outcome, ComputeOutcome::Ok) << r.message;
  for (int j = 0; j < 3; ++j) EXPECT_TRUE(SameBits(model.Results(j, 0, 0, 0), 0.0));
  ExpectShownFinite(model);
}

TEST(NumberEdges, PowerDerivativeWhoseFactorialOverflowsIsRefused) {
  // 500! / 100! is far beyond the doubles.
  std::vector<std::string> c(501, "0");
  c.back() = "1";
  Dimension model;
  ComputeResult r = ComputeOn(model, OneVariable(true, "*", "0", "1", c), "2", "400");
  ExpectRefused(model, r, "derivative order 400");
}

TEST(NumberEdges, SubnormalValuesAreComputedAndKept) {
  Dimension model;
  const double c0 = 4.9406564584124654e-324, c1 = 1e-310;
  ComputeResult r =
      ComputeOn(model, OneVariable(true, "*", "0", "0.5", {"4.9406564584124654e-324", "1e-310"}), "2", "0");
  ASSERT_EQ(r.outcome, ComputeOutcome::Ok) << r.message;
  // s = 1 * c0 + 0, then u * c1 + s.
  EXPECT_TRUE(SameBits(model.Results(0, 0, 0, 0), 1.0 * c0 + 0.0));
  EXPECT_TRUE(SameBits(model.Results(1, 0, 0, 0), 0.5 * c1 + (1.0 * c0 + 0.0)));
  EXPECT_NE(ResultLines(model).line(2).find("VALUE=4.94065645841247E-324 "), std::string::npos);
  ExpectShownFinite(model);
  // Written and read back, the subnormal values are the same doubles.
  Dimension back;
  ASSERT_TRUE(ReadGridText(back, GridFileText(model), "back").ok);
  EXPECT_TRUE(SameBits(back.Results(0, 0, 0, 0), model.Results(0, 0, 0, 0)));
  EXPECT_TRUE(SameBits(back.Results(1, 0, 0, 0), model.Results(1, 0, 0, 0)));
}

TEST(NumberEdges, LargestDoubleIsSavedAndReadBack) {
  // 1.79769313486232E+308, the number text of the largest double, lies
  // above it; the file holding it must still read back.
  Dimension model;
  ComputeResult r = ComputeOn(model, OneVariable(true, "*", "0", "1", {"1.7976931348623157e308", "0"}), "2", "0");
  ASSERT_EQ(r.outcome, ComputeOutcome::Ok) << r.message;
  EXPECT_TRUE(SameBits(model.Results(0, 0, 0, 0), DBL_MAX));
  ExpectShownFinite(model);
  Dimension back;
  GridFileResult read = ReadGridText(back, GridFileText(model), "back");
  ASSERT_TRUE(read.ok) << read.message;
  EXPECT_TRUE(SameBits(back.Results(0, 0, 0, 0), DBL_MAX));
  EXPECT_TRUE(SameBits(LeadingNumber("-1.79769313486232E+308"), -DBL_MAX));
  // A text any larger is beyond the doubles.
  EXPECT_EQ(ParseLeadingNumber("1.79769313486233E+308").status, NumberStatus::Overflow);
  EXPECT_EQ(ParseLeadingNumber("1.797693134862320001E+308").status, NumberStatus::Overflow);
  EXPECT_TRUE(SameBits(LeadingNumber("1.797693134862316E+308"), DBL_MAX));
}

TEST(NumberEdges, BatchRefusesAnOverflowWithoutWritingAnything) {
  ScratchDir dir;
  WriteBytes(dir.file("over.ser"), OneVariable(true, "*", "0", "1", {"1e308", "1e308"}));
  ProcessResult r = RunBatch({dir.file("over.ser"), "--save", dir.file("out")});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("overflow"), std::string::npos) << r.err;
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"over.ser"});
}

TEST(NumberEdges, BatchSavesAndReopensTheLargestDouble) {
  ScratchDir dir;
  WriteBytes(dir.file("max.ser"), OneVariable(true, "*", "0", "1", {"1.7976931348623157e308", "0"}));
  ProcessResult saved = RunBatch({dir.file("max.ser"), "--save", dir.file("max")});
  ASSERT_EQ(saved.exit_code, 0) << saved.err;
  ProcessResult opened = RunBatch({"--open-grid", dir.file("max")});
  EXPECT_EQ(opened.exit_code, 0) << opened.err;
  EXPECT_EQ(opened.out, saved.out);
  EXPECT_NE(opened.out.find("VALUE=1.79769313486232E+308"), std::string::npos) << opened.out;
}

}  // namespace
