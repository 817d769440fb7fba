// The operating-system layer: saves through a temporary file (failing at any
// step, kept attributes, what reaches the disk in which order, the temporary
// files of saves that never ended), opening files to read, zeroed memory.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "../scratch_dir.h"
#include "platform/atomic_file.h"
#include "platform/file_io.h"
#include "platform/signals.h"
#include "platform/zeroed_memory.h"

namespace tabulor::platform_test {
void StartSyncTrace();  // sync_trace.cpp
std::vector<std::string> StopSyncTrace();
}  // namespace tabulor::platform_test

using namespace tabulor;
using tabulor::testing::ScratchDir;
using enum AtomicWriteOutcome;
namespace fs = std::filesystem;

namespace {

AtomicWriteResult Save(const std::string& target, const std::string& bytes) {
  return WriteFileAtomically(target, [&](const ByteSink& sink) { return sink(bytes.data(), bytes.size()); });
}

// Makes what `ops` says in the folder: "mkdir N", "fifo N", "socket N",
// "reader N" (a pipe's reader, in `reader`), "chmod N OCTAL", "chown N ID"
// (owner and group), "symlink N TO", "link N EXISTING", "write N BYTES";
// N "." is the folder itself.
void Arrange(const ScratchDir& d, const std::string& ops, int& reader) {
  std::istringstream in(ops);
  for (std::string verb, name, arg; in >> verb >> name;) {
    const std::string path = name == "." ? d.path() : d.file(name);
    bool ok = true;
    if (verb == "mkdir") ok = ::mkdir(path.c_str(), 0755) == 0;
    if (verb == "fifo") ok = ::mkfifo(path.c_str(), 0600) == 0;
    if (verb == "reader") ok = (reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK)) >= 0;
    if (verb == "socket") {
      sockaddr_un address{AF_UNIX, {}};
      path.copy(address.sun_path, sizeof address.sun_path - 1);
      const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
      ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::close(fd) == 0;
    }
    if (verb == "chmod" || verb == "chown" || verb == "symlink" || verb == "link" || verb == "write") in >> arg;
    if (verb == "chmod") ok = ::chmod(path.c_str(), static_cast<mode_t>(std::stoi(arg, nullptr, 8))) == 0;
    if (verb == "chown") ok = ::geteuid() != 0 || ::chown(path.c_str(), std::stoi(arg), std::stoi(arg)) == 0;
    if (verb == "symlink") ok = ::symlink(arg.c_str(), path.c_str()) == 0;
    if (verb == "link") ok = ::link(d.file(arg).c_str(), path.c_str()) == 0;
    if (verb == "write") ok = d.Write(name, arg);
    ASSERT_TRUE(ok) << verb << " " << name << ": " << std::strerror(errno);
  }
}

// Pieces of every size: a piece larger than a block after a small one waits for it.
const std::string kBig = "ab" + std::string(FileSink::kChunk + 5, 'b') + "c";

enum class Who { Me, Nobody, NobodyWithTmp, FileSizeLimit };
enum class Bytes { Big, New, Stop, TakenByAFolder, Paused };
using enum Who;
using enum Bytes;

// A save to `target` in a child process run as `who`, which exits with
// outcome * 40 + errno, or 250 when it cannot run so here. Paused, it writes
// its first bytes, tells `ready` and waits for a byte on `go` or a signal.
pid_t SaveInChild(const ScratchDir& d, const std::string& target, Who who, Bytes bytes, int go = -1, int ready = -1) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  const rlimit limit{65536, 65536};
  if (who == NobodyWithTmp) ::setenv("TMPDIR", d.file("tmp").c_str(), 1);
  if (who == FileSizeLimit && ::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(250);
  if ((who == Nobody || who == NobodyWithTmp) && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
    ::_exit(250);
  for (int sig : {SIGXFSZ, SIGPIPE, SIGINT, SIGTERM}) ::signal(sig, SIG_DFL);
  SetUpSignals(BrokenPipe::kFailsTheWrite);  // as the window does: a file size limit or a broken pipe fails the write
  struct sigaction pipe {};
  if (::sigaction(SIGPIPE, nullptr, &pipe) != 0 || pipe.sa_handler != SIG_IGN) ::_exit(251);
  const AtomicWriteResult r = WriteFileAtomically(d.file(target), [&](const ByteSink& sink) {
    char c;
    switch (bytes) {
      case Big: return sink("ab", 2) && sink(kBig.data() + 2, kBig.size() - 3) && sink("c", 1);
      case Stop: return sink("new", 3) && false;
      case TakenByAFolder: return ::mkdir(d.file(target).c_str(), 0755) == 0 && sink("new", 3);
      case Paused: return sink("from the child", 14) && ::write(ready, "r", 1) == 1 && ::read(go, &c, 1) == 1;
      default: return sink("new", 3);
    }
  });
  ::_exit(static_cast<int>(r.outcome) * 40 + r.error);
}

int EndOf(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);  // minus the signal that ended it
}

