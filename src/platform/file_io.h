// Reading and writing through file descriptors. A read or write that a
// signal interrupts (EINTR) is repeated, and a short write is continued,
// here and nowhere else.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tabulor {

// A file opened to read.
struct FileToRead {
  int fd = -1;             // the open descriptor, which the caller closes; -1 when not opened
  int error = 0;           // the errno of the failed open, else 0
  bool folder = false;     // the name is a folder's (then fd is -1 and error 0)
  std::uint64_t size = 0;  // the size of a regular file, else 0 (a pipe, a device)
};

// Opens a file to read: a named pipe that no program writes to reads as an
// empty file instead of being waited for. A folder is not opened.
FileToRead OpenToRead(const std::string& path);

// read(2), repeated while a signal interrupts it: the number of bytes read,
// 0 at the end, -1 with errno on failure.
ssize_t ReadSome(int fd, char* buffer, std::size_t size);

// Writes all `size` bytes at the descriptor's offset: 0, or the errno of
// the write that failed.
int WriteAll(int fd, const char* data, std::size_t size);

// Collects small writes into blocks and writes each block whole; a block as
// large as the buffer, handed over when nothing waits, goes straight on.
// After the first failed write nothing more is written.
class FileSink {
 public:
  static constexpr std::size_t kChunk = std::size_t{1} << 20;

  // Does not take the descriptor over.
  explicit FileSink(int fd);
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  // False once a write has failed.
  bool Write(const char* data, std::size_t size);
  bool Write(std::string_view text) { return Write(text.data(), text.size()); }
  // Writes what waits; false once a write has failed.
  bool Flush();
  bool ok() const { return error_ == 0; }
  // The errno of the failed write, or 0.
  int error() const { return error_; }

 private:
  int fd_;
  int error_ = 0;
  std::string buffer_;
};

}  // namespace tabulor
