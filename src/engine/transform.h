// The transform of the results array along one dimension, from term indices
// to grid indices.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/basis.h"
#include "engine/kernel_path.h"
#include "model/results_array.h"

namespace tabulor {

namespace kernels {
struct KernelSet;
}
class ThreadPool;

// Which index ranges the transform of dimension v visits: for u above v
// 0..points[u]-1 (already transformed), for u below v 0..terms[u]-1.
struct TransformShape {
  int v = 0;
  std::array<std::int64_t, 4> terms{1, 1, 1, 1};   // LastTerm + 1 (1 for absent)
  std::array<std::int64_t, 4> points{1, 1, 1, 1};  // LastPoint + 1 (1 for absent)
};

enum class TransformOutcome {
  Ok,
  BasisNotFinite,   // a basis value is an infinity or NaN (nothing is trusted)
  ValuesNotFinite,  // a new value is an infinity or NaN
  Stopped,          // poll asked to stop
  NoMemory,         // the working memory could not be had
};

// Whether variables 1 and 0 go slab by slab (CanTransformLastTwo): by the
// rule of cache and table sizes, whenever their tables are whole, or never.
// The values are the same bits either way.
enum class SlabMode { BySize, Always, Never };

// Whether a basis table is built whole or tile by tile next to the sums that
// use it: by its size (kWholeBasisBytes), always tiled, or always whole.
// The values are the same bits either way.
enum class TilingMode { BySize, Always, Never };

// Told the multiply-adds done so far in the current transform, on the thread
// that called Transform; returns false to stop.
using TransformPoll = std::function<bool(std::uint64_t done)>;

// Runs the transforms of one computation: the threads and working memory are
// made once and serve every variable.
//
// For one dimension every run R (the entries along dimension v for one
// combination of the other indices) becomes R(j) = s, with s = 0.0 and then
// s = Basis(j, k) * R(k) + s for k = 0..N in increasing order; the runs are
// independent, so they are spread over threads and over the lanes of vector
// registers, and every value has the bits of that plain loop. The basis is
// built as a whole table when it is small, otherwise tile by tile next to
// the sums that use it (the same bits either way).
class Transformer {
 public:
  // threads: 0 for HardwareThreads(). path: which inner loops; a path the
  // processor does not run falls back to Auto.
  explicit Transformer(int threads = 0, KernelPath path = KernelPath::Auto);
  ~Transformer();
  Transformer(const Transformer&) = delete;
  Transformer& operator=(const Transformer&) = delete;

  int threads() const;
  KernelPath path() const { return path_; }

  // Replaces every run along dimension shape.v by its values at the grid
  // points, with the basis that `rule` describes (rule.points == points[v],
  // rule.terms == terms[v]). Entries of a run beyond its grid points keep
  // what they held. On anything but Ok the array holds partial values.
  TransformOutcome Transform(ResultsArray& results, const TransformShape& shape, const BasisRule& rule,
                             const TransformPoll& poll = nullptr);

  // Transforms dimension 1 and then dimension 0 (shape.v is not used), slab
  // by slab: for each pair of grid indexes of dimensions 2 and 3, the runs of
  // dimension 1 in it and then those of dimension 0, while the slab is still
  // in cache. Every value has the bits that Transform gives; outcomes are
  // told as Transform for dimension 1 and then for dimension 0 would tell
  // them, with `failed_var` the dimension an outcome other than Ok is about.
  // Use it where CanTransformLastTwo says so.
  TransformOutcome TransformLastTwo(ResultsArray& results, const TransformShape& shape, const BasisRule& rule1,
                                    const BasisRule& rule0, const TransformPoll& poll, int& failed_var);
  // True when the slabs are worth it: there are several, each fits in the
  // cache (kSlabBytes) and both basis tables are built whole.
  bool CanTransformLastTwo(const ResultsArray& results, const TransformShape& shape) const;
  static constexpr std::int64_t kSlabBytes = 4 << 20;
  void SetSlabMode(SlabMode mode) { slabs_ = mode; }

  // Time spent, summed over the transforms since the last ResetStats: the
  // wall time of the transforms and the part of it spent on basis tables
  // (tiles built by several threads count as their share of the wall time).
  struct Stats {
    double seconds = 0.0;
    double basis_seconds = 0.0;
    std::uint64_t multiply_adds = 0;
  };
  const Stats& stats() const { return stats_; }
  void ResetStats() { stats_ = Stats{}; }

  // Largest basis table (bytes) built whole; larger ones are built in tiles.
  static constexpr std::int64_t kWholeBasisBytes = 24 << 20;

  void SetTilingMode(TilingMode mode) { tiling_ = mode; }

 private:
  struct Buffers;
  TransformOutcome Run(ResultsArray& results, const TransformShape& shape, const BasisRule& rule,
                       const TransformPoll& poll);
  TransformOutcome RunLastTwo(ResultsArray& results, const TransformShape& shape, const BasisRule& rule1,
                              const BasisRule& rule0, const TransformPoll& poll, int& failed_var);

  KernelPath path_;
  const kernels::KernelSet* set_;
  std::unique_ptr<ThreadPool> pool_;
  std::unique_ptr<Buffers> buffers_;
  TilingMode tiling_ = TilingMode::BySize;
  SlabMode slabs_ = SlabMode::BySize;
  Stats stats_;
};

}  // namespace tabulor
