// The inner loops of the transform, one set per vector width.
//
// A block computes out(a, b) = sum over k (increasing, from 0.0) of
// x(a, k) * y(k, b) for a range of items a (runs or grid points) and lanes b
// (grid points or runs), with each sum formed term by term exactly as the
// plain loop forms it: s = x * y + s. Many sums are kept side by side in
// vector registers; no sum is split or reordered, so every width gives the
// same bits.
//
// Both operands come in panels. A panel of x holds `x_panel` items:
// x[p][k][i] (item p * x_panel + i), k = 0..nk-1. A panel of y holds
// `y_panel` lanes: y[p][k][l] (lane p * y_panel + l). Padding items and lanes
// of the last panel are computed but never stored.
#pragma once

#include <cstdint>

namespace tabulor::kernels {

// The most items an x panel holds, in any set.
constexpr int kMaxXPanel = 8;

struct BlockArgs {
  std::int64_t nk = 0;  // terms
  const double* x = nullptr;
  std::int64_t nx = 0;  // valid x items
  const double* y = nullptr;
  std::int64_t ny_panels = 0;  // y panels
  std::int64_t ny = 0;         // valid y lanes
  double* data = nullptr;      // the results array
  // Where a value goes: run r starts at data + run_base[r]; grid point j of
  // it is `stride` further per point, counted from `point0`.
  const std::int64_t* run_base = nullptr;
  std::int64_t point0 = 0;
  std::int64_t stride = 1;
  // For lanes over runs: per vector of runs, 1 when its lanes are all valid
  // and lie side by side in memory (one vector store), else 0.
  const std::uint8_t* contiguous = nullptr;
};

// Panels of the Trigonometric basis: term k of point j (angle step t[j]) goes
// to out[(j / panel) * terms * panel + k * panel + j % panel].
struct TrigPanelArgs {
  const double* t = nullptr;
  std::int64_t points = 0;
  std::int64_t panel = 0;
  std::int64_t terms = 0;
  std::int32_t der_order = 0;
  const double* factor = nullptr;  // W^d of every term
  double* out = nullptr;
};

struct KernelSet {
  const char* name;
  int width;    // doubles per vector
  int x_panel;  // items per x panel (the register block's rows)
  int y_panel;  // lanes per y panel (vectors per row times width)
  // Items = runs, lanes = grid points (the transform of dimension 0: the
  // runs are contiguous, the basis supplies the lanes). Returns false when a
  // stored value is an infinity or NaN.
  bool (*lanes_over_points)(const BlockArgs&);
  // Items = grid points, lanes = runs (other dimensions: neighbouring runs
  // lie side by side in memory).
  bool (*lanes_over_runs)(const BlockArgs&);
  // Rows d..n-1 of the Power basis for one panel of x_panel (or y_panel)
  // points: p = u^(k-d) by repeated multiplication from 1, out[k * width + i]
  // = factor[k] * p (rows below d are 0). Returns false when a value is an
  // infinity or NaN.
  bool (*power_panel_x)(const double* u, const double* factor, std::int64_t d, std::int64_t n, double* out);
  bool (*power_panel_y)(const double* u, const double* factor, std::int64_t d, std::int64_t n, double* out);
  // The Trigonometric basis, its sines and cosines correctly rounded.
  // Returns false when a value is an infinity or NaN.
  bool (*trig_panels)(const TrigPanelArgs&);
};

const KernelSet& ScalarKernels();
const KernelSet& Sse2Kernels();
const KernelSet& Wide8Kernels();
#if defined(__x86_64__)
const KernelSet& Avx2Kernels();
const KernelSet& Avx512Kernels();
#endif

}  // namespace tabulor::kernels
