// Saves through a temporary file: what reaches the disk and in which order,
// the temporary file's name, and the temporary files that saves which never
// ended leave behind.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform_test_support.h"
#include "sync_trace.h"

using namespace tabulor;
using namespace tabulor::platform_test;

namespace {

namespace fs = std::filesystem;

AtomicWriteResult Save(const std::string& target, const std::string& bytes) {
  return WriteFileAtomically(target, [&](const ByteSink& sink) { return sink(bytes.data(), bytes.size()); });
}

// ---- What a save makes durable, in order ----

enum class Place { kNewFile, kExistingFile, kRelativeName, kThroughLink };

struct DurabilityCase {
  const char* name;
  Place place;
};

void PrintTo(const DurabilityCase& c, std::ostream* os) { *os << c.name; }

class SaveDurability : public ::testing::TestWithParam<DurabilityCase> {};

// The save syncs the complete temporary file, renames it over the target,
// and then syncs the folder that holds the target, so that the rename
// itself survives a power cut. Without the last step, a save that has
// returned may come back after a power cut as the old file, or as none.
TEST_P(SaveDurability, FileSyncedRenamedThenFolderSynced) {
  ScratchDir dir, elsewhere;
  std::string target = dir.file("results.grd");
  std::string real = target;
  const fs::path cwd = fs::current_path();
  switch (GetParam().place) {
    case Place::kNewFile: break;
    case Place::kExistingFile: ASSERT_TRUE(WriteBytes(target, "old")); break;
    case Place::kRelativeName:
      fs::current_path(dir.path());
      target = "results.grd";
      break;
    case Place::kThroughLink:
      real = elsewhere.file("real.grd");
      ASSERT_TRUE(WriteBytes(real, "old"));
      ASSERT_EQ(::symlink(real.c_str(), target.c_str()), 0);
      break;
  }
  StartSyncTrace();
  const AtomicWriteResult r = Save(target, "new contents");
  const std::vector<std::string> events = StopSyncTrace();
  fs::current_path(cwd);
  ASSERT_EQ(r.outcome, AtomicWriteOutcome::Ok) << std::strerror(r.error);
  ASSERT_EQ(ReadBytes(real), "new contents");

  // The rename over the real target, and where each step stands.
  const std::string real_target = fs::canonical(real).string();
  const std::string folder = fs::canonical(fs::path(real).parent_path()).string();
  std::ptrdiff_t rename_at = -1, file_sync_at = -1, folder_sync_at = -1;
  std::string temporary;
  for (std::size_t i = 0; i < events.size(); ++i) {
    const std::string& e = events[i];
    if (e.rfind("rename ", 0) == 0) {
      const std::size_t space = e.find(' ', 7);
      const fs::path to = fs::weakly_canonical(fs::path(dir.path()) / e.substr(space + 1));
      if (to.string() != real_target) continue;
      rename_at = static_cast<std::ptrdiff_t>(i);
      temporary = fs::weakly_canonical(fs::path(dir.path()) / e.substr(7, space - 7)).string();
    }
  }
  ASSERT_GE(rename_at, 0) << "no rename over the target; calls: " << ::testing::PrintToString(events);
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (events[i] == "fsync " + temporary && file_sync_at < 0) file_sync_at = static_cast<std::ptrdiff_t>(i);
    if (events[i] == "fsync " + folder && static_cast<std::ptrdiff_t>(i) > rename_at && folder_sync_at < 0)
      folder_sync_at = static_cast<std::ptrdiff_t>(i);
  }
  const std::string calls = ::testing::PrintToString(events);
  EXPECT_GE(file_sync_at, 0) << "the temporary file was not synced; calls: " << calls;
  EXPECT_LT(file_sync_at, rename_at) << "the temporary file was synced after the rename; calls: " << calls;
  EXPECT_GT(folder_sync_at, rename_at) << "the folder was not synced after the rename; calls: " << calls;
}

