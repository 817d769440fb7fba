// Correctly rounded sine and cosine of the angles of the Trigonometric basis,
// written once for every vector width.
//
// Include this inside an unnamed namespace, after defining
//   V        a GCC vector type of W doubles,
//   W        its number of doubles,
// and optionally the macro TABULOR_FMS(a, b, p), the exact a * b - p of an
// FMA instruction (else the product's error is found by Dekker's splitting,
// which gives the same exact error). Include <cstdint>, "engine/kernels.h"
// and "engine/exact_math.h" before any target pragma.
//
// How it works. Every value is carried as a double-double (hi + lo, about
// 106 bits) with a proven bound E on its absolute error. The double nearest
// to the exact value is hi when the whole interval [hi + lo - E, hi + lo + E]
// lies inside the rounding interval of hi (the rounding test); the exact
// sine or cosine of a nonzero double is never a midpoint, so the answer is
// then unique. A lane that fails the test (about one value in 10^9) is
// computed again by exact::SinCos, whose last resort is MPFR. So the values
// are the correctly rounded ones whatever the width, and the double-double
// steps themselves are also exact-product based and identical on every width.
//
// Error budget (u = 2^-53, all bounds absolute, |sin|, |cos| <= 1):
// - StartSinCos(x), |x| < 2^51: the reduction x - k pi/2 with pi/2 in three
//   doubles errs by at most 2^-101; the polynomials on |z| <= 2^-10 by
//   2^-95.5; the table of sin and cos of i/512 by 2^-106; the combination by
//   2^-100. Together below kStartError = 2^-93.
// - One step of the chain A_m = A_(m-1) + t rotates (sin, cos) by the start
//   values of t (each off by at most kStartError, which moves the pair by at
//   most sqrt(2) kStartError), then by the exactly known rounding error of
//   the addition (-delta; its sine and cosine off by at most 2^-108 in the
//   short form, kStartError in the general one), each rotation adding at
//   most 2^-100.5 of rounding. A step adds at most 2^-91.4 to the error of
//   the pair, so kChainError * m = m * 2^-90 bounds the error of multiple m.

constexpr double kMagic = 6755399441055744.0;      // 1.5 * 2^52: adding it rounds to a whole number
constexpr double kFastLimit = 2251799813685248.0;  // 2^51: StartSinCos covers |x| below it
constexpr double kShortLimit = 134217728.0;        // 2^27: the short form of delta's rotation below it
constexpr double kNearLimit = 1024.0;              // 2^10: its shorter form below it
constexpr double kStartError = 0x1p-93;
constexpr double kChainError = 0x1p-90;

typedef long long SI __attribute__((vector_size(W * sizeof(double))));
// The same vector at any double's address.
typedef double UnalignedV __attribute__((vector_size(W * sizeof(double)), aligned(sizeof(double))));

inline __attribute__((always_inline)) V Splat(double x) { return V{} + x; }

inline __attribute__((always_inline)) V Abs(V x) {
  return reinterpret_cast<V>(reinterpret_cast<SI>(x) & (SI{} + 0x7fffffffffffffffLL));
}

// The exact a * b - p for p = fl(a * b).
inline __attribute__((always_inline)) V ProductError(V a, V b, V p) {
#ifdef TABULOR_FMS
  return TABULOR_FMS(a, b, p);
#else
  const V split = Splat(134217729.0);  // 2^27 + 1
  const V ca = split * a, cb = split * b;
  const V ah = ca - (ca - a), al = a - ah;
  const V bh = cb - (cb - b), bl = b - bh;
  return ((ah * bh - p) + ah * bl + al * bh) + al * bl;
#endif
}

// a * b + c: fused where the set has FMA, else rounded twice. Used only for
// terms below 2^-50, where either way stays far inside the error bounds.
inline __attribute__((always_inline)) V MulAdd(V a, V b, V c) {
#ifdef TABULOR_FMA
  return TABULOR_FMA(a, b, c);
#else
  return a * b + c;
#endif
}

struct DD {
  V hi, lo;
};

