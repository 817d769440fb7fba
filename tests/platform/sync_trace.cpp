#include "sync_trace.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <mutex>

namespace tabulor::platform_test {

namespace {

std::mutex g_mutex;
bool g_tracing = false;
std::vector<std::string> g_events;

void Note(std::string event) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_tracing) g_events.push_back(std::move(event));
}

bool Tracing() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_tracing;
}

template <class Fn>
Fn Next(const char* name) {
  return reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

void StartSyncTrace() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_events.clear();
  g_tracing = true;
}

std::vector<std::string> StopSyncTrace() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_tracing = false;
  return std::move(g_events);
}

}  // namespace tabulor::platform_test

using tabulor::platform_test::Next;
using tabulor::platform_test::Note;
using tabulor::platform_test::Tracing;

extern "C" int fsync(int fd) {
  static const auto real = Next<int (*)(int)>("fsync");
  const int result = real(fd);
  if (result == 0 && Tracing()) {
    char path[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), path, sizeof path - 1);
    Note("fsync " + (n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string("?")));
  }
  return result;
}

extern "C" int rename(const char* from, const char* to) noexcept {
  static const auto real = Next<int (*)(const char*, const char*)>("rename");
  const int result = real(from, to);
  if (result == 0) Note(std::string("rename ") + from + " " + to);
  return result;
}
