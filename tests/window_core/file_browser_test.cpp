// The folder browser without widgets: the list of a real folder, the
// selection, moving files away and the batch correction on real photos.

#include "app/window_core/file_browser.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imageio/image_file.h"
#include "tests/window_core/loaded_state.h"

namespace quillon::app {
namespace {

using testing::kCameraOnlyPhoto;
using testing::kRecognisedPhoto;
using testing::kUnknownCameraPhoto;

void Touch(const std::string& path, const std::string& text = "x") {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(FileListTest, ListsPhotosInAnyLetterCaseSortedAndNothingElse) {
    quillon::testing::TempDir dir;
    for (const char* name : {"c.TIFF", "b.jpeg", "A.JPG", "d.Tif", "a2.jpg", ".hidden.jpg",
                             "picture.png", "notes.jpg.txt", "jpg", "e.jpe"}) {
        Touch(dir.File(name));
    }
    // A folder named like a photo, and a link to a photo (offered like the photo).
    std::filesystem::create_directory(dir.File("x.jpg"));
    std::filesystem::create_symlink(dir.File("A.JPG"), dir.File("link.jpg"));
    std::filesystem::create_symlink(dir.File("missing.jpg"), dir.File("dangling.jpg"));

    // Letter case does not decide the order: "a2" comes between "A" and "b".
    EXPECT_EQ(
        ListImageFiles(dir.path()),
        (std::vector<std::string>{"A.JPG", "a2.jpg", "b.jpeg", "c.TIFF", "d.Tif", "link.jpg"}));
    EXPECT_TRUE(ListImageFiles(dir.File("no such folder")).empty());
    EXPECT_TRUE(ListImageFiles("").empty());
}

TEST(FileListTest, CounterTextHasTwoBlanksAfterTheColon) {
    EXPECT_EQ(CounterText(1, 3, "/p/a.jpg"), "001/003:  /p/a.jpg");
    EXPECT_EQ(CounterText(12, 1500, "x"), "012/1500:  x");
}

// Runs every step of the window's thread on the caller's, recording the
// status bar as the batch leaves it each time.
class DirectHost final : public BatchHost {
  public:
    explicit DirectHost(FileBrowser& browser) : browser_(browser) {}
    void OnWindowThread(const std::function<void()>& task) override {
        task();
        statusTexts.push_back(browser_.StatusText());
        infoTexts.push_back(browser_.session().InfoText());
        rendered.push_back(!browser_.session().preview().renderer.Display().empty());
    }
    bool StopRequested() const override { return ++asked_ > stopAfter; }

    int stopAfter = 1000;
    std::vector<std::string> statusTexts;
    // What the window shows after each step: the information text, and
    // whether the preview holds a picture.
    std::vector<std::string> infoTexts;
    std::vector<bool> rendered;

  private:
    FileBrowser& browser_;
    mutable int asked_ = 0;
};

class FileBrowserTest : public ::testing::Test {
  protected:
    FileBrowserTest() : session(*loaded.state, loaded.sink), browser(session), host(browser) {
        session.SetArea(602, 402);
    }

    std::string Put(const std::string& photo, const std::string& name) {
        const std::string target = loaded.dir.File(name);
        EXPECT_TRUE(quillon::testing::WriteBytes(
            target,
            quillon::testing::ReadBytes(quillon::testing::TestDataPath("photos/" + photo))));
        return target;
    }

    void OpenFolder() { browser.ChooseFolder(loaded.dir.path()); }

    void SelectNames(const std::vector<std::string>& names) {
        std::vector<int> rows;
        for (const auto& name : names) rows.push_back(browser.RowOf(name));
        browser.Select(rows);
    }

    // What Apply does around the batch's own thread.
    BatchResult Apply() {
        const std::vector<std::string> names = browser.BatchNames();
        session.SetBusy(true);
        BatchProgress progress(static_cast<int>(names.size()));
        const BatchResult result = browser.RunBatch(names, browser.BatchOptions(), host, progress);
        session.SetBusy(false);
        browser.FinishBatch(result);
        return result;
    }

    bool ReadsAsPhoto(const std::string& path) {
        platform::CapturingSink sink;
        CurrentImage image;
        return imageio::LoadImageFile(path, image, sink).ok();
    }

    testing::LoadedState loaded;
    WindowSession session;
    FileBrowser browser;
    DirectHost host;
};

TEST_F(FileBrowserTest, SelectionShowsOnePhotoAndLeavesSeveralUnshown) {
    Put(kRecognisedPhoto, "one.jpg");
    Put(kRecognisedPhoto, "two.jpg");
    OpenFolder();
    EXPECT_EQ(browser.StatusText(), loaded.dir.path());
    EXPECT_EQ(browser.Names(), (std::vector<std::string>{"one.jpg", "two.jpg"}));

    browser.Select({1});
    EXPECT_EQ(browser.StatusText(), loaded.dir.File("two.jpg"));
    EXPECT_TRUE(session.ImageShown());
    EXPECT_TRUE(session.Enabling().apply);

    browser.Select({0, 1});
    EXPECT_EQ(browser.StatusText(), loaded.dir.path());
    EXPECT_EQ(session.preview().imageState, preview::kImageSeveralSelected);
    // Each file's lens is found when it is corrected: Apply and Delete work.
    EXPECT_TRUE(session.Enabling().apply);
    EXPECT_TRUE(session.Enabling().deleteFiles);
    EXPECT_FALSE(session.Enabling().general);

    browser.Select({});
    EXPECT_EQ(browser.StatusText(), loaded.dir.path());
    EXPECT_FALSE(session.ImageShown());
    EXPECT_FALSE(session.Enabling().deleteFiles);
}

TEST_F(FileBrowserTest, ApplyToThreeFilesWritesThreeAndCountsThemInTheStatusBar) {
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) Put(kRecognisedPhoto, name);
    OpenFolder();
    SelectNames({"a.jpg", "b.jpg", "c.jpg"});

    const BatchResult result = Apply();
    EXPECT_EQ(result.written, 3);
    EXPECT_EQ(result.stop, BatchStop::kNone);
    ASSERT_FALSE(host.statusTexts.empty());
    EXPECT_EQ(host.statusTexts.front(), "001/003:  " + loaded.dir.File("a.jpg"));
    for (const char* name : {"a_lc.jpg", "b_lc.jpg", "c_lc.jpg"}) {
        EXPECT_TRUE(ReadsAsPhoto(loaded.dir.File(name))) << name;
    }
    // The new files are listed, and the last one worked on is selected again
    // and stays shown.
    EXPECT_EQ(browser.Names().size(), 6u);
    ASSERT_EQ(browser.Selected().size(), 1u);
    EXPECT_EQ(browser.Names()[static_cast<std::size_t>(browser.Selected()[0])], "c.jpg");
    EXPECT_EQ(browser.StatusText(), loaded.dir.File("c.jpg"));
    EXPECT_EQ(session.preview().path, loaded.dir.File("c.jpg"));
    EXPECT_EQ(session.preview().imageState, preview::kImageShown);
    EXPECT_EQ(loaded.sink.Count(), 0u) << loaded.sink.Last();
}

TEST_F(FileBrowserTest, ApplyingTwiceOverwritesAndAnOutputGetsTheSuffixAgain) {
    Put(kRecognisedPhoto, "photo.jpg");
    OpenFolder();
    SelectNames({"photo.jpg"});
    ASSERT_EQ(Apply().written, 1);
    const std::string output = loaded.dir.File("photo_lc.jpg");
    ASSERT_TRUE(ReadsAsPhoto(output));

    // Whatever stands at the output's name is replaced by the second run.
    Touch(output, "not a photo");
    SelectNames({"photo.jpg"});
    ASSERT_EQ(Apply().written, 1);
    EXPECT_TRUE(ReadsAsPhoto(output));
    EXPECT_EQ(browser.Names(), (std::vector<std::string>{"photo.jpg", "photo_lc.jpg"}));

    SelectNames({"photo_lc.jpg"});
    ASSERT_EQ(Apply().written, 1);
    EXPECT_TRUE(ReadsAsPhoto(loaded.dir.File("photo_lc_lc.jpg")));
}

TEST_F(FileBrowserTest, FileWithoutLensAbortsAfterTheFirstAndStaysShown) {
    Put(kRecognisedPhoto, "a.jpg");
    Put(kUnknownCameraPhoto, "b.jpg");
    Put(kRecognisedPhoto, "c.jpg");
    OpenFolder();
    SelectNames({"a.jpg", "b.jpg", "c.jpg"});

    const BatchResult result = Apply();
    EXPECT_EQ(result.written, 1);
    EXPECT_EQ(result.stop, BatchStop::kNoLens);
    EXPECT_TRUE(ReadsAsPhoto(loaded.dir.File("a_lc.jpg")));
    EXPECT_FALSE(std::filesystem::exists(loaded.dir.File("b_lc.jpg")));
    EXPECT_FALSE(std::filesystem::exists(loaded.dir.File("c_lc.jpg")));
    EXPECT_EQ(loaded.sink.Last(), "Batch job aborted");
    // While the batch ran, each photo was shown with its own description.
    ASSERT_EQ(host.infoTexts.size(), 4u);  // status and photo, twice
    EXPECT_NE(host.infoTexts[1].find("E-420"), std::string::npos) << host.infoTexts[1];
    EXPECT_NE(host.infoTexts[3].find("ist DL"), std::string::npos) << host.infoTexts[3];
    EXPECT_TRUE(host.rendered[3]);
    // The photo stays shown so that its lens can be chosen by hand.
    EXPECT_EQ(session.preview().path, loaded.dir.File("b.jpg"));
    EXPECT_TRUE(session.ImageShown());
    EXPECT_EQ(browser.StatusText(), loaded.dir.File("b.jpg"));
    ASSERT_EQ(browser.Selected().size(), 1u);
    EXPECT_EQ(browser.Names()[static_cast<std::size_t>(browser.Selected()[0])], "b.jpg");
}

TEST_F(FileBrowserTest, UnreadableFileAbortsWithNothingShown) {
    Put(kRecognisedPhoto, "a.jpg");
    Touch(loaded.dir.File("b.jpg"), "no photo");
    OpenFolder();
    SelectNames({"a.jpg", "b.jpg"});

    const BatchResult result = Apply();
    EXPECT_EQ(result.written, 1);
    EXPECT_EQ(result.stop, BatchStop::kUnreadable);
    EXPECT_EQ(loaded.sink.Last(), "Batch job aborted");
    EXPECT_FALSE(session.ImageShown());
    EXPECT_TRUE(browser.Selected().empty());
    EXPECT_EQ(browser.StatusText(), loaded.dir.path());
    // Nothing is busy any more: the list and Directory can be used.
    EXPECT_TRUE(session.Enabling().fileList);
}

TEST_F(FileBrowserTest, StopEndsAfterTheFileBeingWrittenAndSaysHowManyWere) {
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) Put(kRecognisedPhoto, name);
    OpenFolder();
    SelectNames({"a.jpg", "b.jpg", "c.jpg"});
    host.stopAfter = 1;  // asked after the first file: no; after the second: yes