// s + e = a + b exactly.
inline __attribute__((always_inline)) DD TwoSum(V a, V b) {
  const V s = a + b;
  const V bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

// The same when |a| >= |b| (or a is 0).
inline __attribute__((always_inline)) DD FastTwoSum(V a, V b) {
  const V s = a + b;
  return {s, b - (s - a)};
}

// x * c + y * s in double-double.
inline __attribute__((always_inline)) DD DotDD(DD x, DD c, DD y, DD s) {
  const V p1 = x.hi * c.hi, p2 = y.hi * s.hi;
  const V e1 = ProductError(x.hi, c.hi, p1), e2 = ProductError(y.hi, s.hi, p2);
  const DD sum = TwoSum(p1, p2);
  const V lo = (sum.lo + (e1 + e2)) + ((x.hi * c.lo + x.lo * c.hi) + (y.hi * s.lo + y.lo * s.hi));
  return FastTwoSum(sum.hi, lo);
}

// The pair (sin, cos) of an angle turned on by the angle of (c, s).
inline __attribute__((always_inline)) void Rotate(DD& sn, DD& cs, DD c, DD s) {
  const DD neg_sn{-sn.hi, -sn.lo};
  const DD new_sn = DotDD(sn, c, cs, s);
  cs = DotDD(cs, c, neg_sn, s);
  sn = new_sn;
}

// sin and cos of |i|/512 from the table for the low 20 bits of i (signed).
inline __attribute__((always_inline)) void TableEntries(SI idx, const exact::SinCosConstants& k, DD& s0, DD& c0) {
  double sh[W], sl[W], ch[W], cl[W];
  for (int l = 0; l < W; ++l) {
    long long i = idx[l] >= 0x80000 ? idx[l] - 0x100000 : idx[l];
    const double sign = i < 0 ? -1.0 : 1.0;
    if (i < 0) i = -i;
    if (i > exact::kSinCosTableLast) i = 0;  // only for lanes outside the range
    const double* e = k.table + 4 * i;
    sh[l] = sign * e[0];
    sl[l] = sign * e[1];
    ch[l] = e[2];
    cl[l] = e[3];
  }
  s0 = {*reinterpret_cast<const UnalignedV*>(sh), *reinterpret_cast<const UnalignedV*>(sl)};
  c0 = {*reinterpret_cast<const UnalignedV*>(ch), *reinterpret_cast<const UnalignedV*>(cl)};
}

// sin z and cos z for |z| <= 2^-10 in double-double: with y = z^2,
// sin z = z - z^3/6 + z^5/120 - z^7/5040, cos z = 1 - y/2 + y^2/24 - y^3/720 + y^4/40320.
inline __attribute__((always_inline)) void SinCosNearZero(DD z, const exact::SinCosConstants& k, DD& sz, DD& cz) {
  const V yh = z.hi * z.hi;
  const V yl = ProductError(z.hi, z.hi, yh) + 2.0 * (z.hi * z.lo);
  const V z3h = z.hi * yh;
  const V z3l = ProductError(z.hi, yh, z3h) + (z.hi * yl + z.lo * yh);
  const V t3h = z3h * k.minus_sixth[0];
  const V t3l = ProductError(z3h, Splat(k.minus_sixth[0]), t3h) + (z3h * k.minus_sixth[1] + z3l * k.minus_sixth[0]);
  const V y2 = yh * yh;
  const V rest = (z.hi * y2) * (1.0 / 120.0 - yh * (1.0 / 5040.0));
  const DD s1 = TwoSum(z.hi, t3h);
  sz = FastTwoSum(s1.hi, ((s1.lo + z.lo) + t3l) + rest);
  const DD c1 = FastTwoSum(Splat(1.0), -(yh * 0.5));
  const V q4 = y2 * ((1.0 / 24.0 - yh * (1.0 / 720.0)) + y2 * (1.0 / 40320.0));
  cz = FastTwoSum(c1.hi, (c1.lo - yl * 0.5) + q4);
}

// (sin, cos) of r + q pi/2 from those of r: (s, c), (c, -s), (-s, -c), (-c, s).
inline __attribute__((always_inline)) void TurnByQuadrant(SI quadrant, DD sr, DD cr, DD& sn, DD& cs) {
  const SI swap = -(quadrant & 1);
  const SI sign_bit = SI{} + static_cast<long long>(0x8000000000000000ULL);
  const SI neg_s = (quadrant & 2) ? sign_bit : SI{};
  const SI neg_c = ((quadrant + 1) & 2) ? sign_bit : SI{};
  auto pick = [&](V a, V b, SI neg) {
    const SI bits = (reinterpret_cast<SI>(a) & ~swap) | (reinterpret_cast<SI>(b) & swap);
    return reinterpret_cast<V>(bits ^ neg);
  };
  sn = {pick(sr.hi, cr.hi, neg_s), pick(sr.lo, cr.lo, neg_s)};
  cs = {pick(cr.hi, sr.hi, neg_c), pick(cr.lo, sr.lo, neg_c)};
}

// sin x and cos x in double-double for |x| < kFastLimit, each within
// kStartError. Other lanes give values of no use.
inline __attribute__((always_inline)) void StartSinCos(V x, const exact::SinCosConstants& k, DD& sn, DD& cs) {
  // x = q pi/2 + r, |r| <= about pi/4 (up to 1.2 for the largest x).
  const V big = x * k.two_over_pi + kMagic;
  const V q = big - kMagic;
  const V p0 = q * k.pio2[0];
  const V e0 = ProductError(q, Splat(k.pio2[0]), p0);
  const V s0 = x - p0;  // exact: p0 is within a factor 2 of x, or 0
  const V p1 = q * k.pio2[1];
  const V e1 = ProductError(q, Splat(k.pio2[1]), p1);
  const DD a = TwoSum(s0, -e0);
  const DD b = TwoSum(a.hi, -p1);
  const V tail = ((a.lo + b.lo) - e1) - q * k.pio2[2];
  const DD r = TwoSum(b.hi, tail);
  // r = i/512 + z, |z| <= 2^-10; the table holds sin and cos of |i|/512.
  const V ib = r.hi * 512.0 + kMagic;
  const V id = ib - kMagic;
  const DD z = TwoSum(r.hi - id * (1.0 / 512.0), r.lo);  // the difference is exact
  DD sr{}, cr{}, sz{}, cz{};
  TableEntries(reinterpret_cast<SI>(ib) & 0xfffff, k, sr, cr);
  SinCosNearZero(z, k, sz, cz);
  Rotate(sr, cr, cz, sz);  // sin(i/512 + z) and cos(i/512 + z)
  TurnByQuadrant(reinterpret_cast<SI>(big) & 3, sr, cr, sn, cs);
}

// All ones in the lanes where hi is the double nearest to every real within
// e of hi + lo, for hi = fl(hi + lo) of magnitude at most 1. That holds when
// |lo| + e is below half the gap from hi to its neighbours, ulp(hi) on both
// sides unless hi is a power of two, whose lower gap is half as wide: those
// lanes, zeros and subnormals fail. The computed half ulp - e may be above
// the exact one by 2^-107 at most; each bound e used below exceeds the
// proven error by far more than that.
inline __attribute__((always_inline)) SI RoundsTo(DD v, V e) {
  const SI bits = reinterpret_cast<SI>(v.hi);
  const V half_ulp = reinterpret_cast<V>(bits & 0x7ff0000000000000LL) * 0x1p-53;
  return (Abs(v.lo) < half_ulp - e) & ((bits & 0x000fffffffffffffLL) != 0);
}

inline __attribute__((always_inline)) bool AllSet(SI m) {
#ifdef TABULOR_ALL_SET
  return TABULOR_ALL_SET(m);
#endif
  bool all = true;
  for (int l = 0; l < W; ++l) all &= m[l] != 0;
  return all;
}

#ifndef TABULOR_SINCOS_NO_PANEL
// The state of W lanes along their angle chains.
struct Chain {
  V t, angle;
  DD sn, cs;  // sin and cos of angle
  DD st, ct;  // sin and cos of t
  SI fast;    // lanes the chain covers
};

// One step in short form (every |angle| below 2^27): the pair turned by t,
// then back by delta, the rounding error of angle + t, with
// sin delta = delta - delta^3/6 and cos delta = 1 - delta^2/2 (the rest is
// below 2^-108). Each of the four products of high parts is split exactly;
// the products with low parts and the delta terms go into the low part.
//
// With every |angle| below 2^10 (kNear), |delta| <= 2^-44: delta cos joins
// the low part in one rounding (at most 2^-97 off) instead of an exact sum,
// and the delta^3 term (below 2^-132) is left out.
template <bool kNear>
inline __attribute__((always_inline)) void ShortStep(Chain& c) {
  const V next = c.angle + c.t;
  const V delta = c.t - (next - c.angle);  // angle + t = next + delta exactly (|angle| >= |t|)
  c.angle = next;
  const V h2 = (delta * delta) * 0.5;
  const V h3 = h2 * delta * (1.0 / 3.0);
  const DD& s = c.sn;
  const DD& k = c.cs;
  // Turned by t: sin = s ct + k st, cos = k ct - s st.
  const V p1 = s.hi * c.ct.hi, p2 = k.hi * c.st.hi;
  const V q1 = k.hi * c.ct.hi, q2 = s.hi * c.st.hi;
  const DD a = TwoSum(p1, p2);
  const DD b = TwoSum(q1, -q2);
  const V la = MulAdd(s.hi, c.ct.lo, MulAdd(s.lo, c.ct.hi, MulAdd(k.hi, c.st.lo, k.lo * c.st.hi))) +
               ((a.lo + ProductError(s.hi, c.ct.hi, p1)) + ProductError(k.hi, c.st.hi, p2));
  const V lb = MulAdd(k.hi, c.ct.lo, MulAdd(k.lo, c.ct.hi, -MulAdd(s.hi, c.st.lo, s.lo * c.st.hi))) +
               ((b.lo + ProductError(k.hi, c.ct.hi, q1)) - ProductError(s.hi, c.st.hi, q2));
  // Back by delta: sin -= delta cos + h2 sin - h3 cos; cos += delta sin - h2 cos - h3 sin.
  const V d1 = a.hi * delta, d2 = b.hi * delta;
  if constexpr (kNear) {
    const V ls = MulAdd(-lb, delta, MulAdd(-a.hi, h2, la - ProductError(b.hi, delta, d2))) - d2;
    const V lc = MulAdd(la, delta, MulAdd(-b.hi, h2, lb + ProductError(a.hi, delta, d1))) + d1;
    c.sn = FastTwoSum(a.hi, ls);
    c.cs = FastTwoSum(b.hi, lc);
    return;
  }
  const DD ns = TwoSum(a.hi, -d2);
  const DD nc = TwoSum(b.hi, d1);
  const V ls = MulAdd(-lb, delta, MulAdd(-a.hi, h2, MulAdd(b.hi, h3, (ns.lo + la) - ProductError(b.hi, delta, d2))));
  const V lc = MulAdd(la, delta, MulAdd(-b.hi, h2, MulAdd(-a.hi, h3, (nc.lo + lb) + ProductError(a.hi, delta, d1))));
  // |lo| stays below 2^-50, so the sums below are within 2^-103 of exact
  // also where a high part has cancelled.
  c.sn = FastTwoSum(ns.hi, ls);
  c.cs = FastTwoSum(nc.hi, lc);
}

// Lanes that failed the rounding test or that the chain does not cover,
// value by value.
// Returns false when a value is an infinity or NaN (an angle that is).
__attribute__((noinline)) bool Fallback(SI ok, V angle, V& s, V& c) {
  bool finite = true;
  for (int l = 0; l < W; ++l)
    if (!ok[l]) {
      double sl, cl;
      exact::SinCos(angle[l], &sl, &cl);
      s[l] = sl;
      c[l] = cl;
      finite &= std::isfinite(sl);
    }
  return finite;
}

// The terms of a group whose lanes are not side by side in one panel.
__attribute__((noinline)) void StoreLanes(const TrigPanelArgs& a, std::int64_t first, int lanes, std::int64_t ks,
                                          bool has_cos, V bs, V bc) {
  for (int l = 0; l < lanes; ++l) {
    const std::int64_t j = first + l;
    double* o = a.out + (j / a.panel) * a.terms * a.panel + j % a.panel + ks * a.panel;
    o[0] = bs[l];
    if (has_cos) o[a.panel] = bc[l];
  }
}

// One step in general form (|angle| below 2^51): turned by t, then back by
// delta through the double-double sine and cosine of delta.
__attribute__((noinline)) void LongStep(Chain& c, const exact::SinCosConstants& k) {
  const V next = c.angle + c.t;
  const V delta = c.t - (next - c.angle);
  c.angle = next;
  Rotate(c.sn, c.cs, c.ct, c.st);
  DD sd, cd;
  StartSinCos(delta, k, sd, cd);
  Rotate(c.sn, c.cs, cd, DD{-sd.hi, -sd.lo});
  c.fast &= Abs(c.angle) < kFastLimit;
}

// The two terms of multiple m of one group: the rounding test, the rare
// fallback, the derivative's turn (an odd order swaps sine and cosine, the
// sign goes into the factors) and the factor W^d. A value is finite: |sin|
// and |cos| are at most 1 and the factors were checked.
template <bool kOdd>
struct Emitter {
  const TrigPanelArgs& a;
  double sign;
  bool finite = true;

  inline __attribute__((always_inline)) void Terms(const Chain& c, std::int64_t m, V e, double* dest, bool whole,
                                                   int lanes, std::int64_t first) {
    const SI ok = RoundsTo(c.sn, e) & RoundsTo(c.cs, e) & c.fast;
    V s = c.sn.hi, co = c.cs.hi;
    if (__builtin_expect(!AllSet(ok), 0)) finite &= Fallback(ok, c.angle, s, co);
    const std::int64_t ks = 2 * m - 1;
    const bool has_cos = ks + 1 < a.terms;
    const double fs = sign * a.factor[ks], fc = has_cos ? sign * a.factor[ks + 1] : 0.0;
    const V bs = kOdd ? fs * co : fs * s;
    const V bc = kOdd ? -fc * s : fc * co;
    double* os = dest + ks * a.panel;
    if (whole) {
      *reinterpret_cast<UnalignedV*>(os) = bs;
      if (has_cos) *reinterpret_cast<UnalignedV*>(os + a.panel) = bc;
    } else {
      StoreLanes(a, first, lanes, ks, has_cos, bs, bc);
    }
  }
};

// The multiples of G groups of lanes, side by side. Returns false when a
// value is an infinity or NaN.
// How a chain steps: angles below 2^10, below 2^27, below 2^51.
enum class StepForm { kNear, kShort, kLong };

template <int G, StepForm kForm, bool kOdd>
bool TrigSteps(const TrigPanelArgs& a, const exact::SinCosConstants& k, const Chain (&start)[G],
               double* const (&dest)[G], const bool (&whole)[G], const int (&lanes)[G], std::int64_t j0) {
  const std::int64_t multiples = a.terms / 2;
  if (multiples == 0) return true;  // the constant alone
  Emitter<kOdd> out{a, a.der_order % 4 == 2 || a.der_order % 4 == 3 ? -1.0 : 1.0};
  Chain c[G];
#pragma GCC unroll 8
  for (int g = 0; g < G; ++g) {
    c[g] = start[g];
    out.Terms(c[g], 1, Splat(kChainError), dest[g], whole[g], lanes[g], j0 + g * W);
  }
  for (std::int64_t m = 2; m <= multiples; ++m) {
    const V e = Splat(static_cast<double>(m) * kChainError);
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g) {
      if constexpr (kForm == StepForm::kNear) {
        ShortStep<true>(c[g]);
      } else if constexpr (kForm == StepForm::kShort) {
        ShortStep<false>(c[g]);
      } else {
        LongStep(c[g], k);
      }
      out.Terms(c[g], m, e, dest[g], whole[g], lanes[g], j0 + g * W);
    }
  }
  return out.finite;
}

