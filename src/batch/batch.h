// tabulor-batch: the whole evaluation from a terminal.
#pragma once

#include <string>
#include <vector>

namespace tabulor {

// Runs the command with its arguments (without the program name); writes
// the results to out_fd and messages to err_fd. Returns the exit status:
// 0 done, 1 refused input or a failed computation, 2 a usage error.
int RunBatch(const std::vector<std::string>& args, int out_fd, int err_fd);

}  // namespace tabulor
