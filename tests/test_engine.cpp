// The engine's values bit for bit, against MPFR and against the plain
// evaluation of reference_basis.h on every kernel set, thread count and way
// of cutting the work; values by hand, refusals, cancelling.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "engine/compute.h"
#include "engine/kernels.h"
#include "reference_basis.h"

using namespace tabulor;
using enum TransformOutcome;

namespace tabulor {
void PrintTo(KernelPath path, std::ostream* os) { *os << KernelPathName(path); }
}  // namespace tabulor

namespace {

constexpr double kTwoPi = 6.283185307179586, kInf = std::numeric_limits<double>::infinity();

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void ExpectSinCosExact(double x) {
  double s, c, rs, rc;
  exact::SinCos(x, &s, &c);
  exact::SinCosMpfr(x, &rs, &rc);
  EXPECT_TRUE(SameBits(s, rs) && SameBits(c, rc))
      << std::hexfloat << x << ": sin " << s << " cos " << c << " instead of " << rs << " " << rc;
}

// Magnitudes spread evenly over the exponents from lo to hi, either sign; or
// multiples of pi/2 a few doubles towards 0, where reduction loses most bits.
using Range = std::tuple<std::string, double, double, bool>;
class SinCos : public ::testing::TestWithParam<Range> {};

TEST_P(SinCos, EqualsMpfr) {
  const auto [name, lo, hi, near_half_pi] = GetParam();
  std::mt19937_64 rng(std::hash<std::string>{}(name));
  std::uniform_real_distribution<double> exponent(std::log2(lo), std::log2(hi));
  for (int i = 0; i < 4000; ++i) {
    double x = std::exp2(exponent(rng));
    if (near_half_pi) x = std::floor(x) * 1.5707963267948966;
    for (int step = near_half_pi ? static_cast<int>(rng() % 4) : 0; step > 0; --step) x = std::nextafter(x, 0.0);
    ExpectSinCosExact(rng() & 1 ? -x : x);
  }
}

INSTANTIATE_TEST_SUITE_P(Ranges, SinCos,
                         ::testing::Values(Range{"subnormal", 0x1p-1074, 0x1p-1022, 0},
                                           Range{"tiny", 0x1p-60, 0x1p-20, 0}, Range{"small", 0x1p-20, 0.5, 0},
                                           Range{"moderate", 0.5, 100.0, 0}, Range{"to_1e6", 1e4, 1e6, 0},
                                           Range{"below_2_27", 1e6, 0x1p27, 0}, Range{"below_2_51", 0x1p27, 0x1p51, 0},
                                           Range{"around_1e15", 1e14, 1e16, 0}, Range{"huge", 1e290, 1.7e308, 0},
                                           Range{"near_half_pi", 1.0, 0x1p50, 1}),
                         [](const auto& info) { return std::string(std::get<0>(info.param)); });

// The published hardest-to-round arguments ("sin|cos [-]0x1.<hex>p<exp>"); MPFR is needed rarely.
TEST(SinCos, HardestToRoundArgumentsAndEdges) {
  std::ifstream in(std::string(TABULOR_TEST_DATA_DIR) + "/sincos_hard.txt");
  int cases = 0;
  for (std::string line; std::getline(in, line); ++cases) {
    if (line.empty() || line[0] == '#') continue;
    double x = 0;
    const auto r =
        std::from_chars(line.data() + line.find("0x") + 2, line.data() + line.size(), x, std::chars_format::hex);
    ASSERT_EQ(r.ptr, line.data() + line.size()) << line;
    ExpectSinCosExact(line[line.find(' ') + 1] == '-' ? -x : x);
  }
  EXPECT_GT(cases, 200) << "tests/data/sincos_hard.txt is missing";
  double s, c;
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> arg(-1e6, 1e6);
  const std::uint64_t before = exact::MpfrFallbacks();
  for (int i = 0; i < 100000; ++i) exact::SinCos(arg(rng), &s, &c);
  EXPECT_LT(exact::MpfrFallbacks() - before, 10u);
}

// Nearest in the doubles' range: 2^-1075 ties to 0, 0.5625 of 2^-1074 rounds up; 1 + 2^-26 + 2^-54 down.
TEST(Pow, CorrectlyRoundedWithTheDoublesRange) {
  // clang-format off
  const std::tuple<double, long, double> cases[] = {
      {3.0, 4, 81.0}, {-2.0, 3, -8.0}, {0.0, 0, 1.0}, {-7.5, 0, 1.0}, {0.1, 1, 0.1}, {2.0, 1023, 0x1p1023},
      {2.0, 1024, kInf}, {-2.0, 1025, -kInf}, {2.0, -1074, 0x1p-1074}, {0.0, -1, kInf}, {2.0, -1075, 0.0},
      {0x1.8p-538, 2, 0x1p-1074}, {1.0 + 0x1p-27, 2, 1.0 + 0x1p-26}, {1.0 + 3 * 0x1p-27, 2, 1.0 + 3 * 0x1p-26 + 0x1p-51}};
  // clang-format on
  for (const auto& [x, n, expected] : cases)
    EXPECT_TRUE(SameBits(exact::Pow(x, n), expected)) << std::hexfloat << x << "^" << n << " = " << exact::Pow(x, n);
}

struct Var {
  bool power;
  int terms, points, der;
  double lo, hi, center, period;
};

// A computation, as the lines of tests/data/engine_shapes.txt and
// compute_cases.txt give it. Variables named w, x, y, z; coefficients random
// in [-1, 1) when none are given, else these over and over; variable 0 on
// `grid0` when given. A transform that fails tells `outcome` of `failed_var`.
struct Shape {
  std::string name;
  std::vector<Var> vars;
  std::vector<double> coefficients = {}, grid0 = {}, values = {};
  TransformOutcome outcome = Ok;
  int failed_var = -1;
  ComputeOptions options = {};
  std::string message = {};
};

std::vector<Shape> ReadShapes(const std::string& file) {
  std::vector<Shape> s;
  std::ifstream in(std::string(TABULOR_TEST_DATA_DIR) + "/" + file);
  for (std::string line, word; std::getline(in, line);) {
    std::istringstream fields(line);
    fields.imbue(std::locale::classic());
    if (!(fields >> word) || word[0] == '#') continue;
    Shape& shape = s.emplace_back(Shape{word, {}});
    std::vector<double>* numbers = &shape.values;  // where the numbers that follow go
    for (double x; fields >> word;) {
      if (std::from_chars(word.data(), word.data() + word.size(), x).ec == std::errc())
        numbers->push_back(x);
      else
        numbers = word == "coefficients" ? &shape.coefficients : word == "grid" ? &shape.grid0 : &shape.values;
      if (word == "P" || word == "T") {
        Var& v = shape.vars.emplace_back();
        v.power = word == "P";
        fields >> v.terms >> v.points >> v.der >> v.lo >> v.hi >> v.center >> v.period;
      }
      if (word == "fails" && fields >> word >> shape.failed_var)
        shape.outcome = word == "basis" ? BasisNotFinite : ValuesNotFinite;
      if (word == "threads") fields >> shape.options.threads;
      if (word == "slabs") shape.options.slabs = SlabMode::Always;
      if (word == "message") std::getline(fields >> std::ws, shape.message);
    }
  }
  EXPECT_FALSE(s.empty()) << file << " is missing";
  return s;
}

Dimension MakeModel(const Shape& s) {
  Dimension m;
  m.LastVar = static_cast<int>(s.vars.size()) - 1;
  std::size_t count = 1;
  for (int v = 0; v <= m.LastVar; ++v) {
    const Var& x = s.vars[static_cast<std::size_t>(v)];
    m.VarName[v] = std::string(1, static_cast<char>('w' + v));
    std::tie(m.IsPower[v], m.LowerLimit[v], m.UpperLimit[v], m.Center[v], m.Period[v]) =
        std::tuple(x.power, x.lo, x.hi, x.center, x.period);
    std::tie(m.LastTerm[v], m.LastPoint[v], m.DerOrder[v]) = std::tuple(x.terms - 1, x.points - 1, x.der);
    m.EvenlySpaced[v] = v > 0 || s.grid0.empty();
    count *= static_cast<std::size_t>(x.terms);
  }
  if (!s.grid0.empty()) m.GridX[0] = s.grid0;
  std::mt19937 gen(static_cast<unsigned>(std::hash<std::string>{}(s.name)));
  std::uniform_real_distribution<double> random(-1.0, 1.0);
  for (std::size_t i = 0; i < count; ++i)
    m.Coefficients.push_back(s.coefficients.empty() ? random(gen) : s.coefficients[i % s.coefficients.size()]);
  m.BuildGrids();
  return m;
}

// The basis tables of tests/data/basis_tables.txt against the reference (its
// sines and cosines MPFR's), from every kernel set in panels of both its
// widths, and from the portable loops in panels of any width.
TEST(Basis, EveryKernelSetGivesTheReferenceValues) {
  std::vector<const kernels::KernelSet*> sets{nullptr, &kernels::ScalarKernels(), &kernels::Sse2Kernels(),
                                              &kernels::Wide8Kernels()};
#if defined(__x86_64__)
  if (KernelPathRuns(KernelPath::Avx2)) sets.push_back(&kernels::Avx2Kernels());
  if (KernelPathRuns(KernelPath::Avx512)) sets.push_back(&kernels::Avx512Kernels());
#endif
  for (const Shape& chain : ReadShapes("basis_tables.txt"))
    for (int d : {0, 1, 2, 3, 5}) {
      Dimension m = MakeModel(chain);
      m.DerOrder[0] = d;
      const std::vector<double>& u = chain.grid0;
      const std::int64_t points = static_cast<std::int64_t>(u.size()), n = chain.vars[0].terms;
      const std::vector<double> expected = reference::Basis(m, 0, u, n);
      const BasisRule rule = m.IsPower[0] ? MakePowerRule(u, n - 1, d) : MakeTrigRule(u, n - 1, d, m.Period[0]);
      for (const kernels::KernelSet* set : sets)
        for (std::int64_t panel : {set ? set->x_panel : 5, set ? set->y_panel : 40}) {
          std::vector<double> out(static_cast<std::size_t>((points + panel - 1) / panel * panel * n)), got;
          EXPECT_TRUE(BuildBasisPanels(rule, panel, 0, points, out.data(), set));
          for (std::int64_t j = 0; j < points; ++j)
            for (std::int64_t k = 0; k < n; ++k) got.push_back(out[(j / panel * n + k) * panel + j % panel]);
          const auto bad = std::mismatch(got.begin(), got.end(), expected.begin(), SameBits).first - got.begin();
          EXPECT_EQ(bad, points * n) << chain.name << " d=" << d << " " << (set ? set->name : "portable") << " panel "
                                     << panel << ": point " << bad / n << " term " << bad % n;
        }
    }
}

TransformShape ShapeOf(const Dimension& m) {
  TransformShape shape;
  for (int v = 0; v <= m.LastVar; ++v)
    std::tie(shape.terms[v], shape.points[v]) = std::pair(m.LastTerm[v] + 1, m.LastPoint[v] + 1);
  return shape;
}

// The computation's steps through a Transformer whose basis is built in
// tiles: the outcome, with `failed` the variable it is about.
TransformOutcome RunTiled(const Dimension& m, ResultsArray& r, KernelPath path, int threads, int& failed) {
  TransformShape shape = ShapeOf(m);
  std::array<std::int64_t, 4> dims{};
  for (int v = 0; v < 4; ++v) dims[v] = std::max(shape.terms[v], shape.points[v]);
  EXPECT_TRUE(r.Allocate(dims));
  const double* c = m.Coefficients.data();
  for (std::int64_t k3 = 0; k3 < shape.terms[3]; ++k3)
    for (std::int64_t k2 = 0; k2 < shape.terms[2]; ++k2)
      for (std::int64_t k1 = 0; k1 < shape.terms[1]; ++k1, c += shape.terms[0])
        std::memcpy(&r(0, k1, k2, k3), c, static_cast<std::size_t>(shape.terms[0]) * sizeof(double));
  Transformer t(threads, path);
  EXPECT_EQ(t.path(), path);
  t.SetTilingMode(TilingMode::Always);
  for (failed = m.LastVar; failed >= 0; --failed) {
    const std::vector<double> u = reference::Offsets(m, failed);
    const int n = m.LastTerm[failed], d = m.DerOrder[failed];
    shape.v = failed;
    const auto out =
        t.Transform(r, shape, m.IsPower[failed] ? MakePowerRule(u, n, d) : MakeTrigRule(u, n, d, m.Period[failed]));
    if (out != Ok) return out;
  }
  return Ok;
}

// The series of tests/data/engine_shapes.txt, then random ones.
std::vector<Shape> MakeShapes() {
  std::vector<Shape> s = ReadShapes("engine_shapes.txt");
  // Random shapes: every count of runs and points modulo the register blocks.
  std::mt19937 gen(20240601);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); };
  for (int i = 0; i < 30; ++i) {
    Shape& r = s.emplace_back(Shape{"random " + std::to_string(i), {}});
    for (int v = 0, n = pick(1, 4); v < n; ++v) {
      const double lo = -1.0 + pick(0, 4) * 0.125;
      r.vars.push_back({pick(0, 1) == 1, pick(1, n == 1 ? 40 : 13), pick(1, n == 1 ? 90 : 30), pick(0, 4), lo,
                        lo + 0.5 + pick(0, 8) * 0.25, pick(0, 2) * 0.25, 0.5 + pick(0, 8) * 0.75});
    }
  }
  return s;
}

