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
    case KernelPath::Wide8: return true;
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

constexpr std::int64_t kTileDoubles = 16384;          // 128 KB of basis per tile
constexpr std::int64_t kTiledRunDoubles = 1 << 20;    // 8 MB of packed runs when tiling
constexpr std::int64_t kPieceMultiplyAdds = 1 << 22;  // about a millisecond
constexpr std::int64_t kTablePointsPerTask = 4096;    // grid points of a basis table per task
constexpr std::int64_t kBlocksPerThread = 4;          // blocks of runs per thread, for balance
constexpr std::int64_t kPanelsPerBlock = 8;           // packed panels in a block of runs at most

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
  void FindRuns(RunBlock& b, std::int64_t offset, std::int64_t r0, std::int64_t nr) const;
  void PackRunsAsPanels(RunBlock& b, std::int64_t nr) const;
  void PackRunsAsLanes(RunBlock& b, std::int64_t nr) const;
  // False when a value stored is an infinity or NaN.
  bool Compute(RunBlock& b, std::int64_t nr, std::int64_t j0, std::int64_t j1, const double* basis) const;
};

// Runs r0 .. r0+nr-1 into b: their starts, their values packed in panels.
void Pass::Pack(RunBlock& b, std::int64_t offset, std::int64_t r0, std::int64_t nr) const {
  FindRuns(b, offset, r0, nr);
  if (over_points) {
    PackRunsAsPanels(b, nr);
  } else {
    PackRunsAsLanes(b, nr);
  }
}

void Pass::FindRuns(RunBlock& b, std::int64_t offset, std::int64_t r0, std::int64_t nr) const {
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
}

// Panels of rw runs: out[p][k][i]. The runs lie apart in memory; their
// lines are asked for a panel ahead. Each row k of a panel is written
// whole, from the rw runs side by side.
void Pass::PackRunsAsPanels(RunBlock& b, std::int64_t nr) const {
  const std::int64_t padded = RoundUp(nr, rw);
  double* out = b.packed.get();
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
}

