#include "model/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tabulor {

AtomicWriteResult WriteFileAtomically(const std::string& target,
                                      const std::function<bool(const ByteSink& sink)>& produce) {
  struct stat st {};
  mode_t mode = 0;
  if (::stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return {AtomicWriteOutcome::IsFolder, 0};
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  std::string temp = target + ".XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return {AtomicWriteOutcome::Failed, errno};
  int error = 0;
  ByteSink sink = [&](const char* p, std::size_t n) {
    while (n > 0) {
      ssize_t w = ::write(fd, p, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        error = errno;
        return false;
      }
      p += w;
      n -= static_cast<std::size_t>(w);
    }
    return true;
  };
  bool ok = produce(sink);
  bool stopped = !ok && error == 0;
  if (ok && ::fchmod(fd, mode) != 0) {
    // Keeping the default mode of the temporary file is not worth failing for.
  }
  if (ok && ::fsync(fd) != 0) {
    ok = false;
    error = errno;
  }
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    if (stopped) return {AtomicWriteOutcome::Stopped, 0};
    return {AtomicWriteOutcome::Failed, error ? error : EIO};
  }
  return {AtomicWriteOutcome::Ok, 0};
}

}  // namespace tabulor
