#include "model/number_text.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tabulor {

namespace {

// The general formatter: std::to_chars with 15 significant digits.
std::size_t GeneralNumberText(char* buf, double value) {
  if (value == 0.0) {  // also negative zero
    buf[0] = '0';
    return 1;
  }
  auto res = std::to_chars(buf, buf + 32, value, std::chars_format::general, 15);
  std::size_t n = static_cast<std::size_t>(res.ptr - buf);
  for (std::size_t i = 0; i < n; ++i) {
    if (buf[i] == 'e')
      buf[i] = 'E';
    else if (buf[i] == 'i' || buf[i] == 'n' || buf[i] == 'f' || buf[i] == 'a')
      buf[i] = static_cast<char>(buf[i] - 'a' + 'A');  // INF / NAN, never expected
  }
  return n;
}

// The number text of a double several times faster than the general
// formatter: the value scaled to 15 digits in long double (64-bit
// significand) is rounded to a whole number unless its fraction lies so near
// one half that the scaling error could decide; then, and for 0, the general
// formatter writes it. Returns the length written to buf (at least 32 bytes).
class FastNumberText {
 public:
  static std::size_t Format(char* buf, double value) {
    static const FastNumberText table;
    return table.Write(buf, value);
  }

 private:
  // 10^k for k = -kLow .. kHigh, each the long double nearest to it (strtold
  // rounds correctly; the texts hold no decimal point, so no locale enters).
  static constexpr int kLow = 300, kHigh = 340;
  long double pow10_[kLow + kHigh + 1];

  FastNumberText() {
    for (int k = -kLow; k <= kHigh; ++k) {
      char text[16];
      std::snprintf(text, sizeof text, "1e%d", k);
      pow10_[k + kLow] = std::strtold(text, nullptr);
    }
  }

  std::size_t Write(char* buf, double value) const {
    // The rounding below needs the 64-bit significand of x87's long double.
    if constexpr (LDBL_MANT_DIG != 64) return GeneralNumberText(buf, value);
    if (value == 0.0 || !std::isfinite(value)) return GeneralNumberText(buf, value);
    const double a = std::fabs(value);
    std::uint64_t bits;
    std::memcpy(&bits, &a, sizeof bits);
    int e2 = static_cast<int>(bits >> 52) - 1022;  // a = f * 2^e2, f in [0.5, 1)
    if (bits >> 52 == 0) std::frexp(a, &e2);       // subnormal
    // Decimal exponent: floor(log10(a)), estimated from the binary one
    // (78913 / 2^18 is log10(2) to 6 digits) and corrected by the scaled
    // value's range.
    int e10 = ((e2 - 1) * 78913) >> 18;
    long double y = 0;
    for (int tries = 0;; ++tries) {
      const int k = 14 - e10;
      if (k < -kLow || k > kHigh || tries == 2) return GeneralNumberText(buf, value);
      y = static_cast<long double>(a) * pow10_[k + kLow];
      if (y < 1e14L)
        --e10;
      else if (y >= 1e15L)
        ++e10;
      else
        break;
    }
    // y is a * 10^(14 - e10) within a relative 2^-63 (the power's rounding
    // and the product's): within 1.1e-4 of the exact value, below 1e15.
    // The nearest whole number (2^63 + y has no fraction bits left), and
    // what was rounded away.
    const long double whole = (y + 0x1p63L) - 0x1p63L;
    const long double rest = y - whole;
    if (rest > 0.4995L || rest < -0.4995L) return GeneralNumberText(buf, value);
    std::uint64_t q = static_cast<std::uint64_t>(static_cast<double>(whole));
    if (q == 1000000000000000ull) {
      q = 100000000000000ull;
      ++e10;
    }
    char digits[15];
    for (int i = 14; i >= 0; --i) {
      digits[i] = static_cast<char>('0' + q % 10);
      q /= 10;
    }
    int n = 15;
    while (n > 1 && digits[n - 1] == '0') --n;
    return LayOut(buf, value < 0, digits, n, e10);
  }

