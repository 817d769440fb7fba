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

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "model/grid_file.h"
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
  std::string said;
  if (::geteuid() != 0) {
    GridFileResult r = WriteGridFile(new_, base_);
    said = (r.ok ? "OK:" : "FAILED:") + r.message;
  } else {
    said = InChild([&] {
      // Give up root for good: the folder's bits then bind this process.
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) return std::string("SKIP:") + std::strerror(errno);
      GridFileResult r = WriteGridFile(new_, base_);
      return (r.ok ? "OK:" : "FAILED:") + r.message;
    });
  }
  ::chmod(dir_.path().c_str(), 0700);
  if (said.rfind("SKIP:", 0) == 0) GTEST_SKIP() << "cannot give up root here: " << said;
  EXPECT_EQ(said.rfind("FAILED:", 0), 0u) << said;
  EXPECT_NE(said.find("\"" + target() + "\""), std::string::npos) << said;
  EXPECT_NE(said.find(std::strerror(EACCES)), std::string::npos) << said;
  ExpectOldFileIntact();
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
  ProcessResult r = RunShell("ulimit -f 64; exec " + ShellQuote(TABULOR_BATCH) + " " +
                             ShellQuote(Example("poly.ser")) + " --points 0=300000 --save " + ShellQuote(base_));
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
    // A killed save may leave its temporary file; it never has the target's name.
    for (const auto& name : dir_.Names())
      if (name != "results.grd") {
        EXPECT_EQ(name.rfind("results.grd.", 0), 0u) << name;
        std::filesystem::remove(dir_.file(name));
        ++leftovers;
      }
  }
  RecordProperty("old_file_kept", old_seen);
  RecordProperty("new_file_complete", new_seen);
  RecordProperty("temporary_files_left", leftovers);
  EXPECT_EQ(old_seen + new_seen, 16);
}

}  // namespace