// Panels of rw runs as lanes: out[p][k][l]; and which vectors of runs lie
// side by side in memory.
void Pass::PackRunsAsLanes(RunBlock& b, std::int64_t nr) const {
  const std::int64_t padded = RoundUp(nr, rw);
  double* out = b.packed.get();
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
bool BuildTable(ThreadPool& pool, const kernels::KernelSet* set, const BasisRule& rule, const Pass& pass, double* table,
                const std::function<bool()>& keep_going, std::atomic<bool>& bad) {
  const std::int64_t bw = pass.bw;
  const std::int64_t per_task = std::max<std::int64_t>(1, kTablePointsPerTask / bw);
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
  AlignedDoubles table;         // the whole basis in panels
  AlignedDoubles table0;        // that of dimension 0 when two are transformed together
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

TransformOutcome Transformer::Transform(ResultsArray& results, const TransformShape& shape, const BasisRule& rule,
                                        const TransformPoll& poll) {
  const TimeInto account(stats_.seconds);
  try {
    return Run(results, shape, rule, poll);
  } catch (const std::bad_alloc&) {
    return TransformOutcome::NoMemory;
  }
}

namespace {

// What the threads of one transform share besides the stop check: which
// kind of bad value was seen, and the time spent on basis tiles.
struct RunState {
  explicit RunState(const TransformPoll& poll) : stop(poll), keep_going([this] { return stop(); }) {}
  StopCheck stop;
  std::atomic<bool> basis_bad{false}, values_bad{false};
  std::atomic<std::int64_t> tile_nanos{0};
  const std::function<bool()> keep_going;

  void Fail(std::atomic<bool>& which) {
    which = true;
    stop.failed = true;
  }
};

// How one transform is cut into pieces of work.
struct RunPlan {
  bool tiled = false;       // the basis built tile by tile next to its sums
  bool split_runs = false;  // blocks of runs spread over the threads, else grid points
  std::int64_t block_runs = 0;
  std::int64_t chunk = 0;  // grid points per piece of work
  std::int64_t chunks = 0;
};

RunPlan PlanRun(const Pass& pass, int threads, TilingMode tiling) {
  RunPlan plan;
  const std::int64_t rw = pass.rw, total_runs = pass.runs();
  const std::int64_t table_bytes = pass.table_panels() * pass.panel_doubles() * 8;
  plan.tiled =
      tiling == TilingMode::Always || (tiling == TilingMode::BySize && table_bytes > Transformer::kWholeBasisBytes);
  // Enough blocks of runs to keep every thread busy, or, with few runs (or
  // a tiled basis), every block's grid points split instead.
  const std::int64_t blocks_wanted = kBlocksPerThread * threads;
  plan.split_runs = !plan.tiled && (threads == 1 || total_runs >= blocks_wanted * rw);
  if (plan.split_runs) {
    plan.block_runs =
        std::min<std::int64_t>(rw * kPanelsPerBlock, RoundUp((total_runs + blocks_wanted - 1) / blocks_wanted, rw));
  } else {
    plan.block_runs = std::max<std::int64_t>(rw, kTiledRunDoubles / pass.nk / rw * rw);
    plan.block_runs = std::min(plan.block_runs, RoundUp(total_runs, rw));
  }
  plan.block_runs = std::max(plan.block_runs, rw);
  // Grid points per piece of work: a tile of the basis that stays in cache,
  // and (when threads share a block of runs) a piece short enough that a
  // request to stop is seen soon.
  std::int64_t chunk_panels = kTileDoubles / pass.panel_doubles();
  if (!plan.split_runs)
    chunk_panels = std::min(chunk_panels, kPieceMultiplyAdds / (pass.panel_doubles() * plan.block_runs));
  chunk_panels = std::clamp<std::int64_t>(chunk_panels, 1, pass.table_panels());
  plan.chunk = chunk_panels * pass.bw;
  plan.chunks = (pass.np + plan.chunk - 1) / plan.chunk;
  return plan;
}

// The working memory of the plan: a block of runs for every thread that
// packs one, and a tile of the basis for every thread when tiled.
bool ReserveBlocks(std::vector<RunBlock>& blocks, const Pass& pass, const RunPlan& plan, int threads) {
  const std::int64_t packed_doubles = RoundUp(plan.block_runs, pass.rw) * pass.nk;
  for (int t = 0; t < (plan.split_runs ? threads : 1); ++t) {
    RunBlock& b = blocks[static_cast<std::size_t>(t)];
    if (!b.packed.Reserve(packed_doubles)) return false;
    b.base.resize(static_cast<std::size_t>(plan.block_runs));
    b.contiguous.resize(static_cast<std::size_t>(RoundUp(plan.block_runs, pass.rw) / pass.width));
  }
  if (plan.tiled)
    for (auto& b : blocks)
      if (!b.tile.Reserve(plan.chunk * pass.nk)) return false;
  return true;
}

// The values of nr packed runs at the grid points j0 .. j1-1.
void ComputePiece(const Pass& pass, RunBlock& b, std::int64_t nr, std::int64_t j0, std::int64_t j1, const double* basis,
                  RunState& state) {
  if (!pass.Compute(b, nr, j0, j1, basis)) state.Fail(state.values_bad);
  state.stop.done.fetch_add(static_cast<std::uint64_t>(nr * (j1 - j0) * pass.nk), std::memory_order_relaxed);
}

// Every thread takes whole blocks of runs, with the whole basis table.
bool SweepBlocksOfRuns(ThreadPool& pool, std::vector<RunBlock>& blocks, const Pass& pass, const RunPlan& plan,
                       const double* table, RunState& state) {
  const std::int64_t total_runs = pass.runs();
  const std::int64_t nblocks = (total_runs + plan.block_runs - 1) / plan.block_runs;
  return pool.Run(
      nblocks,
      [&](std::int64_t t, int worker) {
        if (state.stop.failed.load(std::memory_order_relaxed)) return;
        RunBlock& b = blocks[static_cast<std::size_t>(worker)];
        const std::int64_t r0 = t * plan.block_runs;
        const std::int64_t nr = std::min(plan.block_runs, total_runs - r0);
        pass.Pack(b, 0, r0, nr);
        for (std::int64_t j0 = 0; j0 < pass.np; j0 += plan.chunk)
          ComputePiece(pass, b, nr, j0, std::min(pass.np, j0 + plan.chunk),
                       table + (j0 / pass.bw) * pass.panel_doubles(), state);
      },
      state.keep_going);
}

// The basis of grid points j0 .. j1-1 in the worker's tile; null when a
// value of it is an infinity or NaN.
const double* BuildTile(const BasisRule& rule, const Pass& pass, RunBlock& worker_block, std::int64_t j0,
                        std::int64_t j1, RunState& state) {
  double* tile = worker_block.tile.get();
  const auto tile_start = std::chrono::steady_clock::now();
  const bool finite = BuildBasisPanels(rule, pass.bw, j0, j1, tile, pass.set);
  state.tile_nanos.fetch_add(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - tile_start).count(),
      std::memory_order_relaxed);
  if (finite) return tile;
  state.Fail(state.basis_bad);
  return nullptr;
}

// One block of runs at a time, its grid points spread over the threads;
// with a tiled basis every thread builds the tile of its grid points.
bool SweepPiecesOfPoints(ThreadPool& pool, std::vector<RunBlock>& blocks, const BasisRule& rule, const Pass& pass,
                         const RunPlan& plan, const double* table, RunState& state) {
  RunBlock& shared = blocks[0];
  bool going = true;
  for (std::int64_t r0 = 0; r0 < pass.runs() && going; r0 += plan.block_runs) {
    const std::int64_t nr = std::min(plan.block_runs, pass.runs() - r0);
    pass.Pack(shared, 0, r0, nr);
    going = pool.Run(
        plan.chunks,
        [&](std::int64_t c, int worker) {
          if (state.stop.failed.load(std::memory_order_relaxed)) return;
          const std::int64_t j0 = c * plan.chunk;
          const std::int64_t j1 = std::min(pass.np, j0 + plan.chunk);
          const double* basis = plan.tiled
                                    ? BuildTile(rule, pass, blocks[static_cast<std::size_t>(worker)], j0, j1, state)
                                    : table + (j0 / pass.bw) * pass.panel_doubles();
          if (basis != nullptr) ComputePiece(pass, shared, nr, j0, j1, basis, state);
        },
        state.keep_going);
  }
  return going;
}

// A tiled basis has not been seen whole: true when a value of it anywhere
// is an infinity or NaN.
bool TiledBasisIsBad(ThreadPool& pool, std::vector<RunBlock>& blocks, const BasisRule& rule, const Pass& pass,
                     const RunPlan& plan) {
  std::atomic<bool> bad{false};
  pool.Run(
      plan.chunks,
      [&](std::int64_t c, int worker) {
        if (bad) return;
        const std::int64_t j0 = c * plan.chunk;
        if (!BuildBasisPanels(rule, pass.bw, j0, std::min(pass.np, j0 + plan.chunk),
                              blocks[static_cast<std::size_t>(worker)].tile.get(), pass.set))
          bad = true;
      },
      nullptr);
  return bad;
}

// The whole basis table of `pass` in `buffer`, built by all threads; the
// time it took goes to `seconds`.
TransformOutcome BuildWholeTable(ThreadPool& pool, AlignedDoubles& buffer, const BasisRule& rule, const Pass& pass,
                                 RunState& state, double& seconds, double*& table) {
  const auto basis_start = std::chrono::steady_clock::now();
  if (!buffer.Reserve(pass.table_panels() * pass.panel_doubles())) return TransformOutcome::NoMemory;
  table = buffer.get();
  const bool going = BuildTable(pool, pass.set, rule, pass, table, state.keep_going, state.basis_bad);
  seconds += Since(basis_start);
  if (state.basis_bad) return TransformOutcome::BasisNotFinite;
  return going ? TransformOutcome::Ok : TransformOutcome::Stopped;
}

}  // namespace

TransformOutcome Transformer::Run(ResultsArray& results, const TransformShape& shape, const BasisRule& rule,
                                  const TransformPoll& poll) {
  const Pass pass(*set_, results, shape);
  const int threads = pool_->threads();
  const RunPlan plan = PlanRun(pass, threads, tiling_);
  RunState state(poll);
  double* table = nullptr;
  if (!plan.tiled)
    if (const TransformOutcome built =
            BuildWholeTable(*pool_, buffers_->table, rule, pass, state, stats_.basis_seconds, table);
        built != TransformOutcome::Ok)
      return built;
  auto& blocks = buffers_->block;
  if (!ReserveBlocks(blocks, pass, plan, threads)) return TransformOutcome::NoMemory;
  const bool going = plan.split_runs ? SweepBlocksOfRuns(*pool_, blocks, pass, plan, table, state)
                                     : SweepPiecesOfPoints(*pool_, blocks, rule, pass, plan, table, state);
  stats_.basis_seconds += static_cast<double>(state.tile_nanos.load()) * 1e-9 / threads;
  stats_.multiply_adds += state.stop.done.load();
  if (state.basis_bad) return TransformOutcome::BasisNotFinite;
  if (state.values_bad) {
    // A bad basis value anywhere takes precedence, as it does for a whole
    // table.
    if (plan.tiled && TiledBasisIsBad(*pool_, blocks, rule, pass, plan)) return TransformOutcome::BasisNotFinite;
    return TransformOutcome::ValuesNotFinite;
  }
  if (state.stop.stopped || !going) return TransformOutcome::Stopped;
  return TransformOutcome::Ok;
}

}  // namespace tabulor

