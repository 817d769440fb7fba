// Opening files to read, and reading and writing through descriptors:
// interrupted calls are repeated, blocks keep their order, failures stick.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_io.h"
#include "platform_test_support.h"

using namespace tabulor;
using namespace tabulor::platform_test;

namespace {

// ---- Opening to read ----

TEST(OpenToRead, TellsEachKindOfName) {
  ScratchDir dir;
  ASSERT_TRUE(WriteBytes(dir.file("file"), "12345"));
  ASSERT_TRUE(WriteBytes(dir.file("empty"), ""));
  ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0755), 0);
  struct Case {
    std::string path;
    bool opened, folder;
    int error;
    std::uint64_t size;
  };
  const std::vector<Case> cases = {
      {dir.file("file"), true, false, 0, 5},
      {dir.file("empty"), true, false, 0, 0},
      {dir.file("folder"), false, true, 0, 0},
      {dir.file("missing"), false, false, ENOENT, 0},
      {dir.file("file/under"), false, false, ENOTDIR, 0},
      {"/dev/null", true, false, 0, 0},
  };
  for (const Case& c : cases) {
    const FileToRead f = OpenToRead(c.path);
    EXPECT_EQ(f.fd >= 0, c.opened) << c.path;
    EXPECT_EQ(f.folder, c.folder) << c.path;
    EXPECT_EQ(f.error, c.error) << c.path;
    EXPECT_EQ(f.size, c.size) << c.path;
    if (f.fd >= 0) {
      // Opened for reading only, and not left non-blocking.
      const int flags = ::fcntl(f.fd, F_GETFL);
      EXPECT_EQ(flags & O_ACCMODE, O_RDONLY) << c.path;
      EXPECT_EQ(flags & O_NONBLOCK, 0) << c.path;
      EXPECT_NE(::fcntl(f.fd, F_GETFD) & FD_CLOEXEC, 0) << c.path;
      ::close(f.fd);
    }
  }
}

TEST(OpenToRead, PipeWithoutWriterReadsAsEmpty) {
  ScratchDir dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const FileToRead f = OpenToRead(fifo);  // would wait for a writer forever if it blocked
  ASSERT_GE(f.fd, 0) << std::strerror(f.error);
  char c;
  EXPECT_EQ(ReadSome(f.fd, &c, 1), 0);
  ::close(f.fd);
}

// ---- Interrupted reads and writes ----

std::atomic<int> g_alarms{0};
extern "C" void CountAlarm(int) { g_alarms.fetch_add(1); }

// Interrupts the calling thread every 100 microseconds with a signal whose
// handler does not restart system calls, as long as it lives.
class Interruptions {
 public:
  Interruptions() {
    struct sigaction act {};
    act.sa_handler = CountAlarm;
    sigemptyset(&act.sa_mask);
    act.sa_flags = 0;  // no SA_RESTART: a blocked read or write fails with EINTR
    ::sigaction(SIGALRM, &act, &old_);
    itimerval every{{0, 100}, {0, 100}};
    ::setitimer(ITIMER_REAL, &every, nullptr);
  }
  ~Interruptions() {
    itimerval off{};
    ::setitimer(ITIMER_REAL, &off, nullptr);
    ::sigaction(SIGALRM, &old_, nullptr);
  }

 private:
  struct sigaction old_ {};
};

// Another thread that takes no signals: SIGALRM goes to the test's thread.
template <class Body>
std::thread QuietThread(Body body) {
  sigset_t all, old;
  sigfillset(&all);
  ::pthread_sigmask(SIG_BLOCK, &all, &old);
  std::thread t(body);
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return t;
}

std::string Pattern(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 4093) % 26);
  return s;
}

