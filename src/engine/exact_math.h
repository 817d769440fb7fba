// Correctly rounded sine, cosine and integer power: the double nearest to the
// exact value (ties to even), so the same on every machine, compiler and C
// library.
#pragma once

#include <cstdint>

namespace tabulor::exact {

// The double nearest to atan(1) = pi/4.
constexpr double kQuarterPi = 0x1.921fb54442d18p-1;

// The last index of the table of sin and cos of i/512.
constexpr int kSinCosTableLast = 820;

// What the double-double sine and cosine need, made once with MPFR.
struct SinCosConstants {
  double two_over_pi = 0.0;
  double pio2[3] = {};            // pi/2 = pio2[0] + pio2[1] + pio2[2] to about 160 bits
  double minus_sixth[2] = {};     // -1/6 in double-double
  const double* table = nullptr;  // sin hi, sin lo, cos hi, cos lo of i/512, i = 0 .. kSinCosTableLast
};

const SinCosConstants& SinCosTables();

// sin x and cos x, correctly rounded (NaN for an infinity or NaN).
void SinCos(double x, double* s, double* c);

// x raised to the power n, correctly rounded; an infinity on overflow
// (x^0 is 1, also for 0).
double Pow(double x, long n);

// The same through MPFR alone: the reference and the last resort.
void SinCosMpfr(double x, double* s, double* c);

// How many times SinCos has had to fall back on MPFR in this process.
std::uint64_t MpfrFallbacks();

}  // namespace tabulor::exact
