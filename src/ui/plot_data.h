// What the plot window draws, worked out without Qt: grid lookups by
// position, the reduction of a curve to the screen's pixel columns, the
// sampling of a colour map onto pixels, and the axis titles. Nothing here
// copies the results; everything reads them in place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/dimension.h"

namespace tabulor::plot {

// The grid values of one variable, looked up by position. The values may be
// ascending, descending or in any order (typed grids need not be sorted).
class GridAxis {
 public:
  GridAxis() = default;
  GridAxis(const double* values, std::int64_t count);

  std::int64_t size() const { return n_; }
  double at(std::int64_t i) const { return x_[i]; }
  bool ascending() const { return kind_ == Kind::Ascending; }
  bool descending() const { return kind_ == Kind::Descending; }
  bool monotone() const { return kind_ != Kind::Unordered; }

  double min() const { return min_; }
  double max() const { return max_; }
  // The stretch of the axis the grid points own: from the smallest value
  // less half the spacing to its neighbour up to the largest value plus half
  // the spacing to its neighbour (a single point owns a unit around it).
  double lower_edge() const { return lower_edge_; }
  double upper_edge() const { return upper_edge_; }

  // The index of the grid value nearest to x (the lower index on a tie).
  std::int64_t Nearest(double x) const;

  // Grid values in increasing order: the k-th smallest and its index.
  double SortedValue(std::int64_t k) const { return x_[SortedIndex(k)]; }
  std::int64_t SortedIndex(std::int64_t k) const {
    if (kind_ == Kind::Ascending) return k;
    if (kind_ == Kind::Descending) return n_ - 1 - k;
    return order_[static_cast<std::size_t>(k)];
  }
  // The number of grid values below x (sorted position of the first >= x).
  std::int64_t CountBelow(double x) const;

 private:
  enum class Kind { Ascending, Descending, Unordered };
  const double* x_ = nullptr;
  std::int64_t n_ = 0;
  Kind kind_ = Kind::Ascending;
  std::vector<std::int64_t> order_;  // sorted permutation, for Unordered only
  double min_ = 0, max_ = 0, lower_edge_ = -0.5, upper_edge_ = 0.5;
};

// One point of a reduced curve; `index` is its grid index along the curve.
struct CurvePoint {
  double x;
  double y;
  std::int64_t index;
};

// A curve through a slice of the results: y(i) = data[i * stride] at x(i).
// Keeps the smallest and largest value of every block of kBlock points, so
// that a view of many points is reduced in time proportional to the pixel
// columns, not to the points.
class CurveReducer {
 public:
  static constexpr std::int64_t kBlock = 256;

  CurveReducer() = default;
  CurveReducer(const GridAxis* axis, const double* data, std::int64_t stride);

  std::int64_t size() const { return axis_ ? axis_->size() : 0; }
  double value(std::int64_t i) const { return data_[i * stride_]; }
  double min() const { return min_; }
  double max() const { return max_; }

  // The polyline to draw for the x range [xlo, xhi] on `columns` pixel
  // columns, in index order on a sorted grid (ascending or descending) and
  // in order of the grid values on a grid in any other order. When at most `all_limit` points fall into the
  // range, every one of them (and the nearest one outside on each side)
  // and `all` is set; otherwise for each pixel column its first, smallest,
  // largest and last point along the line, so the drawn band covers every
  // value. `out` is reused.
  void Reduce(double xlo, double xhi, int columns, std::int64_t all_limit, std::vector<CurvePoint>& out,
              bool& all) const;

 private:
  struct Extremes {
    double min, max;
    std::int64_t argmin, argmax;
  };
  struct Bounds {
    double min, max;
  };
  // Smallest and largest value of the points first..last-1 (first < last)
  // and where they are (the first such point).
  Extremes Range(std::int64_t first, std::int64_t last) const;
  void Emit(std::int64_t first, std::int64_t last, std::vector<CurvePoint>& out) const;
  // The pixel column of a position: -1 left of the view, `columns` right
  // of it. Non-decreasing in x, so on a sorted grid the columns are runs.
  struct ViewColumns {
    double xlo, xhi, scale;
    int columns;
    std::int64_t operator()(double x) const;
  };
  void ReduceUnsorted(const ViewColumns& column, std::int64_t k0, std::int64_t k1, std::int64_t all_limit,
                      std::vector<CurvePoint>& out, bool& all) const;
  void ReduceMonotone(const ViewColumns& column, std::int64_t k0, std::int64_t k1, std::int64_t all_limit,
                      std::vector<CurvePoint>& out, bool& all) const;

  const GridAxis* axis_ = nullptr;
  const double* data_ = nullptr;
  std::int64_t stride_ = 1;
  std::vector<Bounds> blocks_;  // per kBlock points
  double min_ = 0, max_ = 0;
};

// The grid indices nearest to `count` evenly spaced sample positions
// first, first + step, ... (pixel centres), into `out`.
void NearestIndices(const GridAxis& axis, double first, double step, int count, std::vector<std::int64_t>& out);

// out[r * columns + c] = data[ia[c] * stride_a + ib[r] * stride_b] for the
// `columns` = ia.size() by ib.size() pixels.
void SampleMap(const double* data, std::int64_t stride_a, std::int64_t stride_b, const std::vector<std::int64_t>& ia,
               const std::vector<std::int64_t>& ib, double* out);

// Smallest and largest of data[i * stride_a + j * stride_b] over the slice.
void SliceRange(const double* data, std::int64_t stride_a, std::int64_t na, std::int64_t stride_b, std::int64_t nb,
                double& lo, double& hi);

// The name of a variable for titles: its name, or "variable K" without one.
std::string VariableTitle(const Dimension& model, int v);

// The title of the value axis: "value", or the derivative taken, as in
// "d²/dx² value" for one variable and "∂³/∂x²∂y value" for several (UTF-8).
std::string ValueTitle(const Dimension& model);

}  // namespace tabulor::plot
