// The main window's behaviour without widgets, on real photos and the lens
// database the build generates.

#include "app/window_core/window_session.h"

#include <algorithm>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "imageio/image_file.h"
#include "tests/window_core/loaded_state.h"

namespace quillon::app {
namespace {

using testing::kRecognisedPhoto;
using testing::kTurnedPhoto;
using testing::kUnknownCameraPhoto;

class WindowSessionTest : public ::testing::Test {
  protected:
    WindowSessionTest() : session(*loaded.state, loaded.sink) { session.SetArea(602, 402); }

    bool DisplayDiffersFromReduced() const {
        const preview::DisplayImage& display = session.preview().renderer.Display();
        const ImageBuffer& reduced = session.preview().renderer.Reduced();
        for (std::int32_t y = 0; y < display.height(); ++y) {
            if (std::memcmp(display.Row(y), reduced.Row(y),
                            static_cast<std::size_t>(reduced.rowBytes)) != 0) {
                return true;
            }
        }
        return false;
    }

    testing::LoadedState loaded;
    WindowSession session;
};

TEST(WindowSessionOpeningTest, StoredValuesOutsideTheirRangesOpenAsTheControlsShowThem) {
    testing::LoadedState loaded;
    engine::CorrectionSettings& c = loaded.state->stored.correction;
    c.FisheyeDistortion = 20;
    c.VigAmount = 500;
    c.CaRed = -101;
    c.CorChoice = 7;
    loaded.state->stored.values.tab = 5;
    const WindowSession session(*loaded.state, loaded.sink);
    EXPECT_EQ(session.Value(ValueKey::kFisheyeDistortion), 50);
    EXPECT_EQ(session.Value(ValueKey::kVigAmount), 100);
    EXPECT_EQ(session.Value(ValueKey::kCaRed), -100);
    EXPECT_EQ(c.CorChoice, engine::kCorrectNeither);
    EXPECT_EQ(session.Tab(), kTabVignetting);

    // Above the range it also opens at the smallest field of view.
    c.FisheyeDistortion = 171;
    const WindowSession again(*loaded.state, loaded.sink);
    EXPECT_EQ(again.Value(ValueKey::kFisheyeDistortion), 50);
}

TEST_F(WindowSessionTest, RecognisedPhotoIsCorrectedInThePreviewAndMayBeWritten) {
    ASSERT_EQ(session.OpenImage(loaded.Copy(kRecognisedPhoto)), preview::kShownWithLens)
        << loaded.sink.Last();
    EXPECT_TRUE(session.ImageShown());
    EXPECT_TRUE(loaded.state->current.imageShown);
    EXPECT_TRUE(DisplayDiffersFromReduced());
    const ControlEnabling e = session.Enabling();
    EXPECT_TRUE(e.general && e.lensGroup && e.focalLength && e.apply);
    EXPECT_FALSE(e.fisheyeGroup);
    const std::string info = session.InfoText();
    EXPECT_NE(info.find("E-420"), std::string::npos) << info;
    EXPECT_EQ(info.find("Select lens"), std::string::npos) << info;

    // Switching the correction off leaves the reduced photo as it is, and
    // nothing to write.
    session.SetCorrectionKind(engine::kCorrectNeither);
    EXPECT_FALSE(DisplayDiffersFromReduced());
    EXPECT_FALSE(session.Enabling().apply);
    session.SetCorrectionKind(engine::kCorrectDistortion);
    EXPECT_TRUE(DisplayDiffersFromReduced());

    // The preview check box and the press to compare show the photo as it is.
    session.SetComparing(true);
    EXPECT_FALSE(DisplayDiffersFromReduced());
    session.SetComparing(false);
    session.SetPreviewOn(false);
    EXPECT_FALSE(DisplayDiffersFromReduced());
}

TEST_F(WindowSessionTest, LensChosenByHandMakesTheCorrectionReady) {
    ASSERT_EQ(session.OpenImage(loaded.Copy(kTurnedPhoto)), preview::kShownWithoutLens)
        << loaded.sink.Last();
    EXPECT_TRUE(session.Enabling().lensGroup);
    EXPECT_FALSE(session.Facts().lensCorrectionReady);
    EXPECT_NE(session.InfoText().find("Select lens"), std::string::npos) << session.InfoText();

    // The menu offers the lenses that reach the photo's 26 mm after "Select
    // Lens", which chooses none.
    const lensdb::LensSelection& selection = loaded.state->current.selection;
    const auto& lines = selection.lensMenuLines.lines;
    const auto standard = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find("18-55mm") != std::string::npos;
    });
    ASSERT_NE(standard, lines.end());
    session.ChooseLens(0);
    EXPECT_FALSE(session.Facts().lensCorrectionReady);
    session.ChooseLens(static_cast<int>(standard - lines.begin()));
    EXPECT_TRUE(session.Facts().lensCorrectionReady);
    EXPECT_TRUE(selection.coefficientsValid);
    EXPECT_FLOAT_EQ(selection.focalInUse, 26.0f);
    const std::string info = session.InfoText();
    EXPECT_EQ(info.find("Select lens"), std::string::npos) << info;
    EXPECT_EQ(info.find("not calibrated"), std::string::npos) << info;
    EXPECT_TRUE(DisplayDiffersFromReduced());
}

