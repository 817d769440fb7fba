// The fast transform (every vector width, one and two threads, whole and
// tiled basis tables) against a plain scalar evaluation written here from the
// rules: the bits of every entry of the results array must be the same.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/basis.h"
#include "engine/compute.h"
#include "engine/transform.h"
#include "model/dimension.h"
#include "reference_basis.h"

using namespace tabulor;

namespace {

struct Var {
  bool power;
  int terms;
  int points;
  int der;
  double lo, hi, center, period;
};

Dimension MakeModel(const std::vector<Var>& vars, std::uint32_t seed) {
  Dimension m;
  m.LastVar = static_cast<int>(vars.size()) - 1;
  std::size_t count = 1;
  for (std::size_t v = 0; v < vars.size(); ++v) {
    const Var& s = vars[v];
    m.VarName[v] = std::string(1, static_cast<char>('w' + v));
    m.IsPower[v] = s.power;
    m.LowerLimit[v] = s.lo;
    m.UpperLimit[v] = s.hi;
    m.Center[v] = s.center;
    m.Period[v] = s.period;
    m.LastTerm[v] = s.terms - 1;
    m.LastPoint[v] = s.points - 1;
    m.DerOrder[v] = s.der;
    m.EvenlySpaced[v] = true;
    count *= static_cast<std::size_t>(s.terms);
  }
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> coef(-1.0, 1.0);
  m.Coefficients.resize(count);
  for (double& c : m.Coefficients) c = coef(gen);
  m.BuildGrids();
  return m;
}

// The computation as the rules state it, one operation after another:
// coefficients into an array of extents max(terms, points), then for every
// variable from the last to the first its basis table and, run by run, the
// sums s = Basis(j, k) * R(k) + s from 0.0, collected in a scratch vector.
struct Reference {
  std::array<std::int64_t, 4> n{1, 1, 1, 1};
  std::vector<double> values;
  bool finite = true;

