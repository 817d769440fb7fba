#include "model/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace tabulor {

namespace {

// The file a save writes: a symbolic link that leads to a file is followed,
// so that the link stays and the file it points to gets the new contents.
std::string FileToWrite(const std::string& target) {
  struct stat link {};
  if (::lstat(target.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return target;
  char* resolved = ::realpath(target.c_str(), nullptr);
  if (resolved == nullptr) return target;  // a dangling link is replaced
  std::string path = resolved;
  std::free(resolved);
  return path;
}

// The folder part of `path` ("" for a bare name) with its trailing slash,
// and the name behind it.
void SplitPath(const std::string& path, std::string& folder, std::string& name) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    folder.clear();
    name = path;
  } else {
    folder = path.substr(0, slash + 1);
    name = path.substr(slash + 1);
  }
}

// A hidden temporary name next to `name` that always fits into one folder
// entry: "." + the start of the name + ".XXXXXX" (for mkostemp).
std::string TemporaryName(const std::string& folder, const std::string& name) {
  constexpr std::size_t kSuffix = 7;  // ".XXXXXX"
  constexpr std::size_t kRoom = NAME_MAX - 1 - kSuffix;
  std::size_t keep = name.size();
  if (keep > kRoom) {
    keep = kRoom;
    // Do not cut a UTF-8 sequence in two.
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  }
  return folder + "." + name.substr(0, keep) + ".XXXXXX";
}

// Makes the rename in `folder` durable. A folder that cannot be synced
// leaves the new file in place all the same, so a failure is not reported.
void SyncFolder(const std::string& folder) {
  const std::string path = folder.empty() ? std::string(".") : folder;
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  if (::fsync(fd) != 0) {
    // See above: the rename itself has succeeded.
  }
  ::close(fd);
}

}  // namespace

PendingFile::PendingFile(const std::string& requested) : target_(FileToWrite(requested)) {
  struct stat st {};
  exists_ = ::stat(target_.c_str(), &st) == 0;
  if (exists_) {
    if (S_ISDIR(st.st_mode)) {
      status_ = {AtomicWriteOutcome::IsFolder, 0};
      return;
    }
    // The new file replaces the old one by a rename, which only the folder's
    // permission governs: a file the user may not write stays as it is, as
    // writing into it would.
    if (::access(target_.c_str(), W_OK) != 0) {
      status_ = {AtomicWriteOutcome::Failed, errno};
      return;
    }
    mode_ = st.st_mode & 07777;
    uid_ = st.st_uid;
    gid_ = st.st_gid;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode_ = 0666 & ~mask;
  }
  std::string name;
  SplitPath(target_, folder_, name);
  temp_ = TemporaryName(folder_, name);
  fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
  if (fd_ < 0) {
    status_ = {AtomicWriteOutcome::Failed, errno};
    temp_.clear();
    return;
  }
  status_ = {AtomicWriteOutcome::Ok, 0};
}

PendingFile::~PendingFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

AtomicWriteResult PendingFile::Commit() {
  if (status_.outcome != AtomicWriteOutcome::Ok) return status_;
  int error = 0;
  if (exists_ && ::fchown(fd_, uid_, gid_) != 0) {
    // Only root may keep another owner; the owner's own groups can be kept.
    if (::fchown(fd_, static_cast<uid_t>(-1), gid_) != 0) {
    }
  }
  if (::fchmod(fd_, mode_) != 0) {
    // Keeping the default mode of the temporary file is not worth failing for.
  }
  if (::fsync(fd_) != 0) error = errno;
  if (::close(fd_) != 0 && error == 0) error = errno;
  fd_ = -1;
  if (error == 0 && ::rename(temp_.c_str(), target_.c_str()) != 0) error = errno;
  if (error != 0) {
    status_ = {AtomicWriteOutcome::Failed, error};
    return status_;  // the destructor removes the temporary file
  }
  temp_.clear();
  SyncFolder(folder_);
  return {AtomicWriteOutcome::Ok, 0};
}

AtomicWriteResult WriteFileAtomically(const std::string& target,
                                      const std::function<bool(const ByteSink& sink)>& produce) {
  PendingFile file(target);
  if (file.status().outcome != AtomicWriteOutcome::Ok) return file.status();
  const int fd = file.fd();
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
  if (!produce(sink)) {
    if (error == 0) return {AtomicWriteOutcome::Stopped, 0};
    return {AtomicWriteOutcome::Failed, error};
  }
  return file.Commit();
}

}  // namespace tabulor
