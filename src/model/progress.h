#pragma once

#include <cstdint>
#include <functional>

namespace tabulor {

// Told how much of a long task is done (done out of total, in the task's own
// unit); returns false to ask the task to stop.
using ProgressFn = std::function<bool(std::uint64_t done, std::uint64_t total)>;

}  // namespace tabulor
