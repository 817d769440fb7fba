// Number text, print form and the leading-number rule.
// Nothing here depends on the process locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tabulor {

// General form with at most 15 significant digits, like C's "%.15G" in the
// "C" locale: 0.25, -0.5, 2, 1E+15, 1E-05. Negative zero gives "0".
std::string NumberText(double value);

// Appends NumberText(value) to out; returns the number of characters added.
std::size_t AppendNumberText(std::string& out, double value);

// Writes NumberText(value) into buf (at least 32 bytes); returns its length.
std::size_t FormatNumber(char* buf, double value);

// Whole numbers (counts, indexes, orders) as plain decimal text.
std::string IntegerText(std::int64_t value);

// Print form: a blank in place of the sign of a non-negative number (or "-"),
// the number text, one blank behind: " 0.5 ", "-1 ".
std::string PrintForm(double value);
std::string PrintForm(std::int64_t value);

enum class NumberStatus {
  Ok,        // a number was read
  NoNumber,  // the text does not begin with a number: the value is 0
  Overflow,  // the number's magnitude is beyond the largest double
};

struct LeadingNumberResult {
  double value = 0.0;
  NumberStatus status = NumberStatus::NoNumber;
  std::size_t end = 0;  // index just behind the characters that were read
};

// The leading-number rule: optional blanks, an optional sign, digits with an
// optional point and fraction, an optional exponent ("E" or "e" and a signed
// or unsigned whole number). Reading stops at the first character that does
// not fit. A magnitude too small for a double reads as a zero of its sign.
LeadingNumberResult ParseLeadingNumber(std::string_view text);

// The value of the leading-number rule; 0 without a number or on overflow.
double LeadingNumber(std::string_view text);

// The whole text (blanks around it allowed) read as one finite number by
// the leading-number rule; nothing when anything else stands in it. The one
// check of every box and command-line option that takes a number.
std::optional<double> WholeTextNumber(std::string_view text);

// True when the text (blanks around it allowed) names an infinity or a NaN
// the way C libraries and spreadsheets write them: "inf", "-Infinity", "nan".
bool NamesNonFiniteNumber(std::string_view text);

enum class WholeNumberStatus { Ok, NotANumber, OutOfRange };

struct WholeNumberResult {
  std::int32_t value = 0;
  WholeNumberStatus status = WholeNumberStatus::NotANumber;
};

// The whole text as a 32-bit whole number: blanks around it allowed, a
// fraction rounded to the nearest integer with ties to even. Anything that
// is not entirely a number (an empty text included) is refused.
WholeNumberResult ParseWholeNumber(std::string_view text);

// Round to nearest, ties to even, into 32 bits; false when out of range or
// not finite.
bool RoundToInt32(double value, std::int32_t& out);

}  // namespace tabulor
