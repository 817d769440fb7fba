// Tables of basis functions (or their derivatives) at a variable's grid points.
#pragma once

#include <cstdint>
#include <vector>

namespace tabulor {

namespace kernels {
struct KernelSet;
}

// What the basis of one variable needs, prepared once per variable, so that
// the table can be built piece by piece (for example in tiles that stay in
// cache while they are used) with the same bits as the whole table.
struct BasisRule {
  bool power = true;
  std::int64_t terms = 0;           // N + 1
  std::int32_t der_order = 0;       // d (at least 0)
  double w = 0.0;                   // Trigonometric: atan(1) * 8 / period
  std::vector<double> factor;       // Power: k!/(k-d)!; Trigonometric: W^d of term k
  const double* offsets = nullptr;  // u of every grid point
  std::int64_t points = 0;          // M + 1
};

BasisRule MakePowerRule(const std::vector<double>& offsets, std::int32_t last_term, std::int32_t der_order);
BasisRule MakeTrigRule(const std::vector<double>& offsets, std::int32_t last_term, std::int32_t der_order,
                       double period);

// Writes the basis values of the grid points j_begin .. j_end-1 in panels of
// `panel` points: the value of term k at point j_begin + p * panel + i goes
// to out[p * terms * panel + k * panel + i]. The last panel is filled up by
// repeating the last point. Returns false when a value is an infinity or NaN.
// With `set`, panels of its widths use its vector loops (the same bits).
bool BuildBasisPanels(const BasisRule& rule, std::int64_t panel, std::int64_t j_begin, std::int64_t j_end, double* out,
                      const kernels::KernelSet* set = nullptr);

}  // namespace tabulor
