#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "basis_table.h"
#include "engine/basis.h"
#include "engine/compute.h"
#include "model/grid_capture.h"
#include "model/number_text.h"
#include "model/series_file.h"
#include "platform/memory_limit.h"
#include "test_helpers.h"

using namespace tabulor;
using namespace tabulor::testing;

namespace {

Dimension Load(const std::string& text) {
  Dimension m;
  SeriesReadResult r = ReadSeriesText(m, text, "t.ser");
  EXPECT_EQ(r.outcome, SeriesReadOutcome::Ok) << r.message;
  return m;
}

ComputeResult CaptureAndCompute(Dimension& m, std::array<GridSpecText, 4> spec) {
  std::string why = CaptureGridSpecs(m, spec);
  if (!why.empty()) return {ComputeOutcome::Error, why};
  return Compute(m);
}

std::vector<double> Values0(const Dimension& m) {
  std::vector<double> v;
  for (int j = 0; j <= m.LastPt[0]; ++j) v.push_back(m.Results(j, 0, 0, 0));
  return v;
}

const char kPoly[] = "0,x,0,1,0,#TRUE#,*,2,#TRUE#,1,2,3";

// The d-th derivative of one basis function, written independently of the
// engine: closed forms with long double, no accumulation.
long double BasisRef(bool power, int k, int d, long double u, long double period) {
  if (power) {
    if (d > k) return 0;
    long double f = 1;
    for (int i = k - d + 1; i <= k; ++i) f *= i;
    return f * std::pow(u, static_cast<long double>(k - d));
  }
  if (k == 0) return d == 0 ? 1 : 0;
  const long double w = 8 * std::atan(1.0L) / period;
  const int mult = (k + 1) / 2;
  const long double phase = mult * w * u + d * 2 * std::atan(1.0L);
  const long double scale = std::pow(mult * w, static_cast<long double>(d));
  return scale * (k % 2 ? std::sin(phase) : std::cos(phase));
}

}  // namespace

TEST(Engine, PolynomialWorkedExamples) {
  Dimension m = Load(kPoly);
  auto spec = DefaultGridSpec(m);
  ASSERT_EQ(CaptureAndCompute(m, spec).outcome, ComputeOutcome::Ok);
  EXPECT_EQ(Values0(m), (std::vector<double>{1, 2.75, 6}));
  EXPECT_TRUE(m.ResultsReady);

  m = Load(kPoly);
  spec[0].der = "1";
  ASSERT_EQ(CaptureAndCompute(m, spec).outcome, ComputeOutcome::Ok);
  EXPECT_EQ(Values0(m), (std::vector<double>{2, 5, 8}));

  m = Load(kPoly);
  spec[0].der = "3";
  ASSERT_EQ(CaptureAndCompute(m, spec).outcome, ComputeOutcome::Ok);
  EXPECT_EQ(Values0(m), (std::vector<double>{0, 0, 0}));
}

TEST(Engine, ExtentCoversTermsAndPoints) {
  Dimension m = Load(kPoly);
  auto spec = DefaultGridSpec(m);
  spec[0].points = "5";
  ASSERT_EQ(CaptureAndCompute(m, spec).outcome, ComputeOutcome::Ok);
  EXPECT_EQ(m.Extent[0], 4);
  EXPECT_EQ(Values0(m), (std::vector<double>{1, 1.6875, 2.75, 4.1875, 6}));
  m = Load(kPoly);
  spec[0].points = "2";
  ASSERT_EQ(CaptureAndCompute(m, spec).outcome, ComputeOutcome::Ok);
  EXPECT_EQ(m.Extent[0], 2);
  EXPECT_EQ(m.LastPt[0], 1);
  EXPECT_EQ(Values0(m), (std::vector<double>{1, 6}));
  EXPECT_EQ(m.Results.dims()[0], 3);
  EXPECT_EQ(m.Results(2, 0, 0, 0), 3.0);  // a coefficient left outside the grid
}

