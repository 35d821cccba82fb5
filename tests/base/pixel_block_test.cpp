#include "base/pixel_block.h"

#include <cstdint>
#include <utility>

#include <gtest/gtest.h>

namespace quillon {
namespace {

// Small blocks come from the heap, photo-sized ones are mapped; both must start
// zeroed, because a correction reads the parts of its canvas it never wrote.
TEST(PixelBlockTest, SmallAndLargeBlocksStartZeroed) {
    for (const std::size_t size : {std::size_t{17}, std::size_t{24} << 20}) {
        SCOPED_TRACE(size);
        PixelBlock block;
        ASSERT_TRUE(block.Allocate(size));
        ASSERT_EQ(block.size(), size);
        std::uint8_t any = 0;
        for (std::size_t i = 0; i < size; i += 4093) any |= block.data()[i];
        any |= block.data()[size - 1];
        EXPECT_EQ(any, 0);
        block.data()[size - 1] = 0xAB;  // the last byte is writable
        // A second allocation replaces the content with fresh zeros.
        ASSERT_TRUE(block.Allocate(size));
        EXPECT_EQ(block.data()[size - 1], 0);
    }
}

TEST(PixelBlockTest, MovesHandOverOwnershipAndReleaseEmpties) {
    PixelBlock a;
    ASSERT_TRUE(a.Allocate(std::size_t{8} << 20));
    a.data()[5] = 7;
    PixelBlock b(std::move(a));
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(a.data(), nullptr);
    EXPECT_EQ(b.data()[5], 7);
    PixelBlock c;
    ASSERT_TRUE(c.Allocate(64));
    c = std::move(b);
    EXPECT_EQ(c.size(), std::size_t{8} << 20);
    EXPECT_EQ(c.data()[5], 7);
    c.Release();
    EXPECT_TRUE(c.empty());
    EXPECT_EQ(c.data(), nullptr);
    EXPECT_TRUE(c.Allocate(0));
    EXPECT_TRUE(c.empty());
}

TEST(PixelBlockTest, ImpossibleSizeFailsWithoutThrowing) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer aborts on impossible sizes by design";
#endif
    PixelBlock block;
    EXPECT_FALSE(block.Allocate(~std::size_t{0} / 2));
    EXPECT_TRUE(block.empty());
}

}  // namespace
}  // namespace quillon
