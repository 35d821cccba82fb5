// The streamed corrections (while the photo is read, and of a photo in
// memory) against the ordinary one: the same file, byte for byte, on real
// photos of both formats and depths.

#include "app/streamed_correction.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/full_correction.h"
#include "engine/worker_pool.h"
#include "imageio/image_file.h"
#include "lensdb/lens_database.h"
#include "platform/message_sink.h"
#include "preview/preview_state.h"
#include "tests/support/test_support.h"

namespace quillon::app {
namespace {

// A run's state with a lens chosen by hand, so that every correction kind can
// be asked for on any photo.
struct CorrectionRun {
    explicit CorrectionRun(const engine::CorrectionSettings& settings) : values(settings) {
        std::int32_t processors = 2;
        EXPECT_TRUE(engine::CreateWorkerPool(state.pool, processors, sink).ok());
        lensdb::LensSelection& selection = state.current.selection;
        selection.selectedLens = &lens;
        selection.coefficientsValid = true;
        selection.lensModel = engine::LensModel{0.012f, -0.041f, 0.018f, 1.011f};
    }
    ~CorrectionRun() { engine::StopWorkerPool(state.pool); }

    FullCorrection Job(const std::string& path) {
        imageio::ImageFileOptions options;
        options.interactiveMode = false;
        return FullCorrection{path, options, values, engine::SourceUse::kSpend};
    }

