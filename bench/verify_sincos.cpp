// A long check of the correctly rounded sine and cosine against MPFR, bit
// for bit: arguments drawn from every range class, and the angle chains of
// the Trigonometric basis as the fastest kernel set builds them.
//
//   verify_sincos [--args N] [--chains N] [--threads T] [--seed S] [--reference mpfr|extended]
//
// --reference extended: the x87 long double sinl and cosl decide where their
//   value (trusted to 2^-60) rounds unambiguously, MPFR elsewhere: about ten
//   times faster, for runs of 10^9.
// --args N: N arguments through exact::SinCos (default 10^6).
// --chains N: N random angle steps, each with 100 multiples, through the
//   basis (default 10^4).
// Prints the counts, the mismatches (at most 20 shown) and the share of
// values that fell back on MPFR; exits 1 on any mismatch.
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/basis.h"
#include "engine/exact_math.h"
#include "engine/kernel_path.h"
#include "engine/kernels.h"

namespace {

std::uint64_t SplitMix(std::uint64_t& s) {
  std::uint64_t z = (s += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

double Uniform(std::uint64_t& s) { return static_cast<double>(SplitMix(s) >> 11) * 0x1p-53; }

// The exponent ranges of the classes: tiny, small, moderate, 1e5, below
// 2^27, below 2^51, 1e15, beyond.
constexpr double kClasses[][2] = {{-60, -20}, {-20, -1}, {-1, 7}, {13, 20}, {20, 27}, {27, 51}, {46, 54}, {54, 1023}};

double Argument(std::uint64_t& s, std::uint64_t i) {
  // Beyond 2^51 both sides are MPFR's: one argument in 64 there, not 8.
  const auto& c = kClasses[i % 8 == 7 && (i / 8) % 8 != 0 ? 5 : i % 8];
  double x = std::exp2(c[0] + (c[1] - c[0]) * Uniform(s));
  if (i % 16 >= 8) {
    // Next to a multiple of pi/2.
    x = std::nearbyint(x / 1.5707963267948966) * 1.5707963267948966;
    const int steps = static_cast<int>(SplitMix(s) % 5);
    for (int k = 0; k < steps; ++k) x = std::nextafter(x, 0.0);
  }
  return SplitMix(s) & 1 ? -x : x;
}

std::mutex print_mutex;
std::atomic<std::uint64_t> mismatches{0};

void Report(const char* what, double x, double got, double want) {
  if (mismatches.fetch_add(1) >= 20) return;
  std::lock_guard<std::mutex> lock(print_mutex);
  std::printf("MISMATCH %s(%a) = %a, MPFR %a\n", what, x, got, want);
}

bool Same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The double nearest to f(x) from the x87 extended value y = f(x), trusted to
// within 2^-60 of |y| (the C library's sinl and cosl are within a few units
// of 2^-64): when that interval lies inside one double's rounding interval,
// that double; otherwise (a few per cent of the values) MPFR decides.
std::atomic<std::uint64_t> mpfr_decided{0};

bool FromExtended(long double y, double* out) {
  const double d = static_cast<double>(y);
  if (!std::isfinite(d) || d == 0.0) return false;
  const long double below = (static_cast<long double>(d) + std::nextafter(d, -INFINITY)) / 2;
  const long double above = (static_cast<long double>(d) + std::nextafter(d, INFINITY)) / 2;
  const long double slack = std::fabs(y) * 0x1p-60L;
  if (y - slack <= below || y + slack >= above) return false;
  *out = d;
  return true;
}

void Reference(bool fast, double x, double* s, double* c) {
  if (fast && FromExtended(sinl(x), s) && FromExtended(cosl(x), c)) return;
  mpfr_decided.fetch_add(1, std::memory_order_relaxed);
  tabulor::exact::SinCosMpfr(x, s, c);
}

bool fast_reference = false;

std::atomic<std::uint64_t> checked{0};

void CheckArguments(std::uint64_t begin, std::uint64_t end, std::uint64_t seed) {
  for (std::uint64_t i = begin; i < end; ++i) {
    // A line every 10^7 arguments, so that a long run tells how far it got.
    if ((checked.fetch_add(1, std::memory_order_relaxed) + 1) % 10000000 == 0) {
      std::lock_guard<std::mutex> lock(print_mutex);
      std::printf("checked %llu arguments, mismatches %llu\n", static_cast<unsigned long long>(checked.load()),
                  static_cast<unsigned long long>(mismatches.load()));
      std::fflush(stdout);
    }
    std::uint64_t s = seed ^ (i * 0x632be59bd9b4e019ULL);
    const double x = Argument(s, i);
    double sn, cs, rs, rc;
    tabulor::exact::SinCos(x, &sn, &cs);
    Reference(fast_reference, x, &rs, &rc);
    if (!Same(sn, rs)) Report("sin", x, sn, rs);
    if (!Same(cs, rc)) Report("cos", x, cs, rc);
  }
}

const tabulor::kernels::KernelSet& Best() {
  switch (tabulor::BestKernelPath()) {
#if defined(__x86_64__)
    case tabulor::KernelPath::Avx512: return tabulor::kernels::Avx512Kernels();
    case tabulor::KernelPath::Avx2: return tabulor::kernels::Avx2Kernels();
#endif
    case tabulor::KernelPath::Sse2: return tabulor::kernels::Sse2Kernels();
    default: return tabulor::kernels::ScalarKernels();
  }
}

// Chains of 100 multiples for 24 steps at a time: the basis values (d = 0)
// against MPFR's sine and cosine of the same accumulated angles.
void CheckChains(std::uint64_t begin, std::uint64_t end, std::uint64_t seed) {
  constexpr int kTerms = 201, kPoints = 24;
  const auto& set = Best();
  std::vector<double> u(kPoints), out(static_cast<std::size_t>(kTerms * kPoints));
  const double period = 8 * tabulor::exact::kQuarterPi;  // w = 1: t = u
  for (std::uint64_t i = begin; i < end; i += kPoints) {
    for (int j = 0; j < kPoints; ++j) {
      std::uint64_t s = seed ^ ((i + j) * 0x9e3779b97f4a7c15ULL);
      // Steps whose chains reach from about 1e-3 to 2^51.
      u[j] = std::exp2(-10 + 54 * Uniform(s)) * (SplitMix(s) & 1 ? -1 : 1);
    }
    const tabulor::BasisRule rule = tabulor::MakeTrigRule(u, kTerms - 1, 0, period);
    tabulor::BuildBasisPanels(rule, kPoints, 0, kPoints, out.data(), &set);
    for (int j = 0; j < kPoints; ++j) {
      double a = 0.0;
      for (int m = 1; 2 * m < kTerms; ++m) {
        a = a + rule.w * u[j];
        double rs, rc;
        Reference(fast_reference, a, &rs, &rc);
        const double got_s = out[static_cast<std::size_t>((2 * m - 1) * kPoints + j)];
        const double got_c = out[static_cast<std::size_t>(2 * m * kPoints + j)];
        if (!Same(got_s, rs)) Report("chain sin", a, got_s, rs);
        if (!Same(got_c, rc)) Report("chain cos", a, got_c, rc);
      }
    }
  }
}

template <typename F>
void InThreads(int threads, std::uint64_t n, std::uint64_t seed, F f) {
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) pool.emplace_back([=] { f(n * t / threads, n * (t + 1) / threads, seed); });
  for (auto& th : pool) th.join();
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t args = 1000000, chains = 10000, seed = 1;
  int threads = 2;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--args")) args = std::strtoull(argv[i + 1], nullptr, 10);
    if (!std::strcmp(argv[i], "--chains")) chains = std::strtoull(argv[i + 1], nullptr, 10);
    if (!std::strcmp(argv[i], "--threads")) threads = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--seed")) seed = std::strtoull(argv[i + 1], nullptr, 10);
    if (!std::strcmp(argv[i], "--reference")) fast_reference = !std::strcmp(argv[i + 1], "extended");
  }
  const std::uint64_t before = tabulor::exact::MpfrFallbacks();
  InThreads(threads, args, seed, CheckArguments);
  const std::uint64_t arg_fallbacks = tabulor::exact::MpfrFallbacks() - before;
  chains = (chains + 23) / 24 * 24;
  InThreads(threads, chains, seed, CheckChains);
  const std::uint64_t chain_values = chains * 100 * 2;
  std::printf("arguments %llu (sine and cosine each), chain values %llu (kernel set %s)\n",
              static_cast<unsigned long long>(args), static_cast<unsigned long long>(chain_values), Best().name);
  std::printf("fallback share: arguments %.3g, chains %.3g\n",
              args ? static_cast<double>(arg_fallbacks) / static_cast<double>(args) : 0.0,
              static_cast<double>(tabulor::exact::MpfrFallbacks() - before - arg_fallbacks) /
                  static_cast<double>(chain_values));
  if (fast_reference)
    std::printf("reference: x87 sinl/cosl, MPFR for %llu arguments near a midpoint\n",
                static_cast<unsigned long long>(mpfr_decided.load()));
  std::printf("mismatches: %llu\n", static_cast<unsigned long long>(mismatches.load()));
  return mismatches.load() ? 1 : 0;
}
