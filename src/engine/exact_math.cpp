#include "engine/exact_math.h"

#include <mpfr.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <vector>

#include "engine/kernels.h"

namespace tabulor::exact {

namespace {

// MPFR keeps its exponent range per thread when it is built thread-safe
// (the usual build); otherwise its calls here take turns.
std::mutex& MpfrMutex() {
  static std::mutex m;
  return m;
}

// MPFR keeps caches (of pi, for one) per thread; they are given back when
// the thread that filled them ends.
struct ThreadCaches {
  ~ThreadCaches() { mpfr_free_cache2(MPFR_FREE_LOCAL_CACHE); }
};

class MpfrScope {
 public:
  MpfrScope() {
    thread_local ThreadCaches caches;
    (void)caches;
    if (!mpfr_buildopt_tls_p()) lock_ = std::unique_lock<std::mutex>(MpfrMutex());
    emin_ = mpfr_get_emin();
    emax_ = mpfr_get_emax();
  }
  ~MpfrScope() {
    mpfr_set_emin(emin_);
    mpfr_set_emax(emax_);
  }
  // The exponent range of the doubles, subnormals included, for results
  // that mpfr_subnormalize then rounds as a double is rounded.
  void DoubleRange() {
    mpfr_set_emin(-1073);
    mpfr_set_emax(1024);
  }
  MpfrScope(const MpfrScope&) = delete;
  MpfrScope& operator=(const MpfrScope&) = delete;

 private:
  std::unique_lock<std::mutex> lock_;
  mpfr_exp_t emin_ = 0, emax_ = 0;
};

class Mpfr {
 public:
  explicit Mpfr(mpfr_prec_t bits) { mpfr_init2(v_, bits); }
  ~Mpfr() { mpfr_clear(v_); }
  Mpfr(const Mpfr&) = delete;
  Mpfr& operator=(const Mpfr&) = delete;
  mpfr_ptr get() { return v_; }

 private:
  mpfr_t v_;
};

// Rounds a 53-bit result with its ternary value as a double is rounded.
double ToDouble(Mpfr& y, int inexact) {
  inexact = mpfr_subnormalize(y.get(), inexact, MPFR_RNDN);
  return mpfr_get_d(y.get(), MPFR_RNDN);
}

// hi + lo nearest to v.
void Split(mpfr_ptr v, mpfr_ptr scratch, double* hi, double* lo) {
  *hi = mpfr_get_d(v, MPFR_RNDN);
  mpfr_sub_d(scratch, v, *hi, MPFR_RNDN);
  *lo = mpfr_get_d(scratch, MPFR_RNDN);
}

SinCosConstants MakeConstants() {
  static std::vector<double> table(4 * (kSinCosTableLast + 1));
  SinCosConstants k;
  MpfrScope scope;
  Mpfr pi(320), x(320), s(320), c(320), r(320);
  mpfr_const_pi(pi.get(), MPFR_RNDN);
  mpfr_ui_div(x.get(), 2, pi.get(), MPFR_RNDN);
  k.two_over_pi = mpfr_get_d(x.get(), MPFR_RNDN);
  mpfr_div_ui(x.get(), pi.get(), 2, MPFR_RNDN);
  for (double& part : k.pio2) {
    part = mpfr_get_d(x.get(), MPFR_RNDN);
    mpfr_sub_d(x.get(), x.get(), part, MPFR_RNDN);
  }
  mpfr_set_si(x.get(), -1, MPFR_RNDN);
  mpfr_div_ui(x.get(), x.get(), 6, MPFR_RNDN);
  Split(x.get(), r.get(), &k.minus_sixth[0], &k.minus_sixth[1]);
  for (int i = 0; i <= kSinCosTableLast; ++i) {
    mpfr_set_si(x.get(), i, MPFR_RNDN);
    mpfr_div_2ui(x.get(), x.get(), 9, MPFR_RNDN);
    mpfr_sin_cos(s.get(), c.get(), x.get(), MPFR_RNDN);
    double* e = table.data() + 4 * i;
    Split(s.get(), r.get(), &e[0], &e[1]);
    Split(c.get(), r.get(), &e[2], &e[3]);
  }
  k.table = table.data();
  return k;
}

typedef double V __attribute__((vector_size(8)));
constexpr int W = 1;
#define TABULOR_SINCOS_NO_PANEL
#include "engine/sincos_impl.h"
#undef TABULOR_SINCOS_NO_PANEL

std::atomic<std::uint64_t> fallbacks{0};

}  // namespace

std::uint64_t MpfrFallbacks() { return fallbacks.load(std::memory_order_relaxed); }

const SinCosConstants& SinCosTables() {
  static const SinCosConstants k = MakeConstants();
  return k;
}

void SinCosMpfr(double x, double* s, double* c) {
  MpfrScope scope;
  scope.DoubleRange();
  Mpfr a(53), ys(53), yc(53);
  mpfr_set_d(a.get(), x, MPFR_RNDN);
  const int is = mpfr_sin(ys.get(), a.get(), MPFR_RNDN);
  *s = ToDouble(ys, is);
  const int ic = mpfr_cos(yc.get(), a.get(), MPFR_RNDN);
  *c = ToDouble(yc, ic);
}

void SinCos(double x, double* s, double* c) {
  const double ax = std::fabs(x);
  if (ax < 0x1p-27) {
    // |sin x - x| < |x|^3/6 and |cos x - 1| < x^2/2 are below half the gap
    // to the neighbouring doubles: x and 1 are the nearest.
    *s = x;
    *c = 1.0;
    return;
  }
  if (ax < kFastLimit) {
    DD sn, cs;
    StartSinCos(V{x}, SinCosTables(), sn, cs);
    const V e = Splat(kStartError);
    if ((RoundsTo(sn, e) & RoundsTo(cs, e))[0]) {
      *s = sn.hi[0];
      *c = cs.hi[0];
      return;
    }
  }
  fallbacks.fetch_add(1, std::memory_order_relaxed);
  SinCosMpfr(x, s, c);
}

double Pow(double x, long n) {
  MpfrScope scope;
  scope.DoubleRange();
  Mpfr a(53), y(53);
  mpfr_set_d(a.get(), x, MPFR_RNDN);
  const int inexact = mpfr_pow_si(y.get(), a.get(), n, MPFR_RNDN);
  return ToDouble(y, inexact);
}

}  // namespace tabulor::exact
