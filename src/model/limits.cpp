#include "model/limits.h"

#include <charconv>

#include "model/number_text.h"
#include "platform/memory_limit.h"

namespace tabulor {

std::string ByteSizeText(std::uint64_t bytes) {
  const char* units[] = {"bytes", "KB", "MB", "GB", "TB", "PB", "EB"};
  double v = static_cast<double>(bytes);
  int u = 0;
  while (v >= 1024.0 && u < 6) {
    v /= 1024.0;
    ++u;
  }
  if (u == 0) return IntegerText(static_cast<std::int64_t>(bytes)) + " bytes";
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, v < 10 ? 1 : 0);
  return std::string(buf, r.ptr) + " " + units[u];
}

std::optional<std::string> CheckDoublesFit(std::uint64_t count, const std::string& what) {
  const std::uint64_t limit = MemoryLimitBytes();
  if (count > limit / sizeof(double)) {
    // count * 8 may not fit 64 bits; say it in doubles as well.
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, count);
    std::string values(buf, r.ptr);
    std::string asked =
        count > UINT64_MAX / sizeof(double) ? std::string("more than 16 EB") : ByteSizeText(count * sizeof(double));
    return what + " needs " + values + " values (" + asked + "), more than the memory limit of " + ByteSizeText(limit);
  }
  return std::nullopt;
}

}  // namespace tabulor