TEST(Engine, PowerBasisTables) {
  BasisTable b;
  BuildPowerBasis(b, {0.0, 3.0}, 2, 1);
  EXPECT_EQ(b.at(0, 0), 0.0);
  EXPECT_EQ(b.at(1, 0), 1.0);
  EXPECT_EQ(b.at(2, 0), 0.0);
  EXPECT_EQ(b.at(0, 1), 0.0);
  EXPECT_EQ(b.at(1, 1), 1.0);
  EXPECT_EQ(b.at(2, 1), 6.0);
  BuildPowerBasis(b, {0.7, -2.0}, 3, 5);  // order beyond the terms: all 0
  for (double x : b.values) EXPECT_EQ(x, 0.0);
  BuildPowerBasis(b, {0.3, -1.25}, 4, 0);
  EXPECT_EQ(b.at(0, 0), 1.0);
  EXPECT_EQ(b.at(1, 0), 0.3);
  EXPECT_EQ(b.at(1, 1), -1.25);
  EXPECT_EQ(b.at(3, 0), 0.3 * 0.3 * 0.3);  // repeated multiplication from 1
}

TEST(Engine, TrigBasisTables) {
  const double pi = 4 * std::atan(1.0);
  BasisTable b;
  BuildTrigBasis(b, {0.0, pi / 2}, 4, 0, 2 * pi);
  const double row0[] = {1, 0, 1, 0, 1};
  for (int k = 0; k < 5; ++k) EXPECT_EQ(b.at(k, 0), row0[k]);
  EXPECT_EQ(b.at(0, 1), 1.0);
  EXPECT_EQ(b.at(1, 1), 1.0);
  EXPECT_NEAR(b.at(2, 1), 0.0, 1e-15);
  EXPECT_NEAR(b.at(3, 1), 0.0, 1e-15);
  EXPECT_EQ(b.at(4, 1), -1.0);
  const double w = std::atan(1.0) * 8.0 / 3.0;
  BuildTrigBasis(b, {0.0}, 2, 1, 3.0);
  EXPECT_EQ(b.at(0, 0), 0.0);
  EXPECT_EQ(b.at(1, 0), w);
  EXPECT_EQ(b.at(2, 0), 0.0);
  BuildTrigBasis(b, {0.0}, 2, 2, 3.0);
  EXPECT_EQ(b.at(0, 0), 0.0);
  EXPECT_EQ(b.at(1, 0), 0.0);
  EXPECT_EQ(b.at(2, 0), -(w * w));
  // The angle is accumulated by addition: sin(t + t + t), not sin(3t).
  const double t = 0.1234567;
  BuildTrigBasis(b, {t / w * 1.0}, 6, 0, 3.0);
  double a = 0.0;
  const double tt = w * (t / w * 1.0);
  for (int mlt = 1; mlt <= 3; ++mlt) {
    a = a + tt;
    EXPECT_EQ(b.at(2 * mlt - 1, 0), std::sin(a));
    EXPECT_EQ(b.at(2 * mlt, 0), std::cos(a));
  }
}

TEST(Engine, ProductOfTwoPowerVariables) {
  // All coefficients 0 but C(1,1) = 1: the value is x*y; with d/dx it is y.
  const char* text = "1,x,-1,2,0,#TRUE#,*,2,y,0,3,0,#TRUE#,*,2,#TRUE#,0,0,0,0,1,0,0,0,0";
  Dimension m = Load(text);
  ASSERT_EQ(CaptureAndCompute(m, DefaultGridSpec(m)).outcome, ComputeOutcome::Ok);
  for (int j1 = 0; j1 <= m.LastPt[1]; ++j1)
    for (int j0 = 0; j0 <= m.LastPt[0]; ++j0) EXPECT_EQ(m.Results(j0, j1, 0, 0), m.GridX[0][j0] * m.GridX[1][j1]);
  m = Load(text);
  auto spec = DefaultGridSpec(m);
  spec[0].der = "1";
  ASSERT_EQ(CaptureAndCompute(m, spec).outcome, ComputeOutcome::Ok);
  for (int j1 = 0; j1 <= m.LastPt[1]; ++j1)
    for (int j0 = 0; j0 <= m.LastPt[0]; ++j0) EXPECT_EQ(m.Results(j0, j1, 0, 0), m.GridX[1][j1]);
}

