// The basis table of one variable as the rules state it, one operation
// after another: the reference the engine's tables and transforms are
// compared with bit for bit (tests and the compute fuzzer).
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/exact_math.h"
#include "model/dimension.h"

namespace tabulor::reference {

// b[j * terms + k]: the d-th derivative of basis function k of variable v at
// the offset u[j] from its centre, for k = 0 .. terms-1.
inline std::vector<double> Basis(const Dimension& m, int v, const std::vector<double>& u, std::int64_t terms) {
  const std::int64_t d = m.DerOrder[v];
  const std::int64_t points = static_cast<std::int64_t>(u.size());
  std::vector<double> b(static_cast<std::size_t>(points * terms), 0.0);
  auto at = [&](std::int64_t j, std::int64_t k) -> double& { return b[static_cast<std::size_t>(j * terms + k)]; };
  if (m.IsPower[v]) {
    for (std::int64_t j = 0; j < points; ++j) {
      double p = 1.0;
      for (std::int64_t k = d; k < terms; ++k) {
        double f = 1.0;
        for (std::int64_t i = k - d + 1; i <= k; ++i) f = static_cast<double>(i) * f;
        at(j, k) = f * p;
        p = p * u[static_cast<std::size_t>(j)];
      }
    }
    return b;
  }
  // The correctly rounded arc tangent, sine, cosine and power, here straight
  // from MPFR.
  const double w = exact::kQuarterPi * 8.0 / m.Period[v];
  for (std::int64_t j = 0; j < points; ++j) {
    if (d == 0) at(j, 0) = 1.0;
    const double t = w * u[static_cast<std::size_t>(j)];
    double a = 0.0, big_w = 0.0, sn = 0.0, cs = 0.0;
    for (std::int64_t k = 1; k < terms; ++k) {
      double s;
      if (k % 2 == 1) {
        a = a + t;
        big_w = w + big_w;
        exact::SinCosMpfr(a, &sn, &cs);
        s = d % 2 == 0 ? sn : cs;
      } else {
        s = d % 2 == 0 ? cs : -sn;
      }
      if (d % 4 == 2 || d % 4 == 3) s = -s;
      at(j, k) = exact::Pow(big_w, static_cast<long>(d)) * s;
    }
  }
  return b;
}

// The offsets GridX(j) - Center of variable v, j = 0 .. LastPoint.
inline std::vector<double> Offsets(const Dimension& m, int v) {
  std::vector<double> u(static_cast<std::size_t>(m.LastPoint[v]) + 1);
  for (std::size_t j = 0; j < u.size(); ++j) u[j] = m.GridX[v][j] - m.Center[v];
  return u;
}

}  // namespace tabulor::reference
