#include "base/pixel_block.h"

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace quillon {
namespace {

// Small blocks come from the heap, photo-sized ones are mapped; both must start
// zeroed, because a correction reads the parts of its canvas it never wrote.
TEST(PixelBlockTest, SmallAndLargeBlocksStartZeroed) {
    for (const std::size_t size : {std::size_t{17}, std::size_t{24} << 20}) {
        SCOPED_TRACE(size);
        PixelBlock block;
        ASSERT_TRUE(block.Allocate(ByteCount::Of(size)));
        ASSERT_EQ(block.size(), size);
        std::uint8_t any = 0;
        for (std::size_t i = 0; i < size; i += 4093) any |= block.data()[i];
        any |= block.data()[size - 1];
        EXPECT_EQ(any, 0);
        block.data()[size - 1] = 0xAB;  // the last byte is writable
        // A second allocation replaces the content with fresh zeros.
        ASSERT_TRUE(block.Allocate(ByteCount::Of(size)));
        EXPECT_EQ(block.data()[size - 1], 0);
    }
}

TEST(PixelBlockTest, MovesHandOverOwnershipAndReleaseEmpties) {
    PixelBlock a;
    ASSERT_TRUE(a.Allocate(ByteCount::Of(std::size_t{8} << 20)));
    a.data()[5] = 7;
    PixelBlock b(std::move(a));
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(a.data(), nullptr);
    EXPECT_EQ(b.data()[5], 7);
    PixelBlock c;
    ASSERT_TRUE(c.Allocate(ByteCount::Of(64)));
    c = std::move(b);
    EXPECT_EQ(c.size(), std::size_t{8} << 20);
    EXPECT_EQ(c.data()[5], 7);
    c.Release();
    EXPECT_TRUE(c.empty());
    EXPECT_EQ(c.data(), nullptr);
    EXPECT_TRUE(c.Allocate(ByteCount::Of(0)));
    EXPECT_TRUE(c.empty());
}

TEST(PixelBlockTest, ImpossibleSizeFailsWithoutThrowing) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer aborts on impossible sizes by design";
#endif
    PixelBlock block;
    // More than any address space holds, 32-bit or 64-bit.
    EXPECT_FALSE(block.Allocate(ByteCount::Of(~std::size_t{0} - 4095)));
    EXPECT_TRUE(block.empty());
}

// Hands out heap memory, remembers what is live and fails the n-th request.
class CountingAllocator final : public BlockAllocator {
  public:
    std::uint8_t* Allocate(std::size_t size, std::uintptr_t& token) noexcept override {
        if (++requests == failOn) return nullptr;
        auto* p = static_cast<std::uint8_t*>(std::malloc(size));
        std::memset(p, 0, size);
        token = ++lastToken;
        live.push_back(token);
        return p;
    }
    void Free(std::uint8_t* data, std::size_t, std::uintptr_t token) noexcept override {
        std::erase(live, token);
        freed.push_back(token);
        std::free(data);
    }
    int requests = 0;
    int failOn = 0;
    std::uintptr_t lastToken = 100;
    std::vector<std::uintptr_t> live;
    std::vector<std::uintptr_t> freed;
};

// Each block gives its memory back to the allocator it came from, with the
// token it got, also after a move into a block of another allocator.
TEST(PixelBlockTest, BlocksReturnTheirMemoryToTheirOwnAllocator) {
    CountingAllocator host;
    {
        PixelBlock a(host);
        ASSERT_TRUE(a.Allocate(ByteCount::Of(100)));
        EXPECT_EQ(host.live, std::vector<std::uintptr_t>{101});
        ASSERT_TRUE(a.Allocate(ByteCount::Of(200)));  // the old block goes back first
        EXPECT_EQ(host.freed, std::vector<std::uintptr_t>{101});
        EXPECT_EQ(host.live, std::vector<std::uintptr_t>{102});

        PixelBlock system;
        ASSERT_TRUE(system.Allocate(ByteCount::Of(64)));
        system = std::move(a);  // now owns the host's block
        EXPECT_EQ(&system.allocator(), &host);
        PixelBlock replacement(system.allocator());
        ASSERT_TRUE(replacement.Allocate(ByteCount::Of(32)));
        EXPECT_EQ(host.live.size(), 2u);
    }
    EXPECT_TRUE(host.live.empty());
    EXPECT_EQ(host.requests, 3);
}

TEST(PixelBlockTest, RefusedRequestLeavesTheBlockEmpty) {
    CountingAllocator host;
    host.failOn = 2;
    PixelBlock a(host);
    ASSERT_TRUE(a.Allocate(ByteCount::Of(16)));
    EXPECT_FALSE(a.Allocate(ByteCount::Of(16)));
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(a.data(), nullptr);
    EXPECT_TRUE(host.live.empty());
}

}  // namespace
}  // namespace quillon
