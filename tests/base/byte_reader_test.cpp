#include "base/byte_reader.h"

#include <vector>

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(ByteReaderTest, ReadsBothByteOrders) {
    const std::vector<std::uint8_t> bytes = {0x12, 0x34, 0x56, 0x78};
    ByteReader le(bytes, ByteOrder::kLittle);
    EXPECT_EQ(le.U16(0), 0x3412);
    EXPECT_EQ(le.U32(0), 0x78563412u);
    ByteReader be(bytes, ByteOrder::kBig);
    EXPECT_EQ(be.U16(2), 0x5678);
    EXPECT_EQ(be.U32(0), 0x12345678u);
    EXPECT_EQ(be.I16(0), 0x1234);
}

// An offset one byte before the end must not let a two-byte read through, and a
// huge offset must not wrap around when the count is added.
TEST(ByteReaderTest, RefusesEveryReadThatLeavesTheBlock) {
    const std::vector<std::uint8_t> bytes = {1, 2, 3};
    ByteReader r(bytes);
    EXPECT_FALSE(r.U16(2).has_value());
    EXPECT_FALSE(r.U32(0).has_value());
    EXPECT_FALSE(r.U8(3).has_value());
    EXPECT_FALSE(r.Slice(1, ~0ull).has_value());
    EXPECT_FALSE(r.Slice(~0ull, 1).has_value());
    EXPECT_TRUE(r.Slice(3, 0).has_value());
    EXPECT_FALSE(r.Fits(4, 0));
}

TEST(ByteReaderTest, TextStopsAtNulOrEndOfBlock) {
    const std::vector<std::uint8_t> bytes = {'a', 'b', 0, 'c', 'd'};
    ByteReader r(bytes);
    EXPECT_EQ(r.Text(0, 10), "ab");
    EXPECT_EQ(r.Text(3, 10), "cd");  // no terminator inside the block
    EXPECT_EQ(r.Text(3, 1), "c");
    EXPECT_EQ(r.Text(9, 10), "");
}

}  // namespace
}  // namespace quillon
