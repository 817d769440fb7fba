// The signals a program sets up at its start.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/signals.h"

using namespace tabulor;

namespace {

// 'I' ignored, 'D' default, 'H' a handler, for each of `signals`.
std::string Dispositions(std::initializer_list<int> signals) {
  std::string s;
  for (int sig : signals) {
    struct sigaction now {};
    ::sigaction(sig, nullptr, &now);
    s += now.sa_handler == SIG_IGN ? 'I' : now.sa_handler == SIG_DFL ? 'D' : 'H';
  }
  return s;
}

// What SetUpSignals(broken_pipe) leaves for SIGXFSZ, SIGPIPE, SIGINT,
// SIGTERM and SIGHUP, in a child process started with all five at their
// default, or with SIGINT ignored (a program started in the background).
std::string AfterSetUp(BrokenPipe broken_pipe, bool interrupt_ignored) {
  int fds[2];
  if (::pipe(fds) != 0) return "pipe";
  const pid_t pid = ::fork();
  if (pid == 0) {
    for (int sig : {SIGXFSZ, SIGPIPE, SIGINT, SIGTERM, SIGHUP}) ::signal(sig, SIG_DFL);
    if (interrupt_ignored) ::signal(SIGINT, SIG_IGN);
    SetUpSignals(broken_pipe);
    const std::string s = Dispositions({SIGXFSZ, SIGPIPE, SIGINT, SIGTERM, SIGHUP});
    ::_exit(::write(fds[1], s.data(), s.size()) == static_cast<ssize_t>(s.size()) ? 0 : 1);
  }
  ::close(fds[1]);
  char buf[16];
  const ssize_t n = ::read(fds[0], buf, sizeof buf);
  ::close(fds[0]);
  ::waitpid(pid, nullptr, 0);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : "";
}

TEST(SetUpSignals, FileSizeIgnoredPipeAsAskedTerminationCleansUp) {
  struct Case {
    BrokenPipe broken_pipe;
    bool interrupt_ignored;
    const char* expected;  // SIGXFSZ, SIGPIPE, SIGINT, SIGTERM, SIGHUP
  };
  const Case cases[] = {
      {BrokenPipe::kFailsTheWrite, false, "IIHHH"},   // the window
      {BrokenPipe::kEndsTheProgram, false, "IDHHH"},  // the batch command
      // An ignored signal stays ignored.
      {BrokenPipe::kFailsTheWrite, true, "IIIHH"},
      {BrokenPipe::kEndsTheProgram, true, "IDIHH"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(AfterSetUp(c.broken_pipe, c.interrupt_ignored), c.expected)
        << static_cast<int>(c.broken_pipe) << " " << c.interrupt_ignored;
}

}  // namespace
