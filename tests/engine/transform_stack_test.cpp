#include "engine/transform_stack.h"

#include <cmath>

#include <gtest/gtest.h>

namespace quillon::engine {
namespace {

TEST(TransformStackTest, EmptyStackIsIdentity) {
    const TransformStack stack;
    const Point p = ExecuteStack(Point{1.5, -2.0}, stack);
    EXPECT_EQ(p.x, 1.5);
    EXPECT_EQ(p.y, -2.0);
    EXPECT_EQ(stack.stages()[0].function, nullptr);
}

// Stages run in the order they were added, each on the previous one's
// output: shifting then scaling differs from scaling then shifting.
TEST(TransformStackTest, StagesRunInOrderAndNest) {
    ShiftParams shift{2.0};
    ScaleXYParams scale{3.0, 0.5};
    TransformStack shiftThenScale;
    ASSERT_TRUE(shiftThenScale.Add(ShiftX, &shift));
    ASSERT_TRUE(shiftThenScale.Add(ScaleXY, &scale));
    Point p = ExecuteStack(Point{1.0, 4.0}, shiftThenScale);
    EXPECT_EQ(p.x, 9.0);
    EXPECT_EQ(p.y, 2.0);

    TransformStack scaleThenShift;
    ASSERT_TRUE(scaleThenShift.Add(ScaleXY, &scale));
    ASSERT_TRUE(scaleThenShift.Add(ShiftX, &shift));
    p = ExecuteStack(Point{1.0, 4.0}, scaleThenShift);
    EXPECT_EQ(p.x, 5.0);

    ShiftParams down{-1.0};
    TransformStack outer;
    ASSERT_TRUE(outer.AddStack(shiftThenScale));
    ASSERT_TRUE(outer.Add(ShiftY, &down));
    p = ExecuteStack(Point{1.0, 4.0}, outer);
    EXPECT_EQ(p.x, 9.0);
    EXPECT_EQ(p.y, 1.0);
}

TEST(TransformStackTest, RefusesStagesBeyondCapacityAndItself) {
    ShiftParams one{1.0};
    TransformStack stack;
    for (std::size_t i = 0; i < TransformStack::kCapacity; ++i)
        ASSERT_TRUE(stack.Add(ShiftX, &one));
    EXPECT_FALSE(stack.Add(ShiftX, &one));
    EXPECT_EQ(stack.size(), TransformStack::kCapacity);
    EXPECT_EQ(ExecuteStack(Point{0.0, 0.0}, stack).x, double(TransformStack::kCapacity));
    EXPECT_FALSE(stack.AddStack(stack));
    TransformStack other;
    EXPECT_FALSE(other.Add(nullptr, &one));
    EXPECT_FALSE(other.AddStack(other));
    EXPECT_TRUE(other.empty());
}

TEST(RadialScaleTest, ScalesByThePolynomialOfTheNormalisedRadius) {
    RadialScaleParams params;
    params.terms = RadialTerms{1.01, 0.02, -0.03, 0.04, 2.0};
    params.radius = 50.0;
    const Point p = RadialScale(Point{30.0, -40.0}, &params);  // r = 1
    const double s = 1.01 + 0.02 - 0.03 + 0.04;
    EXPECT_NEAR(p.x, 30.0 * s, 1e-12);
    EXPECT_NEAR(p.y, -40.0 * s, 1e-12);

    // The centre keeps its place whatever the terms.
    const Point centre = RadialScale(Point{0.0, 0.0}, &params);
    EXPECT_EQ(centre.x, 0.0);
    EXPECT_EQ(centre.y, 0.0);

    // At the limit and beyond, the point is thrown far outside.
    const Point edge = RadialScale(Point{60.0, 80.0}, &params);  // r = 2
    EXPECT_EQ(edge.x, 60000.0);
    EXPECT_EQ(edge.y, 80000.0);
    const Point inside = RadialScale(Point{59.9, 80.0}, &params);
    EXPECT_LT(inside.x, 100.0);
}

TEST(RadialScaleTest, NeutralTermsAreExactIdentity) {
    RadialScaleParams params;
    params.radius = 7.5;
    for (double x = -20.0; x <= 20.0; x += 0.5) {
        const Point p = RadialScale(Point{x, -x / 3}, &params);
        EXPECT_EQ(p.x, x);
        EXPECT_EQ(p.y, -x / 3);
    }
}

}  // namespace
}  // namespace quillon::engine
