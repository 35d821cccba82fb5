#include "app/window_core/value_rules.h"

#include <set>

#include <gtest/gtest.h>

namespace quillon::app {
namespace {

const ValueRange kCa{-100, 100, ValueFormat::kTenThousandths};
const ValueRange kRotate{-50, 50, ValueFormat::kTenths};
const ValueRange kAmount{-100, 100, ValueFormat::kWhole};
const ValueRange kZoom{0, kMaxCaZoom, ValueFormat::kZoomPercent};

TEST(ValueRulesTest, FormatsShowTheUnitsTheUserThinksIn) {
    EXPECT_EQ(FormatValue(ValueFormat::kWhole, -7), "-7");
    EXPECT_EQ(FormatValue(ValueFormat::kTenths, 15), "1.5");
    EXPECT_EQ(FormatValue(ValueFormat::kTenths, -5), "-0.5");
    EXPECT_EQ(FormatValue(ValueFormat::kTenths, 0), "0.0");
    EXPECT_EQ(FormatValue(ValueFormat::kTenths, -100), "-10.0");
    // Sign always, zero-padded to seven characters.
    EXPECT_EQ(FormatValue(ValueFormat::kTenThousandths, 1), "+0.0001");
    EXPECT_EQ(FormatValue(ValueFormat::kTenThousandths, -57), "-0.0057");
    EXPECT_EQ(FormatValue(ValueFormat::kTenThousandths, 0), "+0.0000");
    EXPECT_EQ(FormatValue(ValueFormat::kTenThousandths, 100), "+0.0100");
    EXPECT_EQ(FormatValue(ValueFormat::kZoomPercent, 0), "");
    EXPECT_EQ(FormatValue(ValueFormat::kZoomPercent, 1), "100%");
    EXPECT_EQ(FormatValue(ValueFormat::kZoomPercent, 16), "250%");
    EXPECT_EQ(FormatValue(ValueFormat::kZoomPercent, 71), "800%");
}

TEST(ValueRulesTest, TypedFractionsRoundAwayFromZeroByATenth) {
    // 0.00015 x 10000 = 1.5, plus 0.1 is 1.6, cut to 1.
    EXPECT_EQ(ReadTypedValue(kCa, "0.00015"), 1);
    EXPECT_EQ(ReadTypedValue(kCa, "-0.00015"), -1);
    // Decimal fractions a hair below their value in binary still give it:
    // 0.0003 x 10000 and 0.3 x 10 both come out just under 3.
    EXPECT_EQ(ReadTypedValue(kCa, "0.0003"), 3);
    EXPECT_EQ(ReadTypedValue(kRotate, "0.3"), 3);
    EXPECT_EQ(ReadTypedValue(kRotate, "-2.55"), -25);
    EXPECT_EQ(ReadTypedValue(kRotate, "5"), 50);
    EXPECT_EQ(ReadTypedValue(kCa, "1e-4"), 1);
}

TEST(ValueRulesTest, TextsThatDoNotReadOrLieOutsideTheRangeAreDiscarded) {
    for (const char* text : {"", "abc", "1.2.3", "+-4", "--4", "4x", "nan", "inf", "0x10"}) {
        EXPECT_FALSE(ReadTypedValue(kAmount, text).has_value()) << text;
        EXPECT_FALSE(ReadTypedValue(kCa, text).has_value()) << text;
    }
    EXPECT_FALSE(ReadTypedValue(kAmount, "42.5").has_value());  // whole numbers only
    EXPECT_FALSE(ReadTypedValue(kAmount, "101").has_value());
    EXPECT_FALSE(ReadTypedValue(kAmount, "99999999999999999999").has_value());
    EXPECT_FALSE(ReadTypedValue(kCa, "0.011").has_value());
    EXPECT_FALSE(ReadTypedValue(kRotate, "5.1").has_value());
    EXPECT_FALSE(ReadTypedValue(kCa, "1e300").has_value());
    EXPECT_EQ(ReadTypedValue(kAmount, " +42\t"), 42);
    EXPECT_EQ(ReadTypedValue(kAmount, "-100"), -100);
}

TEST(ValueRulesTest, ZoomPercentagesBecomeSteps) {
    EXPECT_EQ(ReadTypedValue(kZoom, "250"), 16);
    EXPECT_EQ(ReadTypedValue(kZoom, "250%"), 16);  // as the edit shows it
    EXPECT_EQ(ReadTypedValue(kZoom, " 250 % "), 16);
    EXPECT_EQ(ReadTypedValue(kZoom, ""), 0);
    EXPECT_EQ(ReadTypedValue(kZoom, "100"), 1);
    EXPECT_EQ(ReadTypedValue(kZoom, "800"), 71);
    EXPECT_EQ(ReadTypedValue(kZoom, "90"), 0);
    EXPECT_FALSE(ReadTypedValue(kZoom, "900").has_value());
    EXPECT_FALSE(ReadTypedValue(kZoom, "80").has_value());
    EXPECT_EQ(ReadTypedValue(kZoom, "%"), 0);
    EXPECT_FALSE(ReadTypedValue(kZoom, "2.5e2").has_value());
}

// Whatever an edit shows must read back as the value shown, or leaving an
// edit untouched would change the value.
TEST(ValueRulesTest, EveryShownValueReadsBackAsItself) {
    std::set<ControlId> ids;
    for (const ValueControlInfo& info : AllValueControls()) {
        EXPECT_TRUE(ids.insert(info.slider).second);
        EXPECT_TRUE(ids.insert(info.edit).second);
        for (std::int32_t v = info.range.minimum; v <= info.range.maximum; ++v) {
            const std::string text = FormatValue(info.range.format, v);
            EXPECT_EQ(ReadTypedValue(info.range, text), v) << text;
        }
    }
}

TEST(ValueRulesTest, StepsAreClampedToTheRange) {
    EXPECT_EQ(StepSize(true, false), 1);
    EXPECT_EQ(StepSize(false, false), -1);
    EXPECT_EQ(StepSize(true, true), 10);
    EXPECT_EQ(StepSize(false, true), -10);
    // Shift + Up at 95 gives 100, not 105.
    EXPECT_EQ(StepValue(kAmount, 95, StepSize(true, true)), 100);
    EXPECT_EQ(StepValue(kAmount, -95, StepSize(false, true)), -100);
    EXPECT_EQ(StepValue(kZoom, 0, -1), 0);
    EXPECT_EQ(StepValue(kAmount, 3, 2'000'000'000), 100);
}

TEST(ValueRulesTest, LeavingAnEditKeepsAReadableValueAndRestoresADiscardedOne) {
    const TypedOutcome taken = CommitTypedText(kCa, 0, "0.00015");
    EXPECT_TRUE(taken.accepted);
    EXPECT_EQ(taken.value, 1);
    EXPECT_EQ(taken.text, "+0.0001");
    EXPECT_FALSE(taken.selectAll);

    const TypedOutcome refused = CommitTypedText(kZoom, 16, "900");
    EXPECT_FALSE(refused.accepted);
    EXPECT_EQ(refused.value, 16);
    EXPECT_EQ(refused.text, "250%");
    EXPECT_TRUE(refused.selectAll);
}

TEST(ValueRulesTest, WheelMovementCountsWholeNotchesInItsDirection) {
    WheelNotches wheel;
    EXPECT_EQ(wheel.Add(120), 1);
    EXPECT_EQ(wheel.Add(-240), -2);
    // A fine-grained wheel reports parts of a notch.
    EXPECT_EQ(wheel.Add(60), 0);
    EXPECT_EQ(wheel.Add(60), 1);
    // Turning back drops the part of a notch collected the other way.
    EXPECT_EQ(wheel.Add(100), 0);
    EXPECT_EQ(wheel.Add(-100), 0);
    EXPECT_EQ(wheel.Add(-20), -1);
}

}  // namespace
}  // namespace quillon::app
