#include "image/current_image.h"

#include <gtest/gtest.h>

#include "platform/message_sink.h"
#include "tests/support/test_allocator.h"

namespace quillon {
namespace {

using testing::TestAllocator;

TEST(CurrentImageTest, PixelsComeFromTheImagesAllocatorAndStayWithIt) {
    TestAllocator allocator;
    platform::CapturingSink sink;
    CurrentImage image(allocator);
    ASSERT_TRUE(AllocateImagePixels(image, 30, 20, 48, sink).ok());
    EXPECT_EQ(allocator.live(), 2);
    EXPECT_EQ(image.input.pixels, image.blocks.source.data());
    EXPECT_EQ(image.output.pixels, image.blocks.work.data());
    EXPECT_EQ(image.blocks.work.size(), 30u * 20u * 6u);
    EXPECT_EQ(image.output.rowBytes, 180);
    EXPECT_FALSE(image.outOfMemory);

    // A released image loads again through the same allocator.
    image.Release();
    EXPECT_EQ(allocator.live(), 0);
    ASSERT_TRUE(AllocateImagePixels(image, 3, 2, 24, sink).ok());
    EXPECT_EQ(allocator.requests(), 4);
    EXPECT_EQ(sink.Count(), 0u);
}

// Whichever block the memory runs out on, the image is left empty and says
// so once; nothing the allocator handed out is kept.
TEST(CurrentImageTest, ARefusedBlockLeavesNoImageAndOneMessage) {
    for (const int failOn : {1, 2}) {
        SCOPED_TRACE(failOn);
        TestAllocator allocator(failOn);
        platform::CapturingSink sink;
        CurrentImage image(allocator);
        EXPECT_FALSE(AllocateImagePixels(image, 30, 20, 24, sink).ok());
        EXPECT_EQ(allocator.live(), 0);
        EXPECT_TRUE(image.blocks.source.empty());
        EXPECT_TRUE(image.blocks.work.empty());
        EXPECT_EQ(image.input.pixels, nullptr);
        EXPECT_EQ(image.input.width, 0);
        EXPECT_TRUE(image.outOfMemory);
        ASSERT_EQ(sink.Count(), 1u);
        EXPECT_EQ(sink.Last(), "allocMem error 2: out of memory");
    }
}

// On a 32-bit build the bytes of the largest photos do not fit in a size: they
// are memory that cannot be had, never a small block the decoder overruns.
TEST(CurrentImageTest, AnImageWhoseBytesDoNotFitInASizeIsOutOfMemory) {
    if (sizeof(std::size_t) > 4) GTEST_SKIP() << "every image fits a 64-bit size";
    TestAllocator allocator;
    platform::CapturingSink sink;
    CurrentImage image(allocator);
    EXPECT_FALSE(AllocateImagePixels(image, 27000, 27000, 48, sink).ok());
    EXPECT_EQ(allocator.requests(), 0);
    EXPECT_TRUE(image.outOfMemory);
    EXPECT_EQ(sink.Last(), "allocMem error 2: out of memory");
}

}  // namespace
}  // namespace quillon
