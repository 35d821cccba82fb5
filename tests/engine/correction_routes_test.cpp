#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "engine/fisheye.h"
#include "engine/lens_correction.h"
#include "engine/perspective.h"
#include "engine/run_correction.h"
#include "engine/vignetting.h"
#include "tests/engine/correction_fixture.h"

// RunCorrection over the vignetting, fisheye and perspective routes: the order
// of the steps, composed by hand from the single steps, and the source left
// as it was found.

namespace quillon::engine {
namespace {

using testing::PixelsOf;
using testing::TestEngine;
using testing::TestImage;

struct CorrectionRun {
    TestEngine engine;
    TestImage source;
    TestImage destination;
    CorrectionScratch scratch;
    CorrectionSettings settings;
    LensModel lens;
    LensState lensState;
    std::vector<std::uint8_t> before;

    CorrectionRun(std::int32_t width, std::int32_t height, std::int32_t bits = 24)
        : source(width, height, bits), destination(width, height, bits) {
        settings.CorChoice = kCorrectNeither;
        testing::FillPattern(source.buffer());
        before = source.Pixels();
    }
    Status Correct() {
        const CorrectionInputs inputs{settings, lens, lensState};
        return testing::Correct(source.buffer(), destination.buffer(), inputs, scratch,
                                engine.context);
    }
};

// The source as it was, vignetted in place: the reference for the routes.
TestImage Vignetted(CorrectionRun& run) {
    TestImage image(run.source.buffer().width, run.source.buffer().height,
                    run.source.buffer().bitsPerPixel);
    std::copy(run.before.begin(), run.before.end(), image.data());
    ApplyVignetting(image.buffer(), run.settings, run.engine.pool);
    return image;
}

TEST(CorrectionRoutesTest, VignettingAloneLeavesTheSourceAndFillsTheDestination) {
    CorrectionRun run(41, 30, 48);
    ASSERT_TRUE(run.engine.started);
    run.settings.VigAmount = -70;
    run.settings.VigMidpoint = 10;
    ASSERT_TRUE(run.Correct().ok());
    EXPECT_EQ(run.source.Pixels(), run.before);
    EXPECT_EQ(run.destination.Pixels(), Vignetted(run).Pixels());
    EXPECT_EQ(run.scratch.Bytes(), 0u);
}

TEST(CorrectionRoutesTest, ZeroAmountIsAPlainCopy) {
    CorrectionRun run(40, 30);
    run.settings.VigMidpoint = 90;
    ASSERT_TRUE(run.Correct().ok());
    EXPECT_EQ(run.destination.Pixels(), run.before);
    EXPECT_EQ(run.source.Pixels(), run.before);
}

// Shift values alone must not reach the crop: without perspective or scale
// the canvas path is not entered and nothing is limited.
TEST(CorrectionRoutesTest, ZeroPerspectiveNeverEntersTheCanvas) {
    CorrectionRun run(60, 40);
    run.settings.VigAmount = 30;
    run.settings.PerspectShiftHorz = 300;
    run.settings.PerspectShiftVert = -300;
    const CorrectionInputs inputs{run.settings, run.lens, run.lensState};
    const StatusOr<CorrectionPlan> plan =
        PlanCorrection(run.source.buffer(), inputs, SourceUse::kKeep, run.engine.sink);
    ASSERT_TRUE(plan.ok());
    EXPECT_EQ(plan->canvas.width, 0);
    EXPECT_FALSE(plan->crop.limited);
    EXPECT_EQ(plan->crop.shifts, (CropShifts{300, -300}));
    ASSERT_TRUE(run.Correct().ok());
    EXPECT_EQ(run.scratch.Bytes(), 0u);
    EXPECT_EQ(run.destination.Pixels(), Vignetted(run).Pixels());
}

// Every step in its place: vignetting, the lens correction, then perspective,
// resize and crop on two canvases. Composed by hand from the single steps,
// the bytes must agree.
TEST(CorrectionRoutesTest, AllStepsComposeInOrder) {
    for (const std::int32_t bits : {24, 48}) {
        SCOPED_TRACE(bits);
        CorrectionRun run(61, 43, bits);
        run.settings.VigAmount = 50;
        run.settings.CaRed = 30;
        run.settings.PerspectVert = 15;
        run.settings.PerspectScale = 110;
        run.settings.PerspectShiftVert = 10;
        ASSERT_TRUE(run.Correct().ok());
        EXPECT_EQ(run.source.Pixels(), run.before);

        const CorrectionSettings& settings = run.settings;
        TestImage vignetted = Vignetted(run);
        TestImage corrected(61, 43, bits, 1.8);
        ASSERT_TRUE(RunLensCorrection(corrected.buffer(), vignetted.buffer(), true, false, false,
                                      settings, LensModel{}, run.engine.context)
                        .ok());
        const ImageBuffer first = DescribeCanvas(corrected.buffer(), corrected.data());
        TestImage other(61, 43, bits, 1.8);
        const ImageBuffer second = DescribeCanvas(corrected.buffer(), other.data());
        PlaceOnCanvas(first, corrected.buffer());
        TestImage expected(61, 43, bits);
        const CropWindow crop = PlanCropWindow(61, 43, first, CropShifts{0, 10});
        ASSERT_TRUE(CorrectOnCanvas(first, second, expected.buffer(), true, true, crop, settings,
                                    LensModel{}, run.engine.context)
                        .ok());
        EXPECT_EQ(run.destination.Pixels(), expected.Pixels());
    }
}

TEST(CorrectionRoutesTest, FisheyeThenScale) {
    CorrectionRun run(50, 34);
    run.settings.CorChoice = kCorrectFisheye;
    run.lensState.fisheyeEnabled = true;
    run.settings.CaBlue = -20;
    run.settings.PerspectScale = 90;
    ASSERT_TRUE(run.Correct().ok());
    EXPECT_EQ(run.source.Pixels(), run.before);

    TestImage converted(50, 34, 24, 1.8);
    ASSERT_TRUE(
        RunFisheye(converted.buffer(), run.source.buffer(), true, run.settings, run.engine.context)
            .ok());
    const ImageBuffer first = DescribeCanvas(converted.buffer(), converted.data());
    TestImage other(50, 34, 24, 1.8);
    const ImageBuffer second = DescribeCanvas(converted.buffer(), other.data());
    PlaceOnCanvas(first, converted.buffer());
    TestImage expected(50, 34);
    ASSERT_TRUE(CorrectOnCanvas(first, second, expected.buffer(), false, true,
                                PlanCropWindow(50, 34, first, CropShifts{}), run.settings,
                                LensModel{}, run.engine.context)
                    .ok());
    EXPECT_EQ(run.destination.Pixels(), expected.Pixels());
}

// The limit is the plan's answer; the settings are the caller's to change.
TEST(CorrectionRoutesTest, ShiftLimitIsReportedNotWritten) {
    CorrectionRun run(3000, 4);
    run.settings.PerspectScale = 125;
    run.settings.PerspectShiftHorz = 300;
    const CorrectionInputs inputs{run.settings, run.lens, run.lensState};
    const StatusOr<CorrectionPlan> plan =
        PlanCorrection(run.source.buffer(), inputs, SourceUse::kKeep, run.engine.sink);
    ASSERT_TRUE(plan.ok());
    EXPECT_TRUE(plan->crop.limited);
    EXPECT_EQ(plan->crop.shifts, (CropShifts{50, 0}));
    ASSERT_TRUE(run.Correct().ok());
    EXPECT_EQ(run.settings.PerspectShiftHorz, 300);
    EXPECT_EQ(run.source.Pixels(), run.before);

    CorrectionSettings adopted = run.settings;
    AdoptCropShifts(*plan, adopted);
    EXPECT_EQ(adopted.PerspectShiftHorz, 50);
    EXPECT_EQ(adopted.PerspectShiftVert, 0);
}

TEST(CorrectionRoutesTest, FailureLeavesTheSourceUntouched) {
    CorrectionRun run(40, 30);
    run.settings.VigAmount = 100;
    run.settings.CorChoice = kCorrectFisheye;
    run.lensState.fisheyeEnabled = true;
    // Unclamped and beyond any rectilinear view: the conversion must refuse.
    run.settings.FisheyeDistortion = 400;
    EXPECT_FALSE(run.Correct().ok());
    EXPECT_EQ(run.source.Pixels(), run.before);
}

// Refuses the blocks of two canvases (16/9 of the image each).
class NoCanvasBlocks final : public WorkMemoryGate {
  public:
    explicit NoCanvasBlocks(std::size_t imageBytes) : limit_(imageBytes) {}
    bool MayAllocate(std::size_t bytes) noexcept override { return bytes <= limit_; }

