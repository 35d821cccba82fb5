// Showing real photos: reading, turning upright, the preview, the display
// transform and the lens detection, on the database the build generates.

#include "preview/show_image.h"

#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "engine/correction_settings.h"
#include "engine/worker_pool.h"
#include "imageio/image_file.h"
#include "lensdb/lens_database.h"
#include "metadata/parse_metadata.h"
#include "platform/message_sink.h"
#include "settings/languages.h"
#include "tests/support/test_support.h"
#include "text/string_table.h"

namespace quillon::preview {
namespace {

// The state of a window: what ShowImage reads and changes.
class ShowImageTest : public ::testing::Test {
  protected:
    ShowImageTest() {
        text::LoadStrings(strings_, text::kEnglishLangId, sink_);
        EXPECT_TRUE(lensdb::LoadDatabase(QUILLON_TEST_ROOT_DIR, database_, strings_, sink_).ok())
            << sink_.Last();
        preview_.areaWidth = 602;
        preview_.areaHeight = 402;
        sink_.Clear();
    }

    int Show(const std::string& path, ShowMode mode = ShowMode::kReadFile) {
        ShowImageParts parts{values_, correction_, history_,   database_, strings_,
                             image_,  shot_,       selection_, preview_,  context_};
        return ShowImage(parts, path, mode);
    }

    std::string Photo(const std::string& name) { return testing::TestDataPath("photos/" + name); }
    std::string CopyAs(const std::string& photo, const std::string& name) {
        const std::string target = dir_.File(name);
        EXPECT_TRUE(testing::WriteBytes(target, testing::ReadBytes(Photo(photo))));
        return target;
    }

