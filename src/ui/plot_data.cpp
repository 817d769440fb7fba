#include "ui/plot_data.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "model/number_text.h"

namespace tabulor::plot {

GridAxis::GridAxis(const double* values, std::int64_t count) : x_(values), n_(count) {
  if (n_ <= 0) {
    n_ = 0;
    return;
  }
  bool up = true, down = true;
  for (std::int64_t start = 1; start < n_ && (up || down); start += 4096) {
    const std::int64_t stop = std::min(n_, start + 4096);
    bool u = true, d = true;
    for (std::int64_t i = start; i < stop; ++i) {
      u &= x_[i] >= x_[i - 1];
      d &= x_[i] <= x_[i - 1];
    }
    up = up && u;
    down = down && d;
  }
  if (up) {
    kind_ = Kind::Ascending;
  } else if (down) {
    kind_ = Kind::Descending;
  } else {
    kind_ = Kind::Unordered;
    order_.resize(static_cast<std::size_t>(n_));
    std::iota(order_.begin(), order_.end(), std::int64_t{0});
    std::stable_sort(order_.begin(), order_.end(), [&](std::int64_t a, std::int64_t b) { return x_[a] < x_[b]; });
  }
  min_ = SortedValue(0);
  max_ = SortedValue(n_ - 1);
  double first_gap = n_ > 1 ? SortedValue(1) - min_ : 0.0;
  double last_gap = n_ > 1 ? max_ - SortedValue(n_ - 2) : 0.0;
  double mean_gap = n_ > 1 ? (max_ - min_) / static_cast<double>(n_ - 1) : 0.0;
  double fallback = mean_gap > 0 ? mean_gap : (min_ != 0.0 ? std::abs(min_) : 1.0);
  if (!(first_gap > 0) || !std::isfinite(first_gap)) first_gap = fallback;
  if (!(last_gap > 0) || !std::isfinite(last_gap)) last_gap = fallback;
  lower_edge_ = min_ - first_gap / 2;
  upper_edge_ = max_ + last_gap / 2;
}

std::int64_t GridAxis::CountBelow(double x) const {
  std::int64_t lo = 0, hi = n_;
  while (lo < hi) {
    std::int64_t mid = lo + (hi - lo) / 2;
    if (SortedValue(mid) < x)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

std::int64_t GridAxis::Nearest(double x) const {
  if (n_ == 0) return 0;
  std::int64_t k = CountBelow(x);
  if (k >= n_) return SortedIndex(n_ - 1);
  if (k == 0) return SortedIndex(0);
  double below = x - SortedValue(k - 1), above = SortedValue(k) - x;
  return SortedIndex(below <= above ? k - 1 : k);
}

namespace {

// Smallest and largest of n values `stride` apart, in four independent
// lanes so that the comparisons do not wait for each other.
void BoundsOf(const double* p, std::int64_t stride, std::int64_t n, double& lo, double& hi) {
  double l[4] = {p[0], p[0], p[0], p[0]}, h[4] = {p[0], p[0], p[0], p[0]};
  std::int64_t i = 0;
  if (stride == 1) {
    for (; i + 4 <= n; i += 4)
      for (int k = 0; k < 4; ++k) {
        const double y = p[i + k];
        l[k] = y < l[k] ? y : l[k];
        h[k] = y > h[k] ? y : h[k];
      }
  }
  for (; i < n; ++i) {
    const double y = p[i * stride];
    l[0] = y < l[0] ? y : l[0];
    h[0] = y > h[0] ? y : h[0];
  }
  lo = std::min(std::min(l[0], l[1]), std::min(l[2], l[3]));
  hi = std::max(std::max(h[0], h[1]), std::max(h[2], h[3]));
}

}  // namespace

CurveReducer::CurveReducer(const GridAxis* axis, const double* data, std::int64_t stride)
    : axis_(axis), data_(data), stride_(stride) {
  const std::int64_t n = size();
  if (n == 0) return;
  blocks_.resize(static_cast<std::size_t>((n + kBlock - 1) / kBlock));
  for (std::size_t b = 0; b < blocks_.size(); ++b) {
    const std::int64_t first = static_cast<std::int64_t>(b) * kBlock;
    BoundsOf(data_ + first * stride_, stride_, std::min(kBlock, n - first), blocks_[b].min, blocks_[b].max);
  }
  min_ = blocks_[0].min;
  max_ = blocks_[0].max;
  for (const Bounds& e : blocks_) {
    min_ = std::min(min_, e.min);
    max_ = std::max(max_, e.max);
  }
}

CurveReducer::Extremes CurveReducer::Range(std::int64_t first, std::int64_t last) const {
  Extremes e{value(first), value(first), first, first};
  auto scan = [&](std::int64_t from, std::int64_t to) {
    for (std::int64_t i = from; i < to; ++i) {
      double y = value(i);
      if (y < e.min) {
        e.min = y;
        e.argmin = i;
      }
      if (y > e.max) {
        e.max = y;
        e.argmax = i;
      }
    }
  };
  const std::int64_t b0 = first / kBlock + 1;  // first whole block
  const std::int64_t b1 = last / kBlock;       // one past the last whole block
  if (b1 - b0 < 1) {
    scan(first + 1, last);
    return e;
  }
  scan(first + 1, b0 * kBlock);
  // Whole blocks by their bounds; the block that holds the extreme is
  // searched for its place afterwards.
  std::int64_t min_block = -1, max_block = -1;
  for (std::int64_t b = b0; b < b1; ++b) {
    const Bounds& s = blocks_[static_cast<std::size_t>(b)];
    if (s.min < e.min) {
      e.min = s.min;
      min_block = b;
    }
    if (s.max > e.max) {
      e.max = s.max;
      max_block = b;
    }
  }
  auto find = [&](std::int64_t block, double target) {
    std::int64_t i = block * kBlock;
    while (value(i) != target) ++i;
    return i;
  };
  if (min_block >= 0) e.argmin = find(min_block, e.min);
  if (max_block >= 0) e.argmax = find(max_block, e.max);
  // The tail can only improve on strictly smaller or larger values.
  scan(b1 * kBlock, last);
  return e;
}

void CurveReducer::Emit(std::int64_t first, std::int64_t last, std::vector<CurvePoint>& out) const {
  auto push = [&](std::int64_t i) { out.push_back({axis_->at(i), value(i), i}); };
  if (last - first <= 4) {
    for (std::int64_t i = first; i < last; ++i) push(i);
    return;
  }
  Extremes e = Range(first, last);
  std::int64_t idx[4] = {first, e.argmin, e.argmax, last - 1};
  std::sort(idx, idx + 4);
  for (int k = 0; k < 4; ++k)
    if (k == 0 || idx[k] != idx[k - 1]) push(idx[k]);
}

void CurveReducer::Reduce(double xlo, double xhi, int columns, std::int64_t all_limit, std::vector<CurvePoint>& out,
                          bool& all) const {
  out.clear();
  all = true;
  if (size() == 0 || !(xhi > xlo) || columns < 1) return;
  const ViewColumns view{xlo, xhi, columns / (xhi - xlo), columns};
  // Sorted positions of the values inside [xlo, xhi].
  const std::int64_t k0 = axis_->CountBelow(xlo);
  const std::int64_t k1 = axis_->CountBelow(std::nextafter(xhi, std::numeric_limits<double>::infinity()));
  if (axis_->monotone()) {
    ReduceMonotone(view, k0, k1, all_limit, out, all);
  } else {
    ReduceUnsorted(view, k0, k1, all_limit, out, all);
  }
}

std::int64_t CurveReducer::ViewColumns::operator()(double x) const {
  if (x < xlo) return -1;
  if (x > xhi) return columns;
  return std::min<std::int64_t>(static_cast<std::int64_t>(std::floor((x - xlo) * scale)), columns - 1);
}

// A typed grid in any order is drawn in order of its values, so that the
// line joins each point to its neighbours along the axis.
void CurveReducer::ReduceUnsorted(const ViewColumns& column, std::int64_t k0, std::int64_t k1, std::int64_t all_limit,
                                  std::vector<CurvePoint>& out, bool& all) const {
  const GridAxis& ax = *axis_;
  const std::int64_t n = size();
  auto push_position = [&](std::int64_t k) {
    const std::int64_t i = ax.SortedIndex(k);
    out.push_back({ax.at(i), value(i), i});
  };
  if (k1 - k0 <= all_limit) {
    const std::int64_t from = std::max<std::int64_t>(k0 - 1, 0), to = std::min(k1 + 1, n);
    for (std::int64_t k = from; k < to; ++k) push_position(k);
    return;
  }
  all = false;
  // Per pixel column its first, smallest, largest and last point in order
  // of position, and the points just outside the view.
  if (k0 > 0) push_position(k0 - 1);
  std::int64_t start = k0;
  while (start < k1) {
    const std::int64_t c = column(ax.SortedValue(start));
    std::int64_t stop = start + 1, kmin = start, kmax = start;
    for (; stop < k1 && column(ax.SortedValue(stop)) == c; ++stop) {
      if (value(ax.SortedIndex(stop)) < value(ax.SortedIndex(kmin))) kmin = stop;
      if (value(ax.SortedIndex(stop)) > value(ax.SortedIndex(kmax))) kmax = stop;
    }
    std::int64_t ks[4] = {start, kmin, kmax, stop - 1};
    std::sort(ks, ks + 4);
    for (int q = 0; q < 4; ++q)
      if (q == 0 || ks[q] != ks[q - 1]) push_position(ks[q]);
    start = stop;
  }
  if (k1 < n) push_position(k1);
}

// On a sorted grid the pixel columns are runs of positions, which map to
// indices directly (ascending) or reversed.
void CurveReducer::ReduceMonotone(const ViewColumns& column, std::int64_t k0, std::int64_t k1, std::int64_t all_limit,
                                  std::vector<CurvePoint>& out, bool& all) const {
  const GridAxis& ax = *axis_;
  const std::int64_t n = size();
  if (k1 - k0 <= all_limit) {
    const std::int64_t from = std::max<std::int64_t>(k0 - 1, 0), to = std::min(k1 + 1, n);
    if (ax.ascending()) {
      for (std::int64_t i = from; i < to; ++i) out.push_back({ax.at(i), value(i), i});
    } else {
      for (std::int64_t i = n - to; i < n - from; ++i) out.push_back({ax.at(i), value(i), i});
    }
    return;
  }
  all = false;
  // Position ranges in increasing x: the point just left of the view, one
  // range per pixel column, the point just right of it.
  std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
  ranges.reserve(static_cast<std::size_t>(column.columns) + 2);
  if (k0 > 0) ranges.push_back({k0 - 1, k0});
  std::int64_t start = k0;
  while (start < k1) {
    // The end of the run of positions in the column of `start`.
    const std::int64_t c = column(ax.SortedValue(start));
    std::int64_t lo = start + 1, hi = k1;
    while (lo < hi) {
      std::int64_t mid = lo + (hi - lo) / 2;
      if (column(ax.SortedValue(mid)) <= c)
        lo = mid + 1;
      else
        hi = mid;
    }
    ranges.push_back({start, lo});
    start = lo;
  }
  if (k1 < n) ranges.push_back({k1, k1 + 1});
  if (ax.ascending()) {
    for (const auto& r : ranges) Emit(r.first, r.second, out);
  } else {
    for (auto it = ranges.rbegin(); it != ranges.rend(); ++it) Emit(n - it->second, n - it->first, out);
  }
}

void NearestIndices(const GridAxis& axis, double first, double step, int count, std::vector<std::int64_t>& out) {
  out.resize(static_cast<std::size_t>(std::max(count, 0)));
  for (int c = 0; c < count; ++c) out[static_cast<std::size_t>(c)] = axis.Nearest(first + c * step);
}

void SampleMap(const double* data, std::int64_t stride_a, std::int64_t stride_b, const std::vector<std::int64_t>& ia,
               const std::vector<std::int64_t>& ib, double* out) {
  const std::size_t columns = ia.size();
  for (std::size_t r = 0; r < ib.size(); ++r) {
    const double* row = data + ib[r] * stride_b;
    double* o = out + r * columns;
    for (std::size_t c = 0; c < columns; ++c) o[c] = row[ia[c] * stride_a];
  }
}

void SliceRange(const double* data, std::int64_t stride_a, std::int64_t na, std::int64_t stride_b, std::int64_t nb,
                double& lo, double& hi) {
  if (stride_a > stride_b) {  // walk memory in order
    std::swap(stride_a, stride_b);
    std::swap(na, nb);
  }
  lo = hi = data[0];
  for (std::int64_t j = 0; j < nb; ++j) {
    double l, h;
    BoundsOf(data + j * stride_b, stride_a, na, l, h);
    lo = std::min(lo, l);
    hi = std::max(hi, h);
  }
}

std::string VariableTitle(const Dimension& model, int v) {
  if (v >= 0 && v < kSlots && !model.VarName[v].empty()) return model.VarName[v];
  return "variable " + IntegerText(v);
}

namespace {

std::string Superscript(std::int64_t n) {
  static const char* const kDigits[] = {"⁰", "¹", "²", "³", "⁴", "⁵", "⁶", "⁷", "⁸", "⁹"};
  std::string text;
  for (char c : IntegerText(n)) text += kDigits[c - '0'];
  return text;
}

}  // namespace

std::string ValueTitle(const Dimension& model) {
  std::int64_t total = 0;
  for (int v = 0; v <= model.LastVar && v < kSlots; ++v) total += std::max(model.DerOrder[v], 0);
  if (total == 0) return "value";
  const bool partial = model.LastVar > 0;
  const std::string d = partial ? "∂" : "d";
  std::string title = d + (total > 1 ? Superscript(total) : "") + "/";
  for (int v = 0; v <= model.LastVar && v < kSlots; ++v) {
    if (model.DerOrder[v] <= 0) continue;
    title += d + VariableTitle(model, v);
    if (model.DerOrder[v] > 1) title += Superscript(model.DerOrder[v]);
  }
  return title + " value";
}

}  // namespace tabulor::plot