  double& at(std::int64_t j0, std::int64_t j1, std::int64_t j2, std::int64_t j3) {
    return values[static_cast<std::size_t>(j0 + n[0] * (j1 + n[1] * (j2 + n[2] * j3)))];
  }
};

Reference Evaluate(const Dimension& m) {
  Reference r;
  std::array<int, 4> last_term{0, 0, 0, 0}, last_point{0, 0, 0, 0};
  for (int v = 0; v <= m.LastVar; ++v) {
    last_term[v] = m.LastTerm[v];
    last_point[v] = m.LastPoint[v];
    r.n[v] = std::max(last_term[v], last_point[v]) + 1;
  }
  r.values.assign(static_cast<std::size_t>(r.n[0] * r.n[1] * r.n[2] * r.n[3]), 0.0);
  std::size_t c = 0;
  for (int k3 = 0; k3 <= last_term[3]; ++k3)
    for (int k2 = 0; k2 <= last_term[2]; ++k2)
      for (int k1 = 0; k1 <= last_term[1]; ++k1)
        for (int k0 = 0; k0 <= last_term[0]; ++k0) r.at(k0, k1, k2, k3) = m.Coefficients[c++];
  std::vector<double> scratch(1024 * 64);
  for (int v = m.LastVar; v >= 0; --v) {
    const std::vector<double> b = reference::Basis(m, v, reference::Offsets(m, v), m.LastTerm[v] + 1);
    const int nn = last_term[v], mm = last_point[v];
    std::array<int, 4> hi{};
    for (int u = 0; u < 4; ++u) hi[u] = u > v ? last_point[u] : last_term[u];
    hi[v] = 0;
    std::array<int, 4> j{};
    for (j[3] = 0; j[3] <= hi[3]; ++j[3])
      for (j[2] = 0; j[2] <= hi[2]; ++j[2])
        for (j[1] = 0; j[1] <= hi[1]; ++j[1])
          for (j[0] = 0; j[0] <= hi[0]; ++j[0]) {
            auto run = [&](int i) -> double& {
              std::array<int, 4> at = j;
              at[v] = i;
              return r.at(at[0], at[1], at[2], at[3]);
            };
            for (int jj = 0; jj <= mm; ++jj) {
              double s = 0.0;
              for (int k = 0; k <= nn; ++k) s = b[static_cast<std::size_t>(jj * (nn + 1) + k)] * run(k) + s;
              scratch[static_cast<std::size_t>(jj)] = s;
            }
            for (int jj = 0; jj <= mm; ++jj) {
              run(jj) = scratch[static_cast<std::size_t>(jj)];
              if (!std::isfinite(scratch[static_cast<std::size_t>(jj)])) r.finite = false;
            }
          }
  }
  return r;
}

std::vector<KernelPath> PathsHere() {
  std::vector<KernelPath> paths;
  for (KernelPath p : {KernelPath::Scalar, KernelPath::Sse2, KernelPath::Avx2, KernelPath::Avx512, KernelPath::Wide8})
    if (KernelPathRuns(p)) paths.push_back(p);
  return paths;
}

// Compute's steps with a Transformer of the given kind: returns the array.
struct FastRun {
  ResultsArray results;
  TransformOutcome outcome = TransformOutcome::Ok;
  int failed_var = -1;
};

// tiling: Transformer::SetTilingMode; slabs: variables 1 and 0 together,
// slab by slab, where there are three or more.
FastRun RunFast(const Dimension& m, KernelPath path, int threads, TilingMode tiling, bool slabs = false) {
  FastRun out;
  std::array<std::int64_t, 4> terms{1, 1, 1, 1}, points{1, 1, 1, 1}, dims{1, 1, 1, 1};
  for (int v = 0; v <= m.LastVar; ++v) {
    terms[v] = m.LastTerm[v] + 1;
    points[v] = m.LastPoint[v] + 1;
    dims[v] = std::max(terms[v], points[v]);
  }
  EXPECT_TRUE(out.results.Allocate(dims));
  std::size_t c = 0;
  for (std::int64_t k3 = 0; k3 < terms[3]; ++k3)
    for (std::int64_t k2 = 0; k2 < terms[2]; ++k2)
      for (std::int64_t k1 = 0; k1 < terms[1]; ++k1)
        for (std::int64_t k0 = 0; k0 < terms[0]; ++k0) out.results(k0, k1, k2, k3) = m.Coefficients[c++];
  Transformer t(threads, path);
  EXPECT_EQ(t.path(), path);
  t.SetTilingMode(tiling);
  t.SetSlabMode(slabs ? SlabMode::Always : SlabMode::Never);
  std::array<std::vector<double>, 4> offsets;
  auto rule_of = [&](int v) {
    for (std::int64_t j = 0; j < points[v]; ++j)
      offsets[v].push_back(m.GridX[v][static_cast<std::size_t>(j)] - m.Center[v]);
    return m.IsPower[v] ? MakePowerRule(offsets[v], m.LastTerm[v], m.DerOrder[v])
                        : MakeTrigRule(offsets[v], m.LastTerm[v], m.DerOrder[v], m.Period[v]);
  };
  for (int v = m.LastVar; v >= 0; --v) {
    const BasisRule rule = rule_of(v);
    TransformShape shape;
    shape.v = v;
    shape.terms = terms;
    shape.points = points;
    if (slabs && v == 1 && m.LastVar >= 2) {
      EXPECT_TRUE(t.CanTransformLastTwo(out.results, shape));
      out.outcome = t.TransformLastTwo(out.results, shape, rule, rule_of(0), nullptr, out.failed_var);
      if (out.outcome == TransformOutcome::Ok) out.failed_var = -1;
      break;
    }
    out.outcome = t.Transform(out.results, shape, rule);
    if (out.outcome != TransformOutcome::Ok) {
      out.failed_var = v;
      break;
    }
  }
  return out;
}

std::string Describe(const std::vector<Var>& vars) {
  std::string s;
  for (const Var& v : vars)
    s += std::string(v.power ? "P" : "T") + std::to_string(v.terms) + ">" + std::to_string(v.points) + "/d" +
         std::to_string(v.der) + " ";
  return s;
}

// The ways the transforms can go: basis in tiles, whole, whole with
// variables 1 and 0 slab by slab.
struct Mode {
  TilingMode tiling;
  bool slabs;
  const char* name;
};
constexpr Mode kModes[] = {
    {TilingMode::Always, false, " tiled"}, {TilingMode::Never, false, " whole"}, {TilingMode::Never, true, " slabs"}};

// Every path, one and two threads, every mode: the same bits as the plain
// evaluation.
void ExpectAllPathsMatch(const std::vector<Var>& vars, std::uint32_t seed) {
  const Dimension m = MakeModel(vars, seed);
  const Reference ref = Evaluate(m);
  ASSERT_TRUE(ref.finite) << Describe(vars);
  for (KernelPath path : PathsHere())
    for (int threads : {1, 2})
      for (const Mode& mode : kModes) {
        if (mode.slabs && m.LastVar < 2) continue;
        FastRun fast = RunFast(m, path, threads, mode.tiling, mode.slabs);
        SCOPED_TRACE(Describe(vars) + KernelPathName(path) + " threads " + std::to_string(threads) + mode.name);
        ASSERT_EQ(fast.outcome, TransformOutcome::Ok);
        ASSERT_EQ(fast.results.size(), ref.values.size());
        if (std::memcmp(fast.results.data(), ref.values.data(), ref.values.size() * sizeof(double)) != 0) {
          std::size_t i = 0;
          while (std::memcmp(fast.results.data() + i, ref.values.data() + i, sizeof(double)) == 0) ++i;
          FAIL() << "entry " << i << " differs: " << fast.results.data()[i] << " vs " << ref.values[i];
        }
      }
}

constexpr double kTwoPi = 6.283185307179586;

}  // namespace

