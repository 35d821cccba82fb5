#include "engine/run_correction.h"

#include <atomic>
#include <cstring>

#include <gtest/gtest.h>

#include "engine/lens_correction.h"
#include "tests/engine/engine_test_support.h"

namespace quillon::engine {
namespace {

using testing::Engine;
using testing::NoisyImage;
using testing::TestImage;

// One image as the program state holds it: source and work blocks with their
// descriptions, and a backup block.
struct StateImage {
    StateImage(std::int32_t width, std::int32_t height, std::int32_t bits, std::uint32_t seed) {
        const TestImage content = NoisyImage(width, height, bits, seed);
        const auto size = content.bytes().size();
        EXPECT_TRUE(blocks.source.Allocate(size));
        EXPECT_TRUE(blocks.work.Allocate(size));
        EXPECT_TRUE(blocks.backup.Allocate(size));
        std::memcpy(blocks.source.data(), content.bytes().data(), size);
        std::memset(blocks.work.data(), 0xA5, size);
        source = DescribeImage(width, height, bits, blocks.source.data());
        destination = DescribeImage(width, height, bits, blocks.work.data());
        original = content.bytes();
    }
    std::vector<std::uint8_t> Source() const {
        return {blocks.source.data(), blocks.source.data() + blocks.source.size()};
    }
    std::vector<std::uint8_t> Result() const {
        return {blocks.work.data(), blocks.work.data() + blocks.work.size()};
    }

