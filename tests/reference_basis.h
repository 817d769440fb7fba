// The basis table of one variable and the whole computation as the rules state them, one operation after
// another: the reference the engine's tables and transforms are compared with bit for bit (tests, compute fuzzer).
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/exact_math.h"
#include "model/dimension.h"

namespace tabulor::reference {

// b[j * terms + k]: the d-th derivative of basis function k of variable v at
// the offset u[j] from its centre, for k = 0 .. terms-1; the sines, cosines
// and powers correctly rounded, here straight from MPFR.
inline std::vector<double> Basis(const Dimension& m, int v, const std::vector<double>& u, std::int64_t terms) {
  const std::int64_t d = m.DerOrder[v];
  std::vector<double> b(u.size() * static_cast<std::size_t>(terms), 0.0);
  const double w = m.IsPower[v] ? 0.0 : exact::kQuarterPi * 8.0 / m.Period[v];
  for (std::size_t j = 0; j < u.size(); ++j) {
    double* row = b.data() + j * static_cast<std::size_t>(terms);
    if (m.IsPower[v]) {
      double p = 1.0;
      for (std::int64_t k = d; k < terms; ++k) {
        double f = 1.0;
        for (std::int64_t i = k - d + 1; i <= k; ++i) f = static_cast<double>(i) * f;
        row[k] = f * p;
        p = p * u[j];
      }
      continue;
    }
    if (d == 0) row[0] = 1.0;
    const double t = w * u[j];
    double a = 0.0, big_w = 0.0, sn = 0.0, cs = 0.0;
    for (std::int64_t k = 1; k < terms; ++k) {
      if (k % 2 == 1) {
        a = a + t;
        big_w = w + big_w;
        exact::SinCosMpfr(a, &sn, &cs);
      }
      const double s = k % 2 == 1 ? (d % 2 == 0 ? sn : cs) : (d % 2 == 0 ? cs : -sn);
      row[k] = exact::Pow(big_w, static_cast<long>(d)) * (d % 4 == 2 || d % 4 == 3 ? -s : s);
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

// Results as the computation leaves them, extents max(terms, points) with k0
// fastest: the coefficients in place, then from the last variable to the
// first its basis and, run by run, s = Basis(j, k) * R(k) + s from 0.0 into
// a scratch vector that replaces the run's first points.
inline std::vector<double> Evaluate(const Dimension& m) {
  std::array<std::int64_t, 4> n{1, 1, 1, 1}, nt{1, 1, 1, 1}, np{1, 1, 1, 1}, box{}, j{};
  for (int v = 0; v <= m.LastVar; ++v)
    n[v] = std::max(nt[v] = m.LastTerm[v] + 1, np[v] = static_cast<std::int64_t>(m.LastPoint[v]) + 1);
  std::vector<double> r(static_cast<std::size_t>(n[0] * n[1] * n[2] * n[3]), 0.0);
  auto at = [&]() -> double& {
    return r[static_cast<std::size_t>(j[0] + n[0] * (j[1] + n[1] * (j[2] + n[2] * j[3])))];
  };
  // Visits every index in `box`, the first fastest.
  auto each = [&](const auto& visit) {
    for (std::int64_t i = 0; i < box[0] * box[1] * box[2] * box[3]; ++i) {
      for (std::int64_t v = 0, rest = i; v < 4; rest /= box[v++]) j[v] = rest % box[v];
      visit();
    }
  };
  box = nt;
  std::size_t c = 0;
  each([&] { at() = m.Coefficients[c++]; });
  for (int v = m.LastVar; v >= 0; --v) {
    const std::vector<double> b = Basis(m, v, Offsets(m, v), nt[v]);
    for (int u = 0; u < 4; ++u) box[u] = u == v ? 1 : u > v ? np[u] : nt[u];
    std::vector<double> scratch(static_cast<std::size_t>(np[v]));
    each([&] {
      for (std::int64_t p = 0; p < np[v]; ++p) {
        double s = 0.0;
        for (j[v] = 0; j[v] < nt[v]; ++j[v]) s = b[static_cast<std::size_t>(p * nt[v] + j[v])] * at() + s;
        scratch[static_cast<std::size_t>(p)] = s;
      }
      for (j[v] = 0; j[v] < np[v]; ++j[v]) at() = scratch[static_cast<std::size_t>(j[v])];
      j[v] = 0;
    });
  }
  return r;
}

}  // namespace tabulor::reference
