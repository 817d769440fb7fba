#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/zeroed_memory.h"

namespace tabulor {
namespace {

// Small and large blocks, and one just past the 4 MB where mapping starts:
// all zero, all writable to their last byte, large ones on a 2 MB boundary.
TEST(ZeroedMemory, BlocksAreZeroWritableAndLargeOnesAligned) {
  for (std::size_t bytes : {std::size_t{8}, std::size_t{4} << 20, (std::size_t{4} << 20) + 8, std::size_t{40} << 20}) {
    SCOPED_TRACE(bytes);
    auto* p = static_cast<unsigned char*>(AllocateZeroed(bytes));
    ASSERT_NE(p, nullptr);
    std::size_t nonzero = 0;
    for (std::size_t i = 0; i < bytes; i += 4093) nonzero += p[i] != 0;
    EXPECT_EQ(nonzero + p[bytes - 1], 0u);
    std::memset(p, 0xab, bytes);
    EXPECT_EQ(p[bytes - 1], 0xab);
    if (bytes >= (std::size_t{4} << 20)) {
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % (std::size_t{2} << 20), 0u);
    }
    ReleaseZeroed(p, bytes);
  }
}

TEST(ZeroedMemory, ABlockThatCannotBeHadIsRefused) {
  EXPECT_EQ(AllocateZeroed(SIZE_MAX - 4096), nullptr);
  EXPECT_EQ(AllocateZeroed(SIZE_MAX / 2), nullptr);
  ReleaseZeroed(nullptr, 100);
}

}  // namespace
}  // namespace tabulor