TEST_F(WindowSessionTest, UnknownCameraLeavesOnlyTheOtherCorrections) {
    ASSERT_EQ(session.OpenImage(loaded.Copy(kUnknownCameraPhoto)), preview::kShownWithoutLens);
    EXPECT_FALSE(session.Enabling().lensGroup);
    EXPECT_FALSE(session.Enabling().apply);
    EXPECT_TRUE(session.SetValue(ValueKey::kVigAmount, 40));
    EXPECT_TRUE(session.Enabling().apply);
    EXPECT_TRUE(DisplayDiffersFromReduced());
    // The same value again changes nothing.
    EXPECT_FALSE(session.SetValue(ValueKey::kVigAmount, 40));
    // Values beyond the range are kept inside it.
    EXPECT_TRUE(session.SetValue(ValueKey::kVigAmount, 1000));
    EXPECT_EQ(session.Value(ValueKey::kVigAmount), 100);
}

TEST_F(WindowSessionTest, FocalLengthStepsStayInsideTheLensRange) {
    ASSERT_EQ(session.OpenImage(loaded.Copy(kRecognisedPhoto)), preview::kShownWithLens);
    const lensdb::LensSelection& selection = loaded.state->current.selection;
    EXPECT_FLOAT_EQ(selection.focalInUse, 24.0f);
    session.StepFocalLength(10);
    EXPECT_FLOAT_EQ(selection.focalInUse, 34.0f);
    EXPECT_EQ(selection.focalDisplay.edit, "34.000");
    session.StepFocalLength(10);
    EXPECT_FLOAT_EQ(selection.focalInUse, 42.0f);  // the lens's longest calibration
    session.EnterFocalLength("3");
    EXPECT_FLOAT_EQ(selection.focalInUse, 14.0f);
    EXPECT_TRUE(selection.coefficientsValid);
    // The focal length in use is what the next photo of the lens starts with.
    EXPECT_FLOAT_EQ(loaded.state->stored.values.flen, 14.0f);
}

