// The plug-in run by the reference host on real photos: when it corrects at
// once and when it asks for the dialog, what it keeps, and what it hands back.

#include <filesystem>

#include "tests/plugin/plugin_run.h"

namespace quillon::plugin_test {
namespace {

using host::Document;
using host::HostOptions;

bool SamePixels(const Document& a, const Document& b) { return a.planes == b.planes; }

// An Olympus E-420 with its 14-42 mm zoom at 24 mm, in the default database.
constexpr const char* kRecognised = "mdx_Issue_339.jpg";
// An RGB TIFF without any camera data.
constexpr const char* kWithoutMetadata = "libtiff_rgb-3c-8b.tiff";

TEST_F(PluginTest, RecognisedPhotoIsCorrectedWithoutDialogAndTheSettingsAreSaved) {
    Document document = Open(kRecognised);
    const Document before = document;
    const PluginRun run = Run(document);
    EXPECT_EQ(run.report.result, 0) << run.messages;
    EXPECT_EQ(run.messages.find("dialog requested"), std::string::npos);
    EXPECT_FALSE(SamePixels(document, before));
    ASSERT_TRUE(Stored("Version"));
    EXPECT_EQ(Stored("Version")->text, "Quillon 9.0");
    // A save writes what the run changed: the first run's language, not the
    // defaults it left alone, and never the program's own values.
    EXPECT_TRUE(Stored("Language"));
    EXPECT_FALSE(Stored("AlwaysDisplayDialog"));
    EXPECT_FALSE(Stored("JpegQuality"));
    // The memory it asked the host to hold back, and the rectangles it leaves.
    EXPECT_EQ(run.report.maxSpace, 0);
    EXPECT_EQ(run.report.bufferSpace, 0);
    EXPECT_GE(run.report.continueCalls, 1);
    for (const FilterRect16& r : {run.report.lastIn, run.report.lastOut, run.report.lastMask}) {
        EXPECT_EQ(r.top | r.left | r.bottom | r.right, 0);
    }
}

// A settings file that exists but cannot be read (a folder in its place stops
// the superuser too) must not turn into a correction with the defaults.
TEST_F(PluginTest, UnreadableSettingsFileLeavesTheDocumentAlone) {
    std::filesystem::create_directories(SettingsPath());
    Document document = Open(kRecognised);
    const Document before = document;
    const PluginRun run = Run(document);
    EXPECT_EQ(run.report.result, FILTER_RESULT_REPORTED);
    EXPECT_NE(run.messages.find("settings file cannot be read: " + SettingsPath()),
              std::string::npos)
        << run.messages;
    EXPECT_TRUE(SamePixels(document, before));
    EXPECT_FALSE(run.report.recorded);
}

TEST_F(PluginTest, PhotoWithoutMetadataAsksForTheDialogEvenWhenTheStepDoesNot) {
    Document document = Open(kWithoutMetadata);
    const Document before = document;
    AnswerDialog("cancel");
    const PluginRun run = Run(document);
    EXPECT_NE(run.messages.find("dialog requested"), std::string::npos);
    EXPECT_EQ(run.report.result, FILTER_RESULT_CANCELLED);
    EXPECT_TRUE(SamePixels(document, before));
    EXPECT_FALSE(run.report.recorded);
}

TEST_F(PluginTest, WithoutTheDialogAPhotoThatNeedsItIsRefusedNotPassedOff) {
    Document document = Open(kWithoutMetadata);
    const Document before = document;
    const PluginRun run = Run(document);
    EXPECT_EQ(run.report.result, FILTER_RESULT_REPORTED);
    EXPECT_NE(run.messages.find("correction dialog"), std::string::npos);
    EXPECT_TRUE(SamePixels(document, before));
    EXPECT_FALSE(run.report.recorded);
}

TEST_F(PluginTest, DisabledDistortionCorrectsWithoutLensLookup) {
    StoreSettings({"\"CorChoice\"=dword:00000002", "\"ResetAlways\"=dword:00000000",
                   "\"VigAmount\"=dword:0000001e"});
    Document document = Open(kWithoutMetadata);
    const Document before = document;
    const PluginRun run = Run(document);
    EXPECT_EQ(run.report.result, 0) << run.messages;
    EXPECT_EQ(run.messages.find("dialog requested"), std::string::npos);
    EXPECT_FALSE(SamePixels(document, before));  // the vignetting was applied
}

TEST_F(PluginTest, AlwaysDisplayDialogShowsItForARecognisedPhoto) {
    StoreSettings({"\"AlwaysDisplayDialog\"=dword:00000001"});
    AnswerDialog("ok");
    Document document = Open(kRecognised);
    const Document before = document;
    const PluginRun run = Run(document);
    EXPECT_NE(run.messages.find("dialog requested"), std::string::npos);
    EXPECT_EQ(run.report.result, 0);
    EXPECT_FALSE(SamePixels(document, before));
    ASSERT_TRUE(run.report.recorded);
}

TEST_F(PluginTest, TheHostsWishDecidesOverTheRememberedRequest) {
    AnswerDialog("ok");
    Document document = Open(kRecognised);
    HostOptions options;
    options.askForDialog = true;
    EXPECT_NE(Run(document, options).messages.find("dialog requested"), std::string::npos);

    // A host without descriptors asks through the parameters selector.
    HostOptions plain;
    plain.descriptorProcs = false;
    plain.requestParameters = true;
    EXPECT_NE(Run(document, plain).messages.find("dialog requested"), std::string::npos);
    plain.requestParameters = false;
    EXPECT_EQ(Run(document, plain).messages.find("dialog requested"), std::string::npos);
}

TEST_F(PluginTest, HandoffFileBringsTheDialogIsDeletedAndCancelIsNoFailure) {
    WriteHandoff(";Make!OLYMPUS IMAGING CORP.!;Model!E-420!;FocalLength!24!");
    AnswerDialog("cancel");
    Document document = Open(kRecognised);
    const Document before = document;
    const PluginRun run = Run(document);
    EXPECT_NE(run.messages.find("dialog requested"), std::string::npos);
    EXPECT_EQ(run.report.result, 0);
    EXPECT_TRUE(SamePixels(document, before));
    EXPECT_FALSE(std::filesystem::exists(HandoffPath()));
    // A cancelled run is no step to record, whatever its result.
    EXPECT_FALSE(run.report.recorded);
}

TEST_F(PluginTest, ScriptedVignettingIsUsedAndStoredWithEveryOtherValueFromTheSettings) {
    StoreSettings({"\"ResetAlways\"=dword:00000000", "\"CaRed\"=dword:00000005"});
    Document document = Open(kRecognised);
    HostOptions options;
    options.play = host::Descriptor{{FILTER_KEY('v', 'i', 'g', '2'), 30}};
    const PluginRun run = Run(document, options);
    ASSERT_EQ(run.report.result, 0) << run.messages;
    EXPECT_TRUE(run.report.playDescriptorConsumed);
    EXPECT_EQ(Stored("VigAmount")->dword, 30u);
    EXPECT_EQ(Stored("CaRed")->dword, 5u);

    ASSERT_TRUE(run.report.recorded);
    const host::Descriptor& recorded = *run.report.recorded;
    const char* order[] = {"dfxx", "vig2", "vig1", "ca1 ", "ca2 ", "fsh1", "fsh2", "fsh3", "fsh4",
                           "fsh5", "prh0", "prh1", "prh2", "prh3", "prh4", "prh5", "grh1"};
    ASSERT_EQ(recorded.size(), std::size(order));
    for (std::size_t i = 0; i < recorded.size(); ++i) {
        EXPECT_EQ(host::KeyText(recorded[i].first), std::string("'") + order[i] + "'");
    }
    EXPECT_EQ(recorded[1].second, 30);  // vig2
    EXPECT_EQ(recorded[3].second, 5);   // ca1
    EXPECT_EQ(run.report.recordInfo, FILTER_PLAY_DIALOG_OPTIONAL);
}

TEST_F(PluginTest, ScriptedValuesAreTakenUnchangedAndUnknownKeysSkipped) {
    StoreSettings({"\"ResetAlways\"=dword:00000000", "\"VigAmount\"=dword:0000000a"});
    Document document = Open(kRecognised);
    HostOptions options;
    options.play = host::Descriptor{{FILTER_KEY('d', 'f', 'x', 'x'), 7},
                                    {FILTER_KEY('z', 'z', 'z', 'z'), 99},
                                    {FILTER_KEY('c', 'a', '2', ' '), -4}};
    const PluginRun run = Run(document, options);
    ASSERT_EQ(run.report.result, 0) << run.messages;
    EXPECT_EQ(Stored("CorChoice")->dword, 7u);
    EXPECT_EQ(static_cast<std::int32_t>(Stored("CaBlue")->dword), -4);
    EXPECT_EQ(Stored("VigAmount")->dword, 10u);
    ASSERT_TRUE(run.report.recorded);
    EXPECT_EQ(run.report.recorded->front().second, 7);
}

TEST_F(PluginTest, HostWithoutDescriptorsRunsOnTheStoredValues) {
    StoreSettings({"\"ResetAlways\"=dword:00000000", "\"VigAmount\"=dword:00000014"});
    Document document = Open(kRecognised);
    HostOptions options;
    options.descriptorProcs = false;
    const PluginRun run = Run(document, options);
    EXPECT_EQ(run.report.result, 0);
    EXPECT_FALSE(run.report.recorded);
    EXPECT_EQ(Stored("VigAmount")->dword, 20u);
}

TEST_F(PluginTest, HostWithoutBufferMemoryStillCorrects) {
    Document document = Open(kRecognised);
    const Document before = document;
    HostOptions options;
    options.bufferProcs = false;
    EXPECT_EQ(Run(document, options).report.result, 0);
    EXPECT_FALSE(SamePixels(document, before));
}

TEST_F(PluginTest, RefusedMemoryEndsTheRunWithItsMessageAndNothingChanged) {
    for (const int block : {1, 2}) {
        SCOPED_TRACE(block);
        Document document = Open(kRecognised);
        const Document before = document;
        HostOptions options;
        options.failAllocation = block;
        const PluginRun run = Run(document, options);
        EXPECT_EQ(run.report.result, FILTER_RESULT_OUT_OF_MEMORY);
        EXPECT_NE(run.messages.find("allocMem error 2: out of memory"), std::string::npos);
        EXPECT_TRUE(SamePixels(document, before));
        EXPECT_FALSE(run.report.recorded);
        EXPECT_TRUE(run.report.requests.empty());
    }
}

TEST_F(PluginTest, DocumentBeyondTheInterfacesRectanglesIsRefusedUnchanged) {
    Document document;
    document.width = 40000;
    document.height = 8;
    document.planes.assign(3, std::vector<std::uint8_t>(40000 * 8, 77));
    const Document before = document;
    const PluginRun run = Run(document);
    EXPECT_EQ(run.report.result, FILTER_RESULT_REPORTED);
    EXPECT_NE(run.messages.find("40000 x 8 pixels"), std::string::npos);
    EXPECT_TRUE(run.report.requests.empty());
    EXPECT_TRUE(SamePixels(document, before));
}

TEST_F(PluginTest, AboutNamesTheBuild) {
    StderrCapture capture(work_.File("about.txt"));
    EXPECT_EQ(host::RunAbout(plugin_, 0), 0);
    const std::string bits = sizeof(void*) == 8 ? "64-bit" : "32-bit";
    EXPECT_NE(capture.Stop().find("Quillon 9.0  " + bits), std::string::npos);
}

}  // namespace
}  // namespace quillon::plugin_test
