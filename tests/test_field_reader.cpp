// The fields of the series and grid files, from memory and from a file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "model/field_reader.h"
#include "model/number_text.h"
#include "test_helpers.h"

using namespace tabulor;
using namespace tabulor::testing;

namespace {

// Reads fields by the kinds in `kinds` (t text, n number, i integer, b
// Boolean), each shown as [value], the first error as <error>.
std::string Read(FieldReader& in, std::string_view kinds) {
  std::string out;
  for (char k : kinds) {
    std::string t;
    double x = 0;
    std::int32_t i = 0;
    bool b = false;
    const bool ok = k == 't'   ? in.ReadText(t, "w")
                    : k == 'n' ? in.ReadNumber(x, "w")
                    : k == 'i' ? in.ReadInteger(i, "w")
                               : in.ReadBoolean(b, "w");
    if (!ok) return out + "<" + in.error() + ">";
    out += "[" + (k == 't' ? t : k == 'n' ? NumberText(x) : k == 'i' ? IntegerText(i) : b ? "T" : "F") + "]";
  }
  return out;
}

std::string Read(std::string_view data, std::string_view kinds) {
  FieldReader in(data);
  return Read(in, kinds);
}

const std::string kMark = "\xEF\xBB\xBF";
const std::string kEnds = "the file ends before this field>";

}  // namespace

TEST(FieldReader, FieldsOfEveryKind) {
  for (const auto& c : Table("field_reader.tsv")) EXPECT_EQ(Read(c[0], c[1]), c[2]) << c[0];
  const std::string longest(FieldReader::kMaxFieldLength, '7');
  EXPECT_EQ(Read(longest + "7", "n"), "<field 1 on line 1 (w): the field is longer than 65536 characters>");
  EXPECT_EQ(Read(longest + ",y", "tt"), "[" + longest + "][y]");
}

// From a file: the byte order mark skipped also when a pipe hands it over
// a byte at a time, the bytes read told, and a read that fails.
TEST(FieldReader, FromAFile) {
  ScratchDir dir;
  WriteFile(dir.file("f"), kMark + " 3 \r\n4");
  FieldReader file(::open(dir.file("f").c_str(), O_RDONLY));
  EXPECT_EQ(Read(file, "ii"), "[3][4]");
  EXPECT_EQ(file.bytes_read(), 9u);
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, pair), 0);
  for (const char* piece : {"\xEF", "\xBB", "\xBF", "7"}) ASSERT_EQ(send(pair[1], piece, 1, 0), 1);
  close(pair[1]);
  FieldReader piecemeal(pair[0]);
  EXPECT_EQ(Read(piecemeal, "in"), "[7]<field 2 on line 1 (w): " + kEnds);

  FieldReader folder(::open("/tmp", O_RDONLY));
  EXPECT_EQ(Read(folder, "t"), "<field 1 on line 1 (w): the file could not be read to its end>");
}