// Points j0 .. j0 + G * W - 1 of the basis (those below a.points stored).
template <int G>
inline bool TrigBatch(const TrigPanelArgs& a, const exact::SinCosConstants& k, std::int64_t j0) {
  const std::int64_t n = a.terms, panel = a.panel, multiples = n / 2;
  Chain c[G];
  double* dest[G];  // term 0 of the group's first lane
  bool whole[G];    // the group's lanes are side by side in one panel
  int lanes[G];
  double reach = 0.0;  // the largest |t|
  for (int g = 0; g < G; ++g) {
    const std::int64_t first = j0 + g * W;
    lanes[g] = static_cast<int>(std::clamp<std::int64_t>(a.points - first, 0, W));
    for (int l = 0; l < W; ++l) {
      c[g].t[l] = a.t[std::min(first + l, a.points - 1)];
      reach = std::max(reach, std::fabs(c[g].t[l]));
    }
    const std::int64_t p = std::min(first, a.points - 1);
    dest[g] = a.out + (p / panel) * n * panel + p % panel;
    whole[g] = lanes[g] == W && p % panel + W <= panel;
    // Lanes the chain does not cover go to exact::SinCos value by value.
    c[g].fast = Abs(c[g].t) < kFastLimit;
    StartSinCos(reinterpret_cast<V>(reinterpret_cast<SI>(c[g].t) & c[g].fast), k, c[g].st, c[g].ct);
    c[g].sn = c[g].st;
    c[g].cs = c[g].ct;
    c[g].angle = V{} + c[g].t;  // 0.0 + t, the angle of multiple 1
  }
  const double farthest = reach * static_cast<double>(multiples) * 1.0000001;
  const bool odd = (a.der_order & 1) != 0;
  if (farthest < kNearLimit) {
    return odd ? TrigSteps<G, StepForm::kNear, true>(a, k, c, dest, whole, lanes, j0)
               : TrigSteps<G, StepForm::kNear, false>(a, k, c, dest, whole, lanes, j0);
  }
  if (farthest < kShortLimit) {
    return odd ? TrigSteps<G, StepForm::kShort, true>(a, k, c, dest, whole, lanes, j0)
               : TrigSteps<G, StepForm::kShort, false>(a, k, c, dest, whole, lanes, j0);
  }
  return odd ? TrigSteps<G, StepForm::kLong, true>(a, k, c, dest, whole, lanes, j0)
             : TrigSteps<G, StepForm::kLong, false>(a, k, c, dest, whole, lanes, j0);
}

// The Trigonometric basis of a.points points (see KernelSet::trig_panels).
bool TrigPanels(const TrigPanelArgs& a) {
  const exact::SinCosConstants& k = exact::SinCosTables();
  for (std::int64_t j = 0; j < a.points; ++j)
    a.out[(j / a.panel) * a.terms * a.panel + j % a.panel] = a.der_order == 0 ? 1.0 : 0.0;
  // A term times a sine or cosine is finite exactly when its factor is
  // (but for the angles that are not, which the fallback reports).
  bool finite = true;
  for (std::int64_t t = 1; t < a.terms; ++t) finite &= std::fabs(a.factor[t]) <= 0x1.fffffffffffffp1023;
  // Several groups side by side keep the processor busy while each waits
  // for the previous step of its own chain.
  constexpr int kGroups = W >= 4 ? 3 : 4;
  std::int64_t j0 = 0;
  for (; j0 + kGroups * W <= a.points; j0 += kGroups * W) finite &= TrigBatch<kGroups>(a, k, j0);
  for (; j0 < a.points; j0 += W) finite &= TrigBatch<1>(a, k, j0);
  return finite;
}
#endif
