// The quick ways of the file formats give what the general ways give: the
// number text (lists, report, grid files) against C's "%.15G", the series reader's number
// fields against the leading-number rule, its messages unchanged.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "model/dimension.h"
#include "model/grid_file.h"
#include "model/number_text.h"
#include "model/series_file.h"

using namespace tabulor;

namespace {

std::vector<double> AwkwardNumbers() {
  std::vector<double> v = {1.0,
                           -1.0,
                           0.1,
                           0.5,
                           2.5,
                           1e-5,
                           1e-4,
                           9.9999999999999e-5,
                           123456789012345.0,
                           999999999999999.0,
                           999999999999999.4,
                           999999999999999.5,
                           9999999999999995.0,
                           1000000000000005.0,  // a tie at the 16th digit
                           1000000000000015.0,
                           1e15,
                           1e16,
                           1e22,
                           1e23,
                           DBL_MAX,
                           -DBL_MAX,
                           DBL_MIN,
                           DBL_MIN / 3,
                           4.9406564584124654e-324,
                           1.7976931348623157e308 / 7,
                           0.30000000000000004,
                           2.675,
                           1.0000000000000002,
                           0.9999999999999999,
                           6.02214076e23,
                           -3.14159265358979323846};
  for (int e = -320; e <= 308; ++e) {
    const double p = std::pow(10.0, e);
    v.push_back(p);
    v.push_back(std::nextafter(p, 0.0));
    v.push_back(std::nextafter(p, INFINITY));
    v.push_back(-9.5 * p);
    v.push_back(1.5 * p);
  }
  // Random doubles of every magnitude and random bit patterns.
  std::mt19937_64 gen(99);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-330, 308);
  for (int i = 0; i < 300000; ++i) v.push_back(unit(gen) * std::pow(10.0, exponent(gen)));
  for (int i = 0; i < 300000; ++i) {
    std::uint64_t bits = gen();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (std::isfinite(d)) v.push_back(d);
  }
  // Values that scale to a fraction of almost exactly one half.
  for (int i = 0; i < 20000; ++i) {
    const double base = std::floor(unit(gen) * 1e14) + 0.5;
    v.push_back(base * std::pow(10.0, exponent(gen) % 20));
  }
  return v;
}

// C's "%.15G" in the "C" locale (this test never sets another), with
// negative zero as "0": what the number text is defined to be.
std::string PrintfText(double value) {
  if (value == 0.0) return "0";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15G", value);
  return buf;
}

}  // namespace

