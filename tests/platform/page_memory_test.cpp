#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/page_memory.h"

namespace zephron::platform {
namespace {

// Pieces of any size, not only whole pages, are zeroed and writable up to
// their last byte, and go back whole.
TEST(PageMemory, PiecesAreZeroedAndWritableToTheirLastByte) {
  EXPECT_EQ(AllocatePages(0), nullptr);
  for (const std::size_t bytes : {kLargePageBytes, 3 * kLargePageBytes + 100, std::size_t{5000}}) {
    auto* memory = static_cast<unsigned char*>(AllocatePages(bytes));
    ASSERT_NE(memory, nullptr) << bytes;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(memory) % 4096, 0u) << bytes;
    for (std::size_t at = 0; at < bytes; at += 4096) EXPECT_EQ(memory[at], 0) << at;
    EXPECT_EQ(memory[bytes - 1], 0);
    std::memset(memory, 0xA5, bytes);
    EXPECT_EQ(memory[bytes - 1], 0xA5);
    FreePages(memory, bytes);
  }
}

}  // namespace
}  // namespace zephron::platform
