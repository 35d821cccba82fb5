// The editor window from its files to the files it writes, its enabling
// table seen through the widgets, and its resizing.

#include <QAbstractButton>
#include <QComboBox>
#include <QRadioButton>

#include "imageio/image_file.h"
#include "tests/window/window_fixture.h"

namespace quillon::app {
namespace {

using testing::kCameraOnlyPhoto;
using testing::kRecognisedPhoto;
using testing::kTurnedPhoto;
using testing::kUnknownCameraPhoto;
using testing::WindowFixture;

CurrentImage Load(const std::string& path) {
    platform::CapturingSink sink;
    CurrentImage image;
    EXPECT_EQ(imageio::LoadImageFile(path, image, sink).code(), 0) << sink.Last();
    return image;
}

bool SamePixels(const CurrentImage& a, const CurrentImage& b) {
    return a.input.dataSize == b.input.dataSize &&
           std::equal(a.input.pixels, a.input.pixels + a.input.dataSize, b.input.pixels);
}

TEST(EditorTest, OkWritesTheFileOverItselfAndShowsTheNext) {
    WindowFixture fixture;
    const std::string first = fixture.loaded.Copy(kRecognisedPhoto);
    const std::string second = fixture.loaded.Copy(kTurnedPhoto);
    fixture.loaded.state->start.fileList.paths = {first, second};
    const CurrentImage before = Load(first);
    MainWindow& window = fixture.Open();
    EXPECT_EQ(window.StatusText().toStdString(), "001/002:  " + first);
    EXPECT_EQ(window.windowTitle(), "Quillon 9.0 - 64-bit");

    auto* ok = fixture.Find<QAbstractButton>(ControlId::kApply);
    ASSERT_TRUE(ok->isEnabled());
    ok->click();

    const CurrentImage after = Load(first);
    EXPECT_FALSE(SamePixels(before, after));  // the distortion was corrected
    EXPECT_EQ(after.metadata.exif, before.metadata.exif);
    EXPECT_EQ(after.metadata.icc, before.metadata.icc);
    EXPECT_EQ(after.metadata.xmp, before.metadata.xmp);
    EXPECT_EQ(window.StatusText().toStdString(), "002/002:  " + second);
    EXPECT_EQ(fixture.session->preview().path, second);
    EXPECT_TRUE(fixture.prompts.asked.empty());
    EXPECT_EQ(fixture.loaded.sink.Count(), 0u) << fixture.loaded.sink.Last();
}

TEST(EditorTest, CancelAsksAndMovesOnWithoutWriting) {
    WindowFixture fixture;
    const std::string first = fixture.loaded.Copy(kRecognisedPhoto);
    const std::string second = fixture.loaded.Copy(kUnknownCameraPhoto);
    fixture.loaded.state->start.fileList.paths = {first, second};
    const auto original = quillon::testing::ReadBytes(first);
    MainWindow& window = fixture.Open();
    bool finished = false;
    QObject::connect(&window, &MainWindow::finished, [&] { finished = true; });

    fixture.Find<QAbstractButton>(ControlId::kCancel)->click();
    ASSERT_EQ(fixture.prompts.asked.size(), 1u);
    EXPECT_EQ(fixture.prompts.asked[0], "Quillon: Continue with next file?");
    EXPECT_EQ(quillon::testing::ReadBytes(first), original);
    EXPECT_EQ(fixture.session->preview().path, second);
    EXPECT_FALSE(finished);

    // At the last file Cancel ends the window without asking.
    fixture.Find<QAbstractButton>(ControlId::kCancel)->click();
    EXPECT_EQ(fixture.prompts.asked.size(), 1u);
    EXPECT_TRUE(finished);
    EXPECT_EQ(window.Result(), 0);
}

TEST(EditorTest, NoMeansTheWindowEnds) {
    WindowFixture fixture;
    fixture.loaded.state->start.fileList.paths = {fixture.loaded.Copy(kRecognisedPhoto),
                                                  fixture.loaded.Copy(kUnknownCameraPhoto)};
    MainWindow& window = fixture.Open();
    bool finished = false;
    QObject::connect(&window, &MainWindow::finished, [&] { finished = true; });
    fixture.prompts.answer = false;
    // Closing the window by its frame is the Cancel button.
    window.close();
    EXPECT_EQ(fixture.prompts.asked.size(), 1u);
    EXPECT_TRUE(finished);
}

TEST(EditorTest, UnreadableFileLeavesTheWindowUsableAndWritesNothing) {
    WindowFixture fixture;
    // A TIFF header whose first directory lies past the end of the file.
    const std::string broken = fixture.loaded.dir.File("broken.tif");
    const std::vector<std::uint8_t> bytes = {'I', 'I', 42, 0, 8, 0, 0, 0, 0xff, 0xff};
    ASSERT_TRUE(quillon::testing::WriteBytes(broken, bytes));
    fixture.loaded.state->start.fileList.paths = {broken, fixture.loaded.Copy(kRecognisedPhoto)};
    fixture.Open();
    EXPECT_FALSE(fixture.session->ImageShown());
    EXPECT_NE(fixture.loaded.sink.Last().find("Unable to open file"), std::string::npos)
        << fixture.loaded.sink.Last();
    EXPECT_FALSE(fixture.Find<QAbstractButton>(ControlId::kApply)->isEnabled());
    EXPECT_TRUE(fixture.Find<QAbstractButton>(ControlId::kCancel)->isEnabled());
    EXPECT_EQ(quillon::testing::ReadBytes(broken), bytes);
    fixture.Find<QAbstractButton>(ControlId::kCancel)->click();
    EXPECT_TRUE(fixture.session->ImageShown());
}

class EnablingThroughWidgetsTest : public ::testing::Test {
  protected:
    bool Enabled(ControlId id) { return fixture.Find<QWidget>(id)->isEnabled(); }
    void Open(const char* photo) {
        fixture.loaded.state->start.fileList.paths = {fixture.loaded.Copy(photo)};
        fixture.Open();
    }
    WindowFixture fixture;
};

TEST_F(EnablingThroughWidgetsTest, NoImage) {
    fixture.Open();
    EXPECT_FALSE(Enabled(ControlId::kApply));
    EXPECT_TRUE(Enabled(ControlId::kCancel));
    EXPECT_FALSE(Enabled(ControlId::kResetAll));
    EXPECT_FALSE(Enabled(ControlId::kCorrectDistortion));
    EXPECT_FALSE(Enabled(ControlId::kMakeMenu));
    EXPECT_FALSE(Enabled(ControlId::kVigAmountSlider));
    EXPECT_FALSE(Enabled(ControlId::kFisheyeCropEdit));
}

TEST_F(EnablingThroughWidgetsTest, ImageWithALensMatch) {
    Open(kRecognisedPhoto);
    EXPECT_TRUE(Enabled(ControlId::kApply));
    EXPECT_TRUE(Enabled(ControlId::kMakeMenu) && Enabled(ControlId::kLensLabel));
    EXPECT_TRUE(Enabled(ControlId::kFocalEdit));
    EXPECT_TRUE(Enabled(ControlId::kVigAmountEdit) && Enabled(ControlId::kVignettingReset));
    EXPECT_FALSE(Enabled(ControlId::kFisheyeDistortionSlider));
    EXPECT_FALSE(fixture.Find<QWidget>(ControlId::kVerticalScrollBar)->isVisible());
}

TEST_F(EnablingThroughWidgetsTest, ImageWithoutALensMatchAndTheFisheyeKind) {
    Open(kCameraOnlyPhoto);
    EXPECT_FALSE(Enabled(ControlId::kApply));
    EXPECT_TRUE(Enabled(ControlId::kLensMenu));
    EXPECT_FALSE(Enabled(ControlId::kFocalEdit));

    fixture.Find<QRadioButton>(ControlId::kCorrectFisheye)->click();
    EXPECT_EQ(fixture.loaded.state->stored.correction.CorChoice, engine::kCorrectFisheye);
    EXPECT_TRUE(Enabled(ControlId::kApply));
    EXPECT_TRUE(Enabled(ControlId::kFisheyeDistortionSlider) && Enabled(ControlId::kFisheyeReset));
    EXPECT_FALSE(Enabled(ControlId::kLensMenu));
}

TEST_F(EnablingThroughWidgetsTest, SeveralFilesSelectedInTheBrowser) {
    WindowFixture browser(WindowVariant::kBrowser);
    MainWindow& window = browser.Open();
    EXPECT_FALSE(browser.Find<QWidget>(ControlId::kDelete)->isEnabled());
    EXPECT_TRUE(browser.Find<QWidget>(ControlId::kDirectory)->isEnabled());
    browser.session->preview().imageState = preview::kImageSeveralSelected;
    window.RefreshAll();
    EXPECT_TRUE(browser.Find<QWidget>(ControlId::kApply)->isEnabled());
    EXPECT_TRUE(browser.Find<QWidget>(ControlId::kDelete)->isEnabled());
    EXPECT_TRUE(browser.Find<QWidget>(ControlId::kFileList)->isEnabled());
    EXPECT_FALSE(browser.Find<QWidget>(ControlId::kRotateLeft)->isEnabled());
    EXPECT_FALSE(browser.Find<QWidget>(ControlId::kResetAll)->isEnabled());
    EXPECT_EQ(browser.Find<QWidget>(ControlId::kApply)->property("controlId").toInt(), 1110);
}

TEST(EditorTest, ResizingGrowsOnlyThePreviewAndKeepsTheButtonsInTheCorner) {
    WindowFixture fixture;
    fixture.loaded.state->start.fileList.paths = {fixture.loaded.Copy(kTurnedPhoto)};
    MainWindow& window = fixture.Open();
    const auto geometryOf = [&](ControlId id) {
        QWidget* widget = fixture.Find<QWidget>(id);
        return QRect(widget->mapTo(&window, QPoint(0, 0)), widget->size());
    };
    const auto fromBottomRight = [&](ControlId id) {
        const QRect r = geometryOf(id);
        return QPoint(window.width() - r.right(), window.height() - r.bottom());
    };
    const ControlId fixedControls[] = {ControlId::kInfoBox,
                                       ControlId::kTabs,
                                       ControlId::kMakeMenu,
                                       ControlId::kCorrectGroup,
                                       ControlId::kFisheyeDistortionSlider,
                                       ControlId::kResetAll};
    std::vector<QSize> sizes;
    for (ControlId id : fixedControls) sizes.push_back(geometryOf(id).size());
    const QPoint ok = fromBottomRight(ControlId::kApply);
    const QPoint cancel = fromBottomRight(ControlId::kCancel);
    const QSize area = geometryOf(ControlId::kPreviewArea).size();
    const std::int32_t previewWidth = fixture.session->preview().placement.width;

    window.resize(window.width() + 200, window.height() + 120);
    QTest::qWait(400);  // the preview is rebuilt once the size settles

    EXPECT_EQ(fromBottomRight(ControlId::kApply), ok);
    EXPECT_EQ(fromBottomRight(ControlId::kCancel), cancel);
    EXPECT_EQ(geometryOf(ControlId::kPreviewArea).size(), area + QSize(200, 120));
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        EXPECT_EQ(geometryOf(fixedControls[i]).size(), sizes[i]) << i;
    }
    EXPECT_GT(fixture.session->preview().placement.width, previewWidth);
    // The size is remembered for the next start.
    EXPECT_EQ(fixture.loaded.state->stored.values.dialog.width, window.width());
    EXPECT_EQ(fixture.loaded.state->stored.values.dialog.height, window.height());
}

TEST(EditorTest, PreviewIsCentredUnscaledAndFramed) {
    WindowFixture fixture;
    fixture.loaded.state->start.fileList.paths = {fixture.loaded.Copy(kRecognisedPhoto)};
    fixture.loaded.state->stored.correction.CorChoice = engine::kCorrectNeither;
    fixture.Open();
    auto* area = fixture.Find<QWidget>(ControlId::kPreviewArea);
    const QImage shown = area->grab().toImage();
    const preview::PreviewPlacement& placement = fixture.session->preview().placement;
    ASSERT_EQ(placement.width, 400);  // the photo is not enlarged
    EXPECT_EQ(placement.left, (area->width() - 400) / 2);
    EXPECT_EQ(shown.pixelColor(placement.left - 1, placement.top + 10), QColor(Qt::black));
    EXPECT_EQ(shown.pixelColor(placement.left + 400, placement.top + 10), QColor(Qt::black));
    const preview::DisplayImage& display = fixture.session->preview().renderer.Display();
    const std::uint8_t* pixel = display.Row(100) + 3 * 200;
    EXPECT_EQ(shown.pixelColor(placement.left + 200, placement.top + 100),
              QColor(pixel[0], pixel[1], pixel[2]));
}

}  // namespace
}  // namespace quillon::app
