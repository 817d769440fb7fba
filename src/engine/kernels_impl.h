// The register-blocked inner loops, written once for every vector width.
//
// Include this inside an unnamed namespace, after defining
//   V        a GCC vector type of W doubles,
//   W        its number of doubles,
//   MI       items per x panel (rows of the register block),
//   NV       vectors per y panel row (YP = NV * W lanes),
// and, for a target other than the default one, between
// `#pragma GCC push_options` / `#pragma GCC target(...)` and
// `#pragma GCC pop_options`. Every name here then has internal linkage, so
// the copies made for different targets never meet in the linker.
//
// This file includes nothing: the including file includes <cstdint> and
// "engine/kernels.h" before the target pragma.

constexpr int YP = NV * W;

static_assert(sizeof(V) == sizeof(double) * W, "V must hold W doubles");
static_assert(MI <= tabulor::kernels::kMaxXPanel, "an x panel holds at most kMaxXPanel items");

// The same vector at any double's address (loads and stores of doubles, so
// the compiler still knows what they may overlap).
typedef double VU __attribute__((vector_size(W * sizeof(double)), aligned(sizeof(double))));

inline __attribute__((always_inline)) V LoadV(const double* p) { return *reinterpret_cast<const VU*>(p); }

inline __attribute__((always_inline)) void StoreV(double* p, const V& v) { *reinterpret_cast<VU*>(p) = v; }

// Register blocks of M x panels of y: with fewer items than MI (the last x
// panel) several y panels share one pass, so the block keeps about as many
// independent sums as the full one.
constexpr int GroupFor(int m) { return MI / m > 1 ? MI / m : 1; }

// acc[i][g * NV + v] = sum over k of x[k][i] * y_g[k][v * W .. v * W + W - 1],
// each lane's sum s formed as s = x * y + s from s = 0.0, k increasing.
template <int M, int G>
inline __attribute__((always_inline)) void Micro(std::int64_t nk, const double* __restrict x,
                                                 const double* __restrict y, std::int64_t y_panel_doubles,
                                                 V (&acc)[M][G * NV]) {
#pragma GCC unroll 64
  for (int i = 0; i < M; ++i)
#pragma GCC unroll 64
    for (int v = 0; v < G * NV; ++v) acc[i][v] = V{};
#pragma GCC unroll 2
  for (std::int64_t k = 0; k < nk; ++k) {
    const double* xk = x + k * MI;
    V yv[G * NV];
#pragma GCC unroll 64
    for (int g = 0; g < G; ++g)
#pragma GCC unroll 64
      for (int v = 0; v < NV; ++v) yv[g * NV + v] = LoadV(y + g * y_panel_doubles + k * YP + v * W);
#pragma GCC unroll 64
    for (int i = 0; i < M; ++i) {
      const double xs = xk[i];
#pragma GCC unroll 64
      for (int v = 0; v < G * NV; ++v) acc[i][v] = xs * yv[v] + acc[i][v];
    }
  }
}

// A value is an infinity or NaN exactly when value - value is a NaN (not
// +0.0, whose bits are all 0): the bits of the differences are or-ed, a
// chain of one-cycle steps.
typedef long long VI __attribute__((vector_size(W * sizeof(double))));

inline __attribute__((always_inline)) void Track(VI& check, const V& value) {
  check |= reinterpret_cast<VI>(value - value);
}

inline bool CheckFinite(const VI& check) {
  bool ok = true;
  for (int l = 0; l < W; ++l) ok &= check[l] == 0;
  return ok;
}

// Where the values of a block go (the fields of BlockArgs, held in locals so
// that the stores of values are not taken to change them).
struct Target {
  double* data;
  const std::int64_t* run_base;
  std::int64_t point0;
  std::int64_t stride;
  std::int64_t nx;
  std::int64_t ny;
  const std::uint8_t* contiguous;
};

// Asks for the cache lines of `count` doubles from p on, to be written.
inline __attribute__((always_inline)) void PrefetchForWrite(const double* p, std::int64_t count) {
  for (std::int64_t l = 0; l < count; l += 8) __builtin_prefetch(p + l, 1);
  __builtin_prefetch(p + count - 1, 1);
}

