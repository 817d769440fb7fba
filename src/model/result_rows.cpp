#include "model/result_rows.h"

#include <algorithm>

namespace tabulor {

namespace {

std::array<std::int64_t, 4> LastIndices(const Dimension& m) {
  std::array<std::int64_t, 4> last{};
  for (int v = 0; v < kSlots; ++v) last[v] = m.IsPresent(v) ? m.LastPoint[v] : 0;
  return last;
}

}  // namespace

std::uint64_t ResultValueCount(const Dimension& m) {
  const auto last = LastIndices(m);
  return static_cast<std::uint64_t>((last[0] + 1) * (last[1] + 1)) *
         static_cast<std::uint64_t>((last[2] + 1) * (last[3] + 1));
}

bool ForEachResultPiece(const Dimension& m, const ProgressFn& progress,
                        const std::function<bool(const ResultPiece&)>& visit, bool& cancelled) {
  cancelled = false;
  const auto last = LastIndices(m);
  const std::uint64_t total = ResultValueCount(m);
  std::uint64_t done = 0, next_report = kResultPieceValues;
  ResultPiece piece;
  for (piece.j[3] = 0; piece.j[3] <= last[3]; ++piece.j[3])
    for (piece.j[2] = 0; piece.j[2] <= last[2]; ++piece.j[2])
      for (piece.j[1] = 0; piece.j[1] <= last[1]; ++piece.j[1]) {
        const double* row = m.Results.data() + m.Results.Index(0, piece.j[1], piece.j[2], piece.j[3]);
        for (piece.j[0] = 0; piece.j[0] <= last[0]; piece.j[0] += piece.count) {
          piece.count = std::min(last[0] + 1 - piece.j[0], kResultPieceValues);
          piece.values = row + piece.j[0];
          if (!visit(piece)) return false;
          done += static_cast<std::uint64_t>(piece.count);
          if (progress && done >= next_report) {
            next_report = done + kResultPieceValues;
            if (!progress(done, total)) return !(cancelled = true);
          }
        }
      }
  return true;
}

}  // namespace tabulor
