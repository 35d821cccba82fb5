#include "base/byte_count.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <type_traits>

#include <gtest/gtest.h>

#include "base/image_buffer.h"
#include "base/pixel_block.h"

namespace quillon {
namespace {

using Bytes32 = BasicByteCount<std::uint32_t>;

// What a 32-bit build sees: the largest photo sides times 16-bit RGB wrap
// there, and must be refused rather than come out small.
TEST(ByteCountTest, ProductsThatWrapInThirtyTwoBitsAreRefused) {
    EXPECT_FALSE(Bytes32::Of(27000, 27000, 6).has_value());
    EXPECT_FALSE(Bytes32::Of(kMaxImageSide, kMaxImageSide, 6).has_value());
    EXPECT_FALSE(Bytes32::Of(std::uint64_t{1} << 32).has_value());
    EXPECT_FALSE(Bytes32::Of(65536, 65536).has_value());  // exactly 2^32
    // The order of the factors does not matter, nor where the wrap happens.
    EXPECT_FALSE(Bytes32::Of(6, 27000, 27000).has_value());
    EXPECT_FALSE(Bytes32::Of(1 << 16, 1 << 16, 0).has_value());

    ASSERT_TRUE(Bytes32::Of(65535, 65537).has_value());  // 2^32 - 1
    EXPECT_EQ(Bytes32::Of(65535, 65537)->value(), std::numeric_limits<std::uint32_t>::max());
    ASSERT_TRUE(Bytes32::Of(20000, 20000, 6).has_value());
    EXPECT_EQ(Bytes32::Of(20000, 20000, 6)->value(), 2'400'000'000u);

    // The same image fits a 64-bit size.
    using Bytes64 = BasicByteCount<std::uint64_t>;
    ASSERT_TRUE(Bytes64::Of(27000, 27000, 6).has_value());
    EXPECT_EQ(Bytes64::Of(27000, 27000, 6)->value(), 4'374'000'000u);
    EXPECT_FALSE(Bytes64::Of(std::uint64_t{1} << 32, std::uint64_t{1} << 32).has_value());
}

TEST(ByteCountTest, NegativeFactorsAreRefusedAndZeroIsNoBytes) {
    EXPECT_FALSE(ByteCount::Of(-1).has_value());
    EXPECT_FALSE(ByteCount::Of(std::int64_t{-4}, std::int64_t{-4}).has_value());
    EXPECT_FALSE(ByteCount::Of(0, -1).has_value());
    EXPECT_EQ(ByteCount::Of(std::int32_t{100}, std::int64_t{0})->value(), 0u);
    EXPECT_EQ(ByteCount{}.value(), 0u);
    static_assert(ByteCount::Of(3, 5)->value() == 15);
}

template <class Count>
concept BlockSizedBy = requires(PixelBlock& block, Count count) {
    block.Allocate(count);
};

// Pixel memory cannot be asked for in a raw size, so every allocation goes
// through the check.
TEST(ByteCountTest, PixelBlocksTakeOnlyCheckedCounts) {
    static_assert(BlockSizedBy<ByteCount>);
    static_assert(!BlockSizedBy<std::size_t>);
    static_assert(!BlockSizedBy<std::int64_t>);
    static_assert(!BlockSizedBy<int>);
    static_assert(!std::is_constructible_v<ByteCount, std::size_t>);
    PixelBlock block;
    ASSERT_TRUE(block.Allocate(ByteCount::Of(16)));
    EXPECT_FALSE(block.Allocate(std::optional<ByteCount>{}));
    EXPECT_TRUE(block.empty());
}

}  // namespace
}  // namespace quillon
