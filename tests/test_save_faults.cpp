// Saves that cannot complete: each is reported, and a grid file that already
// has the name is byte for byte what it was. A save killed at any moment
// leaves the old file or the new one, never a mix.
//
// The tests run as root in CI, and root writes into any folder whatever its
// permission bits; so the folder without write permission is tried by a
// child process that has given up root, and a full device is made with a
// file size limit (which binds root too) or with a small tmpfs where the
// system lets the test mount one.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "model/grid_file.h"
#include "model/series_file.h"
#include "platform/atomic_file.h"
#include "reliability_helpers.h"

using namespace tabulor;
using namespace tabulor::reliability;

namespace {

// Runs `body` in a child process and returns what it wrote to the pipe it
// is given ("" when the child died without a word).
template <class Body>
std::string InChild(Body body) {
  int fds[2];
  if (::pipe(fds) != 0) return "FAIL:pipe";
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    std::string said = body();
    if (::write(fds[1], said.data(), said.size()) < 0) ::_exit(3);
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string said;
  char buf[512];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) said.append(buf, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return said;
}

class SaveFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadComputed(old_, "poly.ser");
    // 1 + 2x + 3x² on 300000 points: a grid file of about 11 MB.
    LoadComputed(new_, "poly.ser");
    auto spec = DefaultGridSpec(new_);
    spec[0].points = "300000";
    ASSERT_EQ(CaptureGridSpecs(new_, spec), "");
    ASSERT_EQ(Compute(new_).outcome, ComputeOutcome::Ok);
    base_ = dir_.file("results");
    GridFileResult saved = WriteGridFile(old_, base_);
    ASSERT_TRUE(saved.ok) << saved.message;
    old_bytes_ = ReadBytes(target());
    ASSERT_FALSE(old_bytes_.empty());
  }

  std::string target() const { return base_ + ".grd"; }

  // Saves new_ over the old file as a user who is not root, whose permission
  // bits then bind: "OK:" or "FAILED:" and the message, or "SKIP:" and why
  // root could not be given up.
  std::string SaveWithoutRoot() {
    auto save = [&] {
      GridFileResult r = WriteGridFile(new_, base_);
      return (r.ok ? "OK:" : "FAILED:") + r.message;
    };
    if (::geteuid() != 0) return save();
    return InChild([&] {
      // Give up root for good, in a child of its own.
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) return std::string("SKIP:") + std::strerror(errno);
      return save();
    });
  }

  void ExpectPermissionDenied(const std::string& said) {
    EXPECT_EQ(said.rfind("FAILED:", 0), 0u) << said;
    EXPECT_NE(said.find("\"" + target() + "\""), std::string::npos) << said;
    EXPECT_NE(said.find(std::strerror(EACCES)), std::string::npos) << said;
    ExpectOldFileIntact();
  }

  // The old file is there, unchanged, and no temporary file is left behind.
  void ExpectOldFileIntact() {
    EXPECT_TRUE(ReadBytes(target()) == old_bytes_) << "the existing grid file changed";
    EXPECT_EQ(dir_.Names(), std::vector<std::string>{"results.grd"});
  }

  ScratchDir dir_;
  Dimension old_, new_;
  std::string base_;
  std::string old_bytes_;
};

TEST_F(SaveFaults, TargetThatIsAFolderIsReported) {
  const std::string folder = dir_.file("folder.grd");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  WriteBytes(folder + "/keep", "kept");
  GridFileResult r = WriteGridFile(new_, dir_.file("folder"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("\"" + folder + "\""), std::string::npos) << r.message;
  EXPECT_NE(r.message.find("folder"), std::string::npos) << r.message;
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(ReadBytes(folder + "/keep"), "kept");
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"folder.grd", "results.grd"}));

  ProcessResult batch = RunBatch({Example("poly.ser"), "--save", dir_.file("folder")});
  EXPECT_EQ(batch.exit_code, 1);
  EXPECT_EQ(batch.out, "");
  EXPECT_NE(batch.err.find("it is a folder"), std::string::npos) << batch.err;
  EXPECT_EQ(ReadBytes(folder + "/keep"), "kept");
}

