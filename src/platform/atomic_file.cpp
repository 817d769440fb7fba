#include "platform/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/file_io.h"

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

// The temporary files of the saves of one target are named
// TemporaryPrefix(name) + six random letters and digits: hidden, beside the
// target, and never a name another program would choose.
constexpr std::string_view kMarker = ".tabulor-";
constexpr std::size_t kRandom = 6;  // mkostemp's "XXXXXX"

// A name that fits into one folder entry with the temporary file's prefix
// and random part: the name itself, or, for a longer one, its start (cut
// between characters) with "~" and a hash of the whole name, so that two
// long names with the same start still have patterns of their own.
std::string TemporaryStem(const std::string& name) {
  constexpr std::size_t kRoom = NAME_MAX - 1 - kMarker.size() - kRandom;
  if (name.size() <= kRoom) return name;
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
  constexpr std::size_t kHash = 1 + 16;  // "~" and 16 hex digits
  std::size_t keep = kRoom - kHash;
  // Do not cut a UTF-8 sequence in two.
  while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  std::string stem = name.substr(0, keep) + "~";
  for (int shift = 60; shift >= 0; shift -= 4) stem += "0123456789abcdef"[(hash >> shift) & 0xF];
  return stem;
}

std::string TemporaryPrefix(const std::string& name) { return "." + TemporaryStem(name) + std::string(kMarker); }

bool IsRandomPart(std::string_view s) {
  if (s.size() != kRandom) return false;
  for (char c : s)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  return true;
}

// Removes `path` when it is a temporary file that a save which did not end
// (a killed process) left: a regular file of this user with one name that
// no save holds locked. The lock goes with the process that held it, however
// it ended.
void RemoveIfStale(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_nlink == 1 &&
      ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    // Still the file that was checked, not one put in its place since.
    struct stat now {};
    if (::lstat(path.c_str(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino) ::unlink(path.c_str());
  }
  ::close(fd);
}

// Removes from `folder` the temporary files named `prefix` + a random part
// that earlier saves of the same target left behind.
void RemoveStaleTemporaries(const std::string& folder, const std::string& prefix) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> found;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
        IsRandomPart(name.substr(prefix.size())))
      found.emplace_back(name);
  }
  ::closedir(dir);
  for (const std::string& name : found) RemoveIfStale(folder + name);
}

// Removes the stale temporary files of the target `name` from `folder`,
// then creates and locks a new one there: its descriptor, with `path` set to
// its name, or -1 with errno. The lock, held until the save ends, tells
// other saves of the same target that the file is in use.
int CreateTemporary(const std::string& folder, const std::string& name, std::string& path) {
  const std::string prefix = TemporaryPrefix(name);
  RemoveStaleTemporaries(folder, prefix);
  for (int attempt = 0; attempt < 8; ++attempt) {
    path = folder + prefix + std::string(kRandom, 'X');
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    // A file system without locks keeps its temporary files unlocked, and
    // then RemoveIfStale removes none of them either.
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
    struct stat st {};
    // Another save may have taken the new file, between its creation and
    // its lock, for a stale one: then it removes it, and this save takes
    // another name.
    if (locked && ::fstat(fd, &st) == 0 && st.st_nlink > 0) return fd;
    ::close(fd);
  }
  errno = EEXIST;
  return -1;
}

// The system's temporary folder, with its trailing slash.
std::string TemporaryFolder() {
  const char* env = std::getenv("TMPDIR");
  std::string folder = env != nullptr && env[0] == '/' ? env : "/tmp";
  if (folder.back() != '/') folder += '/';
  return folder;
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

// The temporary files of the writes under way, for a terminating signal's
// handler, which may only read them and call unlink: a slot is Free, being
// Filled by its writer, or Ready for the handler.
enum SlotState : int { kFree, kFilling, kReady };
struct TemporarySlot {
  std::atomic<int> state{kFree};
  char path[PATH_MAX];
};
constexpr int kTemporarySlots = 16;
TemporarySlot g_temporary[kTemporarySlots];

int RememberTemporary(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kTemporarySlots; ++i) {
    int expected = kFree;
    if (!g_temporary[i].state.compare_exchange_strong(expected, kFilling)) continue;
    std::memcpy(g_temporary[i].path, path.c_str(), path.size() + 1);
    g_temporary[i].state.store(kReady);
    return i;
  }
  return -1;  // more writes at once than slots: that one is not cleaned up by a signal
}

void ForgetTemporary(int slot) {
  if (slot >= 0) g_temporary[slot].state.store(kFree);
}

extern "C" void RemoveTemporariesAndEnd(int sig) {
  for (TemporarySlot& slot : g_temporary)
    if (slot.state.load() == kReady) ::unlink(slot.path);
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

}  // namespace

