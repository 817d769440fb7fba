// Fuzz target: the leading-number rule reads what strtod reads (in the "C" locale the process keeps), to the
// last bit, and tells an overflow apart; NumberText of a finite double is C's "%.15G" and reads back.
#include <cfloat>
#include <cstring>

#include "fuzz_common.h"
#include "model/number_text.h"

using namespace tabulor;

static void CheckNumberText(const void* p) {  // the double whose bits are at p
  double x;
  std::memcpy(&x, p, sizeof x);
  if (!std::isfinite(x)) return;
  const std::string s = NumberText(x);
  char expected[64];
  std::snprintf(expected, sizeof expected, "%.15G", x == 0.0 ? 0.0 : x);  // no "-0"
  const LeadingNumberResult back = ParseLeadingNumber(s);
  const double err = std::fabs(back.value - x);
  FUZZ_CHECK(s == expected && PrintForm(x) == (s[0] == '-' ? s : " " + s) + " " && back.end == s.size() &&
             (err <= std::fabs(x) * 1e-14 || err <= 5e-324) && NumberText(back.value) == s);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i + 8 <= size; i += 8) CheckNumberText(data + i);
  const std::string_view text = fuzz::Text(data, size);
  const LeadingNumberResult r = ParseLeadingNumber(text);
  // What strtod reads from the first non-blank on, up to the first character that no number holds.
  const std::size_t start = std::min(text.find_first_not_of(" \t"), size);
  std::string number(text.substr(start, text.find_first_not_of("0123456789.+-eE", start) - start));
  char* end = nullptr;
  const double expected = std::strtod(number.c_str(), &end);
  number.resize(static_cast<std::size_t>(end - number.c_str()));
  // Up to the text of the largest double, 1.79769313486232E+308, a number reads as the largest double.
  const bool largest = std::fabs(std::strtold(number.c_str(), nullptr)) <= 1.79769313486232e308L;
  FUZZ_CHECK((r.status == NumberStatus::NoNumber ? number.empty() && r.end == 0 : r.end == start + number.size()) &&
                 (r.status == NumberStatus::Overflow ? std::isinf(expected)
                  : std::isinf(expected)             ? largest && std::fabs(r.value) == DBL_MAX
                                                     : r.value == expected) &&
                 LeadingNumber(text) == (r.status == NumberStatus::Ok ? r.value : 0.0),
             number);
  if (r.status == NumberStatus::Ok) CheckNumberText(&r.value);
  return 0;
}