TEST(EnginePaths, ReportsWhichPathsRunHere) {
  std::string names;
  for (KernelPath p : PathsHere()) names += std::string(KernelPathName(p)) + " ";
  RecordProperty("paths", names);
  std::cout << "[          ] kernel paths checked here: " << names << "(best: " << KernelPathName(BestKernelPath())
            << ")\n";
  EXPECT_TRUE(KernelPathRuns(BestKernelPath()));
  EXPECT_NE(BestKernelPath(), KernelPath::Auto);
}

TEST(EnginePaths, OneVariable) {
  ExpectAllPathsMatch({{true, 7, 13, 1, -1, 1.5, 0.25, 1}}, 1);        // more points than terms
  ExpectAllPathsMatch({{false, 9, 5, 2, 0, kTwoPi, 0.5, kTwoPi}}, 2);  // fewer points than terms
  ExpectAllPathsMatch({{true, 3, 11, 5, -2, 2, 0, 1}}, 3);             // derivative beyond the terms: 0
  ExpectAllPathsMatch({{false, 4, 9, 7, 0, 3, 1, 3}}, 4);              // trigonometric, odd order > 4
  ExpectAllPathsMatch({{true, 1, 2, 0, 0, 1, 0, 1}}, 5);               // a single term
  ExpectAllPathsMatch({{true, 200, 1001, 1, -1, 1, 0, 1}}, 6);         // long runs, many tiles
  ExpectAllPathsMatch({{false, 201, 257, 1, 0, kTwoPi, 0, kTwoPi}}, 7);
}

