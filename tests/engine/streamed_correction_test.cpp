#include "engine/streamed_correction.h"

#include <cstring>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/engine/engine_test_support.h"

namespace quillon::engine {
namespace {

using testing::Engine;
using testing::NoisyImage;
using testing::TestImage;

const LensModel kBarrel{0.02f, -0.06f, 0.03f, 1.01f};
constexpr LensState kLensUsable{true, false};

CorrectionSettings Aberration(std::int32_t choice) {
    CorrectionSettings s;
    s.CorChoice = choice;
    s.CaRed = 60;
    s.CaBlue = -40;
    return s;
}

// Source rows put in place one at a time by a thread of their own, as a
// reader would: the rows still to come hold poison, so a band remapped before
// the rows it reads had arrived comes out different.
class Reader {
  public:
    // `damagedEnd`: every row arrives, and then the reader finds a fault.
    Reader(const TestImage& photo, TestImage& source, ArrivingRows& rows, std::int32_t stopAt,
           bool damagedEnd)
        : thread_([&photo, &source, &rows, stopAt, damagedEnd] {
              const auto rowBytes = static_cast<std::size_t>(photo.buffer().rowBytes);
              for (std::int32_t y = 0; y < stopAt; ++y) {
                  std::memcpy(source.buffer().Row(y), photo.buffer().Row(y), rowBytes);
                  rows.Arrived(y + 1);
                  std::this_thread::yield();
              }
              rows.End(stopAt == photo.height() && !damagedEnd);
          }) {}
    ~Reader() { thread_.join(); }

  private:
    std::thread thread_;
};

struct Streamed {
    Streamed(const TestImage& photo, const CorrectionSettings& settings, std::int32_t stopAt,
             bool damagedEnd = false)
        : source(photo.width(), photo.height(), photo.buffer().bitsPerPixel) {
        std::memset(source.buffer().pixels, 0xA5,
                    static_cast<std::size_t>(source.buffer().dataSize));
        StatusOr<CorrectionPlan> planned =
            PlanCorrection(photo.buffer(), CorrectionInputs{settings, kBarrel, kLensUsable},
                           SourceUse::kSpend, engine.sink);
        EXPECT_TRUE(planned.ok());
        plan = *planned;
        reader = std::make_unique<Reader>(photo, source, rows, stopAt, damagedEnd);
    }