TEST_F(SaveFaults, PathUnderARegularFileIsReported) {
  // "results.grd/inner.grd": the folder on the way is a file.
  GridFileResult r = WriteGridFile(new_, target() + "/inner");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find(target() + "/inner.grd"), std::string::npos) << r.message;
  EXPECT_NE(r.message.find(std::strerror(ENOTDIR)), std::string::npos) << r.message;
  ExpectOldFileIntact();
}

TEST_F(SaveFaults, FolderWithoutWritePermissionIsReported) {
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0555), 0);
  const std::string said = SaveWithoutRoot();
  ::chmod(dir_.path().c_str(), 0700);
  if (said.rfind("SKIP:", 0) == 0) GTEST_SKIP() << "cannot give up root here: " << said;
  ExpectPermissionDenied(said);
}

TEST_F(SaveFaults, FullDeviceByFileSizeLimitIsReported) {
  // A file size limit makes a write fail with EFBIG as a full disk fails
  // with ENOSPC; the signal it also raises is ignored, as tabulor-batch does.
  const std::string said = InChild([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = 64 * 1024;
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return std::string("SKIP:setrlimit");
    GridFileResult r = WriteGridFile(new_, base_);
    return (r.ok ? "OK:" : "FAILED:") + r.message;
  });
  EXPECT_EQ(said.rfind("FAILED:", 0), 0u) << said;
  EXPECT_NE(said.find(std::strerror(EFBIG)), std::string::npos) << said;
  ExpectOldFileIntact();
}

TEST_F(SaveFaults, BatchReportsASaveBeyondTheFileSizeLimit) {
  // Without SIGXFSZ ignored, the command would be killed by it mid-save.
  ProcessResult r = RunShell("ulimit -f 64; exec " + ShellQuote(TABULOR_BATCH) + " " + ShellQuote(Example("poly.ser")) +
                             " --points 0=300000 --save " + ShellQuote(base_));
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("\"" + target() + "\""), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(std::strerror(EFBIG)), std::string::npos) << r.err;
  ExpectOldFileIntact();
}

TEST_F(SaveFaults, FullTmpfsIsReported) {
  // In a mount namespace of its own, the child mounts a 128 KB tmpfs, saves a
  // small grid file into it, then tries to replace it with an 11 MB one.
  const std::string mount_point = dir_.file("small");
  ASSERT_EQ(::mkdir(mount_point.c_str(), 0755), 0);
  const std::string said = InChild([&] {
    if (::unshare(CLONE_NEWNS) != 0) return std::string("SKIP:unshare: ") + std::strerror(errno);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
      return std::string("SKIP:mount --make-rprivate: ") + std::strerror(errno);
    if (::mount("tmpfs", mount_point.c_str(), "tmpfs", 0, "size=128k") != 0)
      return std::string("SKIP:mount tmpfs: ") + std::strerror(errno);
    const std::string base = mount_point + "/run";
    GridFileResult first = WriteGridFile(old_, base);
    if (!first.ok) return "FIRST:" + first.message;
    const std::string before = ReadBytes(base + ".grd");
    GridFileResult r = WriteGridFile(new_, base);
    std::string out = (r.ok ? "OK:" : "FAILED:") + r.message;
    if (ReadBytes(base + ".grd") != before) out += "|CHANGED";
    std::size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(mount_point)) entries += e.exists() ? 1 : 0;
    if (entries != 1) out += "|LEFTOVER";
    return out;
  });
  if (said.rfind("SKIP:", 0) == 0)
    GTEST_SKIP() << "mounting a tmpfs needs CAP_SYS_ADMIN, which this environment does not give: " << said;
  EXPECT_EQ(said.rfind("FAILED:", 0), 0u) << said;
  EXPECT_NE(said.find(std::strerror(ENOSPC)), std::string::npos) << said;
  EXPECT_EQ(said.find("|CHANGED"), std::string::npos) << "the existing file changed";
  EXPECT_EQ(said.find("|LEFTOVER"), std::string::npos) << "a temporary file was left behind";
}

