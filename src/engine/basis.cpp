#include "engine/basis.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

#include "engine/exact_math.h"
#include "engine/kernels.h"

namespace tabulor {

namespace {

// What both kinds of rule hold: the kind, the terms, the order, the points.
BasisRule RuleFor(bool power, const std::vector<double>& offsets, std::int32_t last_term, std::int32_t der_order) {
  BasisRule rule;
  rule.power = power;
  rule.terms = static_cast<std::int64_t>(last_term) + 1;
  rule.der_order = der_order;
  rule.offsets = offsets.data();
  rule.points = static_cast<std::int64_t>(offsets.size());
  return rule;
}

}  // namespace

BasisRule MakePowerRule(const std::vector<double>& offsets, std::int32_t last_term, std::int32_t der_order) {
  BasisRule rule = RuleFor(true, offsets, last_term, der_order);
  // k!/(k-d)! does not depend on the grid point: the same products for all.
  rule.factor.assign(static_cast<std::size_t>(rule.terms), 0.0);
  const std::int64_t d = std::max<std::int32_t>(der_order, 0);
  for (std::int64_t k = d; k < rule.terms; ++k) {
    double f = 1.0;
    for (std::int64_t i = k - d + 1; i <= k; ++i) f = static_cast<double>(i) * f;
    rule.factor[static_cast<std::size_t>(k)] = f;
  }
  return rule;
}

BasisRule MakeTrigRule(const std::vector<double>& offsets, std::int32_t last_term, std::int32_t der_order,
                       double period) {
  BasisRule rule = RuleFor(false, offsets, last_term, der_order);
  rule.w = exact::kQuarterPi * 8.0 / period;
  // W and W^d depend on the multiple only, the same for every grid point;
  // W^d correctly rounded.
  rule.factor.assign(static_cast<std::size_t>(rule.terms), 0.0);
  double big_w = 0.0;
  for (std::int64_t k = 1; k < rule.terms; ++k) {
    if (k & 1) big_w = rule.w + big_w;
    rule.factor[static_cast<std::size_t>(k)] = exact::Pow(big_w, der_order);
  }
  return rule;
}

namespace {

// Points are handled in groups of this many, so that the powers of a group
// stay in registers and the loops over a group vectorise.
constexpr std::int64_t kGroup = 32;

// Rows d..n-1 of `count` points: p = u^(k-d) by repeated multiplication from
// 1, value = factor * p. Returns false when a value is an infinity or NaN
// (value - value is then NaN, not 0).
template <int kCount>
bool PowerRows(const double* u, const double* factor, std::int64_t d, std::int64_t n, std::int64_t count, double* out,
               std::int64_t row) {
  const std::int64_t c = kCount > 0 ? kCount : count;
  double p[kGroup], check[kGroup];
  for (std::int64_t i = 0; i < c; ++i) {
    p[i] = 1.0;
    check[i] = 0.0;
  }
  for (std::int64_t k = 0; k < d; ++k)
    for (std::int64_t i = 0; i < c; ++i) out[k * row + i] = 0.0;
  for (std::int64_t k = d; k < n; ++k) {
    const double f = factor[k];
    double* o = out + k * row;
    for (std::int64_t i = 0; i < c; ++i) {
      const double b = f * p[i];
      o[i] = b;
      check[i] = check[i] + (b - b);
      p[i] = p[i] * u[i];
    }
  }
  bool ok = true;
  for (std::int64_t i = 0; i < c; ++i) ok &= check[i] == check[i];
  return ok;
}

// One panel of the Power basis.
bool PowerPanel(const BasisRule& rule, std::int64_t panel, std::int64_t j0, std::int64_t j_end, double* out,
                const kernels::KernelSet* set) {
  const std::int64_t n = rule.terms;
  const std::int64_t d = std::clamp<std::int64_t>(rule.der_order, 0, n);
  const double* factor = rule.factor.data();
  if (set != nullptr && (panel == set->x_panel || panel == set->y_panel) && panel <= kGroup) {
    double u[kGroup];
    for (std::int64_t i = 0; i < panel; ++i) u[i] = rule.offsets[std::min(j0 + i, j_end - 1)];
    return panel == set->x_panel ? set->power_panel_x(u, factor, d, n, out) : set->power_panel_y(u, factor, d, n, out);
  }
  bool ok = true;
  for (std::int64_t i0 = 0; i0 < panel; i0 += kGroup) {
    const std::int64_t count = std::min(kGroup, panel - i0);
    double u[kGroup];
    for (std::int64_t i = 0; i < count; ++i) u[i] = rule.offsets[std::min(j0 + i0 + i, j_end - 1)];
    // The panel widths of the inner loops get loops of known length.
    switch (count) {
      case 4: ok &= PowerRows<4>(u, factor, d, n, count, out + i0, panel); break;
      case 6: ok &= PowerRows<6>(u, factor, d, n, count, out + i0, panel); break;
      case 8: ok &= PowerRows<8>(u, factor, d, n, count, out + i0, panel); break;
      case 16: ok &= PowerRows<16>(u, factor, d, n, count, out + i0, panel); break;
      case 24: ok &= PowerRows<24>(u, factor, d, n, count, out + i0, panel); break;
      case 32: ok &= PowerRows<32>(u, factor, d, n, count, out + i0, panel); break;
      default: ok &= PowerRows<0>(u, factor, d, n, count, out + i0, panel); break;
    }
  }
  return ok;
}

// The panels of the Trigonometric basis for points j_begin .. j_end-1: the
// angle step t = w * u of every point (the last panel filled up with the
// last point), then the kernel set's sines and cosines of its multiples.
bool TrigPanels(const BasisRule& rule, std::int64_t panel, std::int64_t j_begin, std::int64_t j_end, double* out,
                const kernels::KernelSet* set) {
  const std::int64_t points = (j_end - j_begin + panel - 1) / panel * panel;
  thread_local std::vector<double> t;
  t.resize(static_cast<std::size_t>(points));
  for (std::int64_t i = 0; i < points; ++i)
    t[static_cast<std::size_t>(i)] = rule.w * rule.offsets[std::min(j_begin + i, j_end - 1)];
  kernels::TrigPanelArgs args;
  args.t = t.data();
  args.points = points;
  args.panel = panel;
  args.terms = rule.terms;
  args.der_order = rule.der_order;
  args.factor = rule.factor.data();
  args.out = out;
  return (set != nullptr ? *set : kernels::ScalarKernels()).trig_panels(args);
}

}  // namespace

bool BuildBasisPanels(const BasisRule& rule, std::int64_t panel, std::int64_t j_begin, std::int64_t j_end, double* out,
                      const kernels::KernelSet* set) {
  if (!rule.power) return j_begin >= j_end || TrigPanels(rule, panel, j_begin, j_end, out, set);
  bool ok = true;
  for (std::int64_t j0 = j_begin; j0 < j_end; j0 += panel) {
    double* o = out + (j0 - j_begin) / panel * rule.terms * panel;
    ok &= PowerPanel(rule, panel, j0, j_end, o, set);
  }
  return ok;
}

}  // namespace tabulor
