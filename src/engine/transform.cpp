#include "engine/transform.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/kernels.h"
#include "engine/thread_pool.h"

namespace tabulor {

bool KernelPathRuns(KernelPath path) {
  switch (path) {
    case KernelPath::Auto:
    case KernelPath::Scalar:
    case KernelPath::Sse2:
    case KernelPath::Wide8:
      return true;
    case KernelPath::Avx2:
#if defined(__x86_64__)
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
      return false;
#endif
    case KernelPath::Avx512:
#if defined(__x86_64__)
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("fma");
#else
      return false;
#endif
  }
  return false;
}

KernelPath BestKernelPath() {
  if (KernelPathRuns(KernelPath::Avx512)) return KernelPath::Avx512;
  if (KernelPathRuns(KernelPath::Avx2)) return KernelPath::Avx2;
#if defined(__x86_64__)
  return KernelPath::Sse2;
#else
  return KernelPath::Scalar;
#endif
}

const char* KernelPathName(KernelPath path) {
  switch (path) {
    case KernelPath::Auto: return "auto";
    case KernelPath::Scalar: return "scalar";
    case KernelPath::Sse2: return "sse2";
    case KernelPath::Avx2: return "avx2";
    case KernelPath::Avx512: return "avx512";
    case KernelPath::Wide8: return "wide8";
  }
  return "?";
}

namespace {

const kernels::KernelSet& SetFor(KernelPath path) {
  switch (path) {
#if defined(__x86_64__)
    case KernelPath::Avx512: return kernels::Avx512Kernels();
    case KernelPath::Avx2: return kernels::Avx2Kernels();
#endif
    case KernelPath::Sse2: return kernels::Sse2Kernels();
    case KernelPath::Wide8: return kernels::Wide8Kernels();
    default: return kernels::ScalarKernels();
  }
}

// Doubles on 64-byte boundaries (a cache line, one AVX-512 vector); grows,
// never shrinks, and keeps no values across a resize.
class AlignedDoubles {
 public:
  bool Reserve(std::int64_t count) {
    if (count <= capacity_) return true;
    const std::size_t bytes = (static_cast<std::size_t>(count) * sizeof(double) + 63) / 64 * 64;
    void* p = std::aligned_alloc(64, bytes);
    if (p == nullptr) return false;
    data_.reset(static_cast<double*>(p));
    capacity_ = count;
    return true;
  }
  double* get() { return data_.get(); }

 private:
  struct Free {
    void operator()(double* p) const { std::free(p); }
  };
  std::unique_ptr<double, Free> data_;
  std::int64_t capacity_ = 0;
};

// What a block of runs needs: where each run starts, its packed values, and
// (lanes over runs) which vectors of runs are stored at once.
struct RunBlock {
  AlignedDoubles packed;
  AlignedDoubles tile;  // a tile of the basis
  std::vector<std::int64_t> base;
  std::vector<std::uint8_t> contiguous;
};

constexpr std::int64_t kTileDoubles = 16384;       // 128 KB of basis per tile
constexpr std::int64_t kTiledRunDoubles = 1 << 20;  // 8 MB of packed runs when tiling
constexpr std::int64_t kPieceMultiplyAdds = 1 << 22;  // about a millisecond

std::int64_t RoundUp(std::int64_t n, std::int64_t m) { return (n + m - 1) / m * m; }

double Since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// The transform of one dimension over a set of runs: where the runs lie, how
// a block of them is packed, and how its values at a range of grid points
// are computed.
struct Pass {
  const kernels::KernelSet* set = nullptr;
  double* data = nullptr;
  bool over_points = false;  // dimension 0: runs contiguous, lanes over grid points
  std::int64_t nk = 0, np = 0;
  std::int64_t bw = 0;  // points per basis panel
  std::int64_t rw = 0;  // runs per packed panel
  std::int64_t width = 0;
  // The other three dimensions, lowest first; run r counts them with the
  // lowest fastest, from `offset`.
  std::int64_t range[3] = {1, 1, 1};
  std::int64_t step[3] = {0, 0, 0};
  std::int64_t vstride = 1;