    platform::CapturingSink sink;
    AppState state;
    lensdb::LensEntry lens;
    engine::CorrectionSettings values;
    engine::WorkProgress progress;
};

// The ordinary run: the whole photo corrected into its output block, then
// written.
int CorrectWhole(CorrectionRun& run, const std::string& path) {
    const engine::CorrectionInputs inputs{
        run.values, run.state.current.selection.lensModel,
        preview::LensStateOf(run.state.current.selection, run.values)};
    engine::EngineContext context{run.state.pool, run.sink};
    if (!CorrectFullImage(run.state.current.image, inputs, run.values, context).ok()) return 1;
    return imageio::SaveImageFile(path, run.state.current.image, run.Job(path).options, run.sink)
                   .ok()
               ? 0
               : 1;
}

std::string Copy(const testing::TempDir& dir, const std::string& photo, const std::string& name) {
    const std::string target = dir.File(name + photo.substr(photo.rfind('.')));
    EXPECT_TRUE(
        testing::WriteBytes(target, testing::ReadBytes(testing::TestDataPath("photos/" + photo))));
    return target;
}

struct Kind {
    const char* name;
    engine::CorrectionSettings settings;
    bool streamed;
};

std::vector<Kind> Kinds() {
    engine::CorrectionSettings distortion;
    engine::CorrectionSettings aberration = distortion;
    aberration.CorChoice = 2;  // neither distortion nor fisheye
    aberration.CaRed = 40;
    aberration.CaBlue = -25;
    engine::CorrectionSettings both = aberration;
    both.CorChoice = engine::kCorrectDistortion;
    engine::CorrectionSettings redOnly = both;
    redOnly.CaBlue = 0;
    engine::CorrectionSettings vignetting = distortion;
    vignetting.VigAmount = 30;
    engine::CorrectionSettings perspective = vignetting;
    perspective.PerspectVert = 20;
    engine::CorrectionSettings shifted = distortion;
    shifted.PerspectHorz = -15;
    shifted.PerspectShiftHorz = 400;  // past the canvas: limited, and adopted
    engine::CorrectionSettings scale = distortion;
    scale.PerspectScale = 110;
    engine::CorrectionSettings fisheye = distortion;
    fisheye.CorChoice = engine::kCorrectFisheye;
    engine::CorrectionSettings nothing = distortion;
    nothing.CorChoice = 2;
    return {{"distortion", distortion, true},
            {"aberration", aberration, true},  // green copied
            {"distortion and aberration", both, true},
            {"distortion and red", redOnly, true},
            {"vignetting", vignetting, true},
            {"vignetting and perspective", perspective, true},
            {"perspective shifted past the canvas", shifted, true},
            {"scale", scale, false},
            {"fisheye", fisheye, false},
            {"nothing", nothing, false}};
}

// Baseline and progressive JPEG, 8- and 16-bit TIFF, and an RGBA TIFF whose
// rows only arrive at the end.
const char* const kPhotos[] = {"mdx_Issue_339.jpg", "pillow_app13-multiple.jpg",
                               "libtiff_rgb-3c-8b.tiff", "libtiff_rgb-3c-16b.tiff",
                               "exiv2_Reagan.tiff"};

TEST(StreamedCorrectionTest, WritesTheFileOfTheOrdinaryCorrection) {
    testing::TempDir dir;
    for (const char* photo : kPhotos) {
        for (const Kind& kind : Kinds()) {
            SCOPED_TRACE(std::string(photo) + ", " + kind.name);
            CorrectionRun ordinary(kind.settings);
            const std::string expected = Copy(dir, photo, "ordinary");
            ASSERT_EQ(imageio::LoadImageFile(expected, ordinary.state.current.image, ordinary.sink)
                          .code(),
                      0);
            ASSERT_EQ(CorrectWhole(ordinary, expected), 0) << ordinary.sink.Last();

            CorrectionRun streamed(kind.settings);
            const std::string path = Copy(dir, photo, "streamed");
            {
                PhotoReading reading(path, streamed.state.current.image, streamed.sink);
                ASSERT_TRUE(reading.WaitBegun());
                ASSERT_EQ(CorrectAndSaveWhileReading(streamed.state, streamed.Job(path), reading,
                                                     streamed.sink, streamed.progress),
                          0)
                    << streamed.sink.Last();
            }
            // Only the streamed run goes without an output block.
            EXPECT_EQ(streamed.state.current.image.output.pixels == nullptr, kind.streamed);
            EXPECT_EQ(testing::ReadBytes(path), testing::ReadBytes(expected));
            EXPECT_NE(testing::ReadBytes(path),
                      testing::ReadBytes(testing::TestDataPath(std::string("photos/") + photo)));
            EXPECT_EQ(streamed.values, ordinary.values);
            EXPECT_EQ(streamed.sink.Count(), 0u) << streamed.sink.Last();

            // A photo in memory (the windows' writing) streams from its rows
            // all in place.
            CorrectionRun inMemory(kind.settings);
            const std::string written = Copy(dir, photo, "in-memory");
            ASSERT_EQ(
                imageio::LoadImageFile(written, inMemory.state.current.image, inMemory.sink).code(),
                0);
            ASSERT_EQ(CorrectAndSave(inMemory.state, inMemory.Job(written), inMemory.sink,
                                     inMemory.progress),
                      0)
                << inMemory.sink.Last();
            EXPECT_EQ(testing::ReadBytes(written), testing::ReadBytes(expected));
            EXPECT_EQ(inMemory.values, ordinary.values);
        }
    }
}

// A photo whose data ends early fails as the ordinary load does: the
// reader's one message, and the photo left as it was, whether the rows ran
// out before the correction needed them or not.
TEST(StreamedCorrectionTest, AnEarlyEndOfThePhotoWritesNothing) {
    testing::TempDir dir;
    const std::vector<std::uint8_t> whole =
        testing::ReadBytes(testing::TestDataPath("photos/mdx_Issue_339.jpg"));
    // The one scan's start: entropy-coded data never holds this marker.
    std::size_t scan = whole.size();
    while (scan > 1 && !(whole[scan - 2] == 0xFF && whole[scan - 1] == 0xDA)) --scan;
    ASSERT_GT(scan, 1u);
    const std::size_t data = whole.size() - scan;
    engine::CorrectionSettings vignetting;  // waits for the lower half first
    vignetting.VigAmount = 25;
    vignetting.PerspectRotate = 30;
    for (const std::size_t keep : {scan + data / 3, scan + data * 9 / 10}) {
        for (const engine::CorrectionSettings& settings :
             {engine::CorrectionSettings{}, vignetting}) {
            const std::vector<std::uint8_t> cut(whole.begin(),
                                                whole.begin() + static_cast<std::ptrdiff_t>(keep));
            const std::string path = dir.File("cut.jpg");
            ASSERT_TRUE(testing::WriteBytes(path, cut));
            CorrectionRun run(settings);
            {
                PhotoReading reading(path, run.state.current.image, run.sink);
                ASSERT_TRUE(reading.WaitBegun());
                EXPECT_EQ(CorrectAndSaveWhileReading(run.state, run.Job(path), reading, run.sink,
                                                     run.progress),
                          1);
            }
            EXPECT_EQ(testing::ReadBytes(path), cut);
            ASSERT_EQ(run.sink.Count(), 1u);
            EXPECT_NE(run.sink.Last().find("Premature end"), std::string::npos) << run.sink.Last();
        }
    }
}

// Every row decodes, and only then does the reader find the file damaged (a
// broken marker where the end marker belongs): the ordinary load refuses such
// a file, and the streamed run must not have replaced the photo by then.
TEST(StreamedCorrectionTest, ADamagedEndAfterTheLastRowWritesNothing) {
    testing::TempDir dir;
    std::vector<std::uint8_t> damaged =
        testing::ReadBytes(testing::TestDataPath("photos/mdx_Issue_339.jpg"));
    ASSERT_GE(damaged.size(), 2u);
    ASSERT_EQ(damaged[damaged.size() - 2], 0xFF);
    ASSERT_EQ(damaged[damaged.size() - 1], 0xD9);
    damaged.resize(damaged.size() - 2);
    damaged.insert(damaged.end(), {0xFF, 0xC4, 0x00, 0x10, 0x00});
    const std::string path = dir.File("damaged.jpg");
    ASSERT_TRUE(testing::WriteBytes(path, damaged));

    CorrectionRun ordinary(engine::CorrectionSettings{});
    EXPECT_FALSE(imageio::LoadImageFile(path, ordinary.state.current.image, ordinary.sink).ok());

    CorrectionRun run(engine::CorrectionSettings{});
    {
        PhotoReading reading(path, run.state.current.image, run.sink);
        ASSERT_TRUE(reading.WaitBegun());
        EXPECT_EQ(
            CorrectAndSaveWhileReading(run.state, run.Job(path), reading, run.sink, run.progress),
            1);
    }
    EXPECT_EQ(testing::ReadBytes(path), damaged);
    ASSERT_EQ(run.sink.Count(), 1u);
    EXPECT_EQ(run.sink.Last(), ordinary.sink.Last());
}

}  // namespace
}  // namespace quillon::app
