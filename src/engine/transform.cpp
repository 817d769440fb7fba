#include "engine/transform.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <new>

namespace tabulor {

namespace {
// A tile holds the new values of `width` neighbouring runs, so that each
// basis row is used on many runs while it is in cache.
constexpr std::int64_t kTileDoubles = 1 << 14;
constexpr std::int64_t kMinWidth = 8;
}  // namespace

std::int64_t TransformScratch::width(std::int64_t points) const {
  std::int64_t w = kTileDoubles / std::max<std::int64_t>(points, 1);
  w = std::max(kMinWidth, w - w % kMinWidth);
  return w;
}

bool TransformScratch::Reserve(std::int64_t max_points) {
  // width(p) * p stays within this for every p up to max_points.
  std::int64_t room = std::max(kTileDoubles, std::max<std::int64_t>(max_points, 1) * kMinWidth);
  try {
    tile_.assign(static_cast<std::size_t>(room), 0.0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

namespace {

// One contiguous run (dimension 0): out[j] over all j, k outermost.
bool RunContiguous(double* r, const BasisTable& b, double* tile) {
  const std::int64_t m = b.points, n = b.terms;
  std::fill(tile, tile + m, 0.0);
  for (std::int64_t k = 0; k < n; ++k) {
    const double rk = r[k];
    const double* bk = b.row(k);
    for (std::int64_t j = 0; j < m; ++j) tile[j] = bk[j] * rk + tile[j];
  }
  bool bad = false;
  for (std::int64_t j = 0; j < m; ++j) bad |= !(std::fabs(tile[j]) <= DBL_MAX);
  std::memcpy(r, tile, static_cast<std::size_t>(m) * sizeof(double));
  return !bad;
}

// `width` neighbouring runs starting at r, entries of a run `stride` apart.
bool RunColumns(double* r, std::int64_t stride, std::int64_t width, const BasisTable& b, double* tile) {
  const std::int64_t m = b.points, n = b.terms;
  std::fill(tile, tile + m * width, 0.0);
  for (std::int64_t k = 0; k < n; ++k) {
    const double* rk = r + k * stride;
    const double* bk = b.row(k);
    for (std::int64_t j = 0; j < m; ++j) {
      const double bjk = bk[j];
      double* t = tile + j * width;
      for (std::int64_t c = 0; c < width; ++c) t[c] = bjk * rk[c] + t[c];
    }
  }
  bool bad = false;
  for (std::int64_t i = 0; i < m * width; ++i) bad |= !(std::fabs(tile[i]) <= DBL_MAX);
  for (std::int64_t j = 0; j < m; ++j)
    std::memcpy(r + j * stride, tile + j * width, static_cast<std::size_t>(width) * sizeof(double));
  return !bad;
}

}  // namespace

bool TransformDimension(ResultsArray& results, const BasisTable& basis, const TransformShape& shape,
                        TransformScratch& scratch, bool (*cancelled)(void*), void* ctx, bool& stopped) {
  stopped = false;
  const int v = shape.v;
  // Index ranges of the other dimensions.
  std::array<std::int64_t, 4> range{};
  for (int u = 0; u < 4; ++u) range[u] = u > v ? shape.points[u] : shape.terms[u];
  double* data = results.data();
  double* tile = scratch.tile();
  bool ok = true;
  if (v == 0) {
    std::int64_t done = 0;
    for (std::int64_t j3 = 0; j3 < range[3]; ++j3)
      for (std::int64_t j2 = 0; j2 < range[2]; ++j2) {
        for (std::int64_t j1 = 0; j1 < range[1]; ++j1)
          ok &= RunContiguous(data + results.Index(0, j1, j2, j3), basis, tile);
        done += range[1];
        if (cancelled && done >= 256) {
          done = 0;
          if (cancelled(ctx)) {
            stopped = true;
            return ok;
          }
        }
      }
    return ok;
  }
  const std::int64_t stride = results.Stride(v);
  const std::int64_t width_max = scratch.width(basis.points);
  // The runs of one group of lower indices lie side by side along j0.
  const std::int64_t len0 = range[0];
  std::array<std::int64_t, 4> hi = range;
  hi[v] = 1;
  hi[0] = 1;
  for (std::int64_t j3 = 0; j3 < hi[3]; ++j3)
    for (std::int64_t j2 = 0; j2 < hi[2]; ++j2) {
      for (std::int64_t j1 = 0; j1 < hi[1]; ++j1) {
        double* base = data + results.Index(0, j1, j2, j3);
        for (std::int64_t c0 = 0; c0 < len0; c0 += width_max) {
          std::int64_t w = std::min(width_max, len0 - c0);
          ok &= RunColumns(base + c0, stride, w, basis, tile);
        }
      }
      if (cancelled && cancelled(ctx)) {
        stopped = true;
        return ok;
      }
    }
  return ok;
}

}  // namespace tabulor