    const BatchResult result = Apply();
    EXPECT_EQ(result.written, 2);
    EXPECT_EQ(result.stop, BatchStop::kStoppedByUser);
    EXPECT_TRUE(ReadsAsPhoto(loaded.dir.File("b_lc.jpg")));
    EXPECT_FALSE(std::filesystem::exists(loaded.dir.File("c_lc.jpg")));
    EXPECT_EQ(browser.StatusText(), "2 of 3 files written");
    EXPECT_EQ(loaded.sink.Count(), 0u) << loaded.sink.Last();
}

// The next file is read while one is written; what that reading found is
// said only when the batch reaches the file, and never when it stops first.
TEST_F(FileBrowserTest, AFileReadAheadIsSilentUntilItsTurn) {
    Put(kRecognisedPhoto, "a.jpg");
    Put(kRecognisedPhoto, "b.jpg");
    Touch(loaded.dir.File("c.jpg"), "no photo");
    OpenFolder();
    SelectNames({"a.jpg", "b.jpg", "c.jpg"});
    host.stopAfter = 1;
    EXPECT_EQ(Apply().stop, BatchStop::kStoppedByUser);
    EXPECT_EQ(loaded.sink.Count(), 0u) << loaded.sink.Last();

    SelectNames({"b.jpg", "c.jpg"});
    host.stopAfter = 1000;
    EXPECT_EQ(Apply().stop, BatchStop::kUnreadable);
    ASSERT_EQ(loaded.sink.Count(), 2u);
    EXPECT_NE(loaded.sink.Messages()[0].text, "Batch job aborted");
    EXPECT_EQ(loaded.sink.Last(), "Batch job aborted");
}

// A file the batch writes before reaching it is read as written, not as it
// was when the batch began.
TEST_F(FileBrowserTest, AFileTheBatchWritesIsReadAfterItWasWritten) {
    Put(kRecognisedPhoto, "a.jpg");
    Put(kUnknownCameraPhoto, "a_lc.jpg");  // replaced by a.jpg's correction
    OpenFolder();
    SelectNames({"a.jpg", "a_lc.jpg"});
    const BatchResult result = Apply();
    EXPECT_EQ(result.stop, BatchStop::kNone);
    EXPECT_EQ(result.written, 2);
    EXPECT_TRUE(ReadsAsPhoto(loaded.dir.File("a_lc_lc.jpg")));
}

TEST_F(FileBrowserTest, PhotoWithoutFocalLengthIsNeverCorrectedAtAGuess) {
    Put(kRecognisedPhoto, "a.jpg");
    Put(kCameraOnlyPhoto, "k1.jpg");
    Put(kCameraOnlyPhoto, "k2.jpg");
    OpenFolder();
    SelectNames({"a.jpg", "k1.jpg"});
    EXPECT_EQ(Apply().stop, BatchStop::kNoLens);
    EXPECT_FALSE(std::filesystem::exists(loaded.dir.File("k1_lc.jpg")));
    EXPECT_EQ(session.preview().path, loaded.dir.File("k1.jpg"));

    // The lens menu offers the camera's lenses; once one is chosen and its
    // focal length typed, Apply on the photo shown writes it.
    const lensdb::LensSelection& selection = loaded.state->current.selection;
    const auto& lines = selection.lensMenuLines.lines;
    const auto zoom = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find("18-55mm") != std::string::npos;
    });
    ASSERT_NE(zoom, lines.end());
    EXPECT_FALSE(session.Enabling().focalLength);
    session.ChooseLens(static_cast<int>(zoom - lines.begin()));
    EXPECT_TRUE(session.Enabling().focalLength);
    session.EnterFocalLength("35");
    EXPECT_FLOAT_EQ(selection.focalInUse, 35.0f);
    EXPECT_TRUE(selection.coefficientsValid);
    EXPECT_TRUE(session.Enabling().apply);
    loaded.sink.Clear();
    EXPECT_EQ(Apply().written, 1);
    EXPECT_TRUE(ReadsAsPhoto(loaded.dir.File("k1_lc.jpg")));

    // With that choice in the lens history the lens is offered again for the
    // next such photo, at the focal length last used; a batch still stops
    // there, since nobody measured it.
    SelectNames({"k1.jpg", "k2.jpg"});
    EXPECT_EQ(Apply().stop, BatchStop::kNoLens);
    EXPECT_TRUE(selection.IsRealLensSelected());
    EXPECT_FLOAT_EQ(selection.focalInUse, 35.0f);
    EXPECT_EQ(session.preview().path, loaded.dir.File("k1.jpg"));
    EXPECT_FALSE(std::filesystem::exists(loaded.dir.File("k2_lc.jpg")));
}

TEST_F(FileBrowserTest, DeleteMovesOnlyTheSelectedFilesAndShowsNoImage) {
    Put(kRecognisedPhoto, "a.jpg");
    Put(kRecognisedPhoto, "b.jpg");
    Put(kRecognisedPhoto, "c.jpg");
    OpenFolder();
    std::vector<std::string> moved;
    const auto trash = [&](const std::string& path) {
        moved.push_back(path);
        // The second refuses: it stays where it is and listed.
        return moved.size() != 2;
    };

    EXPECT_EQ(browser.DeleteSelected(trash), 0);
    EXPECT_TRUE(moved.empty());

    SelectNames({"a.jpg", "c.jpg"});
    EXPECT_EQ(browser.DeleteSelected(trash), 1);
    EXPECT_EQ(moved,
              (std::vector<std::string>{loaded.dir.File("a.jpg"), loaded.dir.File("c.jpg")}));
    EXPECT_FALSE(session.ImageShown());
    EXPECT_TRUE(browser.Selected().empty());
}

}  // namespace
}  // namespace quillon::app