struct SaveCase {
  const char* name;
  std::string ops;  // on a folder with "results.grd" holding "old"
  Who who;
  std::string target;
  Bytes bytes;
  AtomicWriteOutcome outcome;
  int error;
  std::string names;  // the folder's names afterwards
  std::string file = "results.grd", holds = "old";
  mode_t mode = 0;  // of `file` (lstat), and its owner and group when root gave it some
  uid_t owner = 0;
};

void PrintTo(const SaveCase& c, std::ostream* os) { *os << c.name; }

class Saves : public ::testing::TestWithParam<SaveCase> {};

// Refused at every step that can fail, with the old file byte for byte as it
// was and no temporary file; or saved (the pieces in order), keeping the
// replaced file's mode, owner, links and place.
TEST_P(Saves, KeepTheOldFileOrWhatTheFileWas) {
  const SaveCase& c = GetParam();
  ScratchDir dir;
  int reader = -1;
  ASSERT_TRUE(dir.Write("results.grd", "old"));
  Arrange(dir, c.ops, reader);
  const int end = EndOf(SaveInChild(dir, c.target, c.who, c.bytes));
  ::chmod(dir.path().c_str(), 0700);
  if (end == 250) GTEST_SKIP() << "root cannot be given up here";
  EXPECT_EQ(end, static_cast<int>(c.outcome) * 40 + c.error) << std::strerror(end % 40);
  std::string names;
  for (const std::string& n : dir.Names()) names += (names.empty() ? "" : " ") + n;
  EXPECT_EQ(names, c.names);
  char got[8] = {};
  EXPECT_TRUE((reader >= 0 ? (::read(reader, got, sizeof got), std::string(got)) : dir.Read(c.file)) == c.holds);
  struct stat st {};
  ASSERT_EQ(::lstat(dir.file(c.file).c_str(), &st), 0);
  EXPECT_TRUE(c.mode == 0 || st.st_mode == c.mode) << std::oct << st.st_mode;
  EXPECT_TRUE(c.owner == 0 || ::geteuid() != 0 || (st.st_uid == c.owner && st.st_gid == c.owner)) << st.st_uid;
  if (reader >= 0) ::close(reader);
}