std::string AtomicWriteProblem(const AtomicWriteResult& result) {
  switch (result.outcome) {
    case AtomicWriteOutcome::IsFolder: return "it is a folder";
    case AtomicWriteOutcome::NotAFile: return "it is not a regular file";
    case AtomicWriteOutcome::NoReader: return "it is a pipe that no program reads";
    default: return std::strerror(result.error ? result.error : EIO);
  }
}

void RemoveTemporaryFilesOnTermination() {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
    struct sigaction act {};
    act.sa_handler = RemoveTemporariesAndEnd;
    sigemptyset(&act.sa_mask);
    ::sigaction(sig, &act, nullptr);
  }
}

// The descriptor that /dev/stdout, /dev/stderr, /dev/fd/N or /proc/self/fd/N
// names, or -1: such a name stands for a file the process already has open
// (a redirection), which is written through that descriptor, at its offset.
int OwnDescriptor(const std::string& name) {
  if (name == "/dev/stdout") return 1;
  if (name == "/dev/stderr") return 2;
  for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    const std::size_t n = std::strlen(prefix);
    if (name.size() <= n || name.compare(0, n, prefix) != 0) continue;
    int fd = 0;
    for (std::size_t i = n; i < name.size(); ++i) {
      if (name[i] < '0' || name[i] > '9' || fd > 100000) return -1;
      fd = fd * 10 + (name[i] - '0');
    }
    return fd;
  }
  return -1;
}

PendingFile::PendingFile(const std::string& requested) : target_(FileToWrite(requested)) {
  if (const int own = OwnDescriptor(requested); own >= 0) {
    direct_ = true;
    temp_ = requested;
    fd_ = ::fcntl(own, F_DUPFD_CLOEXEC, 3);
    if (fd_ < 0)
      status_ = {AtomicWriteOutcome::Failed, errno};
    else
      status_ = {AtomicWriteOutcome::Ok, 0};
    return;
  }
  struct stat st {};
  exists_ = ::stat(target_.c_str(), &st) == 0;
  if (exists_) {
    if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
      OpenDevice(st);
      return;
    }
    if (!TakeExisting(st)) return;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode_ = 0666 & ~mask;
  }
  CreateTemporaryFile();
}

// A device or a pipe is written directly.
void PendingFile::OpenDevice(const struct stat& st) {
  direct_ = true;
  temp_ = target_;
  // A pipe that no program reads is refused at once (ENXIO) rather than
  // waited for; the writes then wait for the reader as usual.
  fd_ = ::open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    if (errno == ENXIO && S_ISFIFO(st.st_mode))
      status_ = {AtomicWriteOutcome::NoReader, 0};
    else
      status_ = {AtomicWriteOutcome::Failed, errno};
    return;
  }
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags != -1) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
  status_ = {AtomicWriteOutcome::Ok, 0};
}

// An existing target: a regular file the user may write, whose mode and
// owner the new file takes. False (with the status) otherwise.
bool PendingFile::TakeExisting(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) {
    status_ = {AtomicWriteOutcome::IsFolder, 0};
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    status_ = {AtomicWriteOutcome::NotAFile, 0};
    return false;
  }
  // The new file replaces the old one by a rename, which only the folder's
  // permission governs: a file the user may not write stays as it is, as
  // writing into it would.
  if (::access(target_.c_str(), W_OK) != 0) {
    status_ = {AtomicWriteOutcome::Failed, errno};
    return false;
  }
  mode_ = st.st_mode & 07777;
  uid_ = st.st_uid;
  gid_ = st.st_gid;
  dev_ = st.st_dev;
  ino_ = st.st_ino;
  return true;
}

void PendingFile::CreateTemporaryFile() {
  std::string name;
  SplitPath(target_, folder_, name);
  fd_ = CreateTemporary(folder_, name, temp_);
  int error = errno;
  if (fd_ < 0 && exists_ && (error == EACCES || error == EPERM)) {
    // The folder takes no new file, but the target may be written: the new
    // contents wait in the temporary folder and are copied into it. Should
    // that fail too, the folder's refusal is what is told.
    copy_ = true;
    fd_ = CreateTemporary(TemporaryFolder(), name, temp_);
  }
  if (fd_ < 0) {
    status_ = {AtomicWriteOutcome::Failed, error};
    temp_.clear();
    return;
  }
  slot_ = RememberTemporary(temp_);
  status_ = {AtomicWriteOutcome::Ok, 0};
}

