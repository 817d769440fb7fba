// Fuzz target: the leading-number rule and the number text.
// - ParseLeadingNumber reads exactly what strtod (in the "C" locale) reads of
//   the same characters, to the last bit, and tells an overflow apart.
// - ParseWholeNumber agrees with it.
// - NumberText of a finite double is C's "%.15G" (negative zero "0"), never
//   an infinity or NaN text, and reads back within 15 significant digits.
#include <locale.h>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_common.h"
#include "model/field_reader.h"
#include "model/number_text.h"

using namespace tabulor;

namespace {

locale_t CLocale() {
  static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return c;
}

std::string Bits(double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%a", x);
  return buf;
}

void CheckLeadingNumber(std::string_view text) {
  const LeadingNumberResult r = ParseLeadingNumber(text);
  FUZZ_CHECK(r.end <= text.size(), "end beyond the text");
  if (r.status == NumberStatus::NoNumber) {
    FUZZ_CHECK(r.value == 0.0 && r.end == 0, "no number but a value or an end");
    FUZZ_CHECK(LeadingNumber(text) == 0.0, "LeadingNumber without a number");
    FUZZ_CHECK(ParseWholeNumber(text).status == WholeNumberStatus::NotANumber, "whole number without a number");
    return;
  }
  // The characters read: blanks, then the number strtod is given.
  std::size_t start = 0;
  while (start < r.end && (text[start] == ' ' || text[start] == '\t')) ++start;
  const std::string number(text.substr(start, r.end - start));
  FUZZ_CHECK(!number.empty(), "empty number");
  for (char c : number)
    FUZZ_CHECK((c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E',
               "read a character outside the rule: " + number);
  char* end = nullptr;
  errno = 0;
  const double expected = strtod_l(number.c_str(), &end, CLocale());
  const bool overflow = errno == ERANGE && std::isinf(expected);
  FUZZ_CHECK(end == number.c_str() + number.size(), "strtod reads another length of \"" + number + "\"");
  if (r.status == NumberStatus::Overflow) {
    FUZZ_CHECK(overflow, "overflow claimed for \"" + number + "\"");
    FUZZ_CHECK(LeadingNumber(text) == 0.0, "LeadingNumber on overflow");
    return;
  }
  if (overflow) {
    // Up to the number text of the largest double, 1.79769313486232E+308,
    // a text reads as the largest double.
    const long double asked = std::fabs(strtold_l(number.c_str(), nullptr, CLocale()));
    FUZZ_CHECK(std::fabs(r.value) == DBL_MAX && asked <= 1.79769313486232e308L,
               "overflow missed for \"" + number + "\"");
    return;
  }
  FUZZ_CHECK(std::isfinite(r.value), "a non-finite value");
  FUZZ_CHECK(std::memcmp(&r.value, &expected, sizeof expected) == 0 || (r.value == 0.0 && expected == 0.0),
             "\"" + number + "\" read as " + Bits(r.value) + ", strtod gives " + Bits(expected));
  FUZZ_CHECK(LeadingNumber(text) == r.value, "LeadingNumber differs");

  // The whole text as a whole number.
  std::size_t rest = r.end;
  while (rest < text.size() && (text[rest] == ' ' || text[rest] == '\t')) ++rest;
  const WholeNumberResult w = ParseWholeNumber(text);
  if (rest != text.size()) {
    FUZZ_CHECK(w.status == WholeNumberStatus::NotANumber, "a whole number with text behind it");
  } else {
    const double rounded = std::nearbyint(r.value);
    if (rounded >= -2147483648.0 && rounded <= 2147483647.0)
      FUZZ_CHECK(w.status == WholeNumberStatus::Ok && w.value == static_cast<std::int32_t>(rounded),
                 "whole number of \"" + number + "\"");
    else
      FUZZ_CHECK(w.status == WholeNumberStatus::OutOfRange, "whole number out of range");
  }
}

void CheckNumberText(double x) {
  if (!std::isfinite(x)) return;
  const std::string s = NumberText(x);
  FUZZ_CHECK(!fuzz::ShowsNonFinite(s), "finite " + Bits(x) + " written as " + s);
  char expected[64];
  if (x == 0.0)
    std::snprintf(expected, sizeof expected, "0");
  else
    std::snprintf(expected, sizeof expected, "%.15G", x);
  FUZZ_CHECK(s == expected, Bits(x) + " written as " + s + ", %.15G gives " + expected);
  std::string appended = "x";
  FUZZ_CHECK(AppendNumberText(appended, x) == s.size() && appended == "x" + s, "AppendNumberText");
  FUZZ_CHECK(PrintForm(x) == (s[0] == '-' ? s : " " + s) + " ", "PrintForm");

  const LeadingNumberResult back = ParseLeadingNumber(s);
  FUZZ_CHECK(back.status == NumberStatus::Ok && back.end == s.size(), "the text " + s + " does not read back");
  const double err = std::fabs(back.value - x);
  FUZZ_CHECK(err <= std::fabs(x) * 1e-14 || err <= 5e-324, s + " reads back too far from " + Bits(x));
  FUZZ_CHECK(NumberText(back.value) == s, "the text of the value read back differs: " + s);
}

// A number field read by the field reader (which has a quicker way for a
// field that is all number) gives what the rule gives for the field's text.
void CheckNumberField(std::string_view text) {
  if (text.size() > 1000 || text.find_first_of(std::string_view(",\r\n\0\"", 5)) != std::string_view::npos) return;
  // A UTF-8 byte order mark at the start of the data is no part of a field.
  std::string_view body = text;
  if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
  std::string field(body);
  std::size_t begin = 0;
  while (begin < field.size() && (field[begin] == ' ' || field[begin] == '\t')) ++begin;
  field.erase(0, begin);
  while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) field.pop_back();
  const LeadingNumberResult rule = ParseLeadingNumber(field);
  const bool refused = rule.status == NumberStatus::Overflow || NamesNonFiniteNumber(field);
  for (const std::string& file : {std::string(text) + ",", std::string(text) + "\r\n", std::string(text)}) {
    if (field.empty() && file.size() == text.size()) continue;  // blanks and then the end: no field
    FieldReader in(file);
    double value = -1.0;
    const bool ok = in.ReadNumber(value, "number");
    FUZZ_CHECK(ok == !refused, "field <" + field + ">: " + (ok ? "read" : in.error()));
    if (!ok) continue;
    const double expected = rule.status == NumberStatus::Ok ? rule.value : 0.0;
    FUZZ_CHECK(std::memcmp(&value, &expected, sizeof value) == 0,
               "field <" + field + "> read as " + Bits(value) + ", the rule gives " + Bits(expected));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setlocale(LC_ALL, "C");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckLeadingNumber(text);
  CheckNumberField(text);
  (void)NamesNonFiniteNumber(text);
  // The bytes as doubles: every 8 of them.
  for (std::size_t i = 0; i + 8 <= size; i += 8) {
    double x;
    std::memcpy(&x, data + i, sizeof x);
    CheckNumberText(x);
  }
  // And the number read, written.
  const LeadingNumberResult r = ParseLeadingNumber(text);
  if (r.status == NumberStatus::Ok) CheckNumberText(r.value);
  return 0;
}
