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

constexpr double kMagic = 6755399441055744.0;  // 1.5 * 2^52: adding it rounds to a whole number
constexpr double kFastLimit = 2251799813685248.0;  // 2^51: StartSinCos covers |x| below it
constexpr double kShortLimit = 134217728.0;        // 2^27: the short form of delta's rotation below it
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

// sin x and cos x in double-double for |x| < kFastLimit, each within
// kStartError. Other lanes give values of no use.
inline __attribute__((always_inline)) void StartSinCos(V x, const exact::SinCosConstants& k, DD& sn, DD& cs) {
  // x = q pi/2 + r, |r| <= about pi/4 (up to 1.2 for the largest x).
  const V big = x * k.two_over_pi + kMagic;
  const V q = big - kMagic;
  const SI quadrant = reinterpret_cast<SI>(big) & 3;
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
  const SI idx = reinterpret_cast<SI>(ib) & 0xfffff;
  double sh[W], sl[W], ch[W], cl[W];
  for (int l = 0; l < W; ++l) {
    long long i = idx[l] >= 0x80000 ? idx[l] - 0x100000 : idx[l];  // the low 20 bits, signed
    const double sign = i < 0 ? -1.0 : 1.0;
    if (i < 0) i = -i;
    if (i > exact::kSinCosTableLast) i = 0;  // only for lanes outside the range
    const double* e = k.table + 4 * i;
    sh[l] = sign * e[0];
    sl[l] = sign * e[1];
    ch[l] = e[2];
    cl[l] = e[3];
  }
  const DD s0t{*reinterpret_cast<const UnalignedV*>(sh), *reinterpret_cast<const UnalignedV*>(sl)};
  const DD c0t{*reinterpret_cast<const UnalignedV*>(ch), *reinterpret_cast<const UnalignedV*>(cl)};
  // y = z^2; sin z = z - z^3/6 + z^5/120 - z^7/5040; cos z = 1 - y/2 + y^2/24 - y^3/720 + y^4/40320.
  const V yh = z.hi * z.hi;
  const V yl = ProductError(z.hi, z.hi, yh) + 2.0 * (z.hi * z.lo);
  const V z3h = z.hi * yh;
  const V z3l = ProductError(z.hi, yh, z3h) + (z.hi * yl + z.lo * yh);
  const V t3h = z3h * k.minus_sixth[0];
  const V t3l = ProductError(z3h, Splat(k.minus_sixth[0]), t3h) + (z3h * k.minus_sixth[1] + z3l * k.minus_sixth[0]);
  const V y2 = yh * yh;
  const V rest = (z.hi * y2) * (1.0 / 120.0 - yh * (1.0 / 5040.0));
  const DD s1 = TwoSum(z.hi, t3h);
  const DD sz = FastTwoSum(s1.hi, ((s1.lo + z.lo) + t3l) + rest);
  const DD c1 = FastTwoSum(Splat(1.0), -(yh * 0.5));
  const V q4 = y2 * ((1.0 / 24.0 - yh * (1.0 / 720.0)) + y2 * (1.0 / 40320.0));
  const DD cz = FastTwoSum(c1.hi, (c1.lo - yl * 0.5) + q4);
  // sin(i/512 + z) and cos(i/512 + z).
  DD sr = s0t, cr = c0t;
  Rotate(sr, cr, cz, sz);
  // The quadrant: (sin, cos) of r + q pi/2 is (s, c), (c, -s), (-s, -c), (-c, s).
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

// All ones in the lanes where hi is the double nearest to every real within
// e of hi + lo (hi = fl(hi + lo)). Fails safe: a zero, subnormal or
// non-finite hi fails.
inline __attribute__((always_inline)) SI RoundsTo(DD v, V e) {
  const SI bits = reinterpret_cast<SI>(v.hi);
  const SI sign = bits & static_cast<long long>(0x8000000000000000ULL);
  const SI mag = bits ^ sign;
  const V a = reinterpret_cast<V>(mag);
  const V up = reinterpret_cast<V>(mag + 1) - a;    // the gap to the next double away from 0
  const V down = a - reinterpret_cast<V>(mag - 1);  // and towards 0
  const V along = reinterpret_cast<V>(reinterpret_cast<SI>(v.lo) ^ sign);  // lo measured away from 0
  // Rounding is monotonic, so the rounded sums below the half gaps mean the
  // exact ones are.
  return (along + e < up * 0.5) & (e - along < down * 0.5) & (a >= 0x1p-1021);
}

inline bool AllSet(SI m) {
  bool all = true;
  for (int l = 0; l < W; ++l) all &= m[l] != 0;
  return all;
}

#ifndef TABULOR_SINCOS_NO_PANEL
// The Trigonometric basis for one panel (see KernelSet::trig_panel).
bool TrigPanel(const TrigPanelArgs& a) {
  const exact::SinCosConstants& k = exact::SinCosTables();
  const std::int64_t n = a.terms;
  const std::int64_t multiples = n / 2;
  const bool odd = (a.der_order & 1) != 0;
  const bool negate = a.der_order % 4 == 2 || a.der_order % 4 == 3;
  const std::int64_t panel = a.panel;
  SI check{};
  for (std::int64_t i = 0; i < panel; ++i) a.out[i] = a.der_order == 0 ? 1.0 : 0.0;
  for (std::int64_t g = 0; g < panel; g += W) {
    const int lanes = static_cast<int>(std::min<std::int64_t>(W, panel - g));
    V t;
    double reach = 0.0;  // the largest |t|
    for (int l = 0; l < W; ++l) {
      t[l] = a.t[g + std::min(l, lanes - 1)];
      reach = std::max(reach, std::fabs(t[l]));
    }
    // Lanes whose angles the double-double chain does not cover go to
    // exact::SinCos value by value.
    SI fast = Abs(t) < kFastLimit;
    DD sn, cs, st, ct;
    StartSinCos(reinterpret_cast<V>(reinterpret_cast<SI>(t) & fast), k, st, ct);
    sn = st;
    cs = ct;
    // Below 2^27 every delta is at most 2^-27: its rotation in short form.
    const bool short_form = reach * static_cast<double>(multiples) * 1.0000001 < kShortLimit;
    V angle = V{} + t;  // 0.0 + t, the angle of multiple 1
    for (std::int64_t m = 1; m <= multiples; ++m) {
      if (m > 1) {
        const V next = angle + t;
        const V delta = t - (next - angle);  // angle + t = next + delta exactly (|angle| >= |t|)
        angle = next;
        Rotate(sn, cs, ct, st);
        if (short_form) {
          // Turn back by delta: sin delta = delta - delta^3/6, cos delta = 1 - delta^2/2,
          // the rest below 2^-108.
          const V h2 = (delta * delta) * 0.5;
          const V h3 = h2 * delta * (1.0 / 3.0);
          const V ps = cs.hi * delta, pc = sn.hi * delta;
          const V es = ProductError(cs.hi, delta, ps), ec = ProductError(sn.hi, delta, pc);
          const DD ns = TwoSum(sn.hi, -ps);
          const DD nc = TwoSum(cs.hi, pc);
          const V ls = ((((ns.lo + sn.lo) - es) - cs.lo * delta) - sn.hi * h2) + cs.hi * h3;
          const V lc = ((((nc.lo + cs.lo) + ec) + sn.lo * delta) - cs.hi * h2) - sn.hi * h3;
          sn = TwoSum(ns.hi, ls);
          cs = TwoSum(nc.hi, lc);
        } else {
          DD sd, cd;
          StartSinCos(delta, k, sd, cd);
          Rotate(sn, cs, cd, DD{-sd.hi, -sd.lo});
          fast &= Abs(angle) < kFastLimit;
        }
      }
      const V e = Splat(static_cast<double>(m) * kChainError);
      const SI ok = RoundsTo(sn, e) & RoundsTo(cs, e) & fast;
      V s = sn.hi, c = cs.hi;
      if (!AllSet(ok)) {
        for (int l = 0; l < lanes; ++l)
          if (!ok[l]) exact::SinCos(angle[l], &s[l], &c[l]);
      }
      // The sine and cosine terms of this multiple, turned by the derivative.
      V bs = odd ? c : s;
      V bc = odd ? -s : c;
      if (negate) {
        bs = -bs;
        bc = -bc;
      }
      const std::int64_t ks = 2 * m - 1;
      bs = a.factor[ks] * bs;
      double* os = a.out + ks * panel + g;
      const bool has_cos = ks + 1 < n;
      if (has_cos) bc = a.factor[ks + 1] * bc;
      check |= reinterpret_cast<SI>(bs - bs);
      if (has_cos) check |= reinterpret_cast<SI>(bc - bc);
      if (lanes == W) {
        *reinterpret_cast<UnalignedV*>(os) = bs;
        if (has_cos) *reinterpret_cast<UnalignedV*>(os + panel) = bc;
      } else {
        for (int l = 0; l < lanes; ++l) {
          os[l] = bs[l];
          if (has_cos) os[panel + l] = bc[l];
        }
      }
    }
  }
  // A value is an infinity or NaN exactly when value - value is a NaN.
  bool finite = true;
  for (int l = 0; l < W; ++l) finite &= check[l] == 0;
  return finite;
}
#endif
