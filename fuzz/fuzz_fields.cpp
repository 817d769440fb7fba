// Fuzz target: the field reader reads from a descriptor in pieces (one per read() of a SEQPACKET socket) what
// it reads from the same bytes in memory. Input: 4 bytes for the piece sizes, 16 for the kinds of field, the text.
#include <sys/socket.h>
#include <unistd.h>

#include "fuzz_common.h"
#include "model/field_reader.h"

using namespace tabulor;

// What a text or number read gives, and where the reader stands after it.
static std::string Read(FieldReader& in, bool number) {
  std::string text;
  double x = 0.0;
  const bool ok = number ? in.ReadNumber(x, "number") : in.ReadText(text, "text");
  return ok ? "<" + text + "> " + std::to_string(std::bit_cast<std::uint64_t>(x)) + " at " +
                  std::to_string(in.bytes_read()) + " line " + std::to_string(in.line_number())
            : in.error();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 20) return 0;
  const std::string_view text = fuzz::Text(data + 20, size - 20);
  // All pieces queued first: 1 to 16 bytes over the first 128, where most fields begin, then 64 to 1084.
  int fds[2];
  FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds) == 0);
  const int buffer = 4 << 20;
  ::setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
  bool queued = true;
  for (std::size_t pos = 0, i = 0, n; queued && pos < text.size(); pos += n, ++i) {
    n = std::min(pos < 128 ? 1 + data[i % 4] % 16 : 64 + 4 * std::size_t{data[i % 4]}, text.size() - pos);
    queued = ::send(fds[1], text.data() + pos, n, MSG_NOSIGNAL | MSG_DONTWAIT) == static_cast<ssize_t>(n);
  }
  ::close(fds[1]);
  FieldReader memory(text), pieces(fds[0]);  // the reader closes the descriptor
  for (int k = 0; queued && k < 64 && memory.error().empty(); ++k) {
    const bool number = data[4 + k % 16] >> (2 * (k / 16)) & 1;
    const std::string a = Read(memory, number), b = Read(pieces, number);
    FUZZ_CHECK(a == b, "read " + std::to_string(k) + " from memory: " + a + "\nfrom the descriptor: " + b);
  }
  return 0;
}