  // The significant digits digits[0..n-1] of a number of decimal exponent
  // e10 in the general form: exponent form outside 1E-05 .. 1E+15.
  static std::size_t LayOut(char* buf, bool negative, const char* digits, int n, int e10) {
    char* p = buf;
    if (negative) *p++ = '-';
    if (e10 < -4 || e10 >= 15) {
      *p++ = digits[0];
      if (n > 1) {
        *p++ = '.';
        for (int i = 1; i < n; ++i) *p++ = digits[i];
      }
      *p++ = 'E';
      *p++ = e10 < 0 ? '-' : '+';
      const int x = e10 < 0 ? -e10 : e10;
      if (x >= 100) *p++ = static_cast<char>('0' + x / 100);
      *p++ = static_cast<char>('0' + x / 10 % 10);
      *p++ = static_cast<char>('0' + x % 10);
    } else if (e10 >= 0) {
      for (int i = 0; i <= e10; ++i) *p++ = i < n ? digits[i] : '0';
      if (n > e10 + 1) {
        *p++ = '.';
        for (int i = e10 + 1; i < n; ++i) *p++ = digits[i];
      }
    } else {
      *p++ = '0';
      *p++ = '.';
      for (int i = 0; i < -e10 - 1; ++i) *p++ = '0';
      for (int i = 0; i < n; ++i) *p++ = digits[i];
    }
    return static_cast<std::size_t>(p - buf);
  }
};

}  // namespace

std::size_t FormatNumber(char* buf, double value) { return FastNumberText::Format(buf, value); }

std::size_t AppendNumberText(std::string& out, double value) {
  char buf[32];
  std::size_t n = FormatNumber(buf, value);
  out.append(buf, n);
  return n;
}

std::string NumberText(double value) {
  char buf[32];
  return std::string(buf, FormatNumber(buf, value));
}

std::string IntegerText(std::int64_t value) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, res.ptr);
}

std::string PrintForm(double value) {
  std::string text = NumberText(value);
  if (text[0] != '-') text.insert(text.begin(), ' ');
  text.push_back(' ');
  return text;
}

std::string PrintForm(std::int64_t value) {
  std::string text = IntegerText(value);
  if (text[0] != '-') text.insert(text.begin(), ' ');
  text.push_back(' ');
  return text;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

namespace {

// Where the parts of a leading number lie in its text.
struct NumberSpan {
  bool negative = false;
  std::size_t mantissa_begin = 0, mantissa_end = 0;
  std::size_t int_digits = 0, frac_digits = 0;
  std::size_t point = std::string_view::npos;
  std::size_t exp_begin = 0, exp_end = 0;  // "e" and its digits, when there are digits
  std::size_t end = 0;
};

// Finds the leading number of `text`; false when it has none.
bool ScanNumber(std::string_view text, NumberSpan& s) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && IsBlank(text[i])) ++i;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    s.negative = text[i] == '-';
    ++i;
  }
  s.mantissa_begin = i;
  while (i < n && IsDigit(text[i])) {
    ++i;
    ++s.int_digits;
  }
  if (i < n && text[i] == '.') {
    s.point = i;
    std::size_t j = i + 1;
    while (j < n && IsDigit(text[j])) {
      ++j;
      ++s.frac_digits;
    }
    if (s.int_digits + s.frac_digits > 0) i = j;
  }
  if (s.int_digits + s.frac_digits == 0) return false;
  s.mantissa_end = i;
  // Exponent, only when at least one digit follows.
  s.exp_begin = s.exp_end = i;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < n && (text[j] == '+' || text[j] == '-')) ++j;
    std::size_t d = j;
    while (d < n && IsDigit(text[d])) ++d;
    if (d > j) {
      s.exp_begin = i;
      s.exp_end = d;
      i = d;
    }
  }
  s.end = i;
  return true;
}

// The exponent's value, its magnitude capped far beyond any double's.
long long ExponentOf(std::string_view text, const NumberSpan& s) {
  if (s.exp_end == s.exp_begin) return 0;
  std::string_view e = text.substr(s.exp_begin + 1, s.exp_end - s.exp_begin - 1);
  bool eneg = false;
  if (e[0] == '+' || e[0] == '-') {
    eneg = e[0] == '-';
    e.remove_prefix(1);
  }
  long long exponent = 0;
  for (char c : e) {
    if (exponent < 100000000) exponent = exponent * 10 + (c - '0');
  }
  return eneg ? -exponent : exponent;
}

