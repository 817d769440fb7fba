#include "engine/basis.h"

#include <cfloat>
#include <cmath>

namespace tabulor {

void BasisTable::Reset(std::int64_t n_terms, std::int64_t n_points) {
  terms = n_terms;
  points = n_points;
  values.assign(static_cast<std::size_t>(n_terms * n_points), 0.0);
}

bool BasisTable::AllFinite() const {
  bool bad = false;
  for (double x : values) bad |= !(std::fabs(x) <= DBL_MAX);
  return !bad;
}

void BuildPowerBasis(BasisTable& table, const std::vector<double>& offsets, std::int32_t last_term,
                     std::int32_t der_order) {
  const std::int64_t n = last_term, d = der_order;
  const std::int64_t points = static_cast<std::int64_t>(offsets.size());
  table.Reset(n + 1, points);
  if (d > n) return;
  // k!/(k-d)! does not depend on the grid point: the same products for all.
  std::vector<double> factor(static_cast<std::size_t>(n + 1), 0.0);
  for (std::int64_t k = d; k <= n; ++k) {
    double f = 1.0;
    for (std::int64_t i = k - d + 1; i <= k; ++i) f = static_cast<double>(i) * f;
    factor[static_cast<std::size_t>(k)] = f;
  }
  for (std::int64_t j = 0; j < points; ++j) {
    const double u = offsets[static_cast<std::size_t>(j)];
    double p = 1.0;
    for (std::int64_t k = d; k <= n; ++k) {
      table.at(k, j) = factor[static_cast<std::size_t>(k)] * p;
      p = p * u;
    }
  }
}

void BuildTrigBasis(BasisTable& table, const std::vector<double>& offsets, std::int32_t last_term,
                    std::int32_t der_order, double period) {
  const std::int64_t n = last_term;
  const std::int64_t points = static_cast<std::int64_t>(offsets.size());
  table.Reset(n + 1, points);
  const double w = std::atan(1.0) * 8.0 / period;
  const double d = static_cast<double>(der_order);
  const bool odd = (der_order & 1) != 0;
  const bool negate = der_order % 4 == 2 || der_order % 4 == 3;
  // W and W^d depend on the multiple only, the same for every grid point.
  std::vector<double> wpow(static_cast<std::size_t>(n + 1), 0.0);
  {
    double big_w = 0.0;
    for (std::int64_t k = 1; k <= n; ++k) {
      if (k & 1) big_w = w + big_w;
      wpow[static_cast<std::size_t>(k)] = std::pow(big_w, d);
    }
  }
  for (std::int64_t j = 0; j < points; ++j) {
    if (der_order == 0) table.at(0, j) = 1.0;
    const double t = w * offsets[static_cast<std::size_t>(j)];
    double a = 0.0;
    for (std::int64_t k = 1; k <= n; ++k) {
      double s;
      if (k & 1) {
        a = a + t;
        s = odd ? std::cos(a) : std::sin(a);
      } else {
        s = odd ? -std::sin(a) : std::cos(a);
      }
      if (negate) s = -s;
      table.at(k, j) = wpow[static_cast<std::size_t>(k)] * s;
    }
  }
}

}  // namespace tabulor
