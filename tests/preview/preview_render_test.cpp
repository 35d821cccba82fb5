// The fitted view's render: what is corrected, what is held back, and what the
// window receives.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "engine/worker_pool.h"
#include "platform/message_sink.h"
#include "preview/colour_management.h"
#include "preview/preview_renderer.h"

namespace quillon::preview {
namespace {

class PreviewRenderTest : public ::testing::Test {
  protected:
    static constexpr std::int32_t kWidth = 301;  // odd: rows of the display are padded
    static constexpr std::int32_t kHeight = 200;

    PreviewRenderTest() : photo_(std::size_t{kWidth} * 2 * kHeight * 2 * 3) {
        // The "full-size" photo, twice the preview in each direction.
        const ImageBuffer full = DescribeImage(kWidth * 2, kHeight * 2, 24, photo_.data());
        for (std::int32_t y = 0; y < full.height; ++y) {
            for (std::int32_t x = 0; x < full.width; ++x) {
                std::uint8_t* p = full.Row(y) + 3 * x;
                p[0] = static_cast<std::uint8_t>(x / 3);
                p[1] = static_cast<std::uint8_t>(y / 2 + 40);
                p[2] = static_cast<std::uint8_t>((x + y) / 5);
            }
        }
        EXPECT_TRUE(renderer_.Prepare(full, kWidth, kHeight, context_).ok()) << sink_.Last();
    }

    // The display's pixel bytes, row padding left out.
    std::vector<std::uint8_t> Shown() const {
        std::vector<std::uint8_t> bytes;
        const DisplayImage& display = renderer_.Display();
        for (std::int32_t y = 0; y < display.height(); ++y) {
            bytes.insert(bytes.end(), display.Row(y), display.Row(y) + 3 * display.width());
        }
        return bytes;
    }
    std::vector<std::uint8_t> Reduced() const {
        const ImageBuffer& reduced = renderer_.Reduced();
        return {reduced.pixels, reduced.pixels + reduced.dataSize};
    }

    Status Render(engine::CorrectionSettings& settings, RenderOptions options = {},
                  const DisplayTransform& transform = DisplayTransform{}) {
        return renderer_.Render(settings, lens_, {}, options, transform, context_);
    }

    std::vector<std::uint8_t> photo_;
    platform::CapturingSink sink_;
    engine::WorkerPool pool_;
    engine::EngineContext context_{pool_, sink_};
    engine::LensModel lens_;
    PreviewRenderer renderer_;
};

TEST_F(PreviewRenderTest, WithoutCorrectionsTheReducedImageIsShown) {
    ASSERT_TRUE(renderer_.Ready());
    EXPECT_EQ(renderer_.Display().width(), kWidth);
    EXPECT_EQ(renderer_.Display().stride() % 4, 0);
    engine::CorrectionSettings settings;
    ASSERT_TRUE(Render(settings).ok());
    EXPECT_EQ(Shown(), Reduced());
}

TEST_F(PreviewRenderTest, ChromaticAberrationIsHeldAtZeroWithoutChangingTheValues) {
    engine::CorrectionSettings plain;
    plain.VigAmount = 30;
    ASSERT_TRUE(Render(plain).ok());
    const std::vector<std::uint8_t> expected = Shown();
    EXPECT_NE(expected, Reduced()) << "vignetting 30 must change the preview";

    engine::CorrectionSettings withCa = plain;
    withCa.CaRed = 80;
    withCa.CaBlue = -60;
    ASSERT_TRUE(Render(withCa).ok());
    EXPECT_EQ(Shown(), expected);
    EXPECT_EQ(withCa.CaRed, 80);
    EXPECT_EQ(withCa.CaBlue, -60);

    // Chromatic aberration alone is no reason to correct the fitted view.
    engine::CorrectionSettings caOnly;
    caOnly.CaRed = 100;
    ASSERT_TRUE(Render(caOnly).ok());
    EXPECT_EQ(Shown(), Reduced());
}

TEST_F(PreviewRenderTest, ComparingShowsTheUncorrectedImageAndTheSourceSurvives) {
    const std::vector<std::uint8_t> reduced = Reduced();
    engine::CorrectionSettings settings;
    settings.VigAmount = -50;
    settings.PerspectVert = 20;
    ASSERT_TRUE(Render(settings).ok());
    const std::vector<std::uint8_t> corrected = Shown();
    EXPECT_NE(corrected, reduced);
    EXPECT_EQ(Reduced(), reduced) << "the reduced image must not keep the vignetting";

    RenderOptions compare;
    compare.showCorrected = false;
    ASSERT_TRUE(Render(settings, compare).ok());
    EXPECT_EQ(Shown(), reduced);
    ASSERT_TRUE(Render(settings).ok());
    EXPECT_EQ(Shown(), corrected) << "a second render gives the same picture";
}

// Following a slider must not allocate pixel memory: every allocation of the
// engine asks the memory gate first, so a gate that records them sees any.
// (The engine's row buffers and sample tables, a few kilobytes, may come anew.)
TEST_F(PreviewRenderTest, RendersAfterTheFirstAllocateNoPixelMemory) {
    struct RecordingGate final : engine::WorkMemoryGate {
        bool MayAllocate(std::size_t bytes) noexcept override {
            largest = std::max(largest, bytes);
            return true;
        }
        std::size_t largest = 0;
    } gate;
    context_.memoryGate = &gate;
    engine::CorrectionSettings settings;
    settings.VigAmount = 30;
    settings.PerspectVert = 20;
    lens_ = {0.01f, -0.03f, 0.0f, 1.02f};
    const engine::LensState lensState{true, false};
    const RenderOptions options;
    ASSERT_TRUE(renderer_.Render(settings, lens_, lensState, options, {}, context_).ok());
    const auto imageBytes = static_cast<std::size_t>(renderer_.Reduced().dataSize);
    EXPECT_GE(gate.largest, imageBytes) << "the first render readies the canvases";
    gate.largest = 0;
    for (int step = 0; step < 3; ++step) {
        settings.VigAmount += 1;
        settings.PerspectVert -= 1;
        ASSERT_TRUE(renderer_.Render(settings, lens_, lensState, options, {}, context_).ok());
    }
    EXPECT_LT(gate.largest, imageBytes / 16);
}

TEST_F(PreviewRenderTest, TheGridIsDrawnAfterTheColourTransformInItsExactColour) {
    DisplayTransform transform;
    ASSERT_TRUE(transform.Create(BuiltInProfile(kProfileProPhotoRgb)));
    engine::CorrectionSettings settings;
    RenderOptions options;
    options.grid = 64;
    options.gridColour = {1, 2, 3};
    ASSERT_TRUE(Render(settings, options, transform).ok());
    const DisplayImage& display = renderer_.Display();
    // Column 149 is the centre cross's second pixel (301 / 2 - 1).
    const std::uint8_t* p = display.Row(7) + 3 * 149;
    EXPECT_EQ(p[0], 1);
    EXPECT_EQ(p[1], 2);
    EXPECT_EQ(p[2], 3);
    // Off the grid the transform has changed the pixels.
    EXPECT_NE(std::memcmp(display.Row(1) + 3 * 24, renderer_.Reduced().Row(1) + 3 * 24, 3 * 10), 0);
}

}  // namespace
}  // namespace quillon::preview
