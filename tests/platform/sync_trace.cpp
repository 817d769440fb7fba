// The test program's own fsync and rename: each calls the system's and,
// between StartSyncTrace and StopSyncTrace (on the test's one thread), notes
// "fsync PATH" (the synced file's or folder's name at the time) or "rename
// FROM TO", so that a test sees what a save made durable and when.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

namespace tabulor::platform_test {

bool g_tracing = false;
std::vector<std::string> g_events;

void StartSyncTrace() {
  g_events.clear();
  g_tracing = true;
}

std::vector<std::string> StopSyncTrace() {
  g_tracing = false;
  return std::move(g_events);
}

}  // namespace tabulor::platform_test

using namespace tabulor::platform_test;

extern "C" int fsync(int fd) {
  static const auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
  char path[PATH_MAX];
  const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path);
  const int result = real(fd);
  if (result == 0 && g_tracing)
    g_events.push_back("fsync " + std::string(path, n > 0 ? static_cast<std::size_t>(n) : 0));
  return result;
}

extern "C" int rename(const char* from, const char* to) noexcept {
  static const auto real = reinterpret_cast<int (*)(const char*, const char*)>(::dlsym(RTLD_NEXT, "rename"));
  const int result = real(from, to);
  if (result == 0 && g_tracing) g_events.push_back(std::string("rename ") + from + " " + to);
  return result;
}