TEST(EnginePaths, TwoToFourVariables) {
  ExpectAllPathsMatch({{false, 5, 11, 1, 0, 2, 0.3, 2}, {true, 6, 3, 0, -1, 1, 0, 1}}, 11);
  ExpectAllPathsMatch({{true, 13, 2, 0, -1, 1, 0, 1}, {false, 3, 17, 3, -1, 2, 0, 5}}, 12);
  ExpectAllPathsMatch({{true, 5, 7, 0, -1, 1, 0, 1}, {false, 4, 9, 1, 0, 1, 0, 1}, {true, 6, 3, 2, 0, 2, 1, 1}}, 13);
  ExpectAllPathsMatch({{false, 3, 5, 0, 0, kTwoPi, 0, kTwoPi},
                       {true, 4, 2, 1, -1, 1, 0, 1},
                       {false, 2, 7, 2, 0, kTwoPi, 1, kTwoPi},
                       {true, 5, 3, 3, -1, 1, 0.5, 1}},
                      14);
  // Every variable with more points than terms, and the other way round.
  ExpectAllPathsMatch({{true, 3, 10, 0, -1, 1, 0, 1},
                       {false, 4, 11, 1, 0, 1, 0, 1},
                       {true, 2, 9, 0, -1, 1, 0, 1},
                       {false, 3, 13, 2, 0, 1, 0.5, 1}},
                      15);
  ExpectAllPathsMatch({{true, 9, 2, 0, -1, 1, 0, 1},
                       {false, 8, 3, 1, 0, 1, 0, 1},
                       {true, 7, 2, 0, -1, 1, 0, 1},
                       {false, 10, 4, 2, 0, 1, 0.5, 1}},
                      16);
}

// Many runs: the runs are split over the threads in blocks, with every
// remainder of the register blocks and of the vectors.
TEST(EnginePaths, ManyRuns) {
  ExpectAllPathsMatch({{true, 20, 100, 0, -1, 1, 0, 1}, {false, 20, 97, 1, 0, kTwoPi, 0, kTwoPi}}, 21);
  ExpectAllPathsMatch(
      {{false, 17, 43, 0, 0, kTwoPi, 0, kTwoPi}, {true, 11, 29, 1, -1, 1, 0, 1}, {true, 7, 31, 2, -1, 1, 0.5, 1}}, 22);
  // More runs than one tiled block holds: blocks one after the other.
  ExpectAllPathsMatch({{false, 1500, 5, 0, 0, kTwoPi, 0, kTwoPi}, {true, 2, 1100, 0, -1, 1, 0, 1}}, 23);
  // Slab by slab: more runs of variable 0 in a slab than one block, and more
  // runs of variable 1 than one block.
  ExpectAllPathsMatch({{true, 5, 7, 0, -1, 1, 0, 1}, {false, 4, 70, 1, 0, 1, 0, 1}, {true, 3, 3, 0, -1, 1, 0, 1}}, 24);
  ExpectAllPathsMatch({{true, 700, 3, 0, -1, 1, 0, 1}, {true, 200, 3, 1, -1, 1, 0, 1}, {true, 2, 2, 0, -1, 1, 0, 1}},
                      25);
}

// Random shapes: every count of runs and points modulo the register blocks,
// groups of runs that lie apart (more points than terms below), single terms
// and single points.
TEST(EnginePaths, RandomShapes) {
  std::mt19937 gen(20240601);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); };
  for (int c = 0; c < 60; ++c) {
    const int nvars = pick(1, 4);
    std::vector<Var> vars;
    for (int v = 0; v < nvars; ++v) {
      Var x;
      x.power = pick(0, 1) == 1;
      x.terms = pick(1, nvars == 1 ? 40 : 13);
      x.points = pick(1, nvars == 1 ? 90 : 30);
      if (x.points == 1) x.points = 2;
      x.der = pick(0, 4);
      x.lo = -1.0 + pick(0, 4) * 0.125;
      x.hi = x.lo + 0.5 + pick(0, 8) * 0.25;
      x.center = pick(0, 2) * 0.25;
      x.period = 0.5 + pick(0, 8) * 0.75;
      vars.push_back(x);
    }
    ExpectAllPathsMatch(vars, static_cast<std::uint32_t>(100 + c));
    if (HasFatalFailure()) return;
  }
}

