#include <vector>

#include <gtest/gtest.h>

#include "engine/fisheye.h"
#include "engine/lens_correction.h"
#include "engine/perspective.h"
#include "engine/run_correction.h"
#include "engine/vignetting.h"
#include "tests/engine/correction_fixture.h"

// RunCorrection over the vignetting, fisheye and perspective routes: the order
// of the steps, the canvas blocks, and the source left as it was found.

namespace quillon::engine {
namespace {

using testing::PixelsOf;
using testing::TestBlocks;
using testing::TestEngine;
using testing::TestImage;

struct CorrectionRun {
    TestEngine engine;
    TestBlocks img;
    CorrectionSettings settings;
    LensModel lens;
    LensState lensState;
    std::vector<std::uint8_t> before;

    CorrectionRun(std::int32_t width, std::int32_t height, std::int32_t bits = 24)
        : img(width, height, bits) {
        settings.CorChoice = kCorrectNeither;
        testing::FillPattern(img.source);
        before = PixelsOf(img.source);
    }
    Status Correct(bool isPreview = false) {
        CorrectionInputs inputs{settings, lens, lensState};
        return RunCorrection(img.destination, img.source, isPreview, img.blocks, inputs,
                             engine.context);
    }
};

TEST(CorrectionRoutesTest, VignettingAloneLeavesTheSourceAndFillsTheDestination) {
    CorrectionRun run(41, 30, 48);
    ASSERT_TRUE(run.engine.started && run.img.allocated);
    run.settings.VigAmount = -70;
    run.settings.VigMidpoint = 10;
    ASSERT_TRUE(run.Correct().ok());
    EXPECT_EQ(PixelsOf(run.img.source), run.before);

    TestImage expected(41, 30, 48);
    expected.bytes.assign(run.before.begin(), run.before.end());
    expected.image.pixels = expected.bytes.data();
    ApplyVignetting(expected.image, run.settings, run.engine.pool);
    EXPECT_EQ(PixelsOf(run.img.destination), expected.Pixels());
}

TEST(CorrectionRoutesTest, ZeroAmountIsAPlainCopy) {
    CorrectionRun run(40, 30);
    run.settings.VigMidpoint = 90;
    ASSERT_TRUE(run.Correct().ok());
    EXPECT_EQ(PixelsOf(run.img.destination), run.before);
    EXPECT_EQ(PixelsOf(run.img.source), run.before);
}

// Shift values alone must not reach the crop: without perspective or scale the
// canvas path is not entered, the blocks stay as they are and nothing is
// written back.
TEST(CorrectionRoutesTest, ZeroPerspectiveNeverEntersTheCanvas) {
    CorrectionRun run(60, 40);
    run.settings.VigAmount = 30;
    run.settings.PerspectShiftHorz = 300;
    run.settings.PerspectShiftVert = -300;
    const std::size_t blockSize = run.img.blocks.source.size();
    ASSERT_TRUE(run.Correct().ok());
    EXPECT_FALSE(run.img.blocks.enlarged);
    EXPECT_EQ(run.img.blocks.source.size(), blockSize);
    EXPECT_EQ(run.settings.PerspectShiftHorz, 300);
    EXPECT_EQ(run.settings.PerspectShiftVert, -300);
    TestImage expected(60, 40);
    expected.bytes.assign(run.before.begin(), run.before.end());
    expected.image.pixels = expected.bytes.data();
    ApplyVignetting(expected.image, run.settings, run.engine.pool);
    EXPECT_EQ(PixelsOf(run.img.destination), expected.Pixels());
}

// Every step in its place: vignetting on the source, the lens correction into
// the destination, then perspective, resize and crop on canvases in the two
// blocks. Composed by hand from the single steps, the bytes must agree.
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
        EXPECT_TRUE(run.img.blocks.enlarged);
        EXPECT_EQ(PixelsOf(run.img.source), run.before);

        CorrectionSettings settings = run.settings;
        TestImage vignetted(61, 43, bits, 1.8);
        std::copy(run.before.begin(), run.before.end(), vignetted.bytes.begin());
        ApplyVignetting(vignetted.image, settings, run.engine.pool);
        TestImage corrected(61, 43, bits, 1.8);
        ASSERT_TRUE(RunLensCorrection(corrected.image, vignetted.image, true, false, false,
                                      settings, LensModel{}, run.engine.context)
                        .ok());
        TestImage expected(61, 43, bits);
        ASSERT_TRUE(CorrectOnCanvas(corrected.image, vignetted.bytes.data(), expected.image, true,
                                    true, settings, LensModel{}, run.engine.context)
                        .ok());
        EXPECT_EQ(PixelsOf(run.img.destination), expected.Pixels());
    }
}

