// Large blocks of zeroed memory, in 2 MB pages where the system offers them.
#pragma once

#include <cstddef>

namespace tabulor {

// A block of `bytes` zero bytes, or nullptr when it cannot be had. Blocks of
// 4 MB and more are mapped on a 2 MB boundary and asked for transparent huge
// pages: their first touch then takes one fault per 2 MB instead of one per
// 4 KB. Smaller blocks come from calloc.
void* AllocateZeroed(std::size_t bytes);

// Gives back a block of AllocateZeroed(bytes).
void ReleaseZeroed(void* p, std::size_t bytes);

}  // namespace tabulor