namespace tabulor {

bool Transformer::CanTransformLastTwo(const ResultsArray& results, const TransformShape& shape) const {
  if (slabs_ == SlabMode::Never || tiling_ == TilingMode::Always) return false;
  // One slab: nothing to gain.
  if (shape.points[2] * shape.points[3] < 2 && slabs_ != SlabMode::Always) return false;
  for (int v = 0; v < 2; ++v) {
    const std::int64_t table =
        RoundUp(shape.points[static_cast<std::size_t>(v)], 8) * shape.terms[static_cast<std::size_t>(v)] * 8;
    if (table > kWholeBasisBytes) return false;
  }
  return slabs_ == SlabMode::Always || results.Stride(2) * static_cast<std::int64_t>(sizeof(double)) <= kSlabBytes;
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

namespace {

TransformShape ShapeFor(const TransformShape& shape, int v) {
  TransformShape one = shape;
  one.v = v;
  return one;
}

// Variables 1 and 0 slab by slab: the passes over one slab (the dimensions
// above 1 held), the blocks of runs, and the slabs each task takes.
struct SlabPlan {
  SlabPlan(const kernels::KernelSet& set, ResultsArray& results, const TransformShape& shape)
      : pass1(set, results, ShapeFor(shape, 1)), pass0(set, results, ShapeFor(shape, 0)) {
    pass1.range[1] = pass1.range[2] = 1;
    pass0.range[1] = pass0.range[2] = 1;
    points2 = shape.points[2];
    slabs = shape.points[2] * shape.points[3];
    stride2 = results.Stride(2);
    stride3 = results.Stride(3);
    const std::int64_t most1 =
        std::max(pass1.rw, (kTiledRunDoubles / kPanelsPerBlock) / pass1.nk / pass1.rw * pass1.rw);
    block1 = std::min(RoundUp(pass1.runs(), pass1.rw), most1);
    block0 = pass0.rw * kPanelsPerBlock;
    chunk1 = ChunkFor(pass1);
    chunk0 = ChunkFor(pass0);
    slab_madds = static_cast<std::uint64_t>(pass1.runs() * pass1.np * pass1.nk + pass0.runs() * pass0.np * pass0.nk);
    per_task = std::max<std::int64_t>(
        1, kPieceMultiplyAdds / static_cast<std::int64_t>(std::max<std::uint64_t>(slab_madds, 1)));
    tasks = (slabs + per_task - 1) / per_task;
  }
  // Where slab s begins in the results.
  std::int64_t Offset(std::int64_t s) const { return (s % points2) * stride2 + (s / points2) * stride3; }

  Pass pass1, pass0;
  std::int64_t points2 = 1, slabs = 1, stride2 = 0, stride3 = 0;
  std::int64_t block1 = 0, block0 = 0, chunk1 = 0, chunk0 = 0;
  std::uint64_t slab_madds = 0;
  std::int64_t per_task = 1, tasks = 0;
};

// Working memory per thread: a block of runs of either pass.
bool ReserveSlabBlocks(std::vector<RunBlock>& blocks, const SlabPlan& plan) {
  const Pass& p1 = plan.pass1;
  const std::int64_t packed = std::max(RoundUp(plan.block1, p1.rw) * p1.nk, plan.block0 * plan.pass0.nk);
  const std::int64_t bases = std::max(plan.block1, plan.block0);
  for (auto& b : blocks) {
    if (!b.packed.Reserve(packed)) return false;
    b.base.resize(static_cast<std::size_t>(bases));
    b.contiguous.resize(static_cast<std::size_t>(RoundUp(plan.block1, p1.rw) / p1.width + 1));
  }
  return true;
}

// One pass over the runs of a slab, block by block; false at a value that
// is an infinity or NaN.
bool SweepSlab(const Pass& pass, RunBlock& b, std::int64_t offset, std::int64_t block, std::int64_t chunk,
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
}

// Every slab, dimension 1 and then dimension 0 while the slab is in cache.
// A bad value of dimension 1 stops all (state.values_bad); after a bad
// value of dimension 0 (values0_bad) only dimension 1 goes on, so that a
// bad value there is told first.
bool SweepSlabs(ThreadPool& pool, std::vector<RunBlock>& blocks, const SlabPlan& plan, const double* table1,
                const double* table0, RunState& state, std::atomic<bool>& values0_bad) {
  return pool.Run(
      plan.tasks,
      [&](std::int64_t t, int worker) {
        RunBlock& b = blocks[static_cast<std::size_t>(worker)];
        const std::int64_t s1 = std::min(plan.slabs, (t + 1) * plan.per_task);
        for (std::int64_t s = t * plan.per_task; s < s1; ++s) {
          if (state.stop.failed.load(std::memory_order_relaxed)) return;
          const std::int64_t offset = plan.Offset(s);
          if (!SweepSlab(plan.pass1, b, offset, plan.block1, plan.chunk1, table1)) {
            state.Fail(state.values_bad);
            return;
          }
          if (!values0_bad.load(std::memory_order_relaxed) &&
              !SweepSlab(plan.pass0, b, offset, plan.block0, plan.chunk0, table0))
            values0_bad = true;
          state.stop.done.fetch_add(plan.slab_madds, std::memory_order_relaxed);
        }
      },
      state.keep_going);
}

}  // namespace

TransformOutcome Transformer::RunLastTwo(ResultsArray& results, const TransformShape& shape, const BasisRule& rule1,
                                         const BasisRule& rule0, const TransformPoll& poll, int& failed_var) {
  const SlabPlan plan(*set_, results, shape);
  RunState state(poll);
  // Both basis tables whole. A bad value in that of dimension 0 is told
  // after the values of dimension 1, as one transform after the other
  // would tell it: then the two are done one after the other.
  double *table1 = nullptr, *table0 = nullptr;
  TransformOutcome built =
      BuildWholeTable(*pool_, buffers_->table, rule1, plan.pass1, state, stats_.basis_seconds, table1);
  if (built == TransformOutcome::Ok)
    built = BuildWholeTable(*pool_, buffers_->table0, rule0, plan.pass0, state, stats_.basis_seconds, table0);
  if (built == TransformOutcome::BasisNotFinite && table0 != nullptr) {
    const TransformOutcome first = Run(results, ShapeFor(shape, 1), rule1, poll);
    if (first != TransformOutcome::Ok) return first;
    failed_var = 0;
    return Run(results, ShapeFor(shape, 0), rule0, poll);
  }
  if (built != TransformOutcome::Ok) return built;
  if (!ReserveSlabBlocks(buffers_->block, plan)) return TransformOutcome::NoMemory;
  std::atomic<bool> values0_bad{false};
  const bool going = SweepSlabs(*pool_, buffers_->block, plan, table1, table0, state, values0_bad);
  stats_.multiply_adds += state.stop.done.load();
  if (state.values_bad) return TransformOutcome::ValuesNotFinite;
  if (state.stop.stopped || !going) return TransformOutcome::Stopped;
  if (values0_bad) {
    failed_var = 0;
    return TransformOutcome::ValuesNotFinite;
  }
  return TransformOutcome::Ok;
}

}  // namespace tabulor
