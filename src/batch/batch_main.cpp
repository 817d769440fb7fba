#include <unistd.h>

#include "batch/batch.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return tabulor::RunBatch(args, STDOUT_FILENO, STDERR_FILENO);
}