  Pass(const kernels::KernelSet& s, ResultsArray& results, const TransformShape& shape) {
    set = &s;
    data = results.data();
    const int v = shape.v;
    nk = shape.terms[static_cast<std::size_t>(v)];
    np = shape.points[static_cast<std::size_t>(v)];
    over_points = v == 0;
    bw = over_points ? s.y_panel : s.x_panel;
    rw = over_points ? s.x_panel : s.y_panel;
    width = s.width;
    int n = 0;
    for (int u = 0; u < 4; ++u) {
      if (u == v) continue;
      range[n] = u > v ? shape.points[static_cast<std::size_t>(u)] : shape.terms[static_cast<std::size_t>(u)];
      step[n] = results.Stride(u);
      ++n;
    }
    vstride = results.Stride(v);
  }

  std::int64_t runs() const { return range[0] * range[1] * range[2]; }
  std::int64_t panel_doubles() const { return nk * bw; }
  std::int64_t table_panels() const { return (np + bw - 1) / bw; }

  void Pack(RunBlock& b, std::int64_t offset, std::int64_t r0, std::int64_t nr) const;
  // False when a value stored is an infinity or NaN.
  bool Compute(RunBlock& b, std::int64_t nr, std::int64_t j0, std::int64_t j1, const double* basis) const;
};

// Runs r0 .. r0+nr-1 into b: their starts, their values packed in panels.
void Pass::Pack(RunBlock& b, std::int64_t offset, std::int64_t r0, std::int64_t nr) const {
  std::int64_t i0 = r0 % range[0], rest = r0 / range[0];
  std::int64_t i1 = rest % range[1], i2 = rest / range[1];
  for (std::int64_t c = 0; c < nr; ++c) {
    b.base[static_cast<std::size_t>(c)] = offset + i0 * step[0] + i1 * step[1] + i2 * step[2];
    if (++i0 == range[0]) {
      i0 = 0;
      if (++i1 == range[1]) {
        i1 = 0;
        ++i2;
      }
    }
  }
  const std::int64_t padded = RoundUp(nr, rw);
  double* out = b.packed.get();
  if (over_points) {
    // Panels of rw runs: out[p][k][i]. The runs lie apart in memory; their
    // lines are asked for a panel ahead. Each row k of a panel is written
    // whole, from the rw runs side by side.
    auto prefetch_panel = [&](std::int64_t p) {
      for (std::int64_t c = p * rw; c < std::min(nr, p * rw + rw); ++c)
        for (std::int64_t k = 0; k < nk; k += 8) __builtin_prefetch(data + b.base[static_cast<std::size_t>(c)] + k);
    };
    prefetch_panel(0);
    for (std::int64_t p = 0; p * rw < padded; ++p) {
      if ((p + 1) * rw < nr) prefetch_panel(p + 1);
      const std::int64_t c0 = p * rw;
      const std::int64_t n = std::min(rw, nr - c0);
      const double* src[kernels::kMaxXPanel];
      for (std::int64_t i = 0; i < n; ++i) src[i] = data + b.base[static_cast<std::size_t>(c0 + i)];
      double* panel = out + p * nk * rw;
      if (n == rw) {
        for (std::int64_t k = 0; k < nk; ++k)
          for (std::int64_t i = 0; i < rw; ++i) panel[k * rw + i] = src[i][k];
      } else {
        for (std::int64_t k = 0; k < nk; ++k)
          for (std::int64_t i = 0; i < rw; ++i) panel[k * rw + i] = i < n ? src[i][k] : 0.0;
      }
    }
  } else {
    // Panels of rw runs as lanes: out[p][k][l].
    for (std::int64_t p = 0; p * rw < padded; ++p) {
      const std::int64_t c0 = p * rw;
      const std::int64_t n = std::min(rw, nr - c0);
      constexpr std::int64_t kAhead = 4;  // rows asked for before they are read
      const std::int64_t first = b.base[static_cast<std::size_t>(c0)];
      const std::int64_t last = b.base[static_cast<std::size_t>(c0 + n - 1)];
      for (std::int64_t k = 0; k < std::min(kAhead, nk); ++k) {
        __builtin_prefetch(data + k * vstride + first);
        __builtin_prefetch(data + k * vstride + last);
      }
      for (std::int64_t k = 0; k < nk; ++k) {
        double* row = out + p * nk * rw + k * rw;
        const double* src = data + k * vstride;
        if (k + kAhead < nk) {
          __builtin_prefetch(src + kAhead * vstride + first);
          __builtin_prefetch(src + kAhead * vstride + last);
        }
        for (std::int64_t l = 0; l < n; ++l) row[l] = src[b.base[static_cast<std::size_t>(c0 + l)]];
        for (std::int64_t l = n; l < rw; ++l) row[l] = 0.0;
      }
    }
    for (std::int64_t q = 0; q * width < padded; ++q) {
      const std::int64_t c0 = q * width;
      b.contiguous[static_cast<std::size_t>(q)] =
          c0 + width <= nr &&
          b.base[static_cast<std::size_t>(c0 + width - 1)] - b.base[static_cast<std::size_t>(c0)] == width - 1;
    }
  }
}

// The values of the block's runs at grid points j0 .. j1-1, from a basis
// whose panels start at point j0.
bool Pass::Compute(RunBlock& b, std::int64_t nr, std::int64_t j0, std::int64_t j1, const double* basis) const {
  kernels::BlockArgs a;
  a.nk = nk;
  a.data = data;
  a.run_base = b.base.data();
  a.point0 = j0;
  a.stride = vstride;
  if (over_points) {
    a.x = b.packed.get();
    a.nx = nr;
    a.y = basis;
    a.ny = j1 - j0;
    a.ny_panels = (a.ny + bw - 1) / bw;
    return set->lanes_over_points(a);
  }
  a.x = basis;
  a.nx = j1 - j0;
  a.y = b.packed.get();
  a.ny = nr;
  a.ny_panels = (nr + rw - 1) / rw;
  a.contiguous = b.contiguous.data();
  return set->lanes_over_runs(a);
}

// The whole basis table of `pass`, in panels, built by all threads. Returns
// false when keep_going stopped it; `bad` is set when a value is an
// infinity or NaN.
bool BuildTable(ThreadPool& pool, const kernels::KernelSet* set, const BasisRule& rule, const Pass& pass,
                double* table, const std::function<bool()>& keep_going, std::atomic<bool>& bad) {
  const std::int64_t bw = pass.bw;
  const std::int64_t per_task = std::max<std::int64_t>(1, 4096 / bw);
  const std::int64_t tasks = (pass.table_panels() + per_task - 1) / per_task;
  return pool.Run(
      tasks,
      [&](std::int64_t t, int) {
        const std::int64_t j0 = t * per_task * bw;
        const std::int64_t j1 = std::min(pass.np, j0 + per_task * bw);
        if (!BuildBasisPanels(rule, bw, j0, j1, table + (j0 / bw) * pass.panel_doubles(), set)) bad = true;
      },
      keep_going);
}

// Grid points per piece of a block's work: a piece of the basis that stays
// in cache.
std::int64_t ChunkFor(const Pass& pass) {
  return std::clamp<std::int64_t>(kTileDoubles / pass.panel_doubles(), 1, pass.table_panels()) * pass.bw;
}

// What the threads of one transform share to stop early: a failure seen by
// one of them, or the caller's poll saying stop (told the multiply-adds done).
struct StopCheck {
  explicit StopCheck(const TransformPoll& p) : poll(p) {}
  const TransformPoll& poll;
  std::atomic<std::uint64_t> done{0};
  std::atomic<bool> failed{false};
  bool stopped = false;  // the poll said stop
  bool operator()() {
    if (failed.load(std::memory_order_relaxed)) return false;
    if (poll && !poll(done.load(std::memory_order_relaxed))) {
      stopped = true;
      return false;
    }
    return true;
  }
};

// Adds the wall time of its scope to `seconds`.
class TimeInto {
 public:
  explicit TimeInto(double& seconds) : seconds_(seconds), start_(std::chrono::steady_clock::now()) {}
  ~TimeInto() { seconds_ += Since(start_); }
  TimeInto(const TimeInto&) = delete;
  TimeInto& operator=(const TimeInto&) = delete;

