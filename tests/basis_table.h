// A whole basis table built through the engine's panels with one panel as
// wide as the grid, so that tests can look at single basis values.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/basis.h"

namespace tabulor::testing {

// Term-major: at(k, j) is the d-th derivative of basis function k at grid
// point j. Entries the rules do not write are 0.
struct BasisTable {
  std::int64_t terms = 0;      // N + 1
  std::int64_t points = 0;     // M + 1
  std::vector<double> values;  // terms * points

  void Reset(std::int64_t n_terms, std::int64_t n_points) {
    terms = n_terms;
    points = n_points;
    values.assign(static_cast<std::size_t>(n_terms * n_points), 0.0);
  }
  double at(std::int64_t k, std::int64_t j) const { return values[static_cast<std::size_t>(k * points + j)]; }
};

// Power basis: at(k, j) = k!/(k-d)! * u^(k-d) for k >= d, u = offsets[j].
inline void BuildPowerBasis(BasisTable& table, const std::vector<double>& offsets, std::int32_t last_term,
                            std::int32_t der_order) {
  const std::int64_t points = static_cast<std::int64_t>(offsets.size());
  table.Reset(static_cast<std::int64_t>(last_term) + 1, points);
  if (points == 0 || der_order > last_term) return;
  const BasisRule rule = MakePowerRule(offsets, last_term, der_order);
  BuildBasisPanels(rule, points, 0, points, table.values.data());
}

// Trigonometric basis: constant, sin t, cos t, sin 2t, cos 2t, ...
inline void BuildTrigBasis(BasisTable& table, const std::vector<double>& offsets, std::int32_t last_term,
                           std::int32_t der_order, double period) {
  const std::int64_t points = static_cast<std::int64_t>(offsets.size());
  table.Reset(static_cast<std::int64_t>(last_term) + 1, points);
  if (points == 0) return;
  const BasisRule rule = MakeTrigRule(offsets, last_term, der_order, period);
  BuildBasisPanels(rule, points, 0, points, table.values.data());
}

}  // namespace tabulor::testing