TEST_F(SaveFaults, KilledSaveLeavesTheOldFileOrTheNewOne) {
  const std::string new_bytes = GridFileText(new_);
  ASSERT_GT(new_bytes.size(), 5u << 20);
  // How long one save takes here; the kills land anywhere in that time.
  auto start = std::chrono::steady_clock::now();
  GridFileResult timing = WriteGridFile(new_, dir_.file("timing"));
  const auto full = std::chrono::steady_clock::now() - start;
  ASSERT_TRUE(timing.ok) << timing.message;
  ASSERT_TRUE(ReadBytes(dir_.file("timing.grd")) == new_bytes) << "the writer and GridFileText differ";
  std::filesystem::remove(dir_.file("timing.grd"));
  const auto full_us = std::chrono::duration_cast<std::chrono::microseconds>(full).count();

  std::mt19937 random(20261206);
  int old_seen = 0, new_seen = 0, leftovers = 0;
  for (int round = 0; round < 16; ++round) {
    if (ReadBytes(target()) != old_bytes_) {
      ASSERT_TRUE(WriteGridFile(old_, base_).ok);
    }
    const auto delay = std::uniform_int_distribution<long long>(0, full_us + full_us / 4)(random);
    pid_t pid = ::fork();
    if (pid == 0) {
      WriteGridFile(new_, base_);
      ::_exit(0);
    }
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::microseconds(delay));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const std::string now = ReadBytes(target());
    if (now == old_bytes_)
      ++old_seen;
    else if (now == new_bytes)
      ++new_seen;
    else
      FAIL() << "round " << round << ", killed after " << delay << " us: the file holds " << now.size()
             << " bytes, neither the old " << old_bytes_.size() << " nor the new " << new_bytes.size();
    // A killed save may leave its temporary file: hidden, never with the
    // target's name.
    for (const auto& name : dir_.Names())
      if (name != "results.grd") {
        EXPECT_EQ(name.rfind(".results.grd.", 0), 0u) << name;
        std::filesystem::remove(dir_.file(name));
        ++leftovers;
      }
  }
  RecordProperty("old_file_kept", old_seen);
  RecordProperty("new_file_complete", new_seen);
  RecordProperty("temporary_files_left", leftovers);
  EXPECT_EQ(old_seen + new_seen, 16);
}

