#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "model/field_reader.h"

using namespace tabulor;

namespace {
std::string ReadTexts(std::string_view data, int n) {
  FieldReader in(data);
  std::string all;
  for (int i = 0; i < n; ++i) {
    std::string t;
    if (!in.ReadText(t, "")) return all + "<" + in.error() + ">";
    all += "[" + t + "]";
  }
  return all;
}
}  // namespace

TEST(FieldReader, FieldsEndAtCommasAndEveryKindOfLineEnd) {
  EXPECT_EQ(ReadTexts("a,b\r\nc\rd\ne", 5), "[a][b][c][d][e]");
  EXPECT_EQ(ReadTexts("a,,b", 3), "[a][][b]");
  EXPECT_EQ(ReadTexts("a\r\n\r\nb", 3), "[a][][b]");
  EXPECT_EQ(ReadTexts("  \t x y  ,z", 2), "[x y][z]");
}

TEST(FieldReader, QuotedTextKeepsCommasAndDropsTheRestOfTheField) {
  EXPECT_EQ(ReadTexts("\"a, b\"junk,c", 2), "[a, b][c]");
  EXPECT_EQ(ReadTexts("  \"*\"\r\nnext", 2), "[*][next]");
  EXPECT_EQ(ReadTexts("\" lead\",x", 2), "[ lead][x]");
  EXPECT_EQ(ReadTexts("ab\"c,d", 2), "[ab\"c][d]");
}

TEST(FieldReader, NumbersFollowTheLeadingNumberRule) {
  FieldReader in("1.5, -2e3 ,abc,,7x\r\n  0.25  \r\n");
  double v[6];
  for (double& x : v) ASSERT_TRUE(in.ReadNumber(x, "n")) << in.error();
  EXPECT_EQ(v[0], 1.5);
  EXPECT_EQ(v[1], -2000.0);
  EXPECT_EQ(v[2], 0.0);
  EXPECT_EQ(v[3], 0.0);
  EXPECT_EQ(v[4], 7.0);
  EXPECT_EQ(v[5], 0.25);
}

TEST(FieldReader, IntegersRoundAndStayInThirtyTwoBits) {
  FieldReader in("2,2.5,3.5,-1,2147483648");
  std::int32_t v;
  ASSERT_TRUE(in.ReadInteger(v, ""));
  EXPECT_EQ(v, 2);
  ASSERT_TRUE(in.ReadInteger(v, ""));
  EXPECT_EQ(v, 2);
  ASSERT_TRUE(in.ReadInteger(v, ""));
  EXPECT_EQ(v, 4);
  ASSERT_TRUE(in.ReadInteger(v, ""));
  EXPECT_EQ(v, -1);
  EXPECT_FALSE(in.ReadInteger(v, "count"));
  EXPECT_NE(in.error().find("field 5 on line 1 (count)"), std::string::npos) << in.error();
  EXPECT_NE(in.error().find("32-bit"), std::string::npos);
}

TEST(FieldReader, BooleansAreSpelledExactly) {
  FieldReader in("#TRUE#, #FALSE# ,#true#");
  bool b = false;
  ASSERT_TRUE(in.ReadBoolean(b, ""));
  EXPECT_TRUE(b);
  ASSERT_TRUE(in.ReadBoolean(b, ""));
  EXPECT_FALSE(b);
  EXPECT_FALSE(in.ReadBoolean(b, "kind"));
  EXPECT_NE(in.error().find("\"#true#\" is neither #TRUE# nor #FALSE#"), std::string::npos) << in.error();
}

TEST(FieldReader, ReadingPastTheEndNamesTheFieldAndLine) {
  FieldReader in("1\r\n2\r\n");
  double x;
  ASSERT_TRUE(in.ReadNumber(x, ""));
  ASSERT_TRUE(in.ReadNumber(x, ""));
  EXPECT_FALSE(in.ReadNumber(x, "upper limit of variable 0"));
  EXPECT_EQ(in.error(), "field 3 on line 3 (upper limit of variable 0): the file ends before this field");
  // The last field of a file needs no line end.
  FieldReader last("5");
  ASSERT_TRUE(last.ReadNumber(x, ""));
  EXPECT_EQ(x, 5.0);
}