// Values that overflow and basis values that overflow are found on every
// path, and a bad basis value is told as such, tiled or not.
TEST(EnginePaths, NonFiniteValuesAndBasis) {
  {
    // Coefficients near the largest double: the sums overflow.
    Dimension m = MakeModel({{true, 30, 40, 0, -1, 1, 0, 1}, {true, 30, 41, 0, -1, 1, 0, 1}}, 31);
    for (double& c : m.Coefficients) c = 1e308;
    for (KernelPath path : PathsHere())
      for (int threads : {1, 2})
        for (TilingMode tiling : {TilingMode::Always, TilingMode::Never}) {
          FastRun fast = RunFast(m, path, threads, tiling);
          EXPECT_EQ(fast.outcome, TransformOutcome::ValuesNotFinite) << KernelPathName(path);
        }
  }
  {
    // u^k beyond the range of a double at the far end of the grid only.
    Dimension m = MakeModel({{true, 4, 60, 0, -1, 1, 0, 1}, {true, 400, 300, 0, 0, 20, 0, 1}}, 32);
    for (KernelPath path : PathsHere())
      for (int threads : {1, 2})
        for (TilingMode tiling : {TilingMode::Always, TilingMode::Never}) {
          FastRun fast = RunFast(m, path, threads, tiling);
          EXPECT_EQ(fast.outcome, TransformOutcome::BasisNotFinite) << KernelPathName(path);
          EXPECT_EQ(fast.failed_var, 1);
        }
  }
}