PendingFile::~PendingFile() {
  // Removed while still locked, so that no other save removes it first.
  if (!temp_.empty() && !direct_) ::unlink(temp_.c_str());
  if (fd_ >= 0) ::close(fd_);
  if (lock_fd_ >= 0) ::close(lock_fd_);
  ForgetTemporary(slot_);
}

AtomicWriteResult PendingFile::Commit() {
  if (status_.outcome != AtomicWriteOutcome::Ok) return status_;
  int error = 0;
  if (direct_) {
    // Nothing to rename or sync: a device or pipe has taken the bytes.
    if (::close(fd_) != 0) error = errno;
    fd_ = -1;
    status_ = {error ? AtomicWriteOutcome::Failed : AtomicWriteOutcome::Ok, error};
    return status_;
  }
  if (!copy_) {
    if (exists_ && ::fchown(fd_, uid_, gid_) != 0) {
      // Only root may keep another owner; the owner's own groups can be kept.
      if (::fchown(fd_, static_cast<uid_t>(-1), gid_) != 0) {
      }
    }
    if (::fchmod(fd_, mode_) != 0) {
      // Keeping the default mode of the temporary file is not worth failing for.
    }
    if (::fsync(fd_) != 0) error = errno;
    // The temporary file stays locked while its descriptor is closed and
    // until it has been renamed or copied.
    lock_fd_ = ::fcntl(fd_, F_DUPFD_CLOEXEC, 3);
    if (::close(fd_) != 0 && error == 0) error = errno;
    fd_ = -1;
    if (error == 0 && ::rename(temp_.c_str(), target_.c_str()) != 0) {
      error = errno;
      // A sticky folder lets only the owner replace the file: write into it.
      if (exists_ && (error == EPERM || error == EACCES)) {
        copy_ = true;
        fd_ = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
        error = fd_ < 0 ? errno : 0;
      }
    }
  }
  if (error == 0 && copy_) error = CopyIntoTarget();
  if (fd_ >= 0 && ::close(fd_) != 0 && error == 0) error = errno;
  fd_ = -1;
  if (error != 0) {
    status_ = {AtomicWriteOutcome::Failed, error};
    return status_;  // the destructor removes the temporary file
  }
  if (copy_) ::unlink(temp_.c_str());
  temp_.clear();
  if (lock_fd_ >= 0) ::close(lock_fd_);
  lock_fd_ = -1;
  ForgetTemporary(slot_);
  slot_ = -1;
  SyncFolder(folder_);
  return {AtomicWriteOutcome::Ok, 0};
}

AtomicWriteResult WriteFileAtomically(const std::string& target,
                                      const std::function<bool(const ByteSink& sink)>& produce) {
  PendingFile file(target);
  if (file.status().outcome != AtomicWriteOutcome::Ok) return file.status();
  FileSink out(file.fd());
  const ByteSink sink = [&out](const char* p, std::size_t n) { return out.Write(p, n); };
  const bool produced = produce(sink);
  if (produced) out.Flush();
  if (!out.ok()) return {AtomicWriteOutcome::Failed, out.error()};
  if (!produced) return {AtomicWriteOutcome::Stopped, 0};
  return file.Commit();
}

int PendingFile::CopyIntoTarget() {
  struct stat from {};
  if (::fstat(fd_, &from) != 0) return errno;
  // The very file checked at the start, not one put in its place since.
  const int out = ::open(target_.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  if (out < 0) return errno;
  int error = 0;
  struct stat to {};
  if (::fstat(out, &to) != 0 || to.st_dev != dev_ || to.st_ino != ino_) error = to.st_dev ? EBUSY : errno;
  // A full device is found out before the old contents are touched.
  struct statvfs room {};
  if (error == 0 && ::fstatvfs(out, &room) == 0 && from.st_size > to.st_size &&
      static_cast<unsigned long long>(from.st_size - to.st_size) >
          static_cast<unsigned long long>(room.f_bavail) * room.f_frsize)
    error = ENOSPC;
  std::vector<char> buffer(1 << 20);
  if (error == 0 && ::lseek(fd_, 0, SEEK_SET) != 0) error = errno;
  for (off_t at = 0; error == 0 && at < from.st_size;) {
    const ssize_t n = ReadSome(fd_, buffer.data(), buffer.size());
    if (n <= 0) {
      error = n < 0 ? errno : EIO;
      break;
    }
    error = WriteAll(out, buffer.data(), static_cast<std::size_t>(n));
    at += n;
  }
  if (error == 0 && ::ftruncate(out, from.st_size) != 0) error = errno;
  if (error == 0 && ::fsync(out) != 0) error = errno;
  if (::close(out) != 0 && error == 0) error = errno;
  return error;
}

}  // namespace tabulor
