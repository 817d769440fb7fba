// Limits on what the program agrees to hold in memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tabulor {

// The largest count a 32-bit signed field holds.
inline constexpr std::int64_t kMaxCount = 2147483647;

// Checks that an array of `count` doubles fits into MemoryLimitBytes()
// (platform/memory_limit.h).
// Returns a message naming `what`, the size asked and the limit, or nothing.
std::optional<std::string> CheckDoublesFit(std::uint64_t count, const std::string& what);

// Human-readable byte count: "800 MB", "1.5 GB".
std::string ByteSizeText(std::uint64_t bytes);

}  // namespace tabulor
