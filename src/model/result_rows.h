// The walk over the computed values that every writer of results shares:
// the grid file, the CSV export and the batch command's summary.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "model/dimension.h"
#include "model/progress.h"

namespace tabulor {

// A piece of one row of the results: the values of variable 0's grid
// points first .. first + count - 1 for the grid indices j[1], j[2], j[3].
struct ResultPiece {
  std::array<std::int64_t, 4> j{};  // j[0] is `first`
  std::int64_t count = 0;
  const double* values = nullptr;
};

// Pieces are at most this many values; progress is told after each piece
// (a few milliseconds of writing), whatever the shape of the grid: a single
// long row of variable 0 as well.
inline constexpr std::int64_t kResultPieceValues = std::int64_t{1} << 16;

// Hands the values of the model's grid to `visit` piece by piece, variable 0
// fastest and the last variable slowest (the order of the grid file, the CSV
// file and the results list). Progress counts values. Returns false when
// `visit` returns false or progress asks to stop; then `cancelled` tells
// which.
bool ForEachResultPiece(const Dimension& model, const ProgressFn& progress,
                        const std::function<bool(const ResultPiece&)>& visit, bool& cancelled);

// The number of values ForEachResultPiece visits.
std::uint64_t ResultValueCount(const Dimension& model);

}  // namespace tabulor
