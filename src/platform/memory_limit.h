// How much memory the process may take.
#pragma once

#include <cstdint>

namespace tabulor {

// The number of bytes one array may take: the machine's physical memory, or
// the process's address-space limit when that is lower, less a reserve.
std::uint64_t MemoryLimitBytes();

// Sets the limit MemoryLimitBytes() gives, for a process that runs under a
// budget of its own (a worker sharing its machine); 0 restores the
// machine's own.
void SetMemoryLimit(std::uint64_t bytes);

}  // namespace tabulor