// A number beyond the doubles either way: nothing for an overflow, else the
// value it reads as (the largest double, or a zero for an underflow).
std::optional<double> OutOfRange(std::string_view text, const NumberSpan& s) {
  // Tell overflow from underflow by the decimal magnitude of the text: the
  // number lies near 10^(magnitude + exponent).
  std::string_view int_part = text.substr(s.mantissa_begin, s.int_digits);
  std::string_view frac_part = s.frac_digits ? text.substr(s.point + 1, s.frac_digits) : std::string_view();
  while (!int_part.empty() && int_part.front() == '0') int_part.remove_prefix(1);
  long long magnitude = 0;
  bool nonzero = !int_part.empty();
  if (nonzero) {
    magnitude = static_cast<long long>(int_part.size());
  } else {
    std::size_t zeros = 0;
    while (zeros < frac_part.size() && frac_part[zeros] == '0') ++zeros;
    nonzero = zeros < frac_part.size();
    magnitude = -static_cast<long long>(zeros);
  }
  const long long exponent = ExponentOf(text, s);
  if (!nonzero || magnitude + exponent <= 0) return 0.0;  // underflow: a zero of the sign read
  // The number text of the largest double, 1.79769313486232E+308, lies
  // above it; every text up to that rounding reads as the largest double,
  // so that each number the program writes reads back.
  std::string digits(int_part);
  digits.append(int_part.empty() ? frac_part.substr(static_cast<std::size_t>(-magnitude)) : frac_part);
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  if (magnitude + exponent != 309 || digits > "179769313486232") return std::nullopt;
  return DBL_MAX;
}

}  // namespace

LeadingNumberResult ParseLeadingNumber(std::string_view text) {
  LeadingNumberResult result;
  NumberSpan s;
  if (!ScanNumber(text, s)) return result;  // no number: 0
  result.end = s.end;
  // from_chars takes no '+' and no sign: build the plain text.
  std::string plain;
  plain.reserve(s.end - s.mantissa_begin + 2);
  plain.append(text.substr(s.mantissa_begin, s.mantissa_end - s.mantissa_begin));
  if (s.exp_end > s.exp_begin) {
    std::string_view e = text.substr(s.exp_begin + 1, s.exp_end - s.exp_begin - 1);
    plain.push_back('e');
    if (!e.empty() && e[0] == '+') e.remove_prefix(1);
    plain.append(e);
  }
  double value = 0.0;
  auto res = std::from_chars(plain.data(), plain.data() + plain.size(), value, std::chars_format::general);
  if (res.ec == std::errc::result_out_of_range) {
    const std::optional<double> read = OutOfRange(text, s);
    if (!read) {
      result.status = NumberStatus::Overflow;
      result.value = 0.0;
      return result;
    }
    value = *read;
  }
  result.value = s.negative ? -value : value;
  result.status = NumberStatus::Ok;
  return result;
}

double LeadingNumber(std::string_view text) {
  LeadingNumberResult r = ParseLeadingNumber(text);
  return r.status == NumberStatus::Ok ? r.value : 0.0;
}

bool NamesNonFiniteNumber(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.remove_prefix(1);
  auto lower = [](std::string_view a) {
    std::string out(a);
    for (char& c : out)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
  };
  auto only_digits = [](std::string_view a) {
    for (char c : a)
      if (!IsDigit(c)) return false;
    return true;
  };
  const std::string t = lower(text);
  if (t == "nan" || t == "inf" || t == "infinity") return true;
  if (t.rfind("nan(", 0) == 0 && t.back() == ')') return true;
  // "1.#INF", "-1.#IND", "1.#QNAN00" as some C libraries print them.
  std::size_t hash = t.find('#');
  if (hash != std::string::npos) {
    std::string_view rest = std::string_view(t).substr(hash + 1);
    for (std::string_view word : {"inf", "qnan", "snan", "ind", "nan"})
      if (rest.substr(0, word.size()) == word && only_digits(rest.substr(word.size()))) return true;
  }
  return false;
}

bool RoundToInt32(double value, std::int32_t& out) {
  if (!std::isfinite(value)) return false;
  double r = std::nearbyint(value);  // default rounding: ties to even
  if (r < -2147483648.0 || r > 2147483647.0) return false;
  out = static_cast<std::int32_t>(r);
  return true;
}

namespace {
// Only blanks from `from` to the end of the text.
bool BlanksFrom(std::string_view text, std::size_t from) {
  while (from < text.size() && IsBlank(text[from])) ++from;
  return from == text.size();
}
}  // namespace

std::optional<double> WholeTextNumber(std::string_view text) {
  const LeadingNumberResult r = ParseLeadingNumber(text);
  if (r.status != NumberStatus::Ok || !BlanksFrom(text, r.end)) return std::nullopt;
  return r.value;
}

WholeNumberResult ParseWholeNumber(std::string_view text) {
  WholeNumberResult result;
  LeadingNumberResult r = ParseLeadingNumber(text);
  if (r.status == NumberStatus::NoNumber) return result;
  if (!BlanksFrom(text, r.end)) return result;  // something behind the number
  if (r.status == NumberStatus::Overflow || !RoundToInt32(r.value, result.value)) {
    result.status = WholeNumberStatus::OutOfRange;
    return result;
  }
  result.status = WholeNumberStatus::Ok;
  return result;
}

}  // namespace tabulor