const std::string kLong = std::string(251, 'n') + ".grd";
const SaveCase kSaves[] = {
    {"folder", "mkdir f.grd", Me, "f.grd", Big, IsFolder, 0, "f.grd results.grd"},
    {"under_a_file", "", Me, "results.grd/inner.grd", Big, Failed, ENOTDIR, "results.grd"},
    {"pipe_without_reader", "fifo p", Me, "p", Big, NoReader, 0, "p results.grd"},
    {"socket", "socket s", Me, "s", Big, NotAFile, 0, "results.grd s"},
    {"folder_takes_no_file", "chmod . 555", Nobody, "n.grd", Big, Failed, EACCES, "results.grd"},
    {"file_not_writable", "chmod results.grd 444 chmod . 777", Nobody, "results.grd", Big, Failed, EACCES,
     "results.grd"},
    {"no_folder_takes_a_file", "mkdir tmp chmod tmp 555 chmod results.grd 666 chmod . 555", NobodyWithTmp,
     "results.grd", Big, Failed, EACCES, "results.grd tmp"},
    {"file_size_limit", "", FileSizeLimit, "results.grd", Big, Failed, EFBIG, "results.grd"},
    {"stopped", "", Me, "results.grd", Stop, Stopped, 0, "results.grd"},
    {"rename_fails", "", Me, "t.grd", TakenByAFolder, Failed, EISDIR, "results.grd t.grd"},
    {"mode", "chmod results.grd 754 chown results.grd 4321", Me, "results.grd", Big, Ok, 0, "results.grd",
     "results.grd", kBig, S_IFREG | 0754, 4321},
    // c.grd -> l.grd -> real/t.grd: the links stay, the file is replaced.
    {"links", "mkdir real write real/t.grd old symlink l.grd real/t.grd symlink c.grd l.grd", Me, "c.grd", New, Ok, 0,
     "c.grd l.grd real results.grd", "l.grd", "new", S_IFLNK | 0777},
    // Writable, in a folder that takes no new file (or a sticky one, where
    // only the owner replaces a file): written over in place, through the
    // temporary folder, so that its other name sees it.
    {"in_place", "mkdir tmp chmod tmp 777 chmod results.grd 666 link h.grd results.grd chmod . 555", NobodyWithTmp,
     "results.grd", New, Ok, 0, "h.grd results.grd tmp", "h.grd", "new"},
    {"sticky", "chmod results.grd 666 chmod . 1777", Nobody, "results.grd", New, Ok, 0, "results.grd", "results.grd",
     "new"},
    // The longest name: the temporary file's name fits beside it.
    {"name_255", "", Me, kLong, New, Ok, 0, kLong + " results.grd", kLong, "new"},
    {"pipe_with_reader", "fifo p reader p", Me, "p", New, Ok, 0, "p results.grd", "p", "new", S_IFIFO | 0600}};

INSTANTIATE_TEST_SUITE_P(Cases, Saves, ::testing::ValuesIn(kSaves),
                         [](const auto& info) { return std::string(info.param.name); });

// A hidden temporary file beside the real target is synced, renamed over it,
// and then the folder is synced, so that the rename survives a power cut:
// for a name relative to the working folder and through a link.
TEST(Saves, FileSyncedThenRenamedThenFolderSynced) {
  for (const bool relative : {true, false}) {
    ScratchDir dir, elsewhere;
    const std::string real = relative ? dir.file("results.grd") : elsewhere.file("real.grd");
    ASSERT_TRUE(relative ||
                (elsewhere.Write("real.grd", "old") && ::symlink(real.c_str(), dir.file("results.grd").c_str()) == 0));
    const fs::path cwd = fs::current_path();
    fs::current_path(dir.path());
    platform_test::StartSyncTrace();
    const AtomicWriteResult r = Save(relative ? "results.grd" : dir.file("results.grd"), "new");
    const std::vector<std::string> events = platform_test::StopSyncTrace();
    fs::current_path(cwd);
    ASSERT_EQ(r.outcome, Ok) << std::strerror(r.error);
    const std::string folder = fs::path(real).parent_path().string();
    std::size_t step = 0;
    std::string temporary;
    for (const std::string& e : events) {
      const std::size_t to = e.find(' ', 7);
      if (step == 0 && e.rfind("fsync " + folder + "/.", 0) == 0) temporary = e.substr(6), ++step;
      if (step == 1 && e.rfind("rename ", 0) == 0 && fs::path(dir.path()) / e.substr(to + 1) == real &&
          fs::path(dir.path()) / e.substr(7, to - 7) == temporary)
        ++step;
      if (step == 2 && e == "fsync " + folder) ++step;
    }
    EXPECT_EQ(step, 3u) << ::testing::PrintToString(events);
  }
}

// A save closes its own descriptors and no other: the standard input is
// still open, and the same file, after saves that end well or fail.
TEST(Saves, CloseOnlyTheirOwnDescriptors) {
  struct stat before = {}, after = {};
  if (::fstat(0, &before) != 0) {
    ASSERT_EQ(::open("/dev/null", O_RDONLY), 0);
    ASSERT_EQ(::fstat(0, &before), 0);
  }
  ScratchDir dir;
  EXPECT_EQ(Save(dir.file("a.grd"), "new").outcome, Ok);
  EXPECT_EQ(Save(dir.file("none/a.grd"), "new").outcome, Failed);
  ASSERT_EQ(::fstat(0, &after), 0);
  EXPECT_TRUE(after.st_ino == before.st_ino && after.st_dev == before.st_dev);
}