 private:
  double& seconds_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace

struct Transformer::Buffers {
  AlignedDoubles table;        // the whole basis in panels
  AlignedDoubles table0;       // that of dimension 0 when two are transformed together
  std::vector<RunBlock> block;  // one per thread
};

Transformer::Transformer(int threads, KernelPath path) {
  if (path == KernelPath::Auto || !KernelPathRuns(path)) path = BestKernelPath();
  path_ = path;
  set_ = &SetFor(path);
  if (threads <= 0) threads = HardwareThreads();
  pool_ = std::make_unique<ThreadPool>(threads);
  buffers_ = std::make_unique<Buffers>();
  buffers_->block.resize(static_cast<std::size_t>(pool_->threads()));
}

Transformer::~Transformer() = default;

int Transformer::threads() const { return pool_->threads(); }

TransformOutcome Transformer::Transform(ResultsArray& results, const TransformShape& shape,
                                        const BasisRule& rule, const TransformPoll& poll) {
  const TimeInto account(stats_.seconds);
  try {
    return Run(results, shape, rule, poll);
  } catch (const std::bad_alloc&) {
    return TransformOutcome::NoMemory;
  }
}

TransformOutcome Transformer::Run(ResultsArray& results, const TransformShape& shape, const BasisRule& rule,
                                  const TransformPoll& poll) {
  const Pass pass(*set_, results, shape);
  const std::int64_t nk = pass.nk, np = pass.np, bw = pass.bw, rw = pass.rw;
  const int threads = pool_->threads();
  const std::int64_t total_runs = pass.runs();

  const std::int64_t table_panels = pass.table_panels();
  const std::int64_t panel_doubles = pass.panel_doubles();
  const bool tiled = tiling_ == 1 || (tiling_ == 0 && table_panels * panel_doubles * 8 > kWholeBasisBytes);

  StopCheck stop(poll);
  std::atomic<std::uint64_t>& done = stop.done;
  std::atomic<bool>& failed = stop.failed;
  std::atomic<bool> basis_bad{false}, values_bad{false};
  const std::function<bool()> keep_going = [&stop] { return stop(); };

  // The whole basis table, built by all threads.
  double* table = nullptr;
  std::atomic<std::int64_t> tile_nanos{0};
  if (!tiled) {
    const auto basis_start = std::chrono::steady_clock::now();
    if (!buffers_->table.Reserve(table_panels * panel_doubles)) return TransformOutcome::NoMemory;
    table = buffers_->table.get();
    const bool going = BuildTable(*pool_, set_, rule, pass, table, keep_going, basis_bad);
    stats_.basis_seconds += Since(basis_start);
    if (basis_bad) return TransformOutcome::BasisNotFinite;
    if (!going) return TransformOutcome::Stopped;
  }

  // Block sizes: enough blocks of runs to keep every thread busy, or, with
  // few runs (or a tiled basis), every block's grid points split instead.
  const bool split_runs = !tiled && (threads == 1 || total_runs >= 4 * threads * rw);
  std::int64_t block_runs;
  if (split_runs) {
    block_runs = std::min<std::int64_t>(rw * 8, RoundUp((total_runs + 4 * threads - 1) / (4 * threads), rw));
  } else {
    block_runs = std::max<std::int64_t>(rw, kTiledRunDoubles / nk / rw * rw);
    block_runs = std::min(block_runs, RoundUp(total_runs, rw));
  }
  block_runs = std::max(block_runs, rw);
  // Grid points per piece of work: a tile of the basis that stays in cache,
  // and (when threads share a block of runs) a piece short enough that a
  // request to stop is seen soon.
  std::int64_t chunk_panels = kTileDoubles / panel_doubles;
  if (!split_runs) chunk_panels = std::min(chunk_panels, kPieceMultiplyAdds / (panel_doubles * block_runs));
  chunk_panels = std::clamp<std::int64_t>(chunk_panels, 1, table_panels);
  const std::int64_t chunk = chunk_panels * bw;
  const std::int64_t chunks = (np + chunk - 1) / chunk;
  const std::int64_t packed_doubles = RoundUp(block_runs, rw) * nk;
  auto& blocks = buffers_->block;
  for (int t = 0; t < (split_runs ? threads : 1); ++t) {
    RunBlock& b = blocks[static_cast<std::size_t>(t)];
    if (!b.packed.Reserve(packed_doubles)) return TransformOutcome::NoMemory;
    b.base.resize(static_cast<std::size_t>(block_runs));
    b.contiguous.resize(static_cast<std::size_t>(RoundUp(block_runs, rw) / pass.width));
  }
  if (tiled)
    for (auto& b : blocks)
      if (!b.tile.Reserve(chunk * nk)) return TransformOutcome::NoMemory;

  auto compute = [&](RunBlock& b, std::int64_t nr, std::int64_t j0, std::int64_t j1, const double* basis) {
    if (!pass.Compute(b, nr, j0, j1, basis)) {
      values_bad = true;
      failed = true;
    }
    done.fetch_add(static_cast<std::uint64_t>(nr * (j1 - j0) * nk), std::memory_order_relaxed);
  };

  bool going = true;
  if (split_runs) {
    const std::int64_t nblocks = (total_runs + block_runs - 1) / block_runs;
    going = pool_->Run(
        nblocks,
        [&](std::int64_t t, int worker) {
          if (failed.load(std::memory_order_relaxed)) return;
          RunBlock& b = blocks[static_cast<std::size_t>(worker)];
          const std::int64_t r0 = t * block_runs;
          const std::int64_t nr = std::min(block_runs, total_runs - r0);
          pass.Pack(b, 0, r0, nr);
          for (std::int64_t j0 = 0; j0 < np; j0 += chunk)
            compute(b, nr, j0, std::min(np, j0 + chunk), table + (j0 / bw) * panel_doubles);
        },
        keep_going);
  } else {
    RunBlock& shared = blocks[0];
    for (std::int64_t r0 = 0; r0 < total_runs && going; r0 += block_runs) {
      const std::int64_t nr = std::min(block_runs, total_runs - r0);
      pass.Pack(shared, 0, r0, nr);
      going = pool_->Run(
          chunks,
          [&](std::int64_t c, int worker) {
            if (failed.load(std::memory_order_relaxed)) return;
            const std::int64_t j0 = c * chunk;
            const std::int64_t j1 = std::min(np, j0 + chunk);
            const double* basis;
            if (tiled) {
              double* tile = blocks[static_cast<std::size_t>(worker)].tile.get();
              const auto tile_start = std::chrono::steady_clock::now();
              const bool finite = BuildBasisPanels(rule, bw, j0, j1, tile, set_);
              tile_nanos.fetch_add(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                       std::chrono::steady_clock::now() - tile_start)
                                       .count(),
                                   std::memory_order_relaxed);
              if (!finite) {
                basis_bad = true;
                failed = true;
                return;
              }
              basis = tile;
            } else {
              basis = table + (j0 / bw) * panel_doubles;
            }
            compute(shared, nr, j0, j1, basis);
          },
          keep_going);
    }
  }
  stats_.basis_seconds += static_cast<double>(tile_nanos.load()) * 1e-9 / threads;
  stats_.multiply_adds += done.load();
  if (basis_bad) return TransformOutcome::BasisNotFinite;
  if (values_bad) {
    // A tiled basis has not been seen whole: a bad basis value anywhere
    // takes precedence, as it does for a whole table.
    if (tiled) {
      std::atomic<bool> bad{false};
      pool_->Run(
          chunks,
          [&](std::int64_t c, int worker) {
            if (bad) return;
            const std::int64_t j0 = c * chunk;
            if (!BuildBasisPanels(rule, bw, j0, std::min(np, j0 + chunk),
                                  blocks[static_cast<std::size_t>(worker)].tile.get(), set_))
              bad = true;
          },
          nullptr);
      if (bad) return TransformOutcome::BasisNotFinite;
    }
    return TransformOutcome::ValuesNotFinite;
  }
  if (stop.stopped || !going) return TransformOutcome::Stopped;
  return TransformOutcome::Ok;
}

}  // namespace tabulor

namespace tabulor {

bool Transformer::CanTransformLastTwo(const ResultsArray& results, const TransformShape& shape) const {
  if (fusion_ == 2 || tiling_ == 1) return false;
  if (shape.points[2] * shape.points[3] < 2 && fusion_ != 1) return false;  // one slab: nothing to gain
  for (int v = 0; v < 2; ++v) {
    const std::int64_t table = RoundUp(shape.points[static_cast<std::size_t>(v)], 8) *
                               shape.terms[static_cast<std::size_t>(v)] * 8;
    if (table > kWholeBasisBytes) return false;
  }
  return fusion_ == 1 || results.Stride(2) * static_cast<std::int64_t>(sizeof(double)) <= kSlabBytes;
}

TransformOutcome Transformer::TransformLastTwo(ResultsArray& results, const TransformShape& shape,
                                               const BasisRule& rule1, const BasisRule& rule0,
                                               const TransformPoll& poll, int& failed_var) {
  const TimeInto account(stats_.seconds);
  failed_var = 1;
  try {
    return RunLastTwo(results, shape, rule1, rule0, poll, failed_var);
  } catch (const std::bad_alloc&) {
    return TransformOutcome::NoMemory;
  }
}

TransformOutcome Transformer::RunLastTwo(ResultsArray& results, const TransformShape& shape,
                                         const BasisRule& rule1, const BasisRule& rule0,
                                         const TransformPoll& poll, int& failed_var) {
  TransformShape shape1 = shape, shape0 = shape;
  shape1.v = 1;
  shape0.v = 0;
  // The passes over one slab: the other dimensions above 1 are held.
  Pass pass1(*set_, results, shape1), pass0(*set_, results, shape0);
  pass1.range[1] = pass1.range[2] = 1;
  pass0.range[1] = pass0.range[2] = 1;
  const std::int64_t slabs = shape.points[2] * shape.points[3];
  const std::int64_t stride2 = results.Stride(2), stride3 = results.Stride(3);

  StopCheck stop(poll);
  std::atomic<std::uint64_t>& done = stop.done;
  std::atomic<bool>& failed = stop.failed;
  std::atomic<bool> basis_bad{false}, values1_bad{false}, values0_bad{false};
  const std::function<bool()> keep_going = [&stop] { return stop(); };

  // Both basis tables whole. A bad value in that of dimension 0 is told
  // after the values of dimension 1, as one transform after the other
  // would tell it: then the two are done one after the other.
  const auto basis_start = std::chrono::steady_clock::now();
  if (!buffers_->table.Reserve(pass1.table_panels() * pass1.panel_doubles()) ||
      !buffers_->table0.Reserve(pass0.table_panels() * pass0.panel_doubles()))
    return TransformOutcome::NoMemory;
  double* table1 = buffers_->table.get();
  double* table0 = buffers_->table0.get();
  bool going = BuildTable(*pool_, set_, rule1, pass1, table1, keep_going, basis_bad);
  if (basis_bad) return TransformOutcome::BasisNotFinite;
  if (going) going = BuildTable(*pool_, set_, rule0, pass0, table0, keep_going, basis_bad);
  stats_.basis_seconds += Since(basis_start);
  if (!going) return TransformOutcome::Stopped;
  if (basis_bad) {
    const TransformOutcome first = Run(results, shape1, rule1, poll);
    if (first != TransformOutcome::Ok) return first;
    failed_var = 0;
    return Run(results, shape0, rule0, poll);
  }

  // Working memory per thread: a block of runs of either pass.
  const std::int64_t most1 = std::max(pass1.rw, (kTiledRunDoubles / 8) / pass1.nk / pass1.rw * pass1.rw);
  const std::int64_t block1 = std::min(RoundUp(pass1.runs(), pass1.rw), most1);
  const std::int64_t block0 = pass0.rw * 8;
  const std::int64_t packed = std::max(RoundUp(block1, pass1.rw) * pass1.nk, block0 * pass0.nk);
  const std::int64_t bases = std::max(block1, block0);
  for (auto& b : buffers_->block) {
    if (!b.packed.Reserve(packed)) return TransformOutcome::NoMemory;
    b.base.resize(static_cast<std::size_t>(bases));
    b.contiguous.resize(static_cast<std::size_t>(RoundUp(block1, pass1.rw) / pass1.width + 1));
  }
  const std::int64_t chunk1 = ChunkFor(pass1), chunk0 = ChunkFor(pass0);
  const std::uint64_t slab_madds = static_cast<std::uint64_t>(pass1.runs() * pass1.np * pass1.nk +
                                                              pass0.runs() * pass0.np * pass0.nk);
  const std::int64_t per_task =
      std::max<std::int64_t>(1, kPieceMultiplyAdds / static_cast<std::int64_t>(std::max<std::uint64_t>(slab_madds, 1)));
  const std::int64_t tasks = (slabs + per_task - 1) / per_task;

  // One pass over the runs of a slab, block by block.
  auto sweep = [&](const Pass& pass, RunBlock& b, std::int64_t offset, std::int64_t block, std::int64_t chunk,
                   const double* table) {
    const std::int64_t runs = pass.runs();
    for (std::int64_t r0 = 0; r0 < runs; r0 += block) {
      const std::int64_t nr = std::min(block, runs - r0);
      pass.Pack(b, offset, r0, nr);
      for (std::int64_t j0 = 0; j0 < pass.np; j0 += chunk)
        if (!pass.Compute(b, nr, j0, std::min(pass.np, j0 + chunk), table + (j0 / pass.bw) * pass.panel_doubles()))
          return false;
    }
    return true;
  };

  going = pool_->Run(
      tasks,
      [&](std::int64_t t, int worker) {
        RunBlock& b = buffers_->block[static_cast<std::size_t>(worker)];
        const std::int64_t s1 = std::min(slabs, (t + 1) * per_task);
        for (std::int64_t s = t * per_task; s < s1; ++s) {
          if (failed.load(std::memory_order_relaxed)) return;
          const std::int64_t offset = (s % shape.points[2]) * stride2 + (s / shape.points[2]) * stride3;
          if (!sweep(pass1, b, offset, block1, chunk1, table1)) {
            values1_bad = true;
            failed = true;
            return;
          }
          // After a bad value of dimension 0 only dimension 1 goes on: a bad
          // value there is told first.
          if (!values0_bad.load(std::memory_order_relaxed) && !sweep(pass0, b, offset, block0, chunk0, table0))
            values0_bad = true;
          done.fetch_add(slab_madds, std::memory_order_relaxed);
        }
      },
      keep_going);
  stats_.multiply_adds += done.load();
  if (values1_bad) return TransformOutcome::ValuesNotFinite;
  if (stop.stopped || !going) return TransformOutcome::Stopped;
  if (values0_bad) {
    failed_var = 0;
    return TransformOutcome::ValuesNotFinite;
  }
  return TransformOutcome::Ok;
}

}  // namespace tabulor
