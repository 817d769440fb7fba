// Tables of basis functions (or their derivatives) at a variable's grid points.
#pragma once

#include <cstdint>
#include <vector>

namespace tabulor {

// The table for one variable, stored term-major: at(k, j) is the d-th
// derivative of basis function k at grid point j. Entries that the rules do
// not write are 0.
struct BasisTable {
  std::int64_t terms = 0;   // N + 1
  std::int64_t points = 0;  // M + 1
  std::vector<double> values;  // terms * points

  void Reset(std::int64_t n_terms, std::int64_t n_points);
  double& at(std::int64_t k, std::int64_t j) { return values[static_cast<std::size_t>(k * points + j)]; }
  double at(std::int64_t k, std::int64_t j) const { return values[static_cast<std::size_t>(k * points + j)]; }
  const double* row(std::int64_t k) const { return values.data() + k * points; }
  bool AllFinite() const;
};

// Power basis: at(k, j) = k!/(k-d)! * u^(k-d) for k >= d, u = offsets[j], the
// power built by repeated multiplication from exactly 1, the factor by
// multiplying i = k-d+1 .. k in increasing order onto 1.
void BuildPowerBasis(BasisTable& table, const std::vector<double>& offsets, std::int32_t last_term,
                     std::int32_t der_order);

// Trigonometric basis: constant, sin t, cos t, sin 2t, cos 2t, ... with
// t = w * u, w = atan(1) * 8 / period, the angle and the multiple of w
// accumulated by repeated addition, each term times W^d.
void BuildTrigBasis(BasisTable& table, const std::vector<double>& offsets, std::int32_t last_term,
                    std::int32_t der_order, double period);

}  // namespace tabulor
