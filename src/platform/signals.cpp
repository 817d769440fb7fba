#include "platform/signals.h"

#include <csignal>

#include "platform/atomic_file.h"

namespace tabulor {

void SetUpSignals(BrokenPipe broken_pipe) {
  std::signal(SIGXFSZ, SIG_IGN);
  if (broken_pipe == BrokenPipe::kFailsTheWrite) std::signal(SIGPIPE, SIG_IGN);
  RemoveTemporaryFilesOnTermination();
}

}  // namespace tabulor