TEST(FileSink, InterruptedWritesLoseAndRepeatNothing) {
  // Writes into a pipe that a slow reader empties block again and again;
  // the signals land in them.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const std::string data = Pattern(6 << 20);
  std::string got;
  std::thread reader = QuietThread([&] {
    char buf[16384];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) {
      got.append(buf, static_cast<std::size_t>(n));
      if (got.size() % 8 == 0) std::this_thread::yield();
    }
  });
  g_alarms = 0;
  bool ok = false;
  {
    Interruptions interruptions;
    FileSink sink(fds[1]);
    // Small pieces, pieces larger than a block, and a block exactly.
    const std::size_t pieces[] = {1, 100, 3 << 20, 5000, FileSink::kChunk, 17, 1 << 19};
    std::size_t at = 0;
    bool written = true;
    for (std::size_t i = 0; written && at < data.size(); ++i) {
      const std::size_t n = std::min(pieces[i % std::size(pieces)], data.size() - at);
      written = sink.Write(data.data() + at, n);
      at += n;
    }
    ok = sink.Flush() && written;
  }
  ::close(fds[1]);
  reader.join();
  ::close(fds[0]);
  EXPECT_TRUE(ok);
  EXPECT_GT(g_alarms.load(), 0) << "no signal came during the writes";
  ASSERT_EQ(got.size(), data.size());
  EXPECT_TRUE(got == data) << "the bytes came in another order";
}

TEST(ReadSome, InterruptedReadsAreRepeated) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const std::string data = Pattern(1 << 16);
  std::thread writer = QuietThread([&] {
    for (std::size_t at = 0; at < data.size(); at += 512) {
      std::this_thread::sleep_for(std::chrono::microseconds(300));
      if (WriteAll(fds[1], data.data() + at, 512) != 0) break;
    }
    ::close(fds[1]);
  });
  std::string got;
  bool failed = false;
  g_alarms = 0;
  {
    Interruptions interruptions;
    char buf[4096];
    for (;;) {
      const ssize_t n = ReadSome(fds[0], buf, sizeof buf);
      if (n < 0) failed = true;
      if (n <= 0) break;
      got.append(buf, static_cast<std::size_t>(n));
    }
  }
  writer.join();
  ::close(fds[0]);
  EXPECT_FALSE(failed) << "a read failed: " << std::strerror(errno);
  EXPECT_GT(g_alarms.load(), 0);
  EXPECT_TRUE(got == data);
}

// ---- Block order and failures ----

TEST(FileSink, BlocksKeepTheirOrder) {
  // A large piece after a small one must not overtake it.
  const std::vector<std::vector<std::size_t>> runs = {
      {3, FileSink::kChunk + 5, 2},
      {FileSink::kChunk, 1, FileSink::kChunk},
      {FileSink::kChunk - 1, 1, 1, 2 * FileSink::kChunk},
      {10, 20, 30},
  };
  for (const auto& run : runs) {
    ScratchDir dir;
    const std::string path = dir.file("out");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    std::size_t total = 0;
    for (std::size_t n : run) total += n;
    const std::string data = Pattern(total);
    {
      FileSink sink(fd);
      std::size_t at = 0;
      for (std::size_t n : run) {
        ASSERT_TRUE(sink.Write(data.data() + at, n));
        at += n;
      }
      ASSERT_TRUE(sink.Flush());
    }
    ::close(fd);
    EXPECT_TRUE(ReadBytes(path) == data) << ::testing::PrintToString(run);
  }
}

TEST(FileSink, AFailedWriteIsToldAndNothingMoreIsWritten) {
  // /dev/full refuses every write with ENOSPC.
  for (std::size_t first : {std::size_t{10}, FileSink::kChunk}) {
    const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (fd < 0) GTEST_SKIP() << "no /dev/full here";
    FileSink sink(fd);
    const bool first_ok = sink.Write(Pattern(first));
    // A small piece waits in the block; a full block is written at once.
    EXPECT_EQ(first_ok, first < FileSink::kChunk);
    EXPECT_FALSE(sink.Flush());
    EXPECT_EQ(sink.error(), ENOSPC);
    EXPECT_FALSE(sink.ok());
    EXPECT_FALSE(sink.Write("more", 4));
    EXPECT_FALSE(sink.Flush());
    EXPECT_EQ(sink.error(), ENOSPC);
    ::close(fd);
  }
}

}  // namespace