    Engine engine;
    EngineContext context = engine.Context();
    TestImage source;
    ArrivingRows rows;
    CorrectionPlan plan;
    std::unique_ptr<Reader> reader;
};

// Every streamed kind, both depths, read by a writer in the ranges the JPEG
// writer asks (16 rows) and in tall ranges across bands (a TIFF strip): the
// rows RunCorrection writes, while the source is still arriving.
TEST(StreamedCorrectionTest, RowsAreThoseOfTheOrdinaryRunWhileTheSourceArrives) {
    std::vector<CorrectionSettings> kinds = {CorrectionSettings{}, Aberration(2),
                                             Aberration(kCorrectDistortion)};
    CorrectionSettings s;
    s.PerspectVert = 25;  // onto the canvas and out of it again
    s.PerspectRotate = -12;
    s.PerspectShiftVert = 30;
    s.PerspectShiftHorz = -20;
    kinds.push_back(s);
    s.CorChoice = kCorrectNeither;  // the image only copied onto the canvas
    kinds.push_back(s);
    s = Aberration(kCorrectDistortion);
    s.VigAmount = 40;
    s.PerspectHorz = 15;
    kinds.push_back(s);
    s = CorrectionSettings{};
    s.CorChoice = kCorrectNeither;
    s.VigAmount = -35;
    kinds.push_back(s);
    for (const std::int32_t bits : {24, 48}) {
        const TestImage photo = NoisyImage(171, 133, bits, 5);
        for (const CorrectionSettings& settings : kinds) {
            for (const std::int32_t ask : {16, 45}) {
                Engine ordinary;
                EngineContext context = ordinary.Context();
                TestImage expected(photo.width(), photo.height(), bits);
                StatusOr<CorrectionPlan> plan =
                    PlanCorrection(photo.buffer(), CorrectionInputs{settings, kBarrel, kLensUsable},
                                   SourceUse::kKeep, ordinary.sink);
                ASSERT_TRUE(plan.ok());
                CorrectionScratch scratch;
                ASSERT_TRUE(ReadyCorrectionScratch(*plan, scratch, context).ok());
                ASSERT_TRUE(
                    RunCorrection(*plan, photo.buffer(), expected.buffer(), scratch, context).ok());

                Streamed run(photo, settings, photo.height());
                ASSERT_TRUE(CanStreamCorrection(run.plan));
                StreamedCorrection streamed(run.plan, run.source.buffer(), run.rows, run.context);
                ASSERT_TRUE(streamed.Ready().ok());
                std::vector<std::int32_t> wrong;
                std::thread writer([&] {
                    const auto rowBytes = static_cast<std::size_t>(photo.buffer().rowBytes);
                    for (std::int32_t y = 0; y < photo.height(); y += ask) {
                        const std::int32_t count = std::min(ask, photo.height() - y);
                        const std::uint8_t* rows = streamed.Rows(y, count);
                        for (std::int32_t k = 0; k < count; ++k) {
                            if (rows == nullptr ||
                                std::memcmp(rows + rowBytes * static_cast<std::size_t>(k),
                                            expected.buffer().Row(y + k), rowBytes) != 0) {
                                wrong.push_back(y + k);
                            }
                        }
                    }
                    streamed.Abandon();
                });
                EXPECT_TRUE(streamed.Remap().ok());
                writer.join();
                EXPECT_TRUE(wrong.empty())
                    << "bits " << bits << ", ask " << ask << ", first row " << wrong.front();
                EXPECT_EQ(run.engine.sink.Count(), 0u);
            }
        }
    }
}

// Asks the rows as the JPEG writer does, 16 at a time, until one range
// comes back null; gives up then. How many rows were delivered.
std::int32_t WriteInRangesOf16(StreamedCorrection& streamed, std::int32_t height) {
    std::int32_t delivered = 0;
    for (std::int32_t y = 0; y < height; y += 16) {
        if (streamed.Rows(y, std::min(16, height - y)) == nullptr) break;
        delivered = y + 16;
    }
    streamed.Abandon();
    return delivered;
}

// A reader that stops early, or a writer that gives up, ends the remap
// without a message of its own and without waiting forever; the writer gets
// no rows that were never remapped.
TEST(StreamedCorrectionTest, AnEndOnEitherSideStopsTheOther) {
    const TestImage photo = NoisyImage(97, 240, 24, 9);
    CorrectionSettings perspective;
    perspective.PerspectVert = -20;
    CorrectionSettings vignetting;
    vignetting.VigAmount = 20;
    for (const CorrectionSettings& settings : {CorrectionSettings{}, perspective, vignetting}) {
        Streamed run(photo, settings, 120);
        StreamedCorrection streamed(run.plan, run.source.buffer(), run.rows, run.context);
        ASSERT_TRUE(streamed.Ready().ok());
        std::int32_t delivered = 0;
        std::thread writer([&] { delivered = WriteInRangesOf16(streamed, photo.height()); });
        EXPECT_FALSE(streamed.Remap().ok());
        writer.join();
        // Rows near the end of what arrived read rows that never came. A lens
        // correction alone delivers the rows before them; with perspective a
        // band of the canvas that never completes can hold back any window
        // band, and vignetting needs the lower half before any row is done.
        EXPECT_LT(delivered, 120);
        if (settings.PerspectVert == 0 && settings.VigAmount == 0) {
            EXPECT_GT(delivered, 0);
        }
        EXPECT_EQ(run.engine.sink.Count(), 0u);
    }
    {
        Streamed run(photo, CorrectionSettings{}, photo.height());
        StreamedCorrection streamed(run.plan, run.source.buffer(), run.rows, run.context);
        ASSERT_TRUE(streamed.Ready().ok());
        std::thread writer([&] {
            EXPECT_NE(streamed.Rows(0, 16), nullptr);
            streamed.Abandon();
        });
        EXPECT_FALSE(streamed.Remap().ok());
        writer.join();
        EXPECT_EQ(run.engine.sink.Count(), 0u);
    }
    {
        // Every row arrives, then the reader fails the file: the writer gets
        // all but the last rows, so it never finishes the file.
        Streamed run(photo, CorrectionSettings{}, photo.height(), true);
        StreamedCorrection streamed(run.plan, run.source.buffer(), run.rows, run.context);
        ASSERT_TRUE(streamed.Ready().ok());
        std::int32_t delivered = 0;
        std::thread writer([&] { delivered = WriteInRangesOf16(streamed, photo.height()); });
        (void)streamed.Remap();
        writer.join();
        EXPECT_EQ(delivered, 224);
    }
}

// Fisheye conversion and scale, which work on the whole image, keep the
// ordinary run, and so does vignetting of a source the caller keeps.
TEST(StreamedCorrectionTest, WholeImageStepsKeepTheOrdinaryRun) {
    const ImageBuffer image = DescribeImage(64, 48, 24, nullptr);
    platform::CapturingSink sink;
    const auto streams = [&](const CorrectionSettings& settings, LensState lens,
                             SourceUse use = SourceUse::kSpend) {
        const StatusOr<CorrectionPlan> plan =
            PlanCorrection(image, CorrectionInputs{settings, kBarrel, lens}, use, sink);
        EXPECT_TRUE(plan.ok());
        return plan.ok() && CanStreamCorrection(*plan);
    };
    EXPECT_TRUE(streams(CorrectionSettings{}, kLensUsable));
    EXPECT_TRUE(streams(Aberration(2), LensState{}));
    CorrectionSettings s;
    EXPECT_FALSE(streams(s, LensState{}));  // nothing to do
    s.VigAmount = 30;
    EXPECT_TRUE(streams(s, kLensUsable));
    // Vignetting in place would change a source the caller keeps.
    EXPECT_FALSE(streams(s, kLensUsable, SourceUse::kKeep));
    s = CorrectionSettings{};
    s.PerspectVert = 20;
    EXPECT_TRUE(streams(s, kLensUsable));
    EXPECT_TRUE(streams(s, kLensUsable, SourceUse::kKeep));
    s = CorrectionSettings{};
    s.PerspectScale = 90;
    EXPECT_FALSE(streams(s, kLensUsable));
    s = CorrectionSettings{};
    s.CorChoice = kCorrectFisheye;
    EXPECT_FALSE(streams(s, LensState{false, true}));
}

}  // namespace
}  // namespace quillon::engine
