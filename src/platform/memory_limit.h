// How much memory the process may take.
#pragma once

#include <cstdint>

namespace tabulor {

// The number of bytes one array may take: the machine's physical memory, or
// the process's address-space limit when that is lower, less a reserve.
std::uint64_t MemoryLimitBytes();

// Overrides MemoryLimitBytes() (0 restores the machine's own); for tests.
void SetMemoryLimitForTesting(std::uint64_t bytes);

}  // namespace tabulor
