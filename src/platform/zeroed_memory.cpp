#include "platform/zeroed_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace tabulor {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kMapFrom = std::size_t{4} << 20;

std::size_t MappedBytes(std::size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }

}  // namespace

void* AllocateZeroed(std::size_t bytes) {
  if (bytes < kMapFrom) return std::calloc(bytes, 1);
  if (bytes > SIZE_MAX - 2 * kHugePage) return nullptr;  // the rounding up below would wrap
  const std::size_t length = MappedBytes(bytes);
  // One huge page more than needed, then the unaligned head and the tail cut off.
  void* raw = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
  if (aligned > start) ::munmap(raw, aligned - start);
  const std::size_t tail = start + length + kHugePage - (aligned + length);
  if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + length), tail);
  void* p = reinterpret_cast<void*>(aligned);
  // Only advice: where the system has no huge pages the block stays in small ones.
  (void)::madvise(p, length, MADV_HUGEPAGE);
  return p;
}

void ReleaseZeroed(void* p, std::size_t bytes) {
  if (p == nullptr) return;
  if (bytes < kMapFrom) {
    std::free(p);
  } else {
    ::munmap(p, MappedBytes(bytes));
  }
}

}  // namespace tabulor
