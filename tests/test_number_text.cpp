#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "model/number_text.h"

using namespace tabulor;

namespace {

// Under TABULOR_TEST_SET_LOCALE the whole program runs in the user's locale,
// as a Qt program does after QCoreApplication has started.
class LocaleEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (std::getenv("TABULOR_TEST_SET_LOCALE")) std::setlocale(LC_ALL, "");
  }
};
const auto* const kLocaleEnv = ::testing::AddGlobalTestEnvironment(new LocaleEnvironment);

}  // namespace

TEST(Locale, GermanLocaleIsReallyActiveWhenAsked) {
  if (!std::getenv("TABULOR_TEST_SET_LOCALE")) GTEST_SKIP() << "runs under LC_ALL=de_DE.UTF-8 only";
  // The point of the locale run: C's own formatting now writes a comma.
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.1f", 0.5);
  EXPECT_STREQ(buf, "0,5");
}

TEST(NumberText, GeneralFormWithFifteenDigits) {
  EXPECT_EQ(NumberText(0.25), "0.25");
  EXPECT_EQ(NumberText(-0.5), "-0.5");
  EXPECT_EQ(NumberText(2.0), "2");
  EXPECT_EQ(NumberText(2.5), "2.5");
  EXPECT_EQ(NumberText(0.0), "0");
  EXPECT_EQ(NumberText(-0.0), "0");
  EXPECT_EQ(NumberText(1e15), "1E+15");
  EXPECT_EQ(NumberText(999999999999999.0), "999999999999999");
  EXPECT_EQ(NumberText(123456789012345678.0), "1.23456789012346E+17");
  EXPECT_EQ(NumberText(1e-5), "1E-05");
  EXPECT_EQ(NumberText(0.0001), "0.0001");
  EXPECT_EQ(NumberText(1e-10), "1E-10");
  EXPECT_EQ(NumberText(1.0 / 3.0), "0.333333333333333");
  EXPECT_EQ(NumberText(2.0 / 3.0), "0.666666666666667");
  EXPECT_EQ(NumberText(8 * std::atan(1.0)), "6.28318530717959");
  EXPECT_EQ(NumberText(-1.5e300), "-1.5E+300");
  EXPECT_EQ(NumberText(1e100), "1E+100");
  EXPECT_EQ(NumberText(std::numeric_limits<double>::denorm_min()), "4.94065645841247E-324");
}

TEST(NumberText, MatchesCFormatInTheCLocale) {
  // The reference is printf in the "C" locale; compare over many magnitudes.
  const char* saved = std::setlocale(LC_NUMERIC, nullptr);
  std::string keep = saved ? saved : "C";
  std::setlocale(LC_NUMERIC, "C");
  std::uint64_t state = 88172645463325252ull;
  for (int i = 0; i < 20000; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    double mant = static_cast<double>(state % 1000000007) / 1000000007.0;
    int exp = static_cast<int>((state >> 40) % 80) - 40;
    double x = (state & 1 ? -1 : 1) * mant * std::pow(10.0, exp);
    if (x == 0) continue;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", x);
    ASSERT_EQ(NumberText(x), buf) << x;
  }
  std::setlocale(LC_NUMERIC, keep.c_str());
}

TEST(NumberText, PrintFormKeepsThePlaceOfTheSign) {
  EXPECT_EQ(PrintForm(0.5), " 0.5 ");
  EXPECT_EQ(PrintForm(-0.25), "-0.25 ");
  EXPECT_EQ(PrintForm(2.5), " 2.5 ");
  EXPECT_EQ(PrintForm(-0.0), " 0 ");
  EXPECT_EQ(PrintForm(std::int64_t{11}), " 11 ");
  EXPECT_EQ(PrintForm(std::int64_t{-1}), "-1 ");
  EXPECT_EQ(IntegerText(-2147483648ll), "-2147483648");
}

TEST(LeadingNumber, ReadsUpToTheFirstCharacterThatDoesNotFit) {
  EXPECT_EQ(LeadingNumber("1e-3"), 0.001);
  EXPECT_EQ(LeadingNumber("2,5"), 2.0);
  EXPECT_EQ(LeadingNumber("  -3.25abc"), -3.25);
  EXPECT_EQ(LeadingNumber("+.5"), 0.5);
  EXPECT_EQ(LeadingNumber("5."), 5.0);
  EXPECT_EQ(LeadingNumber("1E+2x"), 100.0);
  EXPECT_EQ(LeadingNumber("1e"), 1.0);
  EXPECT_EQ(LeadingNumber("1e+"), 1.0);
  EXPECT_EQ(LeadingNumber("1.5e2.5"), 150.0);
  EXPECT_EQ(LeadingNumber("\t7"), 7.0);
  EXPECT_EQ(LeadingNumber("0.1"), 0.1);  // correctly rounded, not built digit by digit
  EXPECT_EQ(LeadingNumber("6.28318530717959"), 6.28318530717959);
}