bool SameBits(const ResultsArray& r, const std::vector<double>& b) {
  return r.size() == b.size() && std::memcmp(r.data(), b.data(), b.size() * sizeof(double)) == 0;
}

class EnginePaths : public ::testing::TestWithParam<std::tuple<KernelPath, int>> {};

// Tiled through the transformer, through Compute whole and slab by slab: the same bits, progress growing
// to its total, the shown variable kept; a failure told of its variable.
TEST_P(EnginePaths, EveryWayOfCuttingTheWorkGivesTheReferenceBits) {
  const auto [path, threads] = GetParam();
  if (!KernelPathRuns(path)) GTEST_SKIP() << KernelPathName(path) << " does not run here";
  static const std::vector<Shape> shapes = MakeShapes();
  static std::vector<std::vector<double>> reference(shapes.size());
  for (std::size_t i = 0; i < shapes.size(); ++i) {
    const Shape& s = shapes[i];
    SCOPED_TRACE(s.name);
    if (s.outcome == Ok && reference[i].empty()) reference[i] = reference::Evaluate(MakeModel(s));
    ResultsArray r;
    int failed = -1;
    ASSERT_EQ(RunTiled(MakeModel(s), r, path, threads, failed), s.outcome);
    EXPECT_EQ(failed, s.failed_var);
    ASSERT_TRUE(failed >= 0 || SameBits(r, reference[i]));
    for (SlabMode slabs : {SlabMode::Never, SlabMode::Always}) {
      Dimension m = MakeModel(s);
      m.CurVar = 2;
      std::uint64_t last = 0, total = 1;
      bool backwards = false;
      auto progress = [&](std::uint64_t done, std::uint64_t all) {
        backwards |= done < last;
        std::tie(last, total) = std::tuple(done, all);
        return true;
      };
      const ComputeResult c = Compute(m, progress, {threads, path, slabs});
      EXPECT_EQ(m.CurVar, 2);
      if (s.outcome == Ok) {
        ASSERT_EQ(c.outcome, ComputeOutcome::Ok) << c.message;
        EXPECT_TRUE(m.ResultsReady && last == total && !backwards);
        ASSERT_TRUE(SameBits(m.Results, reference[i])) << "slabs " << static_cast<int>(slabs);
        Transformer t(threads, path);  // and the slab path is the one taken when asked for
        t.SetSlabMode(slabs);
        EXPECT_TRUE(m.LastVar < 2 || t.CanTransformLastTwo(m.Results, ShapeOf(m)) == (slabs == SlabMode::Always));
      } else {
        EXPECT_NE(c.message.find(s.message), std::string::npos) << c.message;
        EXPECT_TRUE(!m.ResultsReady && m.Results.empty());
      }
    }
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Kernels, EnginePaths, ::testing::Combine(::testing::Values(
    KernelPath::Scalar, KernelPath::Sse2, KernelPath::Avx2, KernelPath::Avx512, KernelPath::Wide8),
    ::testing::Values(1, 2, 3)), [](const auto& info) {
      return KernelPathName(std::get<0>(info.param)) + std::string("_threads") + std::to_string(std::get<1>(info.param));
    });
// clang-format on

// The computations of tests/data/compute_cases.txt: values and bounds of the results; or refused with a message
// naming the variable, or cancelled (at once, on every thread, slab by slab): no results, the bounds as they were.
TEST(Compute, ValuesByHandRefusalsAndCancelling) {
  const std::string stopped = "The computation was cancelled.";
  for (const Shape& c : ReadShapes("compute_cases.txt")) {
    SCOPED_TRACE(c.name);
    Dimension m = MakeModel(c);
    const auto bounds = std::tuple(m.LastPt = {5, 6, 7, 8}, m.Extent = {1, 2, 3, 4});
    int calls = 0;  // a cancelling progress says stop at its third call, and is not called again
    auto progress = [&](std::uint64_t, std::uint64_t) { return ++calls < 3 || c.message != stopped; };
    EXPECT_EQ(Compute(m, progress, c.options).message, c.message);
    EXPECT_TRUE(c.message != stopped || calls == 3) << calls;
    if (!c.message.empty()) {
      EXPECT_TRUE(!m.ResultsReady && m.Results.empty());
      EXPECT_EQ(std::tuple(m.LastPt, m.Extent), bounds);
      continue;
    }
    std::vector<double> got;
    for (int j1 = 0; j1 <= m.LastPt[1]; ++j1)
      for (int j0 = 0; j0 <= m.LastPt[0]; ++j0) got.push_back(m.Results(j0, j1, 0, 0));
    EXPECT_EQ(got, c.values);
    EXPECT_TRUE(c.grid0.empty() || m.GridX[0] == c.grid0) << "typed grid values changed";
    for (int v = 0; v < 4; ++v) {
      const std::int32_t extent = m.IsPresent(v) ? std::max(m.LastPoint[v], m.LastTerm[v]) : 0;
      EXPECT_EQ(std::tuple(m.LastPt[v], m.Extent[v], m.Results.dims()[v]),
                std::tuple(m.IsPresent(v) ? m.LastPoint[v] : 0, extent, std::int64_t{extent} + 1));
    }
  }
}

}  // namespace