// Items are runs, lanes are grid points; a run's points are contiguous.
struct PointLanes {
  // The lines that the block of x panel xp and y panel yp will write.
  static inline void Prefetch(const Target& t, std::int64_t xp, std::int64_t yp) {
    const std::int64_t m = t.nx - xp * MI < MI ? t.nx - xp * MI : MI;
    const std::int64_t j = yp * YP;
    if (j >= t.ny) return;
    const std::int64_t n = t.ny - j < YP ? t.ny - j : YP;
    for (std::int64_t i = 0; i < m; ++i) PrefetchForWrite(t.data + t.run_base[xp * MI + i] + t.point0 + j, n);
  }
  template <int M, int G>
  static inline __attribute__((always_inline)) void Store(const Target& t, std::int64_t xp, std::int64_t yp,
                                                          V (&acc)[M][G * NV], VI& check) {
    const std::int64_t j0 = yp * YP;
    if (j0 + G * YP <= t.ny) {
#pragma GCC unroll 64
      for (int i = 0; i < M; ++i) {
        double* dst = t.data + t.run_base[xp * MI + i] + t.point0 + j0;
#pragma GCC unroll 64
        for (int u = 0; u < G * NV; ++u) {
          Track(check, acc[i][u]);
          StoreV(dst + u * W, acc[i][u]);
        }
      }
      return;
    }
    for (int i = 0; i < M; ++i) {
      double* dst = t.data + t.run_base[xp * MI + i] + t.point0;
      for (int u = 0; u < G * NV; ++u) {
        const std::int64_t j = j0 + u * W;
        Track(check, acc[i][u]);
        if (j + W <= t.ny) {
          StoreV(dst + j, acc[i][u]);
        } else {
          for (int l = 0; l < W && j + l < t.ny; ++l) dst[j + l] = acc[i][u][l];
        }
      }
    }
  }
};

// Items are grid points, lanes are runs; a vector of runs is stored at once
// when its runs lie side by side.
struct RunLanes {
  static inline void Prefetch(const Target& t, std::int64_t xp, std::int64_t yp) {
    const std::int64_t m = t.nx - xp * MI < MI ? t.nx - xp * MI : MI;
    const std::int64_t c = yp * YP;
    if (c >= t.ny) return;
    const std::int64_t last = (t.ny - c < YP ? t.ny - c : YP) - 1;
    for (std::int64_t i = 0; i < m; ++i) {
      const double* row = t.data + (t.point0 + xp * MI + i) * t.stride;
      __builtin_prefetch(row + t.run_base[c], 1);
      __builtin_prefetch(row + t.run_base[c + last], 1);
    }
  }
  template <int M, int G>
  static inline __attribute__((always_inline)) void Store(const Target& t, std::int64_t xp, std::int64_t yp,
                                                          V (&acc)[M][G * NV], VI& check) {
#pragma GCC unroll 64
    for (int i = 0; i < M; ++i) {
      double* row = t.data + (t.point0 + xp * MI + i) * t.stride;
#pragma GCC unroll 64
      for (int u = 0; u < G * NV; ++u) {
        const std::int64_t c = yp * YP + u * W;
        Track(check, acc[i][u]);
        if (t.contiguous[c / W]) {
          StoreV(row + t.run_base[c], acc[i][u]);
        } else {
          for (int l = 0; l < W && c + l < t.ny; ++l) row[t.run_base[c + l]] = acc[i][u][l];
        }
      }
    }
  }
};

