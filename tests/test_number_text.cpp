// Number text, print form and the leading-number rule; the suites named
// NumberText*, LeadingNumber* and Locale* run again under a German locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "model/number_text.h"
#include "test_helpers.h"

using namespace tabulor;
using namespace tabulor::testing;

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
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.1f", 0.5);
  EXPECT_STREQ(buf, "0,5");  // C's own formatting now writes a comma
}

// A value and its number text; the print form puts a blank in the place of
// the sign and one behind.
TEST(NumberText, GeneralFormAndPrintForm) {
  for (const auto& row : Table("number_text.tsv")) {
    SCOPED_TRACE(row[0]);
    const double x = Double(row[0]);
    EXPECT_EQ(NumberText(x), row[1]);
    EXPECT_EQ(PrintForm(x), (row[1][0] == '-' ? "" : " ") + row[1] + " ");
  }
  EXPECT_EQ(PrintForm(std::int64_t{11}), " 11 ");
  EXPECT_EQ(PrintForm(std::int64_t{-1}), "-1 ");
  EXPECT_EQ(IntegerText(-2147483648ll), "-2147483648");
}

// The leading number, the whole text as a number and names of infinities,
// each against its table; a value as bits, so that the sign of a zero counts.
TEST(LeadingNumber, TheRulesThatReadNumbers) {
  const char* status[] = {"ok", "none", "over"};  // NumberStatus
  const char* whole[] = {"ok", "nan", "out"};     // WholeNumberStatus
  for (const auto& c : Table("leading_number.tsv")) {
    SCOPED_TRACE(c[0] + " \"" + c[1] + "\"");
    if (c[0] == "leading") {
      const LeadingNumberResult r = ParseLeadingNumber(c[1]);
      EXPECT_EQ(status[static_cast<int>(r.status)], c[2]);
      EXPECT_EQ(Bits(r.value), Bits(Double(c[3])));
      EXPECT_EQ(r.end, std::stoul(c[4]));
      EXPECT_EQ(Bits(LeadingNumber(c[1])), Bits(Double(c[3])));
    } else if (c[0] == "whole") {
      const std::optional<double> r = WholeTextNumber(c[1]);
      EXPECT_EQ(r ? Bits(*r) : "refused", c[2] == "refused" ? c[2] : Bits(Double(c[2])));
    } else if (c[0] == "integer") {
      const WholeNumberResult r = ParseWholeNumber(c[1]);
      EXPECT_EQ(whole[static_cast<int>(r.status)], c[2]);
      EXPECT_EQ(r.status == WholeNumberStatus::Ok ? r.value : 0, std::stol(c[3]));
    } else {
      EXPECT_EQ(NamesNonFiniteNumber(c[1]), c[2] == "yes");
    }
  }
}
