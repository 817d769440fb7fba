#include "engine/compute.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>

#include "engine/basis.h"
#include "engine/transform.h"
#include "model/limits.h"
#include "model/number_text.h"

namespace tabulor {

namespace {

std::string Capital(std::string s) {
  if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = static_cast<char>(s[0] - 'a' + 'A');
  return s;
}

std::array<std::int64_t, 4> ResultDims(const Dimension& m) {
  std::array<std::int64_t, 4> dims{1, 1, 1, 1};
  for (int v = 0; v <= m.LastVar; ++v)
    dims[v] = static_cast<std::int64_t>(std::max(m.LastTerm[v], m.LastPoint[v])) + 1;
  return dims;
}

struct CancelState {
  const ProgressFn* progress;
  std::uint64_t done;
  std::uint64_t total;
  bool stop;
};

}  // namespace

std::string CheckComputable(const Dimension& m) {
  if (m.LastVar < 0 || m.LastVar > 3) return "The number of variables is outside 1 to 4.";
  for (int v = 0; v <= m.LastVar; ++v) {
    const std::string who = Capital(VariableLabel(m, v));
    if (m.LastTerm[v] < 0) return who + ": the number of terms is below 1.";
    if (m.LastPoint[v] < 0) return who + ": the number of grid points is below 1.";
    if (m.DerOrder[v] < 0)
      return who + ": the derivative order " + IntegerText(m.DerOrder[v]) + " is negative.";
    if (!m.IsPower[v] && m.Period[v] == 0.0)
      return who + ": the period is 0, so the angle of a Trigonometric term is undefined.";
    if (!std::isfinite(m.Period[v]) || !std::isfinite(m.Center[v]))
      return who + ": the centre or the period is not a finite number.";
    if (m.GridX[v].size() < static_cast<std::size_t>(m.LastPoint[v]) + 1 && !m.EvenlySpaced[v])
      return who + ": the grid has " + IntegerText(static_cast<std::int64_t>(m.GridX[v].size())) +
             " values for " + IntegerText(static_cast<std::int64_t>(m.LastPoint[v]) + 1) +
             " grid points.";
    if (!m.EvenlySpaced[v]) {
      for (std::int32_t j = 0; j <= m.LastPoint[v]; ++j)
        if (!std::isfinite(m.GridX[v][static_cast<std::size_t>(j)]))
          return who + ": grid value " + IntegerText(j) + " is not a finite number.";
    } else if (!std::isfinite(m.LowerLimit[v]) || !std::isfinite(m.UpperLimit[v])) {
      return who + ": the grid limits are not finite numbers.";
    } else if (m.LastPoint[v] > 0 && !std::isfinite(m.UpperLimit[v] - m.LowerLimit[v])) {
      return who + ": the grid limits are so far apart that the distance between them is beyond the range "
                   "of a double.";
    }
  }
  std::int64_t terms = m.TermProduct();
  if (terms < 0) return "The numbers of terms make more than 2147483647 coefficients.";
  if (static_cast<std::int64_t>(m.Coefficients.size()) != terms)
    return "The series has " + IntegerText(static_cast<std::int64_t>(m.Coefficients.size())) +
           " coefficients, not the " + IntegerText(terms) + " its numbers of terms announce.";
  if (m.PointProduct() < 0) return "The numbers of grid points make more than 2147483647 grid points.";
  // Results, plus the basis table of the largest variable (built in tiles
  // beyond Transformer::kWholeBasisBytes; twice that when variables 1 and 0
  // go slab by slab, each with its table), the grid offsets (of the largest
  // grid, and of variable 0's beside it; a third for good measure) and the
  // blocks of the transforms (4 << 20 doubles, 32 MB, are ample).
  auto dims = ResultDims(m);
  long double total = 1;
  for (auto d : dims) total *= static_cast<long double>(d);
  std::uint64_t basis = 0, max_points = 1;
  for (int v = 0; v <= m.LastVar; ++v) {
    basis = std::max<std::uint64_t>(basis, (static_cast<std::uint64_t>(m.LastTerm[v]) + 1) *
                                               (static_cast<std::uint64_t>(m.LastPoint[v]) + 1));
    max_points = std::max<std::uint64_t>(max_points, static_cast<std::uint64_t>(m.LastPoint[v]) + 1);
  }
  basis = std::min<std::uint64_t>(basis, Transformer::kWholeBasisBytes / sizeof(double));
  if (m.LastVar >= 2) basis *= 2;
  const long double need = total + static_cast<long double>(basis) + static_cast<long double>(max_points) * 3 +
                           (4 << 20);
  if (need > 1.8e19L) return "The results array is larger than any memory can hold.";
  if (auto too_big =
          CheckDoublesFit(static_cast<std::uint64_t>(need), "The results array with the computation's working memory"))
    return *too_big + ".";
  return {};
}

ComputeResult Compute(Dimension& m, const ProgressFn& progress) { return Compute(m, progress, ComputeOptions{}); }

ComputeResult Compute(Dimension& m, const ProgressFn& progress, const ComputeOptions& options) {
  const auto saved_extent = m.Extent;
  const auto saved_last_pt = m.LastPt;
  auto fail = [&](ComputeOutcome outcome, std::string message) {
    m.Results.Clear();
    m.ResultsReady = false;
    m.Extent = saved_extent;
    m.LastPt = saved_last_pt;
    return ComputeResult{outcome, std::move(message)};
  };
  m.ResultsReady = false;
  if (std::string why = CheckComputable(m); !why.empty()) return fail(ComputeOutcome::Error, why);

  // Step 1 and 2: the bounds of this computation and the extents.
  std::array<std::int64_t, 4> terms{1, 1, 1, 1}, points{1, 1, 1, 1};
  for (int v = 0; v < kSlots; ++v) {
    const bool present = m.IsPresent(v);
    m.LastPt[v] = present ? m.LastPoint[v] : 0;
    m.Extent[v] = present ? std::max(m.LastTerm[v], m.LastPoint[v]) : 0;
    if (present) {
      terms[v] = static_cast<std::int64_t>(m.LastTerm[v]) + 1;
      points[v] = static_cast<std::int64_t>(m.LastPoint[v]) + 1;
    }
  }
  std::int64_t max_points = 1;
  for (int v = 0; v <= m.LastVar; ++v) max_points = std::max(max_points, points[v]);

  // Step 3: Results, all 0, as one block; the working memory once.
  const auto start = std::chrono::steady_clock::now();
  if (!m.Results.Allocate(ResultDims(m)))
    return fail(ComputeOutcome::Error, "There is not enough memory for the results array.");
  std::unique_ptr<Transformer> transformer;
  std::vector<double> offsets, offsets0;
  try {
    transformer = std::make_unique<Transformer>(options.threads, options.kernels);
    transformer->SetSlabsForTesting(options.slabs);
    offsets.reserve(static_cast<std::size_t>(max_points));
    if (m.LastVar >= 2) offsets0.reserve(static_cast<std::size_t>(points[0]));
  } catch (const std::bad_alloc&) {
    return fail(ComputeOutcome::Error, "There is not enough memory for the computation's tables.");
  } catch (const std::system_error&) {
    return fail(ComputeOutcome::Error, "The computation's threads could not be started.");
  }

  // Step 4: the coefficients, k0 fastest.
  {
    const double* c = m.Coefficients.data();
    for (std::int64_t k3 = 0; k3 < terms[3]; ++k3)
      for (std::int64_t k2 = 0; k2 < terms[2]; ++k2)
        for (std::int64_t k1 = 0; k1 < terms[1]; ++k1) {
          std::memcpy(&m.Results(0, k1, k2, k3), c, static_cast<std::size_t>(terms[0]) * sizeof(double));
          c += terms[0];
        }
  }

  // Step 6: the evenly spaced grids from their limits.
  m.BuildGrids();

  // Step 7: transform from the highest variable down to variable 0.
  CancelState cancel{&progress, 0, 0, false};
  {
    // Multiply-adds of the whole computation, for progress.
    std::array<std::int64_t, 4> shape = terms;
    long double total = 0;
    for (int v = m.LastVar; v >= 0; --v) {
      long double runs = 1;
      for (int u = 0; u < 4; ++u)
        if (u != v) runs *= static_cast<long double>(shape[u]);
      total += runs * static_cast<long double>(points[v]) * static_cast<long double>(terms[v]);
      shape[v] = points[v];
    }
    cancel.total = static_cast<std::uint64_t>(total);
  }
  // The message of a failed transform of variable v.
  auto transform_failure = [&](TransformOutcome outcome, int v) {
    switch (outcome) {
      case TransformOutcome::BasisNotFinite:
        return fail(ComputeOutcome::Error,
                    Capital(VariableLabel(m, v)) + ": the basis functions (derivative order " +
                        IntegerText(m.DerOrder[v]) +
                        ") overflow or are undefined at the grid points; reduce the derivative order, "
                        "the number of terms or the grid's distance from the centre.");
      case TransformOutcome::Stopped:
        return fail(ComputeOutcome::Cancelled, "The computation was cancelled.");
      case TransformOutcome::NoMemory:
        return fail(ComputeOutcome::Error, "There is not enough memory for the computation's tables.");
      default:
        return fail(ComputeOutcome::Error,
                    "The values overflow (or an operation is undefined) in the sums over the terms of " +
                        VariableLabel(m, v) + ": a result is beyond the range of a double.");
    }
  };
  // The centre offsets of variable v's grid points; false when one is not a
  // number of the doubles.
  auto fill_offsets = [&](int v, std::vector<double>& out, std::int64_t& bad_index) {
    m.CurVar = v;
    out.resize(static_cast<std::size_t>(points[v]));
    for (std::int64_t j = 0; j < points[v]; ++j) {
      const double u = m.CenterOffset(v, j);
      if (!std::isfinite(u)) {
        bad_index = j;
        return false;
      }
      out[static_cast<std::size_t>(j)] = u;
    }
    return true;
  };
  auto make_rule = [&](int v, const std::vector<double>& offs) {
    return m.IsPower[v] ? MakePowerRule(offs, m.LastTerm[v], m.DerOrder[v])
                        : MakeTrigRule(offs, m.LastTerm[v], m.DerOrder[v], m.Period[v]);
  };
  auto madds_of = [&](int v, const std::array<std::int64_t, 4>& now) {
    long double runs = 1;
    for (int u = 0; u < 4; ++u)
      if (u != v) runs *= static_cast<long double>(now[u]);
    return static_cast<std::uint64_t>(runs * static_cast<long double>(points[v] * terms[v]));
  };
  std::array<std::int64_t, 4> shape_now = terms;
  for (int v = m.LastVar; v >= 0; --v) {
    std::int64_t bad = 0;
    if (!fill_offsets(v, offsets, bad))
      return fail(ComputeOutcome::Error, Capital(VariableLabel(m, v)) + ": grid value " + IntegerText(bad) +
                                             " lies beyond the range of a double from the centre.");
    const BasisRule rule = make_rule(v, offsets);
    TransformShape shape;
    shape.v = v;
    shape.terms = terms;
    shape.points = points;
    const auto poll = [&](std::uint64_t done) { return !progress || progress(cancel.done + done, cancel.total); };

    // Variables 1 and 0 together, slab by slab, where that keeps the values
    // in cache (and variable 0's grid is sound: else its message comes in
    // its turn).
    std::int64_t bad0 = 0;
    if (v == 1 && m.LastVar >= 2 && transformer->CanTransformLastTwo(m.Results, shape) &&
        fill_offsets(0, offsets0, bad0)) {
      m.CurVar = 1;
      const BasisRule rule0 = make_rule(0, offsets0);
      int failed_var = 1;
      const TransformOutcome outcome = transformer->TransformLastTwo(m.Results, shape, rule, rule0, poll, failed_var);
      if (outcome != TransformOutcome::Ok) return transform_failure(outcome, failed_var);
      cancel.done += madds_of(1, shape_now);
      shape_now[1] = points[1];
      cancel.done += madds_of(0, shape_now);
      shape_now[0] = points[0];
      if (progress && !progress(cancel.done, cancel.total))
        return fail(ComputeOutcome::Cancelled, "The computation was cancelled.");
      break;
    }
    m.CurVar = v;

    const TransformOutcome outcome = transformer->Transform(m.Results, shape, rule, poll);
    if (outcome != TransformOutcome::Ok) return transform_failure(outcome, v);
    cancel.done += madds_of(v, shape_now);
    shape_now[v] = points[v];
    if (progress && !progress(cancel.done, cancel.total))
      return fail(ComputeOutcome::Cancelled, "The computation was cancelled.");
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.CurVar = -1;
  m.ResultsReady = true;
  return {ComputeOutcome::Ok, {}, seconds};
}

}  // namespace tabulor