TEST_F(WindowSessionTest, ZoomBelongsToTheChromaticAberrationPage) {
    ASSERT_EQ(session.OpenImage(loaded.Copy(kRecognisedPhoto)), preview::kShownWithLens);
    session.SelectTab(kTabChromaticAberration);
    EXPECT_TRUE(session.SetValue(ValueKey::kCaZoom, 16));
    EXPECT_TRUE(session.preview().zoom.Active());
    EXPECT_TRUE(session.Enabling().scrollBars);
    preview::DisplayImage region;
    EXPECT_TRUE(session.PresentZoom(region));
    // A resized area keeps the zoom view, with a region of its new size.
    const std::int32_t width = session.preview().zoom.region().width;
    session.SetArea(802, 402);
    EXPECT_TRUE(session.preview().zoom.Active());
    EXPECT_GT(session.preview().zoom.region().width, width);
    EXPECT_TRUE(session.PresentZoom(region));

    session.SelectTab(kTabPerspective);
    EXPECT_FALSE(session.preview().zoom.Active());
    EXPECT_EQ(session.Value(ValueKey::kCaZoom), 0);
    EXPECT_FALSE(session.Enabling().scrollBars);
    session.SelectTab(kTabChromaticAberration);
    EXPECT_EQ(session.Value(ValueKey::kCaZoom), 16);

    // Reset All switches the zoom and the grid off for good.
    session.SetGrid(40);
    session.ResetAll();
    EXPECT_EQ(session.Value(ValueKey::kCaZoom), 0);
    EXPECT_EQ(session.Grid(), 16);
    session.SelectTab(kTabVignetting);
    session.SelectTab(kTabChromaticAberration);
    EXPECT_EQ(session.Value(ValueKey::kCaZoom), 0);
}

TEST_F(WindowSessionTest, ResetsPutBackOnlyTheirOwnValues) {
    engine::CorrectionSettings& c = loaded.state->stored.correction;
    c.CorChoice = engine::kCorrectFisheye;
    c.FisheyeDistortion = 120;
    c.FisheyeCrop = 10;
    c.FisheyeRotate = -5;
    c.VigAmount = 30;
    c.VigMidpoint = 20;
    c.PerspectVert = 7;
    c.PerspectScale = 90;
    c.PerspectShiftHorz = 3;
    c.CaRed = 4;
    c.CaBlue = -4;

    session.ResetFisheye();
    EXPECT_EQ(c.FisheyeCrop, 0);
    EXPECT_EQ(c.FisheyeRotate, 0);
    EXPECT_EQ(c.FisheyeDistortion, 120);
    EXPECT_EQ(c.VigAmount, 30);

    session.ResetPage(kTabPerspective);
    EXPECT_EQ(c.PerspectVert, 0);
    EXPECT_EQ(c.PerspectScale, 100);
    EXPECT_EQ(c.PerspectShiftHorz, 0);
    EXPECT_EQ(c.CaRed, 4);

    session.ResetPage(kTabChromaticAberration);
    EXPECT_EQ(c.CaRed, 0);
    EXPECT_EQ(c.CaBlue, 0);
    EXPECT_EQ(c.VigMidpoint, 20);

    session.ResetPage(kTabVignetting);
    EXPECT_EQ(c.VigAmount, 0);
    EXPECT_EQ(c.VigMidpoint, 50);

    c.VigAmount = 5;
    session.ResetAll();
    EXPECT_EQ(c.VigAmount, 0);
    EXPECT_EQ(c.CorChoice, engine::kCorrectFisheye);
    EXPECT_EQ(c.FisheyeDistortion, 120);
}

TEST_F(WindowSessionTest, TurningSwapsThePhotoAndCountsAsAChange) {
    ASSERT_EQ(session.OpenImage(loaded.Copy(kUnknownCameraPhoto)), preview::kShownWithoutLens);
    EXPECT_FALSE(session.Enabling().apply);
    EXPECT_EQ(session.Turn(preview::ShowMode::kTurnClockwise), preview::kShownWithLens);
    EXPECT_EQ(loaded.state->current.image.input.width, 160);
    EXPECT_EQ(loaded.state->current.image.input.height, 240);
    EXPECT_TRUE(session.Enabling().apply);
}

TEST_F(WindowSessionTest, PhotoTurnedUprightMayBeWrittenWithoutAnyCorrection) {
    loaded.state->stored.correction.CorChoice = engine::kCorrectNeither;
    ASSERT_EQ(session.OpenImage(loaded.Copy(kTurnedPhoto)), preview::kShownWithLens);
    EXPECT_EQ(loaded.state->current.image.input.width, 2000);
    EXPECT_TRUE(session.Enabling().apply);
}