// A small computed model whose grid file differs from the one on disk.
void LoadOther(Dimension& m) {
  LoadComputed(m, "poly.ser");
  auto spec = DefaultGridSpec(m);
  spec[0].points = "9";
  ASSERT_EQ(CaptureGridSpecs(m, spec), "");
  ASSERT_EQ(Compute(m).outcome, ComputeOutcome::Ok);
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

TEST_F(SaveFaults, LongestFileNamesSave) {
  // 255 bytes with ".grd", the most one folder entry holds; the temporary
  // file next to it must still have a name that fits.
  const std::string ascii(251, 'n');
  std::string utf8 = "x";
  while (utf8.size() < 251) utf8 += "\xC3\xA9";  // é
  ASSERT_EQ(utf8.size(), 251u);
  for (const std::string& name : {ascii, utf8}) {
    GridFileResult r = WriteGridFile(new_, dir_.file(name));
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_TRUE(ReadBytes(dir_.file(name + ".grd")) == GridFileText(new_));
    std::vector<std::string> expected{name + ".grd", "results.grd"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(dir_.Names(), expected);
    std::filesystem::remove(dir_.file(name + ".grd"));
  }
}

TEST_F(SaveFaults, PermissionBitsAreKept) {
  Dimension other;
  LoadOther(other);
  for (mode_t mode : {mode_t{0600}, mode_t{0640}, mode_t{0754}}) {
    ASSERT_EQ(::chmod(target().c_str(), mode), 0);
    GridFileResult r = WriteGridFile(other, base_);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(ModeOf(target()), mode);
    EXPECT_TRUE(ReadBytes(target()) == GridFileText(other));
  }
  // A new file takes the default the umask leaves, not the temporary
  // file's own 0600.
  const mode_t mask = ::umask(027);
  GridFileResult r = WriteGridFile(other, dir_.file("fresh"));
  ::umask(mask);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(ModeOf(dir_.file("fresh.grd")), mode_t{0640});
}

TEST_F(SaveFaults, FileWithoutWritePermissionIsNotReplaced) {
  // The folder lets anyone make files; the grid file itself is read-only.
  // Writing into it would fail, so replacing it by a rename must fail too.
  ASSERT_EQ(::chmod(target().c_str(), 0444), 0);
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0777), 0);
  const std::string said = SaveWithoutRoot();
  ::chmod(dir_.path().c_str(), 0700);
  if (said.rfind("SKIP:", 0) == 0) GTEST_SKIP() << "cannot give up root here: " << said;
  ExpectPermissionDenied(said);
  EXPECT_EQ(ModeOf(target()), mode_t{0444});
}

TEST_F(SaveFaults, WritableFileInAFolderThatTakesNoNewFileIsWrittenOver) {
  // The user may write the grid file but not make files beside it: the new
  // contents are made in the temporary folder and copied into the file,
  // which keeps its owner, its hard links and its place.
  if (::geteuid() != 0) GTEST_SKIP() << "the folders are made for another user by root";
  ScratchDir temporary;
  ASSERT_EQ(::chmod(temporary.path().c_str(), 0777), 0);
  ASSERT_EQ(::chmod(target().c_str(), 0666), 0);
  ASSERT_EQ(::link(target().c_str(), dir_.file("linked.grd").c_str()), 0);
  struct stat before {};
  ASSERT_EQ(::stat(target().c_str(), &before), 0);
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0555), 0);
  const std::string said = InChild([&] {
    ::setenv("TMPDIR", temporary.path().c_str(), 1);
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) return std::string("SKIP:") + std::strerror(errno);
    GridFileResult r = WriteGridFile(new_, base_);
    return (r.ok ? "OK:" : "FAILED:") + r.message;
  });
  ::chmod(dir_.path().c_str(), 0700);
  if (said.rfind("SKIP:", 0) == 0) GTEST_SKIP() << "cannot give up root here: " << said;
  EXPECT_EQ(said, "OK:");
  EXPECT_TRUE(ReadBytes(target()) == GridFileText(new_));
  EXPECT_TRUE(ReadBytes(dir_.file("linked.grd")) == GridFileText(new_));
  struct stat after {};
  ASSERT_EQ(::stat(target().c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_uid, 0u);
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"linked.grd", "results.grd"}));
  EXPECT_EQ(temporary.Names(), std::vector<std::string>{}) << "the temporary file stayed";

  // A sticky folder (as /tmp) with the file of another owner: the folder
  // takes new files but lets only the owner replace this one.
  ASSERT_EQ(::unlink(dir_.file("linked.grd").c_str()), 0);
  ASSERT_TRUE(WriteGridFile(old_, base_).ok);
  ASSERT_EQ(::chmod(target().c_str(), 0666), 0);
  ASSERT_EQ(::chmod(dir_.path().c_str(), 01777), 0);
  const std::string sticky = SaveWithoutRoot();
  ::chmod(dir_.path().c_str(), 0700);
  EXPECT_EQ(sticky, "OK:");
  EXPECT_TRUE(ReadBytes(target()) == GridFileText(new_));
  EXPECT_EQ(dir_.Names(), std::vector<std::string>{"results.grd"});
}