// Three and four variables, with variables 1 and 0 transformed slab by slab:
// which variable an overflow or a bad basis is told of does not depend on
// the order in which the slabs meet it.
TEST(EnginePaths, SlabsTellFailuresAsOneTransformAfterTheOther) {
  struct Case {
    const char* what;
    std::vector<Var> vars;
    double coefficient;
    TransformOutcome outcome;
    int failed_var;
  };
  const std::vector<Case> cases{
      {"sums of variable 0 overflow",
       {{true, 5, 7, 0, 0, 20, 0, 1}, {true, 3, 4, 0, -1, 1, 0, 1}, {true, 3, 4, 0, -1, 1, 0, 1}},
       1e306,
       TransformOutcome::ValuesNotFinite,
       0},
      // Variable 0 overflows in the first slab, variable 1 only in the last
      // (where variable 2's basis is large): variable 1 is told.
      {"sums of both overflow, variable 1 late",
       {{true, 3, 5, 0, 0, 1e4, 0, 1}, {true, 3, 4, 0, -1, 1, 0, 1}, {true, 3, 6, 0, 0, 1e4, 0, 1}},
       1e300,
       TransformOutcome::ValuesNotFinite,
       1},
      {"basis of variable 0",
       {{true, 400, 30, 0, 0, 20, 0, 1}, {true, 3, 4, 0, -1, 1, 0, 1}, {true, 2, 3, 0, -1, 1, 0, 1}},
       1.0,
       TransformOutcome::BasisNotFinite,
       0},
      {"basis of variable 1",
       {{true, 3, 5, 0, -1, 1, 0, 1},
        {true, 400, 30, 0, 0, 20, 0, 1},
        {true, 2, 3, 0, -1, 1, 0, 1},
        {true, 2, 3, 0, -1, 1, 0, 1}},
       1.0,
       TransformOutcome::BasisNotFinite,
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Dimension m = MakeModel(c.vars, 71);
    for (double& x : m.Coefficients) x = c.coefficient;
    for (KernelPath path : PathsHere())
      for (int threads : {1, 2})
        for (bool slabs : {false, true}) {
          FastRun fast = RunFast(m, path, threads, TilingMode::Never, slabs);
          EXPECT_EQ(fast.outcome, c.outcome) << KernelPathName(path) << threads << slabs;
          EXPECT_EQ(fast.failed_var, c.failed_var) << KernelPathName(path) << threads << slabs;
        }
  }
}

// The whole computation through its public entry: options change the speed,
// never the bits; the thread count and the vector width are free to choose.
TEST(EnginePaths, ComputeOptionsGiveTheSameBits) {
  const std::vector<Var> vars{
      {false, 12, 37, 1, 0, kTwoPi, 0, kTwoPi}, {true, 9, 23, 2, -1, 1, 0.5, 1}, {false, 5, 4, 0, 0, 1, 0, 1}};
  const Reference ref = Evaluate(MakeModel(vars, 41));
  for (KernelPath path : PathsHere())
    for (int threads : {1, 2, 3})
      for (SlabMode slabs : {SlabMode::BySize, SlabMode::Always, SlabMode::Never}) {
        Dimension m = MakeModel(vars, 41);
        m.CurVar = 2;  // Compute works on every variable without touching it
        ComputeOptions options;
        options.threads = threads;
        options.kernels = path;
        options.slabs = slabs;
        std::uint64_t last_done = 0, total = 0;
        ComputeResult r = Compute(
            m,
            [&](std::uint64_t done, std::uint64_t all) {
              EXPECT_GE(done, last_done);
              last_done = done;
              total = all;
              return true;
            },
            options);
        ASSERT_EQ(r.outcome, ComputeOutcome::Ok) << r.message;
        EXPECT_GE(r.seconds, 0.0);
        EXPECT_EQ(last_done, total);  // progress ends at its total
        EXPECT_EQ(m.CurVar, 2);
        ASSERT_EQ(m.Results.size(), ref.values.size());
        EXPECT_EQ(std::memcmp(m.Results.data(), ref.values.data(), ref.values.size() * sizeof(double)), 0)
            << KernelPathName(path) << " threads " << threads << " slabs " << static_cast<int>(slabs);
      }
}

// A tiled basis (one variable, a table far beyond the whole-table size) is
// chosen by the size rule alone and gives the plain bits.
TEST(EnginePaths, LargeBasisIsTiled) {
  const std::vector<Var> vars{{false, 64, 60000, 1, 0, kTwoPi, 0, kTwoPi}};
  ASSERT_GT(64 * 60000 * 8, Transformer::kWholeBasisBytes);
  const Reference ref = Evaluate(MakeModel(vars, 51));
  for (int threads : {1, 2}) {
    Dimension c = MakeModel(vars, 51);
    ComputeOptions options;
    options.threads = threads;
    ASSERT_EQ(Compute(c, nullptr, options).outcome, ComputeOutcome::Ok);
    EXPECT_EQ(std::memcmp(c.Results.data(), ref.values.data(), ref.values.size() * sizeof(double)), 0);
  }
}

// Cancelling from the progress callback stops a two-thread computation and
// leaves no results.
TEST(EnginePaths, CancelStopsAllThreads) {
  Dimension m = MakeModel({{true, 40, 3000, 0, -1, 1, 0, 1}, {true, 40, 3000, 1, -1, 1, 0, 1}}, 61);
  int calls = 0;
  ComputeOptions options;
  options.threads = 2;
  ComputeResult r = Compute(
      m, [&](std::uint64_t done, std::uint64_t total) { return ++calls < 3 && done < total; }, options);
  EXPECT_EQ(r.outcome, ComputeOutcome::Cancelled);
  EXPECT_FALSE(m.ResultsReady);
  EXPECT_TRUE(m.Results.empty());
  EXPECT_EQ(calls, 3);

  // The same with variables 1 and 0 slab by slab.
  Dimension m3 = MakeModel(
      {{true, 20, 300, 0, -1, 1, 0, 1}, {true, 20, 300, 1, -1, 1, 0, 1}, {false, 10, 200, 0, 0, kTwoPi, 0, kTwoPi}},
      62);
  calls = 0;
  options.slabs = SlabMode::Always;
  r = Compute(
      m3, [&](std::uint64_t done, std::uint64_t total) { return ++calls < 3 && done < total; }, options);
  EXPECT_EQ(r.outcome, ComputeOutcome::Cancelled);
  EXPECT_TRUE(m3.Results.empty());
  EXPECT_EQ(calls, 3);
}
