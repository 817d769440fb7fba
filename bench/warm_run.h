// The computation's steps on a results array that is allocated and touched
// once and then reused: what repeated computations of the same shape cost
// once the memory is the process's own (a "warm" run).
#pragma once

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "cases.h"
#include "engine/basis.h"
#include "engine/transform.h"

namespace bench {

class WarmRun {
 public:
  WarmRun(const Case& c, int threads, tabulor::KernelPath path = tabulor::KernelPath::Auto)
      : transformer_(threads, path) {
    FillModel(m_, c);
    for (int v = 0; v <= m_.LastVar; ++v) {
      terms_[v] = m_.LastTerm[v] + 1;
      points_[v] = m_.LastPoint[v] + 1;
      dims_[v] = std::max(terms_[v], points_[v]);
    }
    results_.Allocate(dims_);
    std::memset(results_.data(), 1, results_.size() * sizeof(double));  // every page touched
  }

  // Coefficients in, transforms from the last variable to the first.
  // Returns false when a transform fails.
  bool Run() {
    const double* c = m_.Coefficients.data();
    for (std::int64_t k3 = 0; k3 < terms_[3]; ++k3)
      for (std::int64_t k2 = 0; k2 < terms_[2]; ++k2)
        for (std::int64_t k1 = 0; k1 < terms_[1]; ++k1) {
          std::memcpy(&results_(0, k1, k2, k3), c, static_cast<std::size_t>(terms_[0]) * sizeof(double));
          c += terms_[0];
        }
    for (int v = m_.LastVar; v >= 0; --v) {
      const tabulor::BasisRule rule = Rule(v, offsets_);
      tabulor::TransformShape shape;
      shape.v = v;
      shape.terms = terms_;
      shape.points = points_;
      // As Compute does: variables 1 and 0 slab by slab where that pays.
      if (v == 1 && m_.LastVar >= 2 && transformer_.CanTransformLastTwo(results_, shape)) {
        int failed_var = 0;
        return transformer_.TransformLastTwo(results_, shape, rule, Rule(0, offsets0_), nullptr, failed_var) ==
               tabulor::TransformOutcome::Ok;
      }
      if (transformer_.Transform(results_, shape, rule) != tabulor::TransformOutcome::Ok) return false;
    }
    return true;
  }

  tabulor::Transformer& transformer() { return transformer_; }

  tabulor::BasisRule Rule(int v, std::vector<double>& offsets) {
    offsets.resize(static_cast<std::size_t>(points_[v]));
    for (std::int64_t j = 0; j < points_[v]; ++j) offsets[static_cast<std::size_t>(j)] = m_.CenterOffset(v, j);
    return m_.IsPower[v] ? tabulor::MakePowerRule(offsets, m_.LastTerm[v], m_.DerOrder[v])
                         : tabulor::MakeTrigRule(offsets, m_.LastTerm[v], m_.DerOrder[v], m_.Period[v]);
  }
  const tabulor::ResultsArray& results() const { return results_; }

 private:
  tabulor::Dimension m_;
  tabulor::Transformer transformer_;
  tabulor::ResultsArray results_;
  std::array<std::int64_t, 4> terms_{1, 1, 1, 1}, points_{1, 1, 1, 1}, dims_{1, 1, 1, 1};
  std::vector<double> offsets_, offsets0_;
};

}  // namespace bench
