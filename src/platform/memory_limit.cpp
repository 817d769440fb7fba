#include "platform/memory_limit.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

namespace tabulor {

namespace {
std::atomic<std::uint64_t> g_limit_override{0};
}

void SetMemoryLimit(std::uint64_t bytes) { g_limit_override = bytes; }

std::uint64_t MemoryLimitBytes() {
  if (std::uint64_t o = g_limit_override.load()) return o;
  std::uint64_t limit = UINT64_MAX;
  long pages = sysconf(_SC_PHYS_PAGES);
  long page_size = sysconf(_SC_PAGESIZE);
  if (pages > 0 && page_size > 0) limit = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size);
  rlimit rl{};
  if (getrlimit(RLIMIT_AS, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY)
    limit = std::min<std::uint64_t>(limit, rl.rlim_cur);
  // Keep room for the program itself, its libraries and its windows.
  const std::uint64_t reserve = 64ull << 20;
  return limit > 2 * reserve ? limit - reserve : limit / 2;
}

}  // namespace tabulor