TEST(LeadingNumber, TextWithoutANumberGivesZero) {
  for (const char* t : {"", " ", "abc", "*", "**", ".", "-", "+", "-.", "e5", ".e1", "x1"}) {
    LeadingNumberResult r = ParseLeadingNumber(t);
    EXPECT_EQ(r.status, NumberStatus::NoNumber) << t;
    EXPECT_EQ(LeadingNumber(t), 0.0) << t;
  }
}

TEST(LeadingNumber, OverflowIsReportedAndUnderflowIsZero) {
  EXPECT_EQ(ParseLeadingNumber("1e999").status, NumberStatus::Overflow);
  EXPECT_EQ(ParseLeadingNumber("-1e999").status, NumberStatus::Overflow);
  EXPECT_EQ(ParseLeadingNumber("1.8e308").status, NumberStatus::Overflow);
  EXPECT_EQ(ParseLeadingNumber("0.0000000001e310").status, NumberStatus::Ok);
  EXPECT_EQ(ParseLeadingNumber("1.7976931348623157e308").value, std::numeric_limits<double>::max());
  LeadingNumberResult tiny = ParseLeadingNumber("-1e-999");
  EXPECT_EQ(tiny.status, NumberStatus::Ok);
  EXPECT_EQ(tiny.value, 0.0);
  EXPECT_TRUE(std::signbit(tiny.value));
  EXPECT_EQ(ParseLeadingNumber("4.9e-324").value, std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(ParseLeadingNumber("123456789e-330").status, NumberStatus::Ok);
}

TEST(LeadingNumber, EndIsJustBehindTheNumber) {
  EXPECT_EQ(ParseLeadingNumber(" 12.5e3xyz").end, 7u);
  EXPECT_EQ(ParseLeadingNumber("12e").end, 2u);
  EXPECT_EQ(ParseLeadingNumber("-4").end, 2u);
}

TEST(LeadingNumber, NumberTextReadsBackToFifteenDigits) {
  for (double x : {0.1, 1.0 / 3, -2.0 / 7, 12345.678901234567, 6.02214076e23, -1.602e-19}) {
    double back = LeadingNumber(NumberText(x));
    EXPECT_NEAR(back, x, std::fabs(x) * 1e-14) << x;
    EXPECT_EQ(NumberText(back), NumberText(x));
  }
}

TEST(LeadingNumber, NamesOfNonFiniteNumbersAreRecognised) {
  for (const char* t :
       {"nan", "NaN", "-nan", "nan(0x8)", "inf", "-Infinity", " INF ", "1.#INF", "-1.#IND", "1.#QNAN", "1.#INF00"})
    EXPECT_TRUE(NamesNonFiniteNumber(t)) << t;
  for (const char* t : {"", "abc", "12", "info", "nano", "#TRUE#", "1.#X"}) EXPECT_FALSE(NamesNonFiniteNumber(t)) << t;
}

TEST(WholeNumber, RoundsTiesToEvenAndRefusesText) {
  auto ok = [](const char* t) {
    WholeNumberResult r = ParseWholeNumber(t);
    EXPECT_EQ(r.status, WholeNumberStatus::Ok) << t;
    return r.value;
  };
  EXPECT_EQ(ok("1.5"), 2);
  EXPECT_EQ(ok("2.5"), 2);
  EXPECT_EQ(ok(" 1 "), 1);
  EXPECT_EQ(ok("-3"), -3);
  EXPECT_EQ(ok("1e2"), 100);
  EXPECT_EQ(ok("-0.5"), 0);
  EXPECT_EQ(ParseWholeNumber("").status, WholeNumberStatus::NotANumber);
  EXPECT_EQ(ParseWholeNumber("   ").status, WholeNumberStatus::NotANumber);
  EXPECT_EQ(ParseWholeNumber("abc").status, WholeNumberStatus::NotANumber);
  EXPECT_EQ(ParseWholeNumber("1x").status, WholeNumberStatus::NotANumber);
  EXPECT_EQ(ParseWholeNumber("1 2").status, WholeNumberStatus::NotANumber);
  EXPECT_EQ(ParseWholeNumber("3000000000").status, WholeNumberStatus::OutOfRange);
  EXPECT_EQ(ParseWholeNumber("1e999").status, WholeNumberStatus::OutOfRange);
  EXPECT_EQ(ok("2147483647"), 2147483647);
  EXPECT_EQ(ok("-2147483648"), -2147483647 - 1);
}

// The check every number box and option shares: the whole text, blanks
// around it aside, must be one finite number.
TEST(WholeTextNumber, TheWholeTextMustBeAFiniteNumber) {
  const std::pair<const char*, double> numbers[] = {{"2.5", 2.5}, {"  -1E-3\t", -0.001}, {"+7", 7},
                                                    {".5", 0.5},  {"1e2", 100},          {"-0", -0.0}};
  for (const auto& [text, value] : numbers) {
    const std::optional<double> r = WholeTextNumber(text);
    ASSERT_TRUE(r.has_value()) << text;
    EXPECT_EQ(*r, value) << text;
  }
  for (const char* text : {"", " ", "abc", "1x", "1 2", "1,5", "1e", "inf", "nan", "1e999", "-1e400", "2.5.1"})
    EXPECT_FALSE(WholeTextNumber(text).has_value()) << text;
}
