// The correctly rounded sine, cosine and power against MPFR, bit for bit, and
// the Trigonometric basis of every kernel set against a basis built from
// MPFR's values alone.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/basis.h"
#include "engine/exact_math.h"
#include "engine/kernel_path.h"
#include "engine/kernels.h"
#include "reference_basis.h"

namespace tabulor {
namespace {

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string Hex(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%a", x);
  return buf;
}

void ExpectSinCosExact(double x) {
  double s, c, rs, rc;
  exact::SinCos(x, &s, &c);
  exact::SinCosMpfr(x, &rs, &rc);
  EXPECT_TRUE(SameBits(s, rs)) << "sin " << Hex(x) << ": " << Hex(s) << " instead of " << Hex(rs);
  EXPECT_TRUE(SameBits(c, rc)) << "cos " << Hex(x) << ": " << Hex(c) << " instead of " << Hex(rc);
}

// Arguments of one class: magnitudes spread evenly over the exponents from
// lo to hi, either sign.
struct ArgumentClass {
  const char* name;
  double lo, hi;
};

class SinCosClass : public ::testing::TestWithParam<ArgumentClass> {};

TEST_P(SinCosClass, EqualsMpfr) {
  const ArgumentClass& a = GetParam();
  std::mt19937_64 rng(std::hash<std::string>{}(a.name));
  std::uniform_real_distribution<double> exponent(std::log2(a.lo), std::log2(a.hi));
  for (int i = 0; i < 4000; ++i) {
    double x = std::exp2(exponent(rng));
    if (rng() & 1) x = -x;
    ExpectSinCosExact(x);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, SinCosClass,
    ::testing::Values(ArgumentClass{"subnormal", 0x1p-1074, 0x1p-1022}, ArgumentClass{"tiny", 0x1p-60, 0x1p-20},
                      ArgumentClass{"small", 0x1p-20, 0.5}, ArgumentClass{"moderate", 0.5, 100.0},
                      ArgumentClass{"hundred_thousand", 1e4, 1e6}, ArgumentClass{"below_2_27", 1e6, 0x1p27},
                      ArgumentClass{"below_2_51", 0x1p27, 0x1p51}, ArgumentClass{"around_1e15", 1e14, 1e16},
                      ArgumentClass{"huge", 1e290, 1.7e308}),
    [](const auto& info) { return std::string(info.param.name); });

// Doubles next to multiples of pi/2, where the reduced argument loses the
// most bits, and the exact edges of the ranges.
TEST(SinCos, NearMultiplesOfHalfPiAndAtTheEdges) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 3000; ++i) {
    const double k = std::floor(std::exp2(std::uniform_real_distribution<double>(0, 50)(rng)));
    double x = k * 1.5707963267948966;
    for (int step = static_cast<int>(rng() % 4); step > 0; --step) x = std::nextafter(x, 0.0);
    ExpectSinCosExact(x);
    ExpectSinCosExact(-x);
  }
  for (double x : {0.0, -0.0, 0x1p-27, 0x1p-26, 0x1p27, 0x1p51, std::nextafter(0x1p51, 0.0),
                   std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min()})
    ExpectSinCosExact(x);
  double s, c;
  exact::SinCos(std::numeric_limits<double>::infinity(), &s, &c);
  EXPECT_TRUE(std::isnan(s) && std::isnan(c));
  exact::SinCos(std::numeric_limits<double>::quiet_NaN(), &s, &c);
  EXPECT_TRUE(std::isnan(s) && std::isnan(c));
}

// The published hardest-to-round arguments (tests/data/sincos_hard.txt).
TEST(SinCos, HardestToRoundArguments) {
  std::ifstream in(std::string(TABULOR_TEST_DATA_DIR) + "/sincos_hard.txt");
  ASSERT_TRUE(in) << "tests/data/sincos_hard.txt is missing";
  int cases = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string fn, arg;
    fields >> fn >> arg;
    ASSERT_TRUE(fn == "sin" || fn == "cos") << line;
    // C99 hex floats, read without the locale: [-]0x1.<hex>p<exp>.
    const bool negative = arg[0] == '-';
    const std::size_t start = arg.find("0x") + 2;
    double x = 0;
    const auto r = std::from_chars(arg.data() + start, arg.data() + arg.size(), x, std::chars_format::hex);
    ASSERT_EQ(r.ptr, arg.data() + arg.size()) << line;
    ExpectSinCosExact(negative ? -x : x);
    ++cases;
  }
  EXPECT_GT(cases, 200);
}

// The fast path decides almost every value itself: MPFR is the exception.
TEST(SinCos, FallsBackOnMpfrOnlyRarely) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> arg(-1e6, 1e6);
  const std::uint64_t before = exact::MpfrFallbacks();
  double s, c;
  for (int i = 0; i < 100000; ++i) exact::SinCos(arg(rng), &s, &c);
  EXPECT_LT(exact::MpfrFallbacks() - before, 10u);
}

TEST(Pow, CorrectlyRoundedWithTheDoublesRange) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double x;
    long n;
    double expected;
  } cases[] = {
      {3.0, 4, 81.0},
      {-2.0, 3, -8.0},
      {0.0, 0, 1.0},
      {-7.5, 0, 1.0},
      {0.1, 1, 0.1},
      {2.0, 1023, 0x1p1023},
      {2.0, 1024, inf},
      {-2.0, 1025, -inf},
      {2.0, -1074, 0x1p-1074},
      {2.0, -1075, 0.0},                                    // half the least subnormal: ties to even
      {0x1.8p-538, 2, 0x1p-1074},                           // 0.5625 of the least subnormal
      {1.0 + 0x1p-27, 2, 1.0 + 0x1p-26},                    // 1 + 2^-26 + 2^-54 rounds down
      {1.0 + 3 * 0x1p-27, 2, 1.0 + 3 * 0x1p-26 + 0x1p-51},  // + 9 * 2^-54 rounds to 2^-51
      {0.0, -1, inf},
  };
  for (const Case& c : cases)
    EXPECT_TRUE(SameBits(exact::Pow(c.x, c.n), c.expected))
        << Hex(c.x) << "^" << c.n << " = " << Hex(exact::Pow(c.x, c.n)) << ", not " << Hex(c.expected);
}