TEST_F(SaveFaults, OwnerAndGroupAreKept) {
  // Only root may give a file to someone else; the save then keeps the
  // replaced file's owner and group instead of making the file root's.
  if (::geteuid() != 0) GTEST_SKIP() << "only root can set another owner";
  ASSERT_EQ(::chown(target().c_str(), 4321, 8765), 0);
  ASSERT_EQ(::chmod(target().c_str(), 0640), 0);
  GridFileResult r = WriteGridFile(new_, base_);
  ASSERT_TRUE(r.ok) << r.message;
  struct stat st {};
  ASSERT_EQ(::stat(target().c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 4321u);
  EXPECT_EQ(st.st_gid, 8765u);
  EXPECT_EQ(st.st_mode & 07777, mode_t{0640});
  EXPECT_TRUE(ReadBytes(target()) == GridFileText(new_));
}

TEST_F(SaveFaults, SymbolicLinkIsFollowed) {
  // link.grd -> real/target.grd, and chain.grd -> link.grd: saving to
  // either keeps the links and replaces the file they lead to.
  Dimension other;
  LoadOther(other);
  const std::string real = dir_.file("real");
  ASSERT_EQ(::mkdir(real.c_str(), 0755), 0);
  ASSERT_TRUE(WriteGridFile(old_, real + "/target").ok);
  ASSERT_EQ(::chmod((real + "/target.grd").c_str(), 0640), 0);
  ASSERT_EQ(::symlink("real/target.grd", dir_.file("link.grd").c_str()), 0);
  ASSERT_EQ(::symlink("link.grd", dir_.file("chain.grd").c_str()), 0);
  for (const char* via : {"link", "chain"}) {
    SCOPED_TRACE(via);
    const Dimension& model = std::string(via) == "link" ? other : new_;
    GridFileResult r = WriteGridFile(model, dir_.file(via));
    ASSERT_TRUE(r.ok) << r.message;
    for (const char* link : {"link.grd", "chain.grd"}) {
      struct stat st {};
      ASSERT_EQ(::lstat(dir_.file(link).c_str(), &st), 0);
      EXPECT_TRUE(S_ISLNK(st.st_mode)) << link << " is no longer a link";
    }
    EXPECT_EQ(std::filesystem::read_symlink(dir_.file("link.grd")).string(), "real/target.grd");
    EXPECT_TRUE(ReadBytes(real + "/target.grd") == GridFileText(model));
    EXPECT_EQ(ModeOf(real + "/target.grd"), mode_t{0640});
    EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"chain.grd", "link.grd", "real", "results.grd"}));
    std::vector<std::string> inside;
    for (const auto& e : std::filesystem::directory_iterator(real)) inside.push_back(e.path().filename().string());
    EXPECT_EQ(inside, std::vector<std::string>{"target.grd"});
  }
  EXPECT_TRUE(ReadBytes(target()) == old_bytes_);
}

TEST_F(SaveFaults, StoppedSaveLeavesNothingBehind) {
  AtomicWriteResult r = WriteFileAtomically(target(), [](const ByteSink& sink) {
    sink("half a file", 11);
    return false;
  });
  EXPECT_EQ(r.outcome, AtomicWriteOutcome::Stopped);
  EXPECT_EQ(r.error, 0);
  ExpectOldFileIntact();
}

TEST_F(SaveFaults, FailedRenameIsReportedAndLeavesNothingBehind) {
  // While the file is being written, a folder takes the target's name: the
  // temporary file cannot replace it.
  const std::string taken = dir_.file("taken.grd");
  AtomicWriteResult r = WriteFileAtomically(taken, [&](const ByteSink& sink) {
    if (::mkdir(taken.c_str(), 0755) != 0) return false;
    WriteBytes(taken + "/keep", "kept");
    return sink("new", 3);
  });
  EXPECT_EQ(r.outcome, AtomicWriteOutcome::Failed);
  EXPECT_TRUE(r.error == EISDIR || r.error == ENOTEMPTY || r.error == EEXIST) << std::strerror(r.error);
  EXPECT_EQ(ReadBytes(taken + "/keep"), "kept");
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"results.grd", "taken.grd"}));
}

