#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tabulor {

FileToRead OpenToRead(const std::string& path) {
  FileToRead file;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    file.error = errno;
    return file;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      ::close(fd);
      file.folder = true;
      return file;
    }
    if (S_ISREG(st.st_mode) && st.st_size > 0) file.size = static_cast<std::uint64_t>(st.st_size);
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags != -1) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  file.fd = fd;
  return file;
}

ssize_t ReadSome(int fd, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

int WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

FileSink::FileSink(int fd) : fd_(fd) {}

bool FileSink::Write(const char* data, std::size_t size) {
  if (error_ != 0) return false;
  if (buffer_.empty() && size >= kChunk) {
    error_ = WriteAll(fd_, data, size);
    return error_ == 0;
  }
  if (buffer_.capacity() < kChunk) buffer_.reserve(kChunk);
  while (size > 0) {
    const std::size_t room = kChunk - buffer_.size();
    const std::size_t n = size < room ? size : room;
    buffer_.append(data, n);
    data += n;
    size -= n;
    if (buffer_.size() == kChunk && !Flush()) return false;
  }
  return true;
}

bool FileSink::Flush() {
  if (error_ == 0 && !buffer_.empty()) error_ = WriteAll(fd_, buffer_.data(), buffer_.size());
  buffer_.clear();
  return error_ == 0;
}

}  // namespace tabulor