TEST(QuarterPi, IsTheNearestDouble) {
  mpfr_t pi;
  mpfr_init2(pi, 200);
  mpfr_const_pi(pi, MPFR_RNDN);
  mpfr_div_2ui(pi, pi, 2, MPFR_RNDN);
  EXPECT_TRUE(SameBits(exact::kQuarterPi, mpfr_get_d(pi, MPFR_RNDN)));
  mpfr_clear(pi);
}

// The Trigonometric basis of every kernel set, built in panels of both its
// widths, against the basis of the same angle chains from MPFR's values.
struct ChainCase {
  const char* name;
  std::vector<double> u;  // angle steps (the period makes w exactly 1)
  int terms;
};

std::vector<ChainCase> ChainCases() {
  std::mt19937_64 rng(5);
  auto spread = [&](double lo, double hi, int n) {
    std::vector<double> u;
    std::uniform_real_distribution<double> e(std::log2(lo), std::log2(hi));
    for (int i = 0; i < n; ++i) u.push_back((rng() & 1 ? -1 : 1) * std::exp2(e(rng)));
    return u;
  };
  return {
      {"moderate", spread(1e-3, 10, 37), 61},
      {"angles_to_1e6", spread(1e3, 1e4, 29), 201},
      {"angles_to_1e12", spread(1e8, 1e10, 19), 41},
      {"angles_beyond_2_51", spread(1e15, 1e16, 11), 9},
      {"constant_only", spread(0.1, 10, 13), 1},
      {"one_multiple", spread(0.1, 10, 13), 2},
      {"mixed_lanes", {0.0, -0.0, 1e-20, 1.0, 3e7, -1e16, 1.5707963267948966, 0.5, 2e-300, 4.0, -12.0}, 23},
  };
}

const kernels::KernelSet* SetOf(KernelPath p) {
  switch (p) {
    case KernelPath::Scalar: return &kernels::ScalarKernels();
    case KernelPath::Sse2: return &kernels::Sse2Kernels();
    case KernelPath::Wide8: return &kernels::Wide8Kernels();
#if defined(__x86_64__)
    case KernelPath::Avx2: return &kernels::Avx2Kernels();
    case KernelPath::Avx512: return &kernels::Avx512Kernels();
#endif
    default: return nullptr;
  }
}

TEST(TrigBasis, EveryKernelSetGivesMpfrsValues) {
  for (const ChainCase& c : ChainCases()) {
    for (int d : {0, 1, 2, 3, 5}) {
      Dimension m;
      m.IsPower[0] = false;
      m.DerOrder[0] = d;
      m.Period[0] = 8.0 * exact::kQuarterPi;
      const std::vector<double> expected = reference::Basis(m, 0, c.u, c.terms);
      const BasisRule rule = MakeTrigRule(c.u, c.terms - 1, d, m.Period[0]);
      const std::int64_t points = static_cast<std::int64_t>(c.u.size());
      for (KernelPath p :
           {KernelPath::Scalar, KernelPath::Sse2, KernelPath::Avx2, KernelPath::Avx512, KernelPath::Wide8}) {
        if (!KernelPathRuns(p)) continue;
        const kernels::KernelSet* set = SetOf(p);
        for (std::int64_t panel : {static_cast<std::int64_t>(set->x_panel), static_cast<std::int64_t>(set->y_panel)}) {
          SCOPED_TRACE(std::string(c.name) + " d=" + std::to_string(d) + " " + set->name + " panel " +
                       std::to_string(panel));
          const std::int64_t panels = (points + panel - 1) / panel;
          std::vector<double> out(static_cast<std::size_t>(panels * panel * c.terms), -1.0);
          EXPECT_TRUE(BuildBasisPanels(rule, panel, 0, points, out.data(), set));
          int wrong = 0;
          for (std::int64_t j = 0; j < points; ++j)
            for (std::int64_t k = 0; k < c.terms; ++k) {
              const double got = out[static_cast<std::size_t>((j / panel) * c.terms * panel + k * panel + j % panel)];
              const double want = expected[static_cast<std::size_t>(j * c.terms + k)];
              if (!SameBits(got, want) && ++wrong <= 3)
                ADD_FAILURE() << "point " << j << " term " << k << ": " << Hex(got) << " instead of " << Hex(want);
            }
        }
      }
    }
  }
}

TEST(TrigBasis, NonFiniteAnglesAreReported) {
  const std::vector<double> u{1.0, std::numeric_limits<double>::infinity(), 2.0};
  const BasisRule rule = MakeTrigRule(u, 4, 0, 8.0 * exact::kQuarterPi);
  std::vector<double> out(5 * 8);
  for (KernelPath p : {KernelPath::Scalar, KernelPath::Sse2, KernelPath::Avx2, KernelPath::Avx512, KernelPath::Wide8})
    if (KernelPathRuns(p)) {
      EXPECT_FALSE(BuildBasisPanels(rule, 8, 0, 3, out.data(), SetOf(p))) << KernelPathName(p);
    }
}

}  // namespace
}  // namespace tabulor