TEST(Engine, UnevenGridKeepsItsTypedValues) {
  Dimension m = Load(kPoly);
  auto spec = DefaultGridSpec(m);
  spec[0].spaced = false;
  spec[0].points = "3";
  m.GridX[0] = {0.25, -1, 10};
  ASSERT_EQ(CaptureAndCompute(m, spec).outcome, ComputeOutcome::Ok);
  EXPECT_EQ(m.GridX[0], (std::vector<double>{0.25, -1, 10}));
  EXPECT_EQ(Values0(m), (std::vector<double>{1 + 0.5 + 3 * 0.0625, 2, 321}));
}

// The engine against a point-by-point evaluation of the series, for random
// series in one to four variables of both kinds and derivative orders.
TEST(Engine, AgreesWithPointByPointEvaluation) {
  std::mt19937 rng(20261206);
  std::uniform_real_distribution<double> coef(-1, 1);
  for (int trial = 0; trial < 60; ++trial) {
    const int nvar = 1 + trial % 4;
    std::string text = std::to_string(nvar - 1);
    std::array<int, 4> terms{1, 1, 1, 1};
    std::array<bool, 4> power{};
    std::array<double, 4> center{}, period{};
    std::size_t ncoef = 1;
    for (int v = 0; v < nvar; ++v) {
      terms[v] = 1 + static_cast<int>(rng() % 5);
      power[v] = rng() % 2;
      center[v] = std::round(coef(rng) * 4) / 4;
      period[v] = 1.5 + static_cast<double>(rng() % 4);
      text += ",v" + std::to_string(v) + ",-1,1.5," + NumberText(center[v]) + (power[v] ? ",#TRUE#," : ",#FALSE#,") +
              NumberText(period[v]) + "," + std::to_string(terms[v] - 1);
      ncoef *= static_cast<std::size_t>(terms[v]);
    }
    text += ",#TRUE#";
    std::vector<double> c(ncoef);
    for (double& x : c) {
      x = coef(rng);
      text += "," + NumberText(x);
      x = LeadingNumber(NumberText(x));
    }
    Dimension m = Load(text);
    auto spec = DefaultGridSpec(m);
    std::array<int, 4> der{};
    for (int v = 0; v < nvar; ++v) {
      spec[v].points = std::to_string(2 + rng() % 6);
      der[v] = static_cast<int>(rng() % 4);
      spec[v].der = std::to_string(der[v]);
    }
    ComputeResult r = CaptureAndCompute(m, spec);
    ASSERT_EQ(r.outcome, ComputeOutcome::Ok) << r.message;
    std::array<int, 4> n{1, 1, 1, 1};
    for (int v = 0; v < nvar; ++v) n[v] = m.LastPt[v] + 1;
    for (int j3 = 0; j3 < n[3]; ++j3)
      for (int j2 = 0; j2 < n[2]; ++j2)
        for (int j1 = 0; j1 < n[1]; ++j1)
          for (int j0 = 0; j0 < n[0]; ++j0) {
            std::array<int, 4> j{j0, j1, j2, j3};
            long double sum = 0, mag = 0;
            for (std::size_t idx = 0; idx < ncoef; ++idx) {
              std::size_t rest = idx;
              long double term = c[idx];
              for (int v = 0; v < nvar; ++v) {
                int k = static_cast<int>(rest % static_cast<std::size_t>(terms[v]));
                rest /= static_cast<std::size_t>(terms[v]);
                term *= BasisRef(power[v], k, der[v], m.GridX[v][j[v]] - center[v], period[v]);
              }
              sum += term;
              mag += std::fabs(term);
            }
            ASSERT_NEAR(static_cast<double>(sum), m.Results(j0, j1, j2, j3), 1e-12 * (1 + static_cast<double>(mag)))
                << "trial " << trial << " at " << j0 << "," << j1 << "," << j2 << "," << j3;
          }
  }
}

