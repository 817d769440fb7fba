// Helpers of the reliability tests: whole-file reads and writes, running a
// program with its output captured, and the models the tests start from.
#pragma once

#include "scratch_dir.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/compute.h"
#include "model/dimension.h"
#include "model/grid_capture.h"
#include "model/series_file.h"

namespace tabulor::reliability {

using ScratchDir = testing::ScratchDir;

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()))) ADD_FAILURE() << "cannot write " << path;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string Example(const std::string& name) { return std::string(TABULOR_EXAMPLES_DIR) + "/" + name; }

struct ProcessResult {
  int exit_code = -1;  // -1 when the process did not exit by itself
  int signal = 0;      // the signal that ended it, or 0
  std::string out, err;
};

// Runs argv[0] with the arguments, standard input from /dev/null, and
// returns its exit status and everything it wrote.
inline ProcessResult RunProcess(const std::vector<std::string>& argv) {
  ScratchDir io;
  pid_t pid = ::fork();
  if (pid == 0) {
    const int in = ::open("/dev/null", O_RDONLY), out = ::open(io.file("out").c_str(), O_WRONLY | O_CREAT, 0644),
              err = ::open(io.file("err").c_str(), O_WRONLY | O_CREAT, 0644);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(126);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ProcessResult r;
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid) {
    ADD_FAILURE() << "cannot run " << argv[0];
    return r;
  }
  if (WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
  r.out = io.Read("out");
  r.err = io.Read("err");
  return r;
}

inline ProcessResult RunBatch(std::vector<std::string> args) {
  args.insert(args.begin(), TABULOR_BATCH);
  return RunProcess(args);
}

// A shell command line (for ulimit and redirections), run by bash.
inline ProcessResult RunShell(const std::string& command) { return RunProcess({"/bin/bash", "-c", command}); }

inline std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// A model holding a series and the results of computing it on its default
// grid: what a user has in hand when a bad file is opened or a save fails.
inline void LoadComputed(Dimension& model, const std::string& example) {
  SeriesReadResult read = ReadSeriesFile(model, Example(example));
  ASSERT_EQ(read.outcome, SeriesReadOutcome::Ok) << read.message;
  ASSERT_EQ(CaptureGridSpecs(model, DefaultGridSpec(model)), "");
  ComputeResult computed = Compute(model);
  ASSERT_EQ(computed.outcome, ComputeOutcome::Ok) << computed.message;
}

// A series from its text; the test fails when it is refused.
inline void LoadSeriesText(Dimension& model, const std::string& text) {
  SeriesReadResult read = ReadSeriesText(model, text, "test.ser");
  ASSERT_EQ(read.outcome, SeriesReadOutcome::Ok) << read.message;
}

// True when a text shows an infinity or a NaN the way number text would.
inline bool ShowsNonFinite(const std::string& s) {
  std::string lower;
  for (char c : s) lower.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
  return lower.find("inf") != std::string::npos || lower.find("nan") != std::string::npos;
}

}  // namespace tabulor::reliability
