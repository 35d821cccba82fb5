#include "engine/transform_stack.h"

#include <gtest/gtest.h>

namespace quillon::engine {
namespace {

TEST(TransformStackTest, EmptyStackIsIdentity) {
    TransformStack stack;
    const Point p = ExecuteStack(Point{1.5, -2.0}, stack);
    EXPECT_EQ(p.x, 1.5);
    EXPECT_EQ(p.y, -2.0);
}

}  // namespace
}  // namespace quillon::engine
