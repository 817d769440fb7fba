// The benchmark cases S1 .. S4: evenly spaced grids, coefficients 1/(1 + i % 97).
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "model/dimension.h"

namespace bench {

struct VarSpec {
  bool power;
  int terms;
  int points;
  int der;
  double lo, hi, center, period;
};

struct Case {
  std::string name;
  std::vector<VarSpec> vars;
};

inline const double kTwoPi = 8 * std::atan(1.0);

inline std::vector<Case> Cases() {
  return {
      {"S1", {{true, 200, 1000000, 1, -1, 1, 0, kTwoPi}}},
      {"S1T", {{false, 200, 1000000, 1, 0, kTwoPi, 0, kTwoPi}}},
      {"S2", {{false, 100, 6000, 0, 0, kTwoPi, 0, kTwoPi}, {true, 100, 6000, 1, -1, 1, 0, kTwoPi}}},
      {"S3", {{true, 60, 400, 0, -1, 1, 0, 1}, {false, 60, 400, 1, 0, 1, 0, 1}, {true, 60, 400, 2, 0, 2, 1, 1}}},
      {"S4",
       {{false, 20, 100, 0, 0, kTwoPi, 0, kTwoPi},
        {true, 20, 100, 0, -1, 1, 0, kTwoPi},
        {false, 20, 100, 2, 0, kTwoPi, 0, kTwoPi},
        {true, 20, 100, 1, -1, 1, 0, kTwoPi}}},
  };
}

inline const Case* FindCase(const std::string& name) {
  static const std::vector<Case> all = Cases();
  for (const Case& c : all)
    if (c.name == name) return &c;
  return nullptr;
}

inline void FillModel(tabulor::Dimension& m, const Case& c) {
  m.LastVar = static_cast<int>(c.vars.size()) - 1;
  std::size_t coeffs = 1;
  for (std::size_t v = 0; v < c.vars.size(); ++v) {
    const VarSpec& s = c.vars[v];
    m.VarName[v] = std::string(1, static_cast<char>('x' + v));
    m.IsPower[v] = s.power;
    m.LowerLimit[v] = s.lo;
    m.UpperLimit[v] = s.hi;
    m.Center[v] = s.center;
    m.Period[v] = s.period;
    m.LastTerm[v] = s.terms - 1;
    m.LastPoint[v] = s.points - 1;
    m.DerOrder[v] = s.der;
    m.EvenlySpaced[v] = true;
    coeffs *= static_cast<std::size_t>(s.terms);
  }
  m.Coefficients.resize(coeffs);
  for (std::size_t i = 0; i < coeffs; ++i) m.Coefficients[i] = 1.0 / static_cast<double>(1 + i % 97);
  m.BuildGrids();
}

// Multiply-adds of the transforms: runs x (M+1) x (N+1) summed over the
// variables, transformed from the last to the first.
inline double MultiplyAdds(const Case& c) {
  double madds = 0;
  std::array<double, 4> shape{1, 1, 1, 1};
  for (std::size_t v = 0; v < c.vars.size(); ++v) shape[v] = c.vars[v].terms;
  for (int v = static_cast<int>(c.vars.size()) - 1; v >= 0; --v) {
    double runs = 1;
    for (int u = 0; u < 4; ++u)
      if (u != v) runs *= shape[static_cast<std::size_t>(u)];
    madds += runs * c.vars[static_cast<std::size_t>(v)].points * c.vars[static_cast<std::size_t>(v)].terms;
    shape[static_cast<std::size_t>(v)] = c.vars[static_cast<std::size_t>(v)].points;
  }
  return madds;
}

// Bytes of Results: the product of max(terms, points) over the variables.
inline double ResultsBytes(const Case& c) {
  double n = 8;
  for (const VarSpec& s : c.vars) n *= s.terms > s.points ? s.terms : s.points;
  return n;
}

}  // namespace bench
