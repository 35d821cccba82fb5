#include <vector>

#include <gtest/gtest.h>

#include "engine/lens_correction.h"
#include "engine/remap.h"

namespace quillon::engine {
namespace {

TEST(SmokeTest, IdentityAndBarrel) {
    platform::CapturingSink sink;
    WorkerPool pool;
    std::int32_t processors = 2;
    ASSERT_TRUE(CreateWorkerPool(pool, processors, sink).ok());
    EngineContext ctx{pool, sink};
    std::vector<std::uint8_t> a(17 * 15 * 3), b(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<std::uint8_t>(i * 7);
    ImageBuffer s = DescribeImage(17, 15, 24, a.data());
    ImageBuffer d = DescribeImage(17, 15, 24, b.data());
    TransformStack stack;
    ASSERT_TRUE(RemapImage(s, d, stack, ChannelPass::kAll, ctx).ok());
    EXPECT_EQ(a, b);
}

}  // namespace
}  // namespace quillon::engine