TEST(FastIo, NumberTextIsPrintfText) {
  int mismatches = 0;
  for (double v : AwkwardNumbers()) {
    const std::string expected = PrintfText(v);
    if (NumberText(v) != expected && ++mismatches <= 10)
      ADD_FAILURE() << v << ": \"" << NumberText(v) << "\" instead of \"" << expected << "\"";
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(FastIo, GridFileNumberTextIsNumberText) {
  const std::vector<double> values = AwkwardNumbers();
  Dimension m;
  m.LastVar = 0;
  m.VarName[0] = "x";
  m.LastPoint[0] = static_cast<std::int32_t>(values.size()) - 1;
  m.LastPt[0] = m.LastPoint[0];
  m.LowerLimit[0] = 0;
  m.UpperLimit[0] = 1;
  m.EvenlySpaced[0] = true;
  m.BuildGrids();
  ASSERT_TRUE(m.Results.Allocate({static_cast<std::int64_t>(values.size()), 1, 1, 1}));
  for (std::size_t i = 0; i < values.size(); ++i) m.Results(static_cast<std::int64_t>(i), 0, 0, 0) = values[i];
  m.ResultsReady = true;
  const std::string text = GridFileText(m);
  // Skip the head (7 lines: count, then the variable's six items).
  std::size_t pos = 0;
  for (int line = 0; line < 7; ++line) pos = text.find("\r\n", pos) + 2;
  int mismatches = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::size_t end = text.find("\r\n", pos);
    ASSERT_NE(end, std::string::npos);
    const std::string line = text.substr(pos, end - pos);
    std::string expected = PrintfText(values[i]);
    expected = (expected[0] == '-' ? "" : " ") + expected + " ";
    if (line != expected && ++mismatches <= 10)
      ADD_FAILURE() << "value " << i << " (" << values[i] << "): \"" << line << "\" instead of \"" << expected << "\"";
    pos = end + 2;
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(FastIo, SeriesNumberFieldsFollowTheLeadingNumberRule) {
  // Forms the quick way reads and forms it leaves to the general way.
  const std::vector<std::string> fields = {"1.5",
                                           "  -0.25  ",
                                           "1e5",
                                           "1E+05",
                                           ".5",
                                           "5.",
                                           "-.5e-3",
                                           "+1",
                                           "1.5x",
                                           "1e",
                                           "1e+",
                                           "-",
                                           "abc",
                                           "",
                                           "  ",
                                           "-0",
                                           "007",
                                           "1.5 2",
                                           "0x10",
                                           "1d5",
                                           "2.5e-310",
                                           "1e-400",
                                           "123456789012345678901234567890",
                                           "\"2.5\"",
                                           "-1e308",
                                           "1.7976931348623157e308",
                                           "4.9e-324",
                                           "12e-3 "};
  std::string text = "0,x,-1,1,*,#TRUE#,*," + std::to_string(fields.size() - 1) + ",#TRUE#";
  for (std::size_t i = 0; i < fields.size(); ++i) text += (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : ",") + fields[i];
  text += "\r\n";
  Dimension m;
  m.Pi = 4 * std::atan(1.0);
  SeriesReadResult r = ReadSeriesText(m, text, "t.ser");
  ASSERT_EQ(r.outcome, SeriesReadOutcome::Ok) << r.message;
  ASSERT_EQ(m.Coefficients.size(), fields.size());
  for (std::size_t i = 0; i < fields.size(); ++i) {
    std::string field = fields[i];
    if (field.front() == '"') field = field.substr(1, field.size() - 2);
    const double expected = LeadingNumber(field);
    EXPECT_EQ(std::memcmp(&m.Coefficients[i], &expected, sizeof expected), 0)
        << "field \"" << fields[i] << "\": " << m.Coefficients[i] << " instead of " << expected;
  }
}

TEST(FastIo, SeriesCoefficientMessagesNameTheCoefficient) {
  Dimension m;
  m.Pi = 4 * std::atan(1.0);
  SeriesReadResult r = ReadSeriesText(m, "0,x,-1,1,*,#TRUE#,*,3,#TRUE#\n1,2,1e999,4\n", "t.ser");
  EXPECT_EQ(r.outcome, SeriesReadOutcome::Error);
  EXPECT_EQ(r.message,
            "Series file \"t.ser\": field 12 on line 2 (coefficient 3 of 4): the number 1e999 is too large for a "
            "double");
  r = ReadSeriesText(m, "0,x,-1,1,*,#TRUE#,*,3,#TRUE#\n1,2,\n", "t.ser");
  EXPECT_EQ(r.outcome, SeriesReadOutcome::Error);
  EXPECT_EQ(r.message,
            "Series file \"t.ser\": field 13 on line 3 (coefficient 4 of 4): the file ends before this field");
  // A whole-number field names its text without the blanks behind it.
  r = ReadSeriesText(m, "0,x,-1,1,*,#TRUE#,*, 3000000000  ,#TRUE#\n1\n", "t.ser");
  EXPECT_EQ(r.outcome, SeriesReadOutcome::Error);
  EXPECT_EQ(r.message,
            "Series file \"t.ser\": field 8 on line 1 (number of terms minus 1 of variable 0): the number 3000000000 "
            "is beyond the 32-bit range");
  r = ReadSeriesText(m, "0,x,-1,1,*,#TRUE#,*,1,#TRUE#\n1,-inf\n", "t.ser");
  EXPECT_EQ(r.outcome, SeriesReadOutcome::Error);
  EXPECT_EQ(r.message,
            "Series file \"t.ser\": field 11 on line 2 (coefficient 2 of 2): \"-inf\" is not a finite number");
}

// A file larger than the reader's buffer: fields cut by the buffer's end
// take the general way; every value is the leading number of its field.
TEST(FastIo, SeriesFileAcrossBufferEnds) {
  const int n = 150000;
  std::string text = "0,x,-1,1,*,#TRUE#,*," + std::to_string(n - 1) + ",#TRUE#\r\n";
  std::vector<std::string> fields;
  std::mt19937_64 gen(5);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int i = 0; static_cast<int>(fields.size()) < n; ++i) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", unit(gen) * std::pow(10.0, i % 11 - 5));
    if (i % 7 == 0) {
      // A number with blanks around it, then an empty field (0).
      text += std::string("  ") + buf + "  ,\r\n";
      fields.push_back(buf);
      fields.push_back("");
    } else {
      text += std::string(buf) + (i % 5 == 0 ? "\r" : "\r\n");
      fields.push_back(buf);
    }
  }
  char path[] = "/tmp/tabulor-fast-io-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fd);
  ASSERT_GT(text.size(), 2u << 20);
  Dimension m;
  m.Pi = 4 * std::atan(1.0);
  SeriesReadResult r = ReadSeriesFile(m, path, nullptr);
  std::remove(path);
  ASSERT_EQ(r.outcome, SeriesReadOutcome::Ok) << r.message;
  ASSERT_EQ(m.Coefficients.size(), static_cast<std::size_t>(n));
  int mismatches = 0;
  for (int i = 0; i < n; ++i) {
    const double expected = LeadingNumber(fields[static_cast<std::size_t>(i)]);
    if (std::memcmp(&m.Coefficients[static_cast<std::size_t>(i)], &expected, sizeof expected) != 0 && ++mismatches <= 5)
      ADD_FAILURE() << "coefficient " << i << " \"" << fields[static_cast<std::size_t>(i)] << "\"";
  }
  EXPECT_EQ(mismatches, 0);
}
