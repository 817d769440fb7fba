// The signals a program that saves files sets up once, at its start.
#pragma once

namespace tabulor {

// What a write into a pipe whose reader has gone does.
enum class BrokenPipe {
  kEndsTheProgram,  // SIGPIPE ends the process, as it ends a command in a pipeline
  kFailsTheWrite,   // SIGPIPE is ignored: the write fails with EPIPE and is told
};

// SIGXFSZ is ignored, so that a write past a file size limit fails with
// EFBIG and is reported like any other failed save instead of the process
// being killed with what it holds; SIGPIPE as `broken_pipe` says; and
// SIGINT, SIGTERM and SIGHUP remove the temporary files of the saves under
// way before the process ends as the signal ends it
// (RemoveTemporaryFilesOnTermination in platform/atomic_file.h).
void SetUpSignals(BrokenPipe broken_pipe);

}  // namespace tabulor