    testing::TempDir dir_;
    platform::CapturingSink sink_;
    engine::WorkerPool pool_;
    engine::EngineContext context_{pool_, sink_};
    text::StringTable strings_;
    lensdb::LensDatabase database_;
    settings::SettingsValues values_;
    engine::CorrectionSettings correction_;
    lensdb::LensHistory history_;
    CurrentImage image_;
    metadata::ShotInfo shot_;
    lensdb::LensSelection selection_;
    PreviewState preview_;
};

TEST_F(ShowImageTest, RecognisedPhotoIsShownWithItsLensReadyToCorrect) {
    ASSERT_EQ(Show(Photo("mdx_Issue_339.jpg")), kShownWithLens) << sink_.Last();
    EXPECT_EQ(preview_.imageState, kImageShown);
    EXPECT_TRUE(selection_.IsRealLensSelected());
    EXPECT_TRUE(selection_.coefficientsValid);
    EXPECT_TRUE(LensStateOf(selection_, correction_).distortionUsable);
    // A 400 x 300 photo is not enlarged to the area; it is centred.
    EXPECT_TRUE(preview_.renderer.Ready());
    EXPECT_EQ(preview_.placement.width, 400);
    EXPECT_EQ(preview_.placement.height, 300);
    EXPECT_EQ(preview_.placement.left, 101);
    EXPECT_FALSE(preview_.turned);

    // The render corrects the distortion of the recognised lens.
    ASSERT_TRUE(RenderPreview(preview_, correction_, selection_, true, false, 255, context_).ok());
    const DisplayImage& display = preview_.renderer.Display();
    const ImageBuffer& reduced = preview_.renderer.Reduced();
    bool differs = false;
    for (std::int32_t y = 0; y < display.height() && !differs; ++y) {
        differs = std::memcmp(display.Row(y), reduced.Row(y),
                              static_cast<std::size_t>(reduced.rowBytes)) != 0;
    }
    EXPECT_TRUE(differs);

    // The next image records the lens of the one left in the history.
    EXPECT_TRUE(history_.empty());
    ASSERT_NE(Show(Photo("mdx_Nikon_D40.jpg")), kShowFailed);
    ASSERT_EQ(history_.size(), 1u);
    EXPECT_EQ(history_.front().menuModel, "E-420");
    EXPECT_EQ(sink_.Count(), 0u) << sink_.Last();
}

TEST_F(ShowImageTest, TurnedPhotosAreShownAndSavedUprightInBothByteOrders) {
    struct Case {
        const char* photo;
        int orientation;
        bool bigEndian;
        std::int32_t width;  // as stored
        std::int32_t height;
    };
    for (const Case& c : {Case{"mdx_Samsung_GT-I9000_Galaxy_S.jpg", 6, false, 640, 480},
                          Case{"mdx_Nikon_D40.jpg", 6, true, 3008, 2000},
                          Case{"mdx_Leica_T_Typ_701.jpg", 8, false, 4928, 3264},
                          Case{"exiftool_Pentax.jpg", 8, true, 8, 8}}) {
        SCOPED_TRACE(c.photo);
        const std::string path = CopyAs(c.photo, "turned.jpg");
        // Known cameras whose lens is not found without the user.
        ASSERT_EQ(Show(path), kShownWithoutLens) << sink_.Last();
        EXPECT_EQ(shot_.orientation, c.orientation);
        EXPECT_EQ(image_.input.width, c.height);
        EXPECT_EQ(image_.input.height, c.width);
        EXPECT_TRUE(preview_.turned);
        EXPECT_LE(preview_.placement.width, preview_.placement.height);
        EXPECT_TRUE(image_.metadata.pixelsTurnedUpright);

        // The saved file is upright and says so, in its own byte order.
        imageio::ImageFileOptions options;
        options.interactiveMode = false;
        std::memcpy(image_.output.pixels, image_.input.pixels,
                    static_cast<std::size_t>(image_.input.dataSize));
        ASSERT_EQ(imageio::SaveImageFile(path, image_, options, sink_).code(), 0) << sink_.Last();
        CurrentImage saved;
        ASSERT_EQ(imageio::LoadImageFile(path, saved, sink_).code(), 0);
        EXPECT_EQ(saved.input.width, c.height);
        const metadata::ShotInfo shot = metadata::ParseImageMetadata(saved.metadata, {});
        EXPECT_EQ(shot.orientation, 1);
        EXPECT_EQ(shot.bigEndian, c.bigEndian);
    }
}

// Only a value the pixels were turned for may become 1: a mirrored photo
// keeps its value, or viewers would lose the mirroring it asks for.
TEST_F(ShowImageTest, AnOrientationThatIsNotAppliedStaysInTheFile) {
    CurrentImage photo;
    ASSERT_EQ(imageio::LoadImageFile(Photo("mdx_Issue_339.jpg"), photo, sink_).code(), 0);
    const metadata::ShotInfo read = metadata::ParseImageMetadata(photo.metadata, {});
    ASSERT_NE(read.orientationLocation, metadata::kNoLocation);
    const auto at = static_cast<std::size_t>(read.orientationLocation);
    photo.metadata.exif[at] = read.bigEndian ? 0 : 5;  // transposed (mirrored)
    photo.metadata.exif[at + 1] = read.bigEndian ? 5 : 0;
    std::memcpy(photo.output.pixels, photo.input.pixels,
                static_cast<std::size_t>(photo.input.dataSize));
    imageio::ImageFileOptions options;
    options.interactiveMode = false;
    const std::string path = dir_.File("mirrored.jpg");
    ASSERT_EQ(imageio::SaveImageFile(path, photo, options, sink_).code(), 0);

    ASSERT_NE(Show(path), kShowFailed);
    EXPECT_EQ(shot_.orientation, 5);
    EXPECT_EQ(image_.input.width, 400);
    EXPECT_EQ(image_.metadata.exif, photo.metadata.exif);
    EXPECT_FALSE(image_.metadata.pixelsTurnedUpright);
    EXPECT_FALSE(preview_.turned);
}

TEST_F(ShowImageTest, TheRotationButtonsTurnTheCurrentImage) {
    ASSERT_NE(Show(Photo("mdx_Issue_339.jpg")), kShowFailed);
    const std::int32_t width = image_.input.width;
    const std::int32_t height = image_.input.height;
    const std::uint8_t firstPixel = image_.input.pixels[0];
    correction_.VigAmount = 40;
    ASSERT_EQ(Show("", ShowMode::kTurnCounterClockwise), kShownWithLens);
    EXPECT_EQ(image_.input.width, height);
    EXPECT_EQ(image_.input.height, width);
    // The top-left pixel moves to the bottom-left corner.
    EXPECT_EQ(image_.input.Row(image_.input.height - 1)[0], firstPixel);
    EXPECT_TRUE(preview_.turned);
    EXPECT_TRUE(image_.metadata.pixelsTurnedUpright);
    EXPECT_EQ(correction_.VigAmount, 0) << "ResetAlways is on by default";
    EXPECT_TRUE(selection_.IsRealLensSelected()) << "turning keeps the lens";
}

TEST_F(ShowImageTest, AnUnreadableFileLeavesNoImageShown) {
    ASSERT_EQ(Show(Photo("mdx_Issue_339.jpg")), kShownWithLens);
    EXPECT_EQ(Show(Photo("README.md")), kShowFailed);
    EXPECT_EQ(preview_.imageState, kImageNone);
    EXPECT_FALSE(preview_.renderer.Ready());
    EXPECT_EQ(Show(dir_.File("missing.jpg")), kShowFailed);
    EXPECT_NE(sink_.Last(), "") << "the reader's message";
    EXPECT_TRUE(RenderPreview(preview_, correction_, selection_, true, false, 255, context_).ok());
}

TEST_F(ShowImageTest, TheDisplayTransformFollowsProfileNameAndXmp) {
    // An embedded Adobe RGB profile.
    ASSERT_NE(Show(Photo("pillow_xmp_test.jpg")), kShowFailed);
    EXPECT_TRUE(preview_.transform.Active());
    // No profile, no colour space in XMP: the name decides.
    ASSERT_NE(Show(CopyAs("exiv2_exiv2-bug884c.jpg", "_DSC0001.JPG")), kShowFailed);
    EXPECT_TRUE(preview_.transform.Active());
    ASSERT_NE(Show(CopyAs("exiv2_exiv2-bug884c.jpg", "DSC0001.JPG")), kShowFailed);
    EXPECT_FALSE(preview_.transform.Active());

    // An embedded profile that does not open leaves the name to decide.
    CurrentImage photo;
    ASSERT_EQ(imageio::LoadImageFile(Photo("exiv2_exiv2-bug884c.jpg"), photo, sink_).code(), 0);
    photo.metadata.icc.assign(200, 0x5a);
    std::memcpy(photo.output.pixels, photo.input.pixels,
                static_cast<std::size_t>(photo.input.dataSize));
    imageio::ImageFileOptions options;
    options.interactiveMode = false;
    for (const bool underscore : {true, false}) {
        const std::string path = dir_.File(underscore ? "_broken.jpg" : "broken.jpg");
        ASSERT_EQ(imageio::SaveImageFile(path, photo, options, sink_).code(), 0);
        ASSERT_NE(Show(path), kShowFailed);
        ASSERT_EQ(image_.metadata.icc.size(), 200u);
        EXPECT_EQ(preview_.transform.Active(), underscore);
    }
}

TEST_F(ShowImageTest, SixteenBitPhotosAreReducedFromTheirEightBitCopy) {
    ASSERT_NE(Show(Photo("libtiff_rgb-3c-16b.tiff")), kShowFailed) << sink_.Last();
    EXPECT_EQ(image_.input.bitsPerPixel, 48);
    ASSERT_TRUE(preview_.fullSize.Valid());
    const ImageBuffer& bitmap = preview_.fullSize.Image();
    EXPECT_EQ(bitmap.bitsPerPixel, 24);
    const auto* samples = reinterpret_cast<const std::uint16_t*>(image_.input.Row(10));
    EXPECT_EQ(bitmap.Row(10)[5], samples[5] >> 8);
    EXPECT_TRUE(preview_.renderer.Ready());
}

TEST_F(ShowImageTest, ARebuildForANewAreaKeepsTheImageTheLensAndTheZoom) {
    ASSERT_EQ(Show(Photo("mdx_Issue_339.jpg")), kShownWithLens);
    ASSERT_TRUE(SetZoomStep(preview_, 6, image_.input, sink_));
    ASSERT_TRUE(
        preview_.zoom
            .CorrectRegion({true, 100, 100, ChannelView::kAll}, preview_.fullSize.Image(), context_)
            .ok());
    correction_.VigAmount = 40;
    preview_.areaWidth = 302;
    preview_.areaHeight = 202;
    ASSERT_EQ(Show("", ShowMode::kRebuild), kShownWithLens);
    EXPECT_LE(preview_.placement.width, 300);
    EXPECT_EQ(correction_.VigAmount, 40);
    EXPECT_TRUE(selection_.IsRealLensSelected());
    EXPECT_EQ(preview_.zoom.step(), 6);
    EXPECT_EQ(preview_.zoom.region().width, ZoomRegionSide(302, 6));
    // The bitmap holds the photo again once the zoom is off.
    ASSERT_TRUE(SetZoomStep(preview_, 0, image_.input, sink_));
    EXPECT_EQ(std::memcmp(preview_.fullSize.Image().pixels, image_.input.pixels,
                          static_cast<std::size_t>(image_.input.dataSize)),
              0);
    EXPECT_EQ(sink_.Count(), 0u) << sink_.Last();
}

TEST_F(ShowImageTest, AnImageInMemoryIsShownAsItIsAndValuesSurviveABusyState) {
    ASSERT_EQ(imageio::LoadImageFile(Photo("mdx_Nikon_D40.jpg"), image_, sink_).code(), 0);
    correction_.PerspectVert = 10;
    preview_.imageState = kImageBusy;
    ASSERT_EQ(Show("host document", ShowMode::kImageInMemory), kShownWithoutLens);
    EXPECT_EQ(image_.input.width, 3008) << "the host's pixels are not turned";
    EXPECT_EQ(correction_.PerspectVert, 10) << "no reset while a file is being written";
    EXPECT_EQ(preview_.imageState, kImageBusy);
    EXPECT_EQ(shot_.make, "NIKON CORPORATION");
}

}  // namespace
}  // namespace quillon::preview
