// Sizes whose arrays cannot be held are refused before anything is allocated,
// with the size asked and the limit, and the model as it was. The limit is
// the address-space limit when there is one.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "model/grid_file.h"
#include "model/limits.h"
#include "model_dump.h"
#include "platform/memory_limit.h"
#include "reliability_helpers.h"

using namespace tabulor;
using namespace tabulor::reliability;

namespace {

TEST(MemoryLimit, RefusalsTellTheSizeAndTheLimitAndChangeNothing) {
  const std::string big_grid = " 0 \r\nx\r\n 0 \r\n 1 \r\n 99999 \r\n 0 \r\n#TRUE#\r\n 1 \r\n";
  auto points = [](Dimension& m, const char* n) {
    auto spec = DefaultGridSpec(m);
    spec[0].points = n;
    return CaptureGridSpecs(m, spec);
  };
  const std::pair<std::function<std::string(Dimension&)>, std::string> cases[] = {
      // under 1 MB
      {[](Dimension& m) { return ReadSeriesText(m, "0,x,0,1,0,#TRUE#,*,199999,#TRUE#,1,2,3", "big.ser").message; },
       "Series file \"big.ser\": The coefficient block with its default grid needs 400000 values (3.1 MB), more than "
       "the memory limit of 1.0 MB"},
      {[&](Dimension& m) { return ReadGridText(m, big_grid, "big").message; },
       "Grid file \"big.grd\": The grid needs 200000 values (1.5 MB), more than the memory limit of 1.0 MB"},
      {[&](Dimension& m) { return points(m, "2000000000"); },
       "Variable 0 (t): the grid needs 2000000000 values (15 GB), more than the memory limit of 1.0 MB."},
      // bytes beyond 64 bits
      {[](Dimension&) { return CheckDoublesFit(std::uint64_t{1} << 62, "A block").value_or(""); },
       "A block needs 4611686018427387904 values (more than 16 EB), more than the memory limit of 1.0 MB"},
  };
  for (const auto& [act, message] : cases) {
    Dimension m;
    LoadComputed(m, "wave.ser");
    const std::string before = ModelDump(m);
    SetMemoryLimit(1 << 20);
    const std::string said = act(m);
    SetMemoryLimit(0);
    EXPECT_EQ(said, message);
    EXPECT_TRUE(ModelDump(m) == before) << message;
  }
  // 200000 results, 3 x 200000 of basis and of offsets, 4 << 20 of blocks; with room, it computes.
  Dimension m;
  LoadComputed(m, "poly.ser");
  ASSERT_EQ(points(m, "200000"), "");
  SetMemoryLimit(4 << 20);
  const ComputeResult r = Compute(m);
  SetMemoryLimit(64 << 20);
  EXPECT_EQ(r.message,
            "The results array with the computation's working memory needs 5594304 values (43 MB), more than the "
            "memory limit of 4.0 MB.");
  EXPECT_TRUE(!m.ResultsReady && m.Results.empty());
  EXPECT_EQ(Compute(m).outcome, ComputeOutcome::Ok);
  SetMemoryLimit(0);
}

// The batch command under 256 MB of address space, which makes a limit of 192 MB: sizes around its edge (a dozen
// doubles a point of a 3-term series) computed, or refused by the size check in one line, never by a failed allocation.
TEST(MemoryLimit, FollowsTheAddressSpaceLimit) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space: no sanitized program runs under ulimit -v";
#endif
  for (const char* n : {"1000000", "2000000", "2300000", "2600000", "3000000", "50000000"}) {
    const ProcessResult r = RunProcess({"/bin/bash", "-c", "ulimit -v 262144; exec \"$0\" \"$@\"", TABULOR_BATCH,
                                        Example("poly.ser"), "--summary", "--points", std::string("0=") + n});
    const std::string refused = std::string(n) == "50000000" ? "50000000 values (381 MB), " : "";
    EXPECT_TRUE(r.signal == 0 &&
                (r.exit_code == 0
                     ? refused.empty() && r.out.rfind("points=" + std::string(n) + " ", 0) == 0
                     : r.exit_code == 1 && r.out.empty() && std::string(n) != "1000000" &&
                           r.err.find('\n') == r.err.size() - 1 &&
                           r.err.find(refused + "more than the memory limit of 192 MB") != std::string::npos))
        << n << ": " << r.out << r.err;
  }
}

// The signals a process ignores ("SigIgn") or catches ("SigCgt"), from /proc.
unsigned long long SignalMask(pid_t pid, const std::string& which) {
  const std::string status = ReadBytes("/proc/" + std::to_string(pid) + "/status");
  const std::size_t at = status.find("\n" + which + ":");
  return at == std::string::npos ? 0 : std::strtoull(status.c_str() + at + which.size() + 2, nullptr, 16);
}

unsigned long long Bit(int sig) { return 1ULL << (sig - 1); }

// Both programs, started from a shell with every signal at its default,
// ignore SIGXFSZ from the start (a save past a file size limit fails with
// EFBIG instead of killing the results). The window ignores SIGPIPE as well
// and tells the failed save; the batch command leaves SIGPIPE to end it as
// any command in a pipeline, and catches the signals that end it to remove
// its temporary files first. The batch is caught waiting for its series.
TEST(ProgramStart, SignalsAreSetBeforeAnyWork) {
  ScratchDir dir;
  const std::string fifo = dir.file("series.ser");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int writer = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  struct Case {
    std::string program, arg;
    unsigned long long ignored, not_ignored, caught;
  };
  std::vector<Case> cases = {
      {TABULOR_BATCH, fifo, Bit(SIGXFSZ), Bit(SIGPIPE), Bit(SIGINT) | Bit(SIGTERM) | Bit(SIGHUP)}};
#ifdef TABULOR_WINDOW
  cases.push_back({TABULOR_WINDOW, "", Bit(SIGXFSZ) | Bit(SIGPIPE), 0, 0});
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    const std::string program = std::filesystem::canonical(c.program).string();
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (int sig : {SIGXFSZ, SIGPIPE, SIGINT, SIGTERM, SIGHUP}) ::signal(sig, SIG_DFL);
      ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
      ::setenv("LC_ALL", "C", 1);
      const int null = ::open("/dev/null", O_RDWR);
      for (int fd : {0, 1, 2}) ::dup2(null, fd);
      ::execl(program.c_str(), program.c_str(), c.arg.empty() ? nullptr : c.arg.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    unsigned long long ignored = 0, caught = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      std::error_code ec;
      // Only the program itself counts, not the test's child before exec.
      if (std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec).string() == program) {
        ignored = SignalMask(pid, "SigIgn");
        caught = SignalMask(pid, "SigCgt");
        if ((ignored & c.ignored) == c.ignored && (caught & c.caught) == c.caught) break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    EXPECT_EQ(ignored & c.ignored, c.ignored);
    EXPECT_EQ(ignored & c.not_ignored, 0u);
    EXPECT_EQ(caught & c.caught, c.caught);
  }
  ::close(writer);
}

}  // namespace
