#include <unistd.h>

#include "batch/batch.h"
#include "platform/signals.h"

int main(int argc, char** argv) {
  // Like any command in a pipeline, the batch ends quietly when the program
  // reading its output has gone.
  tabulor::SetUpSignals(tabulor::BrokenPipe::kEndsTheProgram);
  std::vector<std::string> args(argv + 1, argv + argc);
  return tabulor::RunBatch(args, STDOUT_FILENO, STDERR_FILENO);
}
