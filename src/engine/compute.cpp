#include "engine/compute.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <system_error>

#include "engine/basis.h"
#include "engine/transform.h"
#include "model/limits.h"
#include "model/number_text.h"

namespace tabulor {

namespace {

// The blocks of the transforms, counted as working memory: 4 << 20
// doubles (32 MB) are ample.
constexpr std::uint64_t kTransformBlockDoubles = 4 << 20;

std::array<std::int64_t, 4> ResultDims(const Dimension& m) {
  std::array<std::int64_t, 4> dims{1, 1, 1, 1};
  for (int v = 0; v <= m.LastVar; ++v) dims[v] = static_cast<std::int64_t>(std::max(m.LastTerm[v], m.LastPoint[v])) + 1;
  return dims;
}

}  // namespace

std::string CheckComputable(const Dimension& m) {
  if (m.LastVar < 0 || m.LastVar > 3) return "The number of variables is outside 1 to 4.";
  for (int v = 0; v <= m.LastVar; ++v) {
    const std::string who = CapitalVariableLabel(m, v);
    if (m.LastTerm[v] < 0) return who + ": the number of terms is below 1.";
    if (m.LastPoint[v] < 0) return who + ": the number of grid points is below 1.";
    if (m.DerOrder[v] < 0) return who + ": the derivative order " + IntegerText(m.DerOrder[v]) + " is negative.";
    if (!m.IsPower[v] && m.Period[v] == 0.0)
      return who + ": the period is 0, so the angle of a Trigonometric term is undefined.";
    if (!std::isfinite(m.Period[v]) || !std::isfinite(m.Center[v]))
      return who + ": the centre or the period is not a finite number.";
    if (m.GridX[v].size() < static_cast<std::size_t>(m.LastPoint[v]) + 1 && !m.EvenlySpaced[v])
      return who + ": the grid has " + IntegerText(static_cast<std::int64_t>(m.GridX[v].size())) + " values for " +
             IntegerText(static_cast<std::int64_t>(m.LastPoint[v]) + 1) + " grid points.";
    if (!m.EvenlySpaced[v]) {
      for (std::int32_t j = 0; j <= m.LastPoint[v]; ++j)
        if (!std::isfinite(m.GridX[v][static_cast<std::size_t>(j)]))
          return who + ": grid value " + IntegerText(j) + " is not a finite number.";
    } else if (!std::isfinite(m.LowerLimit[v]) || !std::isfinite(m.UpperLimit[v])) {
      return who + ": the grid limits are not finite numbers.";
    } else if (m.LastPoint[v] > 0 && !std::isfinite(m.UpperLimit[v] - m.LowerLimit[v])) {
      return who +
             ": the grid limits are so far apart that the distance between them is beyond the range "
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
  // blocks of the transforms.
  auto dims = ResultDims(m);
  long double total = 1;
  for (auto d : dims) total *= static_cast<long double>(d);
  std::uint64_t basis = 0, max_points = 1;
  for (int v = 0; v <= m.LastVar; ++v) {
    basis = std::max<std::uint64_t>(
        basis, (static_cast<std::uint64_t>(m.LastTerm[v]) + 1) * (static_cast<std::uint64_t>(m.LastPoint[v]) + 1));
    max_points = std::max<std::uint64_t>(max_points, static_cast<std::uint64_t>(m.LastPoint[v]) + 1);
  }
  basis = std::min<std::uint64_t>(basis, Transformer::kWholeBasisBytes / sizeof(double));
  if (m.LastVar >= 2) basis *= 2;
  const long double need = total + static_cast<long double>(basis) + static_cast<long double>(max_points) * 3 +
                           static_cast<long double>(kTransformBlockDoubles);
  if (need > 1.8e19L) return "The results array is larger than any memory can hold.";
  if (auto too_big =
          CheckDoublesFit(static_cast<std::uint64_t>(need), "The results array with the computation's working memory"))
    return *too_big + ".";
  return {};
}

ComputeResult Compute(Dimension& m, const ProgressFn& progress) { return Compute(m, progress, ComputeOptions{}); }

namespace {

// One computation, phase by phase: the bounds, the results array with the
// coefficients, the grids, and the transforms from the highest variable
// down to variable 0. A failure clears the results and puts Extent and
// LastPt back.
class Computation {
 public:
  Computation(Dimension& m, const ProgressFn& progress) : m_(m), progress_(progress) {}

  ComputeResult Run(const ComputeOptions& options) {
    saved_extent_ = m_.Extent;
    saved_last_pt_ = m_.LastPt;
    m_.ResultsReady = false;
    if (std::string why = CheckComputable(m_); !why.empty()) return Fail(ComputeOutcome::Error, why);
    SetBounds();
    const auto start = std::chrono::steady_clock::now();
    if (std::optional<ComputeResult> failed = MakeWorkingMemory(options)) return *failed;
    CopyCoefficients();
    m_.BuildGrids();
    CountMultiplyAdds();
    if (std::optional<ComputeResult> failed = TransformAll()) return *failed;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m_.ResultsReady = true;
    return {ComputeOutcome::Ok, {}, seconds};
  }

 private:
  ComputeResult Fail(ComputeOutcome outcome, std::string message) {
    m_.Results.Clear();
    m_.ResultsReady = false;
    m_.Extent = saved_extent_;
    m_.LastPt = saved_last_pt_;
    return ComputeResult{outcome, std::move(message)};
  }
  ComputeResult Cancelled() { return Fail(ComputeOutcome::Cancelled, "The computation was cancelled."); }

  // The bounds of this computation and the extents.
  void SetBounds() {
    for (int v = 0; v < kSlots; ++v) {
      const bool present = m_.IsPresent(v);
      m_.LastPt[v] = present ? m_.LastPoint[v] : 0;
      m_.Extent[v] = present ? std::max(m_.LastTerm[v], m_.LastPoint[v]) : 0;
      if (present) {
        terms_[v] = static_cast<std::int64_t>(m_.LastTerm[v]) + 1;
        points_[v] = static_cast<std::int64_t>(m_.LastPoint[v]) + 1;
      }
    }
  }

  // Results, all 0, as one block; the threads and offsets once.
  std::optional<ComputeResult> MakeWorkingMemory(const ComputeOptions& options) {
    if (!m_.Results.Allocate(ResultDims(m_)))
      return Fail(ComputeOutcome::Error, "There is not enough memory for the results array.");
    std::int64_t max_points = 1;
    for (int v = 0; v <= m_.LastVar; ++v) max_points = std::max(max_points, points_[v]);
    try {
      transformer_ = std::make_unique<Transformer>(options.threads, options.kernels);
      transformer_->SetSlabMode(options.slabs);
      offsets_.reserve(static_cast<std::size_t>(max_points));
      if (m_.LastVar >= 2) offsets0_.reserve(static_cast<std::size_t>(points_[0]));
    } catch (const std::bad_alloc&) {
      return Fail(ComputeOutcome::Error, "There is not enough memory for the computation's tables.");
    } catch (const std::system_error&) {
      return Fail(ComputeOutcome::Error, "The computation's threads could not be started.");
    }
    return std::nullopt;
  }

  // The coefficients into Results, k0 fastest.
  void CopyCoefficients() {
    const double* c = m_.Coefficients.data();
    for (std::int64_t k3 = 0; k3 < terms_[3]; ++k3)
      for (std::int64_t k2 = 0; k2 < terms_[2]; ++k2)
        for (std::int64_t k1 = 0; k1 < terms_[1]; ++k1) {
          std::memcpy(&m_.Results(0, k1, k2, k3), c, static_cast<std::size_t>(terms_[0]) * sizeof(double));
          c += terms_[0];
        }
  }

  // The multiply-adds of transforming variable v when the other dimensions
  // have the sizes `now`.
  std::uint64_t MultiplyAdds(int v, const std::array<std::int64_t, 4>& now) const {
    long double runs = 1;
    for (int u = 0; u < 4; ++u)
      if (u != v) runs *= static_cast<long double>(now[u]);
    return static_cast<std::uint64_t>(runs * static_cast<long double>(points_[v] * terms_[v]));
  }

  // Multiply-adds of the whole computation, for progress.
  void CountMultiplyAdds() {
    std::array<std::int64_t, 4> shape = terms_;
    long double total = 0;
    for (int v = m_.LastVar; v >= 0; --v) {
      long double runs = 1;
      for (int u = 0; u < 4; ++u)
        if (u != v) runs *= static_cast<long double>(shape[u]);
      total += runs * static_cast<long double>(points_[v]) * static_cast<long double>(terms_[v]);
      shape[v] = points_[v];
    }
    total_ = static_cast<std::uint64_t>(total);
    shape_now_ = terms_;
  }

  // Variable v done: its multiply-adds counted; false when progress asks
  // to stop.
  bool Done(int v) {
    done_ += MultiplyAdds(v, shape_now_);
    shape_now_[v] = points_[v];
    return !progress_ || progress_(done_, total_);
  }

  // The centre offsets of variable v's grid points; false (with the index
  // in `bad`) when one is not a number of the doubles.
  bool FillOffsets(int v, std::vector<double>& out, std::int64_t& bad) const {
    out.resize(static_cast<std::size_t>(points_[v]));
    for (std::int64_t j = 0; j < points_[v]; ++j) {
      const double u = m_.CenterOffset(v, j);
      if (!std::isfinite(u)) {
        bad = j;
        return false;
      }
      out[static_cast<std::size_t>(j)] = u;
    }
    return true;
  }

  BasisRule RuleFor(int v, const std::vector<double>& offsets) const {
    return m_.IsPower[v] ? MakePowerRule(offsets, m_.LastTerm[v], m_.DerOrder[v])
                         : MakeTrigRule(offsets, m_.LastTerm[v], m_.DerOrder[v], m_.Period[v]);
  }

  // The message of a failed transform of variable v.
  ComputeResult TransformFailure(TransformOutcome outcome, int v) {
    switch (outcome) {
      case TransformOutcome::BasisNotFinite:
        return Fail(ComputeOutcome::Error,
                    CapitalVariableLabel(m_, v) + ": the basis functions (derivative order " +
                        IntegerText(m_.DerOrder[v]) +
                        ") overflow or are undefined at the grid points; reduce the derivative order, "
                        "the number of terms or the grid's distance from the centre.");
      case TransformOutcome::Stopped: return Cancelled();
      case TransformOutcome::NoMemory:
        return Fail(ComputeOutcome::Error, "There is not enough memory for the computation's tables.");
      default:
        return Fail(ComputeOutcome::Error,
                    "The values overflow (or an operation is undefined) in the sums over the terms of " +
                        VariableLabel(m_, v) + ": a result is beyond the range of a double.");
    }
  }

  TransformShape Shape(int v) const {
    TransformShape shape;
    shape.v = v;
    shape.terms = terms_;
    shape.points = points_;
    return shape;
  }

  TransformPoll Poll() const {
    return [this](std::uint64_t done) { return !progress_ || progress_(done_ + done, total_); };
  }

  // Variables 1 and 0 together, slab by slab, where that keeps the values
  // in cache (and variable 0's grid is sound: else its message comes in its
  // turn). Nothing when they were transformed, else why not.
  std::optional<ComputeResult> TransformLastTwo(const BasisRule& rule1) {
    const TransformShape shape = Shape(1);
    int failed_var = 1;
    const TransformOutcome outcome =
        transformer_->TransformLastTwo(m_.Results, shape, rule1, RuleFor(0, offsets0_), Poll(), failed_var);
    if (outcome != TransformOutcome::Ok) return TransformFailure(outcome, failed_var);
    done_ += MultiplyAdds(1, shape_now_);
    shape_now_[1] = points_[1];
    if (!Done(0)) return Cancelled();
    return std::nullopt;
  }

  // From the highest variable down to variable 0.
  std::optional<ComputeResult> TransformAll() {
    for (int v = m_.LastVar; v >= 0; --v) {
      std::int64_t bad = 0;
      if (!FillOffsets(v, offsets_, bad))
        return Fail(ComputeOutcome::Error, CapitalVariableLabel(m_, v) + ": grid value " + IntegerText(bad) +
                                               " lies beyond the range of a double from the centre.");
      const BasisRule rule = RuleFor(v, offsets_);
      std::int64_t bad0 = 0;
      if (v == 1 && m_.LastVar >= 2 && transformer_->CanTransformLastTwo(m_.Results, Shape(v)) &&
          FillOffsets(0, offsets0_, bad0))
        return TransformLastTwo(rule);
      const TransformOutcome outcome = transformer_->Transform(m_.Results, Shape(v), rule, Poll());
      if (outcome != TransformOutcome::Ok) return TransformFailure(outcome, v);
      if (!Done(v)) return Cancelled();
    }
    return std::nullopt;
  }

  Dimension& m_;
  const ProgressFn& progress_;
  std::array<std::int32_t, kSlots> saved_extent_{}, saved_last_pt_{};
  std::array<std::int64_t, 4> terms_{1, 1, 1, 1}, points_{1, 1, 1, 1}, shape_now_{1, 1, 1, 1};
  std::unique_ptr<Transformer> transformer_;
  std::vector<double> offsets_, offsets0_;
  std::uint64_t done_ = 0, total_ = 0;
};

}  // namespace

ComputeResult Compute(Dimension& m, const ProgressFn& progress, const ComputeOptions& options) {
  return Computation(m, progress).Run(options);
}

}  // namespace tabulor