// One x panel (M valid items) against every y panel. Returns the finiteness
// check of the values stored.
template <class Lanes, int M>
VI Row(const tabulor::kernels::BlockArgs& a, std::int64_t xp) {
  constexpr int G = GroupFor(M);
  const Target t{a.data, a.run_base, a.point0, a.stride, a.nx, a.ny, a.contiguous};
  const std::int64_t nk = a.nk;
  const std::int64_t ny_panels = a.ny_panels;
  const std::int64_t y_panel_doubles = nk * YP;
  const double* const x = a.x + xp * nk * MI;
  const double* const y = a.y;
  VI check = VI{};
  // The lines a block writes are asked for a few blocks ahead (about a
  // microsecond of work), those of the next x panel near this one's end: a
  // store that misses the cache would otherwise wait for its line.
  const std::int64_t ahead = nk >= 100 ? 1 : (100 + nk - 1) / nk;
  auto prefetch = [&](std::int64_t yq) {
    if (yq < ny_panels) {
      Lanes::Prefetch(t, xp, yq);
    } else if ((xp + 1) * MI < t.nx && yq - ny_panels < ny_panels) {
      Lanes::Prefetch(t, xp + 1, yq - ny_panels);
    }
  };
  std::int64_t yp = 0;
  if constexpr (G > 1) {
    for (; yp + G <= ny_panels; yp += G) {
      for (int g = 0; g < G; ++g) prefetch(yp + g + ahead * G);
      V acc[M][G * NV];
      Micro<M, G>(nk, x, y + yp * y_panel_doubles, y_panel_doubles, acc);
      Lanes::template Store<M, G>(t, xp, yp, acc, check);
    }
  }
  for (; yp < ny_panels; ++yp) {
    prefetch(yp + ahead);
    V acc[M][NV];
    Micro<M, 1>(nk, x, y + yp * y_panel_doubles, y_panel_doubles, acc);
    Lanes::template Store<M, 1>(t, xp, yp, acc, check);
  }
  return check;
}

template <class Lanes, int M>
VI RowFor(int m, const tabulor::kernels::BlockArgs& a, std::int64_t xp) {
  if constexpr (M > 1) {
    if (m != M) return RowFor<Lanes, M - 1>(m, a, xp);
  }
  return Row<Lanes, M>(a, xp);
}

template <class Lanes>
bool Block(const tabulor::kernels::BlockArgs& a) {
  VI check = VI{};
  for (std::int64_t xp = 0; xp * MI < a.nx; ++xp) {
    const std::int64_t left = a.nx - xp * MI;
    check |= RowFor<Lanes, MI>(left < MI ? static_cast<int>(left) : MI, a, xp);
  }
  return CheckFinite(check);
}

bool LanesOverPoints(const tabulor::kernels::BlockArgs& a) { return Block<PointLanes>(a); }
bool LanesOverRuns(const tabulor::kernels::BlockArgs& a) { return Block<RunLanes>(a); }

// The Power basis of one panel of C points (see KernelSet::power_panel_x):
// C / W points to a vector, the rest one by one.
template <int C>
bool PowerPanel(const double* u, const double* factor, std::int64_t d, std::int64_t n, double* out) {
  constexpr int NF = C / W;
  constexpr int T = C % W;
  V p[NF > 0 ? NF : 1], uv[NF > 0 ? NF : 1];
  double ps[T > 0 ? T : 1], us[T > 0 ? T : 1];
  VI check = VI{};
  double check_tail = 0.0;
#pragma GCC unroll 8
  for (int v = 0; v < NF; ++v) {
    uv[v] = LoadV(u + v * W);
    p[v] = V{} + 1.0;
  }
  for (int t = 0; t < T; ++t) {
    us[t] = u[NF * W + t];
    ps[t] = 1.0;
  }
  for (std::int64_t k = 0; k < d; ++k)
    for (int i = 0; i < C; ++i) out[k * C + i] = 0.0;
  for (std::int64_t k = d; k < n; ++k) {
    const double f = factor[k];
    double* o = out + k * C;
#pragma GCC unroll 8
    for (int v = 0; v < NF; ++v) {
      const V b = f * p[v];
      StoreV(o + v * W, b);
      Track(check, b);
      p[v] = p[v] * uv[v];
    }
#pragma GCC unroll 8
    for (int t = 0; t < T; ++t) {
      const double b = f * ps[t];
      o[NF * W + t] = b;
      check_tail = check_tail + (b - b);
      ps[t] = ps[t] * us[t];
    }
  }
  return CheckFinite(check) && check_tail == check_tail;
}

bool PowerPanelX(const double* u, const double* factor, std::int64_t d, std::int64_t n, double* out) {
  return PowerPanel<MI>(u, factor, d, n, out);
}
bool PowerPanelY(const double* u, const double* factor, std::int64_t d, std::int64_t n, double* out) {
  return PowerPanel<YP>(u, factor, d, n, out);
}
