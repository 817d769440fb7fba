// The four-dimensional array of doubles that holds the coefficients during a
// computation and the values at the grid points afterwards.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace tabulor {

// Gives back the memory of a results array of `bytes` bytes.
struct ResultsRelease {
  std::size_t bytes = 0;
  void operator()(double* p) const;
};

class ResultsArray {
 public:
  ResultsArray() = default;

  // Sizes the array to n[0] x n[1] x n[2] x n[3] entries, all 0, as one
  // contiguous block. Returns false (and leaves the array empty) when the
  // memory cannot be had. The caller checks the size against the limits first.
  bool Allocate(const std::array<std::int64_t, 4>& n);
  void Clear();

  bool empty() const { return size_ == 0; }
  std::size_t size() const { return size_; }
  const std::array<std::int64_t, 4>& dims() const { return n_; }
  // Distance between neighbouring entries of dimension v.
  std::int64_t Stride(int v) const { return stride_[static_cast<std::size_t>(v)]; }

  double* data() { return data_.get(); }
  const double* data() const { return data_.get(); }

  std::size_t Index(std::int64_t j0, std::int64_t j1, std::int64_t j2, std::int64_t j3) const {
    return static_cast<std::size_t>(j0 + stride_[1] * j1 + stride_[2] * j2 + stride_[3] * j3);
  }
  double& operator()(std::int64_t j0, std::int64_t j1, std::int64_t j2, std::int64_t j3) {
    return data_.get()[Index(j0, j1, j2, j3)];
  }
  double operator()(std::int64_t j0, std::int64_t j1, std::int64_t j2, std::int64_t j3) const {
    return data_.get()[Index(j0, j1, j2, j3)];
  }

 private:
  std::unique_ptr<double, ResultsRelease> data_;
  std::size_t size_ = 0;
  std::array<std::int64_t, 4> n_{};
  std::array<std::int64_t, 4> stride_{};
};

}  // namespace tabulor