  private:
    std::size_t limit_;
};

TEST(CorrectionRoutesTest, MissingCanvasMemoryStopsBeforeAnythingRuns) {
    CorrectionRun run(40, 30);
    NoCanvasBlocks gate(40 * 30 * 3);
    run.engine.context.memoryGate = &gate;
    run.settings.VigAmount = 100;
    run.settings.PerspectScale = 120;
    run.destination.Fill(9);
    const std::vector<std::uint8_t> untouched = run.destination.Pixels();
    EXPECT_EQ(run.Correct().code(), 1);
    EXPECT_EQ(run.engine.sink.Last(), "Insufficient memory for Perspective adjustments");
    EXPECT_EQ(run.source.Pixels(), run.before);
    EXPECT_EQ(run.destination.Pixels(), untouched);
    // The image stays usable: without perspective the next correction runs.
    run.settings.PerspectScale = 100;
    EXPECT_TRUE(run.Correct().ok());
    EXPECT_EQ(run.destination.Pixels(), Vignetted(run).Pixels());
}

TEST(CorrectionRoutesTest, CanvasBeyondTheSideLimitIsRefusedWhenPlanning) {
    CorrectionRun run(25000, 2);
    run.settings.VigAmount = 100;
    run.settings.PerspectVert = 3;
    const Status status = run.Correct();
    EXPECT_EQ(status.code(), 1);
    EXPECT_EQ(run.engine.sink.Last(), "Insufficient memory for Perspective adjustments");
    EXPECT_EQ(run.source.Pixels(), run.before);
    EXPECT_EQ(run.scratch.Bytes(), 0u);
}

}  // namespace
}  // namespace quillon::engine