TEST(FieldReader, RefusesWhatNoFileOfOursHolds) {
  std::string t;
  double x;
  {
    FieldReader in("\"never closed,\r\nmore");
    EXPECT_FALSE(in.ReadText(t, ""));
    EXPECT_NE(in.error().find("never closed"), std::string::npos);
  }
  {
    FieldReader in(std::string_view("ab\0c,d", 6));
    EXPECT_FALSE(in.ReadText(t, ""));
    EXPECT_NE(in.error().find("NUL"), std::string::npos);
  }
  {
    std::string huge(FieldReader::kMaxFieldLength + 1, 'x');
    FieldReader in(huge);
    EXPECT_FALSE(in.ReadText(t, ""));
    EXPECT_NE(in.error().find("longer than"), std::string::npos);
  }
  for (const char* bad : {"nan", "-inf", "Infinity", "1e999", "-1e999"}) {
    FieldReader in(bad);
    EXPECT_FALSE(in.ReadNumber(x, "coefficient 1")) << bad;
    EXPECT_NE(in.error().find("field 1 on line 1 (coefficient 1)"), std::string::npos) << in.error();
  }
}

TEST(FieldReader, FileAndMemoryReadAlikeAcrossBufferBoundaries) {
  // Fields that straddle the reader's 1 MiB buffer.
  std::string data;
  for (int i = 0; i < 300000; ++i) data += std::to_string(i) + (i % 3 ? "," : "\r\n");
  char path[] = "/tmp/tabulor_fieldsXXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
  lseek(fd, 0, SEEK_SET);
  FieldReader from_file(fd);
  FieldReader from_memory(data);
  for (int i = 0; i < 300000; ++i) {
    double a = -1, b = -2;
    ASSERT_TRUE(from_file.ReadNumber(a, ""));
    ASSERT_TRUE(from_memory.ReadNumber(b, ""));
    ASSERT_EQ(a, i);
    ASSERT_EQ(b, i);
  }
  EXPECT_EQ(from_file.line_number(), from_memory.line_number());
  double x;
  EXPECT_FALSE(from_file.ReadNumber(x, ""));
  unlink(path);
}

TEST(FieldReader, AByteOrderMarkIsSkippedOnlyAtTheStart) {
  const std::string mark = "\xEF\xBB\xBF";
  EXPECT_EQ(ReadTexts(mark + "1,x", 2), "[1][x]");
  EXPECT_EQ(ReadTexts(mark + "\"x\",y", 2), "[x][y]");
  // Elsewhere the same bytes belong to the field.
  EXPECT_EQ(ReadTexts("a," + mark + "b", 2), "[a][" + mark + "b]");
  EXPECT_EQ(ReadTexts(mark + mark + "c", 1), "[" + mark + "c]");
  // From a file as from memory, the first number is read.
  char path[] = "/tmp/tabulor_bomXXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  const std::string data = mark + " 3 \r\n4";
  ASSERT_EQ(write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
  lseek(fd, 0, SEEK_SET);
  FieldReader in(fd);
  std::int32_t a = 0, b = 0;
  ASSERT_TRUE(in.ReadInteger(a, "") && in.ReadInteger(b, "")) << in.error();
  EXPECT_EQ(a, 3);
  EXPECT_EQ(b, 4);
  EXPECT_EQ(in.bytes_read(), data.size());
  unlink(path);
  // Handed over a byte at a time, as a pipe may.
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, pair), 0);
  for (const char* piece : {"\xEF", "\xBB", "\xBF", "7"}) ASSERT_EQ(send(pair[1], piece, 1, 0), 1);
  close(pair[1]);
  FieldReader piecemeal(pair[0]);
  ASSERT_TRUE(piecemeal.ReadInteger(a, "")) << piecemeal.error();
  EXPECT_EQ(a, 7);
}