INSTANTIATE_TEST_SUITE_P(Places, SaveDurability,
                         ::testing::Values(DurabilityCase{"NewFile", Place::kNewFile},
                                           DurabilityCase{"ExistingFile", Place::kExistingFile},
                                           DurabilityCase{"RelativeName", Place::kRelativeName},
                                           DurabilityCase{"ThroughLink", Place::kThroughLink}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The temporary file's name ----

// The names of the files in `dir` other than `keep`, seen while a save of
// `target` is under way.
std::vector<std::string> TemporariesDuringSave(const ScratchDir& dir, const std::string& target, AtomicWriteResult& r) {
  std::vector<std::string> during;
  r = WriteFileAtomically(target, [&](const ByteSink& sink) {
    during = dir.Names();
    return sink("abc", 3);
  });
  const std::string name = fs::path(target).filename().string();
  std::erase(during, name);
  return during;
}

struct NameCase {
  const char* label;
  std::string name;
};

std::string Repeat(const std::string& piece, std::size_t bytes, const std::string& start = "") {
  std::string s = start;
  while (s.size() + piece.size() <= bytes) s += piece;
  while (s.size() < bytes) s += 'z';
  return s;
}

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.label; }

class TemporaryName : public ::testing::TestWithParam<NameCase> {};

// Any name a folder takes is saved: the temporary file's name fits into a
// folder entry too (at most 255 bytes), is hidden, and tells the target
// it belongs to. A cut name is cut between characters.
TEST_P(TemporaryName, FitsTheFolderEntryAndNamesItsTarget) {
  const std::string& name = GetParam().name;
  ASSERT_LE(name.size(), 255u);
  ScratchDir dir;
  AtomicWriteResult r;
  const std::vector<std::string> during = TemporariesDuringSave(dir, dir.file(name), r);
  ASSERT_EQ(r.outcome, AtomicWriteOutcome::Ok) << std::strerror(r.error);
  EXPECT_EQ(ReadBytes(dir.file(name)), "abc");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{name}) << "a temporary file was left behind";
  ASSERT_EQ(during.size(), 1u);
  const std::string& temp = during[0];
  EXPECT_LE(temp.size(), 255u);
  const std::string marker = ".tabulor-";
  ASSERT_GT(temp.size(), 1 + marker.size() + 6) << temp;
  EXPECT_EQ(temp[0], '.') << temp;
  EXPECT_EQ(temp.substr(temp.size() - 6 - marker.size(), marker.size()), marker) << temp;
  const std::string stem = temp.substr(1, temp.size() - 1 - marker.size() - 6);
  if (stem == name) return;
  // A name too long to keep whole: its start, "~" and 16 hex digits.
  ASSERT_GT(stem.size(), 17u) << temp;
  const std::string start = stem.substr(0, stem.size() - 17);
  EXPECT_EQ(stem[start.size()], '~') << temp;
  EXPECT_GT(start.size(), 200u) << temp;
  EXPECT_EQ(name.rfind(start, 0), 0u) << temp;
  EXPECT_NE(static_cast<unsigned char>(name[start.size()]) & 0xC0, 0x80) << "a character was cut in two: " << temp;
}

INSTANTIATE_TEST_SUITE_P(Names, TemporaryName,
                         ::testing::Values(NameCase{"Short", "results.grd"},
                                           NameCase{"Longest kept whole", std::string(239, 'k')},
                                           NameCase{"One byte too long to keep", std::string(240, 'k')},
                                           NameCase{"Bytes250", std::string(246, 'n') + ".grd"},
                                           NameCase{"Bytes255", std::string(251, 'n') + ".grd"},
                                           NameCase{"Utf8Bytes255", Repeat("\xC3\xA9", 255, "x")},
                                           NameCase{"Utf8ThreeBytes255", Repeat("\xE2\x82\xAC", 255)}),
                         [](const auto& info) {
                           std::string label;
                           for (char c : std::string(info.param.label))
                             if (std::isalnum(static_cast<unsigned char>(c))) label += c;
                           return label;
                         });

