#include "model/results_array.h"

#include "platform/zeroed_memory.h"

namespace tabulor {

bool ResultsArray::Allocate(const std::array<std::int64_t, 4>& n) {
  Clear();
  std::size_t total = 1;
  for (std::int64_t d : n) {
    if (d < 1) return false;
    if (total > SIZE_MAX / sizeof(double) / static_cast<std::size_t>(d)) return false;
    total *= static_cast<std::size_t>(d);
  }
  // Zero pages that are touched only when written, so a large array costs
  // no time before the computation fills it; large ones in huge pages.
  const std::size_t bytes = total * sizeof(double);
  double* p = static_cast<double*>(AllocateZeroed(bytes));
  if (p == nullptr) return false;
  data_ = std::unique_ptr<double, ResultsRelease>(p, ResultsRelease{bytes});
  size_ = total;
  n_ = n;
  stride_ = {1, n[0], n[0] * n[1], n[0] * n[1] * n[2]};
  return true;
}

void ResultsRelease::operator()(double* p) const { ReleaseZeroed(p, bytes); }

void ResultsArray::Clear() {
  data_.reset();
  size_ = 0;
  n_ = {};
  stride_ = {};
}

}  // namespace tabulor