TEST_F(WindowSessionTest, AreaChangedWhileWritingIsFollowedAfterwards) {
    ASSERT_EQ(session.OpenImage(loaded.Copy(kRecognisedPhoto)), preview::kShownWithLens);
    EXPECT_EQ(session.preview().placement.width, 400);
    session.SetBusy(true);
    EXPECT_TRUE(session.Busy());
    EXPECT_EQ(session.Enabling(), ControlEnabling{});
    session.SetArea(302, 402);
    EXPECT_EQ(session.preview().placement.width, 400);
    session.SetBusy(false);
    EXPECT_EQ(session.preview().imageState, preview::kImageShown);
    EXPECT_EQ(session.preview().placement.width, 300);
    // An area without room for a preview keeps the photo shown.
    session.SetArea(2, 2);
    EXPECT_TRUE(session.ImageShown());
}

TEST_F(WindowSessionTest, EditorTakesTheFilesOneAfterAnother) {
    FileList& files = loaded.state->start.fileList;
    const std::string first = loaded.Copy(kRecognisedPhoto);
    files.paths = {first, loaded.dir.File("missing.jpg"), loaded.Copy(kUnknownCameraPhoto)};

    EXPECT_TRUE(session.OpenNextFile());
    EXPECT_EQ(session.EditStatusText(), "001/003:  " + first);
    EXPECT_FALSE(session.AtLastFile());

    // A file that fails the checks is announced and leaves no image.
    EXPECT_FALSE(session.OpenNextFile());
    EXPECT_EQ(loaded.sink.Last(),
              "Quillon: error, file not found: " + loaded.dir.File("missing.jpg"));
    EXPECT_FALSE(session.ImageShown());
    EXPECT_FALSE(session.Enabling().apply);

    EXPECT_TRUE(session.OpenNextFile());
    EXPECT_TRUE(session.AtLastFile());
    EXPECT_FALSE(session.OpenNextFile());

    files.paths = {first};
    files.current = 0;
    EXPECT_EQ(session.EditStatusText(), first);
}

TEST_F(WindowSessionTest, WritingCorrectsTheShownPhotoOverItself) {
    const std::string path = loaded.Copy(kRecognisedPhoto);
    ASSERT_EQ(session.OpenImage(path), preview::kShownWithLens);
    imageio::ImageFileOptions options;
    options.interactiveMode = false;
    engine::WorkProgress progress;
    session.SetBusy(true);
    // The write corrects with the values of the moment the window went busy.
    loaded.state->stored.correction.CorChoice = engine::kCorrectNeither;
    ASSERT_EQ(session.CorrectAndWrite(options, progress), 0) << loaded.sink.Last();
    session.SetBusy(false);
    EXPECT_GE(progress.Stages(), 1);
    EXPECT_DOUBLE_EQ(progress.OverallFraction(), 1.0);

    platform::CapturingSink sink;
    CurrentImage original;
    const std::string photo =
        quillon::testing::TestDataPath("photos/" + std::string(kRecognisedPhoto));
    ASSERT_EQ(imageio::LoadImageFile(photo, original, sink).code(), 0);
    CurrentImage written;
    ASSERT_EQ(imageio::LoadImageFile(path, written, sink).code(), 0);
    EXPECT_EQ(written.metadata.exif, original.metadata.exif);
    EXPECT_NE(written.metadata.exif.size(), 0u);
    const ImageBuffer& shown = loaded.state->current.image.input;
    ASSERT_EQ(shown.dataSize, original.input.dataSize);
    // The shown photo keeps its uncorrected pixels for the preview and the
    // next write; the file has the corrected ones.
    EXPECT_TRUE(std::equal(shown.pixels, shown.pixels + shown.dataSize, original.input.pixels));
    EXPECT_FALSE(std::equal(shown.pixels, shown.pixels + shown.dataSize, written.input.pixels));
}

}  // namespace
}  // namespace quillon::app