TEST(TemporaryNameOfLongNames, TwoNamesWithTheSameStartHaveTheirOwnPattern) {
  // A save of one must not take the other's temporary files for its own.
  ScratchDir dir;
  const std::string a = std::string(250, 's') + "a.grd", b = std::string(250, 's') + "b.grd";
  AtomicWriteResult r;
  const auto temp_a = TemporariesDuringSave(dir, dir.file(a), r);
  ASSERT_EQ(r.outcome, AtomicWriteOutcome::Ok) << std::strerror(r.error);
  const auto temp_b = TemporariesDuringSave(dir, dir.file(b), r);
  ASSERT_EQ(r.outcome, AtomicWriteOutcome::Ok) << std::strerror(r.error);
  ASSERT_EQ(temp_a.size(), 1u);
  ASSERT_EQ(temp_b.size(), 2u);  // b's own and the file a
  const std::string other = temp_b[0] == a ? temp_b[1] : temp_b[0];
  EXPECT_NE(temp_a[0].substr(0, temp_a[0].size() - 6), other.substr(0, other.size() - 6));
}

// ---- Temporary files of saves that never ended ----

// Starts a save of `target` in a child process, which writes a part and
// waits: for SIGKILL, or for a byte on `go`, after which it finishes the
// save and exits 0 when it succeeded. Returns once the temporary file is
// there.
pid_t StartSaveInChild(const std::string& target, int go[2]) {
  int ready[2];
  if (::pipe(ready) != 0 || ::pipe(go) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(ready[0]);
    ::close(go[1]);
    const AtomicWriteResult r = WriteFileAtomically(target, [&](const ByteSink& sink) {
      if (!sink("from the child", 14)) return false;
      if (::write(ready[1], "r", 1) != 1) ::_exit(3);
      char c;
      return ::read(go[0], &c, 1) == 1;
    });
    ::_exit(r.outcome == AtomicWriteOutcome::Ok ? 0 : 1);
  }
  ::close(ready[1]);
  ::close(go[0]);
  char c = 0;
  const bool started = pid > 0 && ::read(ready[0], &c, 1) == 1;
  ::close(ready[0]);
  return started ? pid : -1;
}

void KillAndWait(pid_t pid) {
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

TEST(StaleTemporaries, TheNextSaveRemovesWhatAKilledSaveLeft) {
  ScratchDir dir;
  const std::string target = dir.file("results.grd");
  ASSERT_TRUE(WriteBytes(target, "old"));
  // Each killed save leaves its temporary file; the next one, killed in
  // turn, has removed the one before.
  for (int i = 0; i < 3; ++i) {
    int go[2];
    const pid_t pid = StartSaveInChild(target, go);
    ASSERT_GT(pid, 0);
    KillAndWait(pid);
    ::close(go[1]);
    EXPECT_EQ(dir.Names().size(), 2u) << "after kill " << i << ": " << ::testing::PrintToString(dir.Names());
  }
  ASSERT_EQ(ReadBytes(target), "old");

  const AtomicWriteResult r = Save(target, "new");
  ASSERT_EQ(r.outcome, AtomicWriteOutcome::Ok) << std::strerror(r.error);
  EXPECT_EQ(ReadBytes(target), "new");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"results.grd"});
}

TEST(StaleTemporaries, ASaveUnderWayKeepsItsTemporaryFile) {
  // Another process saving the same file at the same moment is not
  // disturbed: its temporary file stays, and its save completes.
  ScratchDir dir;
  const std::string target = dir.file("results.grd");
  int go[2];
  const pid_t pid = StartSaveInChild(target, go);
  ASSERT_GT(pid, 0);
  const AtomicWriteResult r = Save(target, "from the parent");
  EXPECT_EQ(r.outcome, AtomicWriteOutcome::Ok) << std::strerror(r.error);
  EXPECT_EQ(dir.Names().size(), 2u) << "the other save's temporary file was removed";
  EXPECT_EQ(::write(go[1], "g", 1), 1);
  ::close(go[1]);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other save failed: " << status;
  EXPECT_EQ(ReadBytes(target), "from the child");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"results.grd"});
}

