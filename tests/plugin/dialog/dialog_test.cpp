// The correction dialog as a host shows it: the plug-in run by the reference
// host with widgets drawn off screen, the dialog answered by the driver from
// inside the plug-in's event loop.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "preview/colour_management.h"
#include "tests/plugin/dialog/dialog_driver.h"
#include "tests/plugin/plugin_run.h"

namespace quillon::plugin_test {
namespace {

using host::Document;
using host::HostOptions;

// An Olympus E-420 with its 14-42 mm zoom at 24 mm, in the default database.
constexpr const char* kRecognised = "mdx_Issue_339.jpg";
// An RGB TIFF without any camera data.
constexpr const char* kWithoutMetadata = "libtiff_rgb-3c-8b.tiff";

const std::string kBits = sizeof(void*) == 8 ? "64-bit" : "32-bit";

bool SamePixels(const Document& a, const Document& b) { return a.planes == b.planes; }

class DialogTest : public PluginTest {
  protected:
    void SetUp() override {
        PluginTest::SetUp();
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        DialogDriver::Instance().Disarm();
        DialogDriver::Instance().Reset();
    }
    void TearDown() override { DialogDriver::Instance().Disarm(); }

    // Runs the filter with `script` answering the dialog, if one appears.
    PluginRun RunWith(Document& document, DialogScript& script, const HostOptions& options = {}) {
        DialogDriver::Instance().Arm(&script);
        PluginRun run = Run(document, options);
        DialogDriver::Instance().Disarm();
        return run;
    }