    ImageBlocks blocks;
    ImageBuffer source;
    ImageBuffer destination;
    std::vector<std::uint8_t> original;
};

const LensModel kBarrel{0.01f, -0.035f, 0.02f, 1.005f};
constexpr LensState kLensUsable{true, false};

TEST(DecideCorrectionsTest, WhatIsActive) {
    CorrectionSettings s;
    EXPECT_FALSE(DecideCorrections(s, kBarrel, LensState{}).Any());
    EXPECT_TRUE(DecideCorrections(s, kBarrel, kLensUsable).distortion);
    EXPECT_FALSE(DecideCorrections(s, LensModel{0, 0, 0, 1}, kLensUsable).distortion);
    s.CorChoice = 7;  // beyond the kinds: neither
    EXPECT_FALSE(DecideCorrections(s, kBarrel, LensState{true, true}).Any());
    s.CorChoice = kCorrectFisheye;
    EXPECT_FALSE(DecideCorrections(s, kBarrel, kLensUsable).Any());
    EXPECT_TRUE(DecideCorrections(s, kBarrel, LensState{false, true}).fisheye);
    s = CorrectionSettings{};
    s.CaBlue = 1;
    s.VigAmount = -1;
    s.PerspectRotate = 2;
    s.PerspectScale = 101;
    const ActiveCorrections a = DecideCorrections(s, kBarrel, LensState{});
    EXPECT_TRUE(a.chromaticAberration && a.vignetting && a.perspective && a.scale);
    EXPECT_FALSE(a.distortion || a.fisheye);
}

// All at defaults with CorChoice 2: the destination is a byte copy.
TEST(RunCorrectionTest, NothingActiveCopies) {
    Engine engine;
    EngineContext context = engine.Context();
    StateImage image(17, 15, 24, 1);
    CorrectionSettings settings;
    settings.CorChoice = kCorrectNeither;
    CorrectionInputs inputs{settings, kBarrel, kLensUsable};
    ASSERT_TRUE(
        RunCorrection(image.destination, image.source, false, image.blocks, inputs, context).ok());
    EXPECT_EQ(image.Result(), image.original);
    EXPECT_EQ(image.Source(), image.original);
}

// Distortion with chromatic aberration gives what the lens correction gives,
// and the source is as it was.
TEST(RunCorrectionTest, DistortionAndChromaticAberration) {
    Engine engine(3);
    EngineContext context = engine.Context();
    for (const std::int32_t bits : {24, 48}) {
        StateImage image(61, 40, bits, 2);
        CorrectionSettings settings;
        settings.CaRed = 40;
        CorrectionInputs inputs{settings, kBarrel, kLensUsable};
        ASSERT_TRUE(
            RunCorrection(image.destination, image.source, true, image.blocks, inputs, context)
                .ok());
        EXPECT_EQ(image.Source(), image.original);

        TestImage expected(61, 40, bits);
        ASSERT_TRUE(RunLensCorrection(expected.buffer(), image.source, true, true, false, settings,
                                      kBarrel, context)
                        .ok());
        EXPECT_EQ(image.Result(), expected.bytes());
        EXPECT_NE(image.Result(), image.original);
    }
}

// Refuses every allocation of band work memory.
class NoBandMemory final : public WorkMemoryGate {
  public:
    bool MayAllocate(std::size_t bytes) noexcept override {
        return bytes != (61 + 20) * (2 * sizeof(double) + 1);
    }
};

// A failure after the backup was taken: the status comes back, and the source
// is the same byte for byte.
TEST(RunCorrectionTest, FailureLeavesTheSourceUnchanged) {
    Engine engine(2);
    EngineContext context = engine.Context();
    NoBandMemory gate;
    context.memoryGate = &gate;
    StateImage image(61, 40, 24, 3);
    CorrectionSettings settings;
    CorrectionInputs inputs{settings, kBarrel, kLensUsable};
    EXPECT_FALSE(
        RunCorrection(image.destination, image.source, false, image.blocks, inputs, context).ok());
    EXPECT_EQ(image.Source(), image.original);
    EXPECT_EQ(engine.sink.Last(), "Insufficient memory");
}

TEST(RunCorrectionTest, RefusesHugeAndMismatchedImages) {
    Engine engine;
    EngineContext context = engine.Context();
    StateImage image(20, 10, 24, 5);
    CorrectionSettings settings;
    CorrectionInputs inputs{settings, kBarrel, kLensUsable};
    ImageBuffer wide = image.source;
    wide.width = 40000;
    wide.rowBytes = 120000;
    wide.dataSize = 1200000;
    ImageBuffer wideDestination = wide;
    wideDestination.pixels = image.blocks.work.data();
    EXPECT_FALSE(RunCorrection(wideDestination, wide, false, image.blocks, inputs, context).ok());
    EXPECT_NE(engine.sink.Last().find("32767"), std::string::npos);
    EXPECT_EQ(image.Source(), image.original);

    ImageBuffer smaller = DescribeImage(19, 10, 24, image.blocks.work.data());
    EXPECT_FALSE(RunCorrection(smaller, image.source, false, image.blocks, inputs, context).ok());
    EXPECT_FALSE(
        RunCorrection(image.source, image.source, false, image.blocks, inputs, context).ok());
    EXPECT_EQ(image.Source(), image.original);
}

// Without a backup block the correction still runs (the plug-in's full image).
TEST(RunCorrectionTest, WorksWithoutBackup) {
    Engine engine;
    EngineContext context = engine.Context();
    StateImage image(33, 21, 24, 6);
    image.blocks.backup.Release();
    CorrectionSettings settings;
    CorrectionInputs inputs{settings, kBarrel, kLensUsable};
    ASSERT_TRUE(
        RunCorrection(image.destination, image.source, false, image.blocks, inputs, context).ok());
    EXPECT_EQ(image.Source(), image.original);
    EXPECT_NE(image.Result(), image.original);
}

// A progress display follows the stages of a correction: vignetting and the
// lens remap each count all their rows, from every band, and the same bytes
// come out as without anybody watching.
TEST(RunCorrectionTest, ReportsEveryRowOfEachStage) {
    Engine engine(3);
    CorrectionSettings settings;
    settings.VigAmount = 40;
    CorrectionInputs inputs{settings, kBarrel, kLensUsable};

    StateImage watched(64, 45, 24, 8);
    WorkProgress progress;
    EngineContext context = engine.Context();
    context.progress = &progress;
    ASSERT_TRUE(
        RunCorrection(watched.destination, watched.source, false, watched.blocks, inputs, context)
            .ok());
    EXPECT_EQ(progress.Stages(), 2);  // vignetting, then the distortion remap
    EXPECT_DOUBLE_EQ(progress.StageFraction(), 1.0);

    StateImage plain(64, 45, 24, 8);
    EngineContext unwatched = engine.Context();
    ASSERT_TRUE(
        RunCorrection(plain.destination, plain.source, false, plain.blocks, inputs, unwatched)
            .ok());
    EXPECT_EQ(watched.Result(), plain.Result());
}

TEST(WorkProgressTest, FractionOfTheLatestStageStaysWithinOne) {
    WorkProgress progress;
    EXPECT_EQ(progress.Stages(), 0);
    EXPECT_DOUBLE_EQ(progress.StageFraction(), 0.0);
    progress.BeginStage(100);
    progress.AddRows(25);
    EXPECT_DOUBLE_EQ(progress.StageFraction(), 0.25);
    // Rows reported a little ahead (in groups) never show more than done.
    progress.AddRows(90);
    EXPECT_DOUBLE_EQ(progress.StageFraction(), 1.0);
    progress.BeginStage(10);
    EXPECT_EQ(progress.Stages(), 2);
    EXPECT_DOUBLE_EQ(progress.StageFraction(), 0.0);
}

TEST(WorkProgressTest, OverallFractionCountsStagesBeyondTheEstimate) {
    WorkProgress progress;
    progress.ExpectStages(4);
    EXPECT_DOUBLE_EQ(progress.OverallFraction(), 0.0);
    progress.BeginStage(10);
    progress.AddRows(5);
    EXPECT_DOUBLE_EQ(progress.OverallFraction(), 0.5 / 4);
    progress.BeginStage(10);
    EXPECT_DOUBLE_EQ(progress.OverallFraction(), 1.0 / 4);
    // A correction that runs more stages than expected ends at 1, not beyond.
    progress.ExpectStages(1);
    progress.AddRows(10);
    EXPECT_DOUBLE_EQ(progress.OverallFraction(), 1.0);
}

}  // namespace
}  // namespace quillon::engine
