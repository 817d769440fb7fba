// Fuzz target: the field reader reading from a file descriptor in pieces of
// many sizes (each read() of a SEQPACKET socket returns one piece) must read
// exactly what it reads from the same bytes in memory: a CR at the end of one
// piece and its LF at the start of the next, a quote or a number cut in two.
//
// Input: 4 bytes choosing the piece sizes, 16 bytes choosing the kinds of
// field to read, then the text.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_common.h"
#include "model/field_reader.h"

using namespace tabulor;

namespace {

constexpr std::size_t kSizeBytes = 4, kOpBytes = 16;

struct FieldValue {
  bool ok = false;
  std::string text;
  double number = 0.0;
  std::int32_t integer = 0;
  bool boolean = false;
};

FieldValue ReadOne(FieldReader& in, int op) {
  FieldValue f;
  switch (op & 3) {
    case 0: f.ok = in.ReadText(f.text, "text"); break;
    case 1:
      f.ok = in.ReadNumber(f.number, "number");
      if (f.ok) FUZZ_CHECK(std::isfinite(f.number), "a number field read as non-finite");
      break;
    case 2: f.ok = in.ReadInteger(f.integer, "integer"); break;
    default: f.ok = in.ReadBoolean(f.boolean, "boolean"); break;
  }
  return f;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kSizeBytes + kOpBytes) return 0;
  const std::uint8_t* sizes = data;
  const std::uint8_t* ops = data + kSizeBytes;
  const std::string_view text(reinterpret_cast<const char*>(data + kSizeBytes + kOpBytes),
                              size - kSizeBytes - kOpBytes);

  // All pieces are queued before reading (no second thread): 1 to 16 bytes
  // each over the first 128 bytes, where most fields of a file begin, then
  // 64 to 1084 bytes, so that the queue stays within the socket's buffer.
  int fds[2];
  FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK, 0, fds) == 0, "socketpair");
  const int buffer = 4 << 20;
  ::setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
  {
    std::size_t pos = 0, i = 0;
    while (pos < text.size()) {
      const std::uint8_t seed = sizes[i++ % kSizeBytes];
      std::size_t n = pos < 128 ? 1 + seed % 16 : 64 + 4 * static_cast<std::size_t>(seed);
      n = std::min(n, text.size() - pos);  // a zero-length piece would read as the end
      if (::send(fds[1], text.data() + pos, n, MSG_NOSIGNAL) != static_cast<ssize_t>(n)) {
        ::close(fds[0]);
        ::close(fds[1]);
        return 0;  // the queue is full: not this input
      }
      pos += n;
    }
    ::close(fds[1]);
  }
  // The reader blocks on an empty queue only at the end, which it sees.
  const int flags = ::fcntl(fds[0], F_GETFL);
  ::fcntl(fds[0], F_SETFL, flags & ~O_NONBLOCK);

  {
    FieldReader memory(text);
    FieldReader piecewise(fds[0]);  // closes the descriptor
    for (std::size_t k = 0; k < kOpBytes * 4; ++k) {
      const int op = ops[k % kOpBytes] >> (2 * (k / kOpBytes));
      FieldValue a = ReadOne(memory, op);
      FieldValue b = ReadOne(piecewise, op);
      const std::string where = "read " + std::to_string(k) + " (kind " + std::to_string(op & 3) + ")";
      FUZZ_CHECK(a.ok == b.ok, where + ": memory " + (a.ok ? "ok" : memory.error()) + ", descriptor " +
                                   (b.ok ? "ok" : piecewise.error()));
      FUZZ_CHECK(memory.field_number() == piecewise.field_number() && memory.line_number() == piecewise.line_number(),
                 where + ": field or line number differ");
      if (!a.ok) {
        FUZZ_CHECK(memory.error() == piecewise.error(), where + ": " + memory.error() + " | " + piecewise.error());
        FUZZ_CHECK(memory.error().rfind("field " + std::to_string(memory.field_number()) + " on line ", 0) == 0,
                   "the message does not name the place: " + memory.error());
        break;
      }
      FUZZ_CHECK(memory.bytes_read() == piecewise.bytes_read(), where + ": bytes read differ");
      FUZZ_CHECK(a.text == b.text && a.integer == b.integer && a.boolean == b.boolean &&
                     std::memcmp(&a.number, &b.number, sizeof a.number) == 0,
                 where + ": values differ: <" + a.text + "> <" + b.text + ">");
      FUZZ_CHECK(a.text.size() <= FieldReader::kMaxFieldLength, "a field beyond the longest accepted");
      FUZZ_CHECK(a.text.find('\0') == std::string::npos, "a text holds a NUL byte");
      if (!a.text.empty()) {
        // Blanks around an unquoted text are dropped; a quoted one keeps them.
        const bool quoted_possible = a.text.find_first_of(",\r\n") != std::string::npos || a.text.front() == ' ' ||
                                     a.text.front() == '\t' || a.text.back() == ' ' || a.text.back() == '\t';
        if (quoted_possible) FUZZ_CHECK(a.text.find('"') == std::string::npos, "a quoted text holds a quote");
      }
    }
  }
  return 0;
}