    // A stored number; a value not stored is its default.
    int Dword(const std::string& name, int fallback = -1) const {
        const std::optional<platform::StoredValue> value = Stored(name);
        return value ? static_cast<int>(value->dword) : fallback;
    }
};

TEST_F(DialogTest, AppearsExactlyWhenOneOfTheFourRulesHolds) {
    StoreSettings({});
    const auto appears = [&](const char* photo, const HostOptions& options) {
        Document document = Open(photo);
        DialogScript script;
        const PluginRun run = RunWith(document, script, options);
        EXPECT_EQ(DialogDriver::Instance().unexpectedDialogs, 0);
        return script.appearances == 1;
    };
    // Recognised, and nobody asks: corrected at once.
    EXPECT_FALSE(appears(kRecognised, {}));
    // The lens cannot be set up from the metadata alone.
    EXPECT_TRUE(appears(kWithoutMetadata, {}));
    // The host asks.
    HostOptions ask;
    ask.askForDialog = true;
    EXPECT_TRUE(appears(kRecognised, ask));
    // The user always wants it.
    StoreSettings({"\"AlwaysDisplayDialog\"=dword:00000001"});
    EXPECT_TRUE(appears(kRecognised, {}));
    // A handoff file is there.
    StoreSettings({});
    WriteHandoff(";Make!OLYMPUS IMAGING CORP.!");
    EXPECT_TRUE(appears(kRecognised, {}));
}

TEST_F(DialogTest, OkCorrectsWithTheDialogsValuesAndHandsTheStepBack) {
    StoreSettings({"\"AlwaysDisplayDialog\"=dword:00000001"});
    Document document = Open(kRecognised);
    const Document before = document;
    DialogScript script;
    script.act = [](QWidget& dialog) { DialogDriver::Type(dialog, "VigAmountEdit", "30"); };
    script.press = Press::kOk;
    const PluginRun run = RunWith(document, script);
    ASSERT_EQ(script.appearances, 1);
    EXPECT_TRUE(script.okEnabled);
    EXPECT_EQ(script.title.toStdString(), "Quillon 9.0 - " + kBits);
    ASSERT_EQ(run.report.result, 0) << run.messages;
    EXPECT_FALSE(SamePixels(document, before));
    ASSERT_TRUE(run.report.recorded);
    EXPECT_EQ(run.report.recorded->at(1).second, 30);  // 'vig2'
    EXPECT_EQ(Dword("VigAmount"), 30);
    EXPECT_TRUE(DialogDriver::Instance().boxes.empty());

    // The same values without the dialog give the same pixels: OK corrected
    // with what the dialog showed, not with what the run started with.
    StoreSettings({"\"ResetAlways\"=dword:00000000", "\"VigAmount\"=dword:0000001e"});
    Document again = before;
    DialogScript none;
    EXPECT_EQ(RunWith(again, none).report.result, 0);
    EXPECT_EQ(none.appearances, 0);
    EXPECT_TRUE(SamePixels(again, document));
}

TEST_F(DialogTest, CancelLeavesTheDocumentAndIsAFailureUnlessAHandoffFileAsked) {
    StoreSettings({});
    Document document = Open(kWithoutMetadata);
    const Document before = document;
    DialogScript cancel;
    const PluginRun run = RunWith(document, cancel);
    ASSERT_EQ(cancel.appearances, 1);
    EXPECT_EQ(run.report.result, FILTER_RESULT_CANCELLED);
    EXPECT_TRUE(SamePixels(document, before));
    EXPECT_FALSE(run.report.recorded);

    // Closing the window by its frame is Cancel.
    DialogScript close;
    close.press = Press::kCloseWindow;
    EXPECT_EQ(RunWith(document, close).report.result, FILTER_RESULT_CANCELLED);
    EXPECT_EQ(close.appearances, 1);

    // The application that left the handoff file takes a cancel as an answer.
    WriteHandoff(";Make!OLYMPUS IMAGING CORP.!;Model!E-420!;FocalLength!24!");
    DialogScript handoff;
    const PluginRun answered = RunWith(document, handoff);
    EXPECT_EQ(answered.report.result, 0);
    EXPECT_TRUE(SamePixels(document, before));
    EXPECT_FALSE(answered.report.recorded);
    EXPECT_FALSE(std::filesystem::exists(HandoffPath()));
}

TEST_F(DialogTest, ShowsTheCameraOfAHandoffFileForADocumentWithoutExif) {
    // The dialog reads the document's metadata again when it shows it; the
    // handoff file, read once per run, must still speak then.
    StoreSettings({});
    WriteHandoff(";Make!OLYMPUS IMAGING CORP.!;Model!E-420!;FocalLength!24!");
    Document document = Open(kWithoutMetadata);
    DialogScript script;
    RunWith(document, script);
    ASSERT_EQ(script.appearances, 1);
    EXPECT_NE(script.infoText.indexOf(QStringLiteral("E-420")), -1)
        << script.infoText.toStdString();
    EXPECT_EQ(script.make, QStringLiteral("Olympus"));
}

TEST_F(DialogTest, SizeAndMaximisedStateAreKeptForTheNextDialog) {
    StoreSettings({"\"AlwaysDisplayDialog\"=dword:00000001"});
    Document document = Open(kRecognised);
    QSize resized;
    DialogScript grow;
    grow.act = [&](QWidget& dialog) {
        dialog.resize(dialog.width() + 60, dialog.height() + 40);
        resized = dialog.size();
    };
    EXPECT_EQ(RunWith(document, grow).report.result, FILTER_RESULT_CANCELLED);
    EXPECT_EQ(grow.openedMaximized, false);
    EXPECT_EQ(Dword("DialogWidth"), resized.width());
    EXPECT_EQ(Dword("DialogHeight"), resized.height());
    EXPECT_EQ(Dword("DialogMaximized", 0), 0);

    DialogScript maximise;
    maximise.act = [](QWidget& dialog) { dialog.showMaximized(); };
    RunWith(document, maximise);
    EXPECT_EQ(Dword("DialogMaximized"), 1);
    // The size before maximising stays the one to restore to.
    EXPECT_EQ(Dword("DialogWidth"), resized.width());

    DialogScript reopened;
    RunWith(document, reopened);
    EXPECT_TRUE(reopened.openedMaximized);
}

TEST_F(DialogTest, HostsProfileIsThePreviewsSourceUnlessTheXmpNamesSrgb) {
    StoreSettings({"\"AlwaysDisplayDialog\"=dword:00000001"});
    const auto preview = [&](const std::vector<std::uint8_t>& icc, const std::string& xmp,
                             bool hostAllowsProfiles) {
        Document document = Open(kRecognised);
        document.icc = icc;
        document.xmp.assign(xmp.begin(), xmp.end());
        HostOptions options;
        options.iccProfiles = hostAllowsProfiles;
        DialogScript script;
        RunWith(document, script, options);
        EXPECT_EQ(script.appearances, 1);
        return script.preview;
    };
    const auto bytes = preview::BuiltInProfile(preview::kProfileProPhotoRgb);
    const std::vector<std::uint8_t> wide(bytes.begin(), bytes.end());
    const std::string srgbXmp =
        "<x:xmpmeta><rdf:RDF><rdf:Description photoshop:ICCProfile=\"sRGB IEC61966-2.1\"/>"
        "</rdf:RDF></x:xmpmeta>";

    const QImage asIs = preview(wide, "", /*hostAllowsProfiles=*/false);
    const QImage converted = preview(wide, "", true);
    ASSERT_FALSE(asIs.isNull());
    EXPECT_NE(converted, asIs);
    EXPECT_EQ(preview(wide, srgbXmp, true), asIs);
}

TEST_F(DialogTest, FailureWhileCorrectingIsShownAndTheHostIsOnlyCalledFromItsThread) {
    // Perspective needs working memory beside the document's two blocks; the
    // host refuses it while the correction runs on the busy window's thread.
    StoreSettings({"\"AlwaysDisplayDialog\"=dword:00000001", "\"ResetAlways\"=dword:00000000",
                   "\"PerspectVert\"=dword:0000000a"});
    Document document = Open(kRecognised);
    const Document before = document;
    HostOptions options;
    options.failAllocation = 3;
    DialogScript script;
    script.press = Press::kOk;
    const PluginRun run = RunWith(document, script, options);
    ASSERT_EQ(script.appearances, 1);
    EXPECT_EQ(run.report.result, FILTER_RESULT_OUT_OF_MEMORY);
    const std::vector<std::string>& boxes = DialogDriver::Instance().boxes;
    // The host's refusal, then what the correction could not do without it.
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "allocMem error 2: out of memory");
    EXPECT_EQ(boxes[1], "Insufficient memory for Perspective adjustments");
    EXPECT_TRUE(SamePixels(document, before));
    EXPECT_FALSE(run.report.recorded);
    // Run() has checked that no proc was called from another thread.
}

TEST_F(DialogTest, AboutNamesTheBuild) {
    DialogDriver::Instance().Reset();
    EXPECT_EQ(host::RunAbout(plugin_, 0), 0);
    const std::vector<std::string>& abouts = DialogDriver::Instance().abouts;
    ASSERT_EQ(abouts.size(), 1u);
    EXPECT_EQ(abouts[0], "Quillon 9.0  " + kBits);
}

TEST_F(DialogTest, OptionsArePluginOnesSavedAtOnceAndDetectionReadsTheHostAgain) {
    StoreSettings({"\"AlwaysDisplayDialog\"=dword:00000001"});
    Document document = Open(kRecognised);
    QString infoBefore;
    int alwaysStoredAfterOptions = -1;
    DialogScript script;
    script.act = [&](QWidget& dialog) {
        // F1 is the one key of the dialog: Help.
        EXPECT_NE(DialogDriver::Find<QObject>(dialog, "Key F1"), nullptr);
        infoBefore = DialogDriver::Find<QPlainTextEdit>(dialog, "InfoBox")->toPlainText();
        auto* options = DialogDriver::Find<QAction>(dialog, "Menu40006");
        ASSERT_NE(options, nullptr);
        options->trigger();
        alwaysStoredAfterOptions = Dword("AlwaysDisplayDialog");
    };
    std::map<std::string, int> controls;
    script.options = [&](QDialog& options) {
        for (const char* name : {"AlwaysDisplayDialogCheck", "ThreadsEdit", "ThreadsLabel",
                                 "JpegQualityEdit", "SuffixEdit", "ViewerEdit"}) {
            auto* widget = DialogDriver::Find<QWidget>(options, name);
            controls[name] = widget != nullptr ? widget->property("controlId").toInt() : 0;
        }
        DialogDriver::Find<QCheckBox>(options, "AlwaysDisplayDialogCheck")->setChecked(false);
        DialogDriver::Find<QCheckBox>(options, "DetectCameraCheck")->setChecked(false);
    };
    RunWith(document, script);
    ASSERT_EQ(script.appearances, 1);
    EXPECT_EQ(controls["AlwaysDisplayDialogCheck"], 1009);
    EXPECT_EQ(controls["ThreadsEdit"], 1128);
    EXPECT_EQ(controls["ThreadsLabel"], 1126);
    EXPECT_EQ(controls["JpegQualityEdit"] | controls["SuffixEdit"] | controls["ViewerEdit"], 0);
    EXPECT_EQ(alwaysStoredAfterOptions, 0);
    // The camera is no longer taken from the host's metadata, read anew (the
    // make menu may still offer it: the lens history remembers it).
    EXPECT_NE(infoBefore.indexOf(QStringLiteral("E-420")), -1) << infoBefore.toStdString();
    EXPECT_EQ(script.infoText.indexOf(QStringLiteral("E-420")), -1)
        << script.infoText.toStdString();
    EXPECT_EQ(Dword("DetectCamera"), 0);
}

TEST_F(DialogTest, PluginMakesTheApplicationOnceKeepsItAndLeavesTheHostsLocale) {
    if (QCoreApplication::instance() != nullptr) {
        GTEST_SKIP() << "needs a process without an application object (ctest runs each test "
                        "in one of its own)";
    }
    // The toolkit would take the locale from the environment.
    ::setenv("LC_ALL", "C.UTF-8", 1);
    const std::string hostLocale = std::setlocale(LC_ALL, nullptr);
    StoreSettings({"\"AlwaysDisplayDialog\"=dword:00000001"});
    Document document = Open(kRecognised);
    DialogScript first;
    RunWith(document, first);
    ::unsetenv("LC_ALL");
    EXPECT_EQ(first.appearances, 1);
    QCoreApplication* made = QCoreApplication::instance();
    ASSERT_NE(qobject_cast<QApplication*>(made), nullptr);
    EXPECT_EQ(std::setlocale(LC_ALL, nullptr), hostLocale);

    // The next run shows its dialog with the same application object.
    DialogScript second;
    RunWith(document, second);
    EXPECT_EQ(second.appearances, 1);
    EXPECT_EQ(QCoreApplication::instance(), made);
}

}  // namespace
}  // namespace quillon::plugin_test