TEST_F(SaveFaults, PipesAndDevicesAreWrittenIntoNotReplaced) {
  // A named pipe with a reader: the reader gets the bytes, the pipe stays.
  const std::string fifo = dir_.file("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  AtomicWriteResult r = WriteFileAtomically(fifo, [](const ByteSink& sink) { return sink("through", 7); });
  EXPECT_EQ(r.outcome, AtomicWriteOutcome::Ok) << std::strerror(r.error);
  char got[16] = {};
  EXPECT_EQ(::read(reader, got, sizeof got), 7);
  EXPECT_STREQ(got, "through");
  ::close(reader);
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the pipe was replaced";
  // Without a reader the pipe is refused at once, not waited for.
  r = WriteFileAtomically(fifo, [](const ByteSink& sink) { return sink("lost", 4); });
  EXPECT_EQ(r.outcome, AtomicWriteOutcome::NoReader);
  EXPECT_EQ(AtomicWriteProblem(r), "it is a pipe that no program reads");
  // Read from, a pipe that no program writes to is an empty file.
  Dimension untouched;
  SeriesReadResult read = ReadSeriesFile(untouched, fifo);
  EXPECT_EQ(read.outcome, SeriesReadOutcome::Error);
  EXPECT_NE(read.message.find("the file ends before this field"), std::string::npos) << read.message;
  std::vector<std::string> names{"pipe", "results.grd"};

  // A character device of the test's own making (the null device's
  // numbers), where the system lets it make one.
  const std::string null = dir_.file("null");
  // (A folder on a file system mounted "nodev" lets it be made but not opened.)
  const bool made = ::mknod(null.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0;
  const int usable = made ? ::open(null.c_str(), O_WRONLY) : -1;
  if (usable >= 0) ::close(usable);
  if (made && usable < 0) ::unlink(null.c_str());
  if (usable >= 0) {
    r = WriteFileAtomically(null, [](const ByteSink& sink) { return sink("gone", 4); });
    EXPECT_EQ(r.outcome, AtomicWriteOutcome::Ok) << std::strerror(r.error);
    ASSERT_EQ(::lstat(null.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode)) << "the device was replaced";
    names.insert(names.begin(), "null");
  }

  // A socket is nothing to write into: refused and left as it is.
  const std::string socket_path = dir_.file("sock");
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socket_path.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
  r = WriteFileAtomically(socket_path, [](const ByteSink& sink) { return sink("no", 2); });
  EXPECT_EQ(r.outcome, AtomicWriteOutcome::NotAFile);
  EXPECT_EQ(AtomicWriteProblem(r), "it is not a regular file");
  ASSERT_EQ(::lstat(socket_path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  ::close(sock);
  names.push_back("sock");
  EXPECT_EQ(dir_.Names(), names) << "a temporary file was left behind";
  EXPECT_TRUE(ReadBytes(target()) == old_bytes_);
}

TEST_F(SaveFaults, TerminatedSaveRemovesItsTemporaryFile) {
  // Ctrl-C or kill during a save: the process ends as the signal ends it,
  // the old file stays, and the half-written temporary file goes.
  for (int sig : {SIGTERM, SIGINT}) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      // As from a shell: a test run in the background has SIGINT ignored,
      // which the handler would leave so.
      ::signal(SIGINT, SIG_DFL);
      ::signal(SIGTERM, SIG_DFL);
      RemoveTemporaryFilesOnTermination();
      WriteFileAtomically(target(), [&](const ByteSink& sink) {
        sink("half a file", 11);
        if (::write(ready[1], "w", 1) != 1) ::_exit(3);
        for (;;) ::pause();
        return true;
      });
      ::_exit(0);
    }
    ::close(ready[1]);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(dir_.Names().size(), 2u) << "the save is under way with its temporary file";
    ::kill(pid, sig);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
    ExpectOldFileIntact();
  }
}

// The signals a process ignores ("SigIgn") or catches ("SigCgt"), from
// /proc; false when they cannot be read.
bool SignalMask(pid_t pid, const std::string& which, unsigned long long& mask) {
  const std::string status = ReadBytes("/proc/" + std::to_string(pid) + "/status");
  const std::size_t at = status.find("\n" + which + ":");
  if (at == std::string::npos) return false;
  mask = std::strtoull(status.c_str() + at + which.size() + 2, nullptr, 16);
  return true;
}

[[maybe_unused]] bool IgnoredSignals(pid_t pid, unsigned long long& mask) { return SignalMask(pid, "SigIgn", mask); }

bool Has(unsigned long long mask, int sig) { return (mask >> (sig - 1)) & 1; }

TEST(BatchStart, IgnoresTheFileSizeSignal) {
  // The batch command, started with every signal at its default, is caught
  // while it waits for its series on a pipe: it ignores SIGXFSZ, leaves
  // SIGPIPE to end it as it ends any command in a pipeline, and catches the
  // signals that end it to remove its temporary files first.
  ScratchDir dir;
  const std::string fifo = dir.file("series.ser");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Held open for writing, so that the command waits for the series.
  const int writer = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  const std::string program = std::filesystem::canonical(TABULOR_BATCH).string();
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    for (int sig : {SIGXFSZ, SIGPIPE, SIGINT, SIGTERM, SIGHUP}) ::signal(sig, SIG_DFL);
    int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
    }
    ::execl(program.c_str(), program.c_str(), fifo.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  unsigned long long ignored = 0, caught = 0;
  bool seen = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!seen && std::chrono::steady_clock::now() < deadline) {
    std::error_code ec;
    const bool started = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec).string() == program;
    // Set up before the series is read: once its handlers are there.
    seen = started && SignalMask(pid, "SigIgn", ignored) && SignalMask(pid, "SigCgt", caught) && Has(caught, SIGHUP);
    if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  ::close(writer);
  ASSERT_TRUE(seen) << "tabulor-batch did not get to read its series";
  EXPECT_TRUE(Has(ignored, SIGXFSZ));
  EXPECT_FALSE(Has(ignored, SIGPIPE));
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) EXPECT_TRUE(Has(caught, sig)) << sig;
}

#ifdef TABULOR_WINDOW

TEST(WindowStart, IgnoresTheFileSizeSignal) {
  // Saving past a file size limit must fail with EFBIG (see above) instead
  // of killing the window with the results it holds. The window starts with
  // the signal at its default, as from a shell; it ignores it from the start.
  const std::string program = std::filesystem::canonical(TABULOR_WINDOW).string();
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_DFL);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("LC_ALL", "C", 1);
    int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
    }
    ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  bool ignored = false, started = false, ended = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!ignored && std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      ended = true;
      break;
    }
    std::error_code ec;
    // Only the program itself counts, not the test's child before exec.
    started = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec).string() == program;
    unsigned long long mask = 0;
    if (started && IgnoredSignals(pid, mask)) ignored = ((mask >> (SIGXFSZ - 1)) & 1) && ((mask >> (SIGPIPE - 1)) & 1);
    if (!ignored) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (!ended) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
  EXPECT_FALSE(ended) << "tabulor ended by itself";
  EXPECT_TRUE(started) << "tabulor did not start";
  EXPECT_TRUE(ignored) << "tabulor does not ignore SIGXFSZ and SIGPIPE";
}
#endif

}  // namespace