TEST(CorrectionRoutesTest, FisheyeThenScale) {
    CorrectionRun run(50, 34);
    run.settings.CorChoice = kCorrectFisheye;
    run.lensState.fisheyeEnabled = true;
    run.settings.CaBlue = -20;
    run.settings.PerspectScale = 90;
    ASSERT_TRUE(run.Correct().ok());
    EXPECT_EQ(PixelsOf(run.img.source), run.before);

    CorrectionSettings settings = run.settings;
    TestImage source(50, 34, 24, 1.8);
    std::copy(run.before.begin(), run.before.end(), source.bytes.begin());
    TestImage converted(50, 34, 24, 1.8);
    ASSERT_TRUE(RunFisheye(converted.image, source.image, true, settings, run.engine.context).ok());
    TestImage expected(50, 34);
    ASSERT_TRUE(CorrectOnCanvas(converted.image, source.bytes.data(), expected.image, false, true,
                                settings, LensModel{}, run.engine.context)
                    .ok());
    EXPECT_EQ(PixelsOf(run.img.destination), expected.Pixels());
}

TEST(CorrectionRoutesTest, ShiftLimitIsWrittenBackThroughTheCorrection) {
    CorrectionRun run(3000, 4);
    run.settings.PerspectScale = 125;
    run.settings.PerspectShiftHorz = 300;
    ASSERT_TRUE(run.Correct().ok());
    EXPECT_EQ(run.settings.PerspectShiftHorz, 50);
    EXPECT_EQ(PixelsOf(run.img.source), run.before);
}

TEST(CorrectionRoutesTest, PreviewBlocksSetUpLargeAreUsedAsTheyAre) {
    TestEngine engine;
    TestBlocks img(40, 30, 24, true);
    testing::FillPattern(img.source);
    const std::vector<std::uint8_t> before = PixelsOf(img.source);
    std::uint8_t* const sourceBlock = img.blocks.source.data();
    CorrectionSettings settings;
    settings.PerspectRotate = 25;
    LensModel lens;
    CorrectionInputs inputs{settings, lens, LensState{}};
    ASSERT_TRUE(
        RunCorrection(img.destination, img.source, true, img.blocks, inputs, engine.context).ok());
    EXPECT_EQ(img.blocks.source.data(), sourceBlock);
    EXPECT_EQ(PixelsOf(img.source), before);
}

TEST(CorrectionRoutesTest, FailureAfterVignettingRestoresTheSource) {
    CorrectionRun run(40, 30);
    run.settings.VigAmount = 100;
    run.settings.CorChoice = kCorrectFisheye;
    run.lensState.fisheyeEnabled = true;
    // Unclamped and beyond any rectilinear view: the conversion must refuse.
    run.settings.FisheyeDistortion = 400;
    EXPECT_FALSE(run.Correct().ok());
    EXPECT_EQ(PixelsOf(run.img.source), run.before);
}

// Refuses the blocks of an enlargement (16/9 of the image).
class NoEnlargedBlocks final : public WorkMemoryGate {
  public:
    explicit NoEnlargedBlocks(std::size_t imageBytes) : limit_(imageBytes) {}
    bool MayAllocate(std::size_t bytes) noexcept override { return bytes <= limit_; }

  private:
    std::size_t limit_;
};

TEST(CorrectionRoutesTest, FailedEnlargementStopsBeforeAnythingChanges) {
    CorrectionRun run(40, 30);
    NoEnlargedBlocks gate(40 * 30 * 3);
    run.engine.context.memoryGate = &gate;
    run.settings.VigAmount = 100;
    run.settings.PerspectScale = 120;
    EXPECT_EQ(run.Correct().code(), 1);
    EXPECT_EQ(run.engine.sink.Last(), "Insufficient memory for Perspective adjustments");
    EXPECT_EQ(PixelsOf(run.img.source), run.before);
    EXPECT_FALSE(run.img.blocks.enlarged);
    // The image stays usable: without perspective the next correction runs.
    run.settings.PerspectScale = 100;
    EXPECT_TRUE(run.Correct().ok());
    EXPECT_EQ(PixelsOf(run.img.source), run.before);
}

TEST(CorrectionRoutesTest, CanvasBeyondTheSideLimitIsRefusedUntouched) {
    CorrectionRun run(25000, 2);
    run.settings.VigAmount = 100;
    run.settings.PerspectVert = 3;
    const Status status = run.Correct();
    EXPECT_EQ(status.code(), 1);
    EXPECT_EQ(run.engine.sink.Last(), "Insufficient memory for Perspective adjustments");
    EXPECT_EQ(PixelsOf(run.img.source), run.before);
    EXPECT_FALSE(run.img.blocks.enlarged);
}

}  // namespace
}  // namespace quillon::engine
