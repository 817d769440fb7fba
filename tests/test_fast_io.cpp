// The quick ways give what the general ways give: the number text what C's
// "%.15G" writes, and the series reader's number fields what the
// leading-number rule reads, also where the reader's buffer cuts a field.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "model/number_text.h"
#include "model/series_file.h"
#include "test_helpers.h"

using namespace tabulor;
using namespace tabulor::testing;

// Every power of ten and its neighbours, random doubles of every magnitude,
// random bit patterns and fractions of almost exactly one half at the 15th
// digit.
TEST(FastIo, NumberTextIsPrintfText) {
  std::mt19937_64 gen(99);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  int mismatches = 0;
  for (int i = 0; i < 200000; ++i) {
    const double p = std::pow(10.0, i % 629 - 320);
    const double near[] = {p, std::nextafter(p, 0.0), std::nextafter(p, INFINITY), -9.5 * p, 1.5 * p};
    double bits;
    const std::uint64_t random = gen();
    std::memcpy(&bits, &random, sizeof bits);
    for (double x : {i < 5 * 629 ? near[i / 629] : unit(gen) * p, bits,
                     (std::floor(unit(gen) * 1e14) + 0.5) * std::pow(10.0, i % 40 - 20)}) {
      char c[40];
      std::snprintf(c, sizeof c, "%.15G", x);  // this test never leaves the "C" locale
      if (std::isfinite(x) && NumberText(x) != (x == 0 ? "0" : c) && ++mismatches <= 10)
        ADD_FAILURE() << c << ": \"" << NumberText(x) << "\"";
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// The texts of the leading-number table that a field can hold, and random
// numbers, some with blanks around them or quoted with a line end, as the
// coefficients of a file of 3 MB.
TEST(FastIo, SeriesNumberFieldsFollowTheLeadingNumberRule) {
  std::vector<std::string> fields;
  for (const auto& c : Table("leading_number.tsv"))
    if (c[0] == "leading" && c[2] != "over" && c[1].find_first_of(",\"") == std::string::npos) fields.push_back(c[1]);
  std::mt19937_64 gen(5);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int i = 0; fields.size() < 150000; ++i) {
    char buf[40];
    std::snprintf(buf, sizeof buf,
                  i % 7   ? "%.17g"
                  : i % 3 ? "  %.17g  "
                          : "\"%.17g\r\"",
                  unit(gen) * std::pow(10.0, i % 11 - 5));
    fields.push_back(buf);
  }
  std::string text = "0,x,-1,1,*,#TRUE#,*," + std::to_string(fields.size() - 1) + ",#TRUE#";
  for (std::size_t i = 0; i < fields.size(); ++i) text += (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\r" : ",") + fields[i];
  ScratchDir dir;
  WriteFile(dir.file("t.ser"), text + "\n");
  ASSERT_GT(text.size(), 2u << 20);  // fields cut by the reader's buffer
  Dimension m;
  const SeriesReadResult r = ReadSeriesFile(m, dir.file("t.ser"));
  ASSERT_EQ(r.outcome, SeriesReadOutcome::Ok) << r.message;
  ASSERT_EQ(m.Coefficients.size(), fields.size());
  int mismatches = 0;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const double expected = LeadingNumber(fields[i][0] == '"' ? fields[i].substr(1) : fields[i]);
    if (std::memcmp(&m.Coefficients[i], &expected, sizeof expected) != 0 && ++mismatches <= 10)
      ADD_FAILURE() << "field \"" << fields[i] << "\": " << m.Coefficients[i] << " instead of " << expected;
  }
  EXPECT_EQ(mismatches, 0);
}