TEST(Engine, RefusesWhatCannotBeComputedAndLeavesNoResults) {
  struct Case {
    const char* text;
    const char* der;
    const char* expect;
  };
  const Case cases[] = {
      {"0,x,0,1,0,#FALSE#,0,2,#TRUE#,1,2,3", "0", "period is 0"},
      // W^400 overflows from the sixth multiple on.
      {"0,x,0,1,0,#FALSE#,*,12,#TRUE#,1,2,3,4,5,6,7,8,9,10,11,12,13", "400", "overflow"},
      {"0,x,0,1e300,0,#TRUE#,*,2,#TRUE#,1,2,3", "0", "overflow"},
      {"0,x,0,1,0,#TRUE#,*,1,#TRUE#,1e308,1e308", "0", "overflow"},
  };
  for (const Case& c : cases) {
    Dimension m = Load(c.text);
    auto spec = DefaultGridSpec(m);
    spec[0].der = c.der;
    ComputeResult r = CaptureAndCompute(m, spec);
    EXPECT_EQ(r.outcome, ComputeOutcome::Error) << c.text;
    EXPECT_NE(r.message.find(c.expect), std::string::npos) << r.message;
    EXPECT_FALSE(m.ResultsReady);
    EXPECT_TRUE(m.Results.empty());
  }
  // A negative order is refused at the capture, and by Compute itself.
  Dimension m = Load(kPoly);
  auto spec = DefaultGridSpec(m);
  spec[0].der = "-1";
  EXPECT_NE(CaptureAndCompute(m, spec).message.find("negative"), std::string::npos);
  m.DerOrder[0] = -1;
  ComputeResult r = Compute(m);
  EXPECT_EQ(r.outcome, ComputeOutcome::Error);
  EXPECT_NE(r.message.find("Variable 0 (x)"), std::string::npos) << r.message;
}

TEST(Engine, SubnormalValuesAreComputedAsTheOperationsGiveThem) {
  Dimension m = Load("0,x,0,1,0,#TRUE#,*,1,#TRUE#,4.9e-324,1e-310");
  ASSERT_EQ(CaptureAndCompute(m, DefaultGridSpec(m)).outcome, ComputeOutcome::Ok);
  EXPECT_EQ(m.Results(0, 0, 0, 0), 4.9e-324);
  EXPECT_EQ(m.Results(1, 0, 0, 0), 4.9e-324 + 1e-310);
}

TEST(Engine, RefusesArraysBeyondTheMemoryLimitBeforeAllocating) {
  Dimension m = Load(kPoly);
  auto spec = DefaultGridSpec(m);
  SetMemoryLimit(1 << 20);
  // A grid array that does not fit is refused when the grid is taken.
  spec[0].points = "2000000000";
  std::string why = CaptureGridSpecs(m, spec);
  EXPECT_NE(why.find("Variable 0 (x)"), std::string::npos) << why;
  EXPECT_NE(why.find("memory limit of 1.0 MB"), std::string::npos) << why;
  EXPECT_EQ(m.LastPoint[0], 2);
  // The grid fits, but the results array and tables together do not.
  spec[0].points = "100000";
  ASSERT_EQ(CaptureGridSpecs(m, spec), "");
  ComputeResult r = Compute(m);
  SetMemoryLimit(0);
  EXPECT_EQ(r.outcome, ComputeOutcome::Error);
  EXPECT_NE(r.message.find("memory limit of 1.0 MB"), std::string::npos) << r.message;
  EXPECT_TRUE(m.Results.empty());
  EXPECT_FALSE(m.ResultsReady);
}

TEST(Engine, ProgressCanCancel) {
  Dimension m = Load(kPoly);
  auto spec = DefaultGridSpec(m);
  spec[0].points = "1000";
  ASSERT_EQ(CaptureGridSpecs(m, spec), "");
  ComputeResult r = Compute(m, [](std::uint64_t, std::uint64_t) { return false; });
  EXPECT_EQ(r.outcome, ComputeOutcome::Cancelled);
  EXPECT_FALSE(m.ResultsReady);
}