// A file of a kind a save's temporary file never is.
enum class Kind { kStale, kFolder, kLink, kPipe, kTwoNames, kOtherOwner };

struct LookAlike {
  const char* label;
  const char* name;
  Kind kind;
  bool removed;  // a stale temporary file of this target
};

void PrintTo(const LookAlike& c, std::ostream* os) { *os << c.name; }

class StaleTemporaryLookAlikes : public ::testing::TestWithParam<LookAlike> {};

// A save removes the stale temporary files of its own target and nothing
// else: not those of another target, not files of the pattern that no save
// of this program makes, not another user's.
TEST_P(StaleTemporaryLookAlikes, OnlyTheTargetsOwnAreRemoved) {
  const LookAlike& c = GetParam();
  if (c.kind == Kind::kOtherOwner && ::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  ScratchDir dir;
  const std::string path = dir.file(c.name);
  switch (c.kind) {
    case Kind::kStale:
    case Kind::kOtherOwner:
      ASSERT_TRUE(WriteBytes(path, "part"));
      if (c.kind == Kind::kOtherOwner) {
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
      }
      break;
    case Kind::kFolder: ASSERT_EQ(::mkdir(path.c_str(), 0755), 0); break;
    case Kind::kLink:
      ASSERT_TRUE(WriteBytes(dir.file("linked"), "part"));
      ASSERT_EQ(::symlink(dir.file("linked").c_str(), path.c_str()), 0);
      break;
    case Kind::kPipe: ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); break;
    case Kind::kTwoNames:
      ASSERT_TRUE(WriteBytes(dir.file("linked"), "part"));
      ASSERT_EQ(::link(dir.file("linked").c_str(), path.c_str()), 0);
      break;
  }
  const AtomicWriteResult r = Save(dir.file("results.grd"), "new");
  ASSERT_EQ(r.outcome, AtomicWriteOutcome::Ok) << std::strerror(r.error);
  struct stat st {};
  const bool there = ::lstat(path.c_str(), &st) == 0;
  EXPECT_EQ(there, !c.removed) << c.name;
  EXPECT_EQ(ReadBytes(dir.file("results.grd")), "new");
}

INSTANTIATE_TEST_SUITE_P(
    Files, StaleTemporaryLookAlikes,
    ::testing::Values(LookAlike{"StaleOfThisTarget", ".results.grd.tabulor-a1B2c3", Kind::kStale, true},
                      LookAlike{"StaleOfAnotherTarget", ".results.gr.tabulor-a1B2c3", Kind::kStale, false},
                      LookAlike{"LongerTargetName", ".results.grd.bak.tabulor-a1B2c3", Kind::kStale, false},
                      LookAlike{"WithoutMarker", ".results.grd.a1B2c3", Kind::kStale, false},
                      LookAlike{"NotHidden", "results.grd.tabulor-a1B2c3", Kind::kStale, false},
                      LookAlike{"FiveRandom", ".results.grd.tabulor-a1B2c", Kind::kStale, false},
                      LookAlike{"SevenRandom", ".results.grd.tabulor-a1B2c3d", Kind::kStale, false},
                      LookAlike{"NotLetterOrDigit", ".results.grd.tabulor-a1B2c~", Kind::kStale, false},
                      LookAlike{"Folder", ".results.grd.tabulor-a1B2c3", Kind::kFolder, false},
                      LookAlike{"SymbolicLink", ".results.grd.tabulor-a1B2c3", Kind::kLink, false},
                      LookAlike{"NamedPipe", ".results.grd.tabulor-a1B2c3", Kind::kPipe, false},
                      LookAlike{"FileWithTwoNames", ".results.grd.tabulor-a1B2c3", Kind::kTwoNames, false},
                      LookAlike{"AnotherUsersFile", ".results.grd.tabulor-a1B2c3", Kind::kOtherOwner, false}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
