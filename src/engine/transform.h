// The transform of the results array along one dimension, from term indices
// to grid indices.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine/basis.h"
#include "model/results_array.h"

namespace tabulor {

// Which index ranges the transform of dimension v visits: for u above v
// 0..points[u]-1 (already transformed), for u below v 0..terms[u]-1.
struct TransformShape {
  int v = 0;
  std::array<std::int64_t, 4> terms{1, 1, 1, 1};   // LastTerm + 1 (1 for absent)
  std::array<std::int64_t, 4> points{1, 1, 1, 1};  // LastPoint + 1 (1 for absent)
};

// Working memory of the transform, sized once per computation.
class TransformScratch {
 public:
  // Room for tiles of up to max_points rows.
  bool Reserve(std::int64_t max_points);
  double* tile() { return tile_.data(); }
  std::int64_t width(std::int64_t points) const;

 private:
  std::vector<double> tile_;
};

// Replaces every run along dimension shape.v by its values at the grid
// points: R(j) = sum over k (increasing, from 0.0) of Basis(j, k) * R(k) + s.
// Returns false when a value is an infinity or NaN. `cancelled` is polled
// between pieces of work; when it returns true the transform stops early.
bool TransformDimension(ResultsArray& results, const BasisTable& basis, const TransformShape& shape,
                        TransformScratch& scratch, bool (*cancelled)(void*), void* ctx,
                        bool& stopped);

}  // namespace tabulor