// A save ended by SIGKILL leaves its temporary file, which the next save of
// the target removes; by SIGTERM or SIGINT it removes it itself and ends as
// the signal ends it; let be, it ends although another save of the same
// file came and went meanwhile. The old file or the whole new one stays.
TEST(Saves, TemporaryFilesOfSavesThatNeverEndedGo) {
  for (const int sig : {SIGKILL, SIGTERM, SIGINT, 0}) {
    SCOPED_TRACE(sig);
    ScratchDir dir;
    ASSERT_TRUE(dir.Write("results.grd", "old"));
    int ready[2], go[2];
    ASSERT_EQ(::pipe(ready) + ::pipe(go), 0);
    const pid_t pid = SaveInChild(dir, "results.grd", Me, Paused, go[0], ready[1]);
    ::close(ready[1]);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_TRUE(sig != 0 || Save(dir.file("results.grd"), "new").outcome == Ok);
    EXPECT_EQ(dir.Names().size(), 2u) << "the save's temporary file is there";
    EXPECT_EQ(sig == 0 ? ::write(go[1], "g", 1) - 1 : ::kill(pid, sig), 0);
    EXPECT_EQ(EndOf(pid), -sig);
    for (int fd : {ready[0], go[0], go[1]}) ::close(fd);
    EXPECT_EQ(dir.Read("results.grd"), sig == 0 ? "from the child" : "old");
    EXPECT_EQ(dir.Names().size(), sig == SIGKILL ? 2u : 1u);
    ASSERT_EQ(Save(dir.file("results.grd"), "new").outcome, Ok);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"results.grd"});
  }
}

// Name, opened, a folder, errno, size; a pipe without writer reads as empty
// instead of being waited for. Opened to read only, and blocking.
TEST(OpenToRead, TellsEachKindOfName) {
  ScratchDir dir;
  int reader = -1;
  Arrange(dir, "write file 12345 mkdir folder fifo fifo", reader);
  // clang-format off
  const std::tuple<std::string, bool, bool, int, std::uint64_t> cases[] = {
      {"file", true, false, 0, 5}, {"folder", false, true, 0, 0}, {"missing", false, false, ENOENT, 0},
      {"file/under", false, false, ENOTDIR, 0}, {"fifo", true, false, 0, 0}};
  // clang-format on
  for (const auto& [name, opened, folder, error, size] : cases) {
    const FileToRead f = OpenToRead(dir.file(name));
    EXPECT_EQ(std::tuple(f.fd >= 0, f.folder, f.error, f.size), std::tuple(opened, folder, error, size)) << name;
    char buf[8];
    EXPECT_TRUE(f.fd < 0 || (::fcntl(f.fd, F_GETFL) & (O_ACCMODE | O_NONBLOCK)) == O_RDONLY) << name;
    EXPECT_TRUE(f.fd < 0 || ReadSome(f.fd, buf, sizeof buf) == static_cast<ssize_t>(size)) << name;
    if (f.fd >= 0) ::close(f.fd);
  }
}

// Blocks below and past the 4 MB where mapping starts: zero, writable to
// their last byte, large ones on a 2 MB boundary; one that cannot be had is
// refused.
TEST(ZeroedMemory, BlocksAreZeroWritableAndLargeOnesAligned) {
  for (std::size_t bytes : {std::size_t{8}, std::size_t{4} << 20, std::size_t{40 << 20} + 8}) {
    auto* p = static_cast<unsigned char*>(AllocateZeroed(bytes));
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p[0] == 0 && p[bytes / 2] == 0 && p[bytes - 1] == 0 && (p[bytes - 1] = 1));
    EXPECT_TRUE(bytes < (4 << 20) || reinterpret_cast<std::uintptr_t>(p) % (2 << 20) == 0) << bytes;
    ReleaseZeroed(p, bytes);
  }
  EXPECT_TRUE(AllocateZeroed(SIZE_MAX - 4096) == nullptr && AllocateZeroed(SIZE_MAX / 2) == nullptr);
}

}  // namespace
