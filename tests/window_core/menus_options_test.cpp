// The menus as data, the Options dialog's rules and what OK sets in motion,
// and the external viewer: executables and desktop entries.

#include <filesystem>
#include <fstream>
#include <map>

#include <gtest/gtest.h>

#include "app/window_core/menus.h"
#include "app/window_core/options_form.h"
#include "app/window_core/viewer.h"
#include "app/window_core/window_session.h"
#include "settings/languages.h"
#include "tests/window_core/loaded_state.h"

namespace quillon::app {
namespace {

using testing::kRecognisedPhoto;

std::vector<std::string> EntryTexts(const Menu& menu) {
    std::vector<std::string> texts;
    for (const MenuEntry& entry : menu.entries) texts.push_back(entry.text);
    return texts;
}

TEST(MenusTest, BrowserFileMenuNamesTheViewer) {
    testing::LoadedState loaded;
    const auto& texts = loaded.state->session.strings;
    const std::vector<Menu> menus =
        BuildMenus(WindowVariant::kBrowser, ViewerName("/opt/tools/viewer"), texts);
    ASSERT_EQ(menus.size(), 3u);
    EXPECT_EQ(menus[0].title, "File");
    EXPECT_EQ(EntryTexts(menus[0]),
              (std::vector<std::string>{"Open in viewer\tCtrl+O", "Select All\tCtrl+A",
                                        "Refresh\tCtrl+R", "Delete", "Exit"}));
    EXPECT_EQ(EntryTexts(menus[1]), (std::vector<std::string>{"Options..."}));
    EXPECT_EQ(EntryTexts(menus[2]), (std::vector<std::string>{"Quillon Help\tF1", "About"}));
    EXPECT_EQ(menus[0].entries[0].command, MenuCommand::kOpenIn);
    EXPECT_EQ(static_cast<int>(menus[0].entries[0].command), 40001);

    const std::vector<Menu> without = BuildMenus(WindowVariant::kBrowser, ViewerName(""), texts);
    EXPECT_EQ(without[0].entries[0].text, "Open in external editor\tCtrl+O");
    EXPECT_EQ(AcceleratorKeys(WindowVariant::kBrowser),
              (std::vector<std::string_view>{"F1", "Ctrl+O", "Ctrl+A", "Ctrl+R"}));
}

TEST(MenusTest, EditorHasOnlyExitInFileAndF1ForAKey) {
    testing::LoadedState loaded;
    for (const WindowVariant variant : {WindowVariant::kEditor, WindowVariant::kFilterDialog}) {
        const std::vector<Menu> menus =
            BuildMenus(variant, "viewer", loaded.state->session.strings);
        EXPECT_EQ(EntryTexts(menus[0]), (std::vector<std::string>{"Exit"}));
        EXPECT_EQ(EntryTexts(menus[2]), (std::vector<std::string>{"Quillon Help\tF1", "About"}));
        EXPECT_EQ(AcceleratorKeys(variant), (std::vector<std::string_view>{"F1"}));
    }
}

TEST(MenusTest, EntriesFollowTheEnablingTable) {
    EnablingFacts facts;
    facts.imageState = preview::kImageShown;
    ControlEnabling e = DecideEnabling(facts);
    EXPECT_TRUE(MenuEntryEnabled(MenuCommand::kOpenIn, e));
    EXPECT_TRUE(MenuEntryEnabled(MenuCommand::kDelete, e));
    EXPECT_TRUE(MenuEntryEnabled(MenuCommand::kOptions, e));

    // Several files: nothing to open in a viewer, but they can be deleted.
    facts.imageState = preview::kImageSeveralSelected;
    e = DecideEnabling(facts);
    EXPECT_FALSE(MenuEntryEnabled(MenuCommand::kOpenIn, e));
    EXPECT_TRUE(MenuEntryEnabled(MenuCommand::kDelete, e));

    facts.imageState = preview::kImageBusy;
    e = DecideEnabling(facts);
    for (const MenuCommand command :
         {MenuCommand::kOpenIn, MenuCommand::kSelectAll, MenuCommand::kRefresh,
          MenuCommand::kDelete, MenuCommand::kOptions, MenuCommand::kHelp, MenuCommand::kAbout}) {
        EXPECT_FALSE(MenuEntryEnabled(command, e)) << static_cast<int>(command);
    }
}

TEST(OptionsFormTest, NumbersAreClampedWhenTheEditIsLeft) {
    const settings::SettingsValues values;
    engine::CorrectionSettings correction;
    correction.Processors = 4;
    OptionsForm form(OptionsVariant::kBrowser, values, correction);
    EXPECT_EQ(form.Leave(OptionsField::kThreads, "0"), "1");
    EXPECT_EQ(form.Leave(OptionsField::kThreads, "100"), "64");
    EXPECT_EQ(form.Leave(OptionsField::kThreads, " 8 "), "8");
    // What is no number keeps the previous value.
    EXPECT_EQ(form.Leave(OptionsField::kThreads, "eight"), "8");
    EXPECT_EQ(form.Leave(OptionsField::kThreads, "3x"), "8");
    EXPECT_EQ(form.Leave(OptionsField::kThreads, "-99999999999999999999999"), "1");
    EXPECT_EQ(form.Leave(OptionsField::kJpegQuality, "150"), "100");
    EXPECT_EQ(form.Leave(OptionsField::kJpegQuality, "0"), "1");
    EXPECT_EQ(form.Leave(OptionsField::kSuffix, ""), "_lc");
    EXPECT_EQ(form.Leave(OptionsField::kSuffix, "_fixed"), "_fixed");
    EXPECT_EQ(form.Leave(OptionsField::kSuffix, ""), "_fixed");
}

TEST(OptionsFormTest, EachVariantAppliesOnlyItsOwnFields) {
    settings::SettingsValues values;
    engine::CorrectionSettings correction;
    OptionsForm editor(OptionsVariant::kEditor, values, correction);
    // The editor's dialog has no suffix field: whatever the form holds for it
    // is not applied.
    editor.Leave(OptionsField::kSuffix, "_x");
    editor.Leave(OptionsField::kJpegQuality, "75");
    settings::OptionsOutcome outcome = editor.Apply(values, correction);
    EXPECT_EQ(values.suffix, "_lc");
    EXPECT_EQ(values.jpegQuality, 75);
    EXPECT_TRUE(outcome.save);
    EXPECT_FALSE(outcome.restartRequired);

    OptionsForm plugin(OptionsVariant::kPlugin, values, correction);
    plugin.SetChecked(OptionsField::kAlwaysDisplayDialog, true);
    plugin.Leave(OptionsField::kJpegQuality, "10");
    outcome = plugin.Apply(values, correction);
    EXPECT_EQ(values.alwaysDisplayDialog, 1);
    EXPECT_EQ(values.jpegQuality, 75);
    EXPECT_TRUE(outcome.save);

    // Resize alone is stored and saved, without reading the image again.
    OptionsForm browser(OptionsVariant::kBrowser, values, correction);
    browser.SetChecked(OptionsField::kResize, true);
    outcome = browser.Apply(values, correction);
    EXPECT_EQ(correction.Resize, 1);
    EXPECT_TRUE(outcome.save);
    EXPECT_FALSE(outcome.redetect);
}

TEST(OptionsFormTest, ControlNumbersOfThePluginsDialog) {
    std::map<OptionsField, int> ids;
    for (const OptionsControl& control : OptionsControls(OptionsVariant::kPlugin)) {
        ids[control.field] = control.id;
    }
    EXPECT_EQ(ids.at(OptionsField::kAlwaysDisplayDialog), 1009);
    EXPECT_EQ(ids.at(OptionsField::kThreads), 1128);
    EXPECT_EQ(ids.at(OptionsField::kThreadsLabel), 1126);
    EXPECT_EQ(ids.count(OptionsField::kJpegQuality), 0u);
    EXPECT_EQ(ids.count(OptionsField::kViewer), 0u);
    EXPECT_EQ(ids.count(OptionsField::kSuffix), 0u);
    EXPECT_EQ(OptionsControls(OptionsVariant::kEditor).size() + 3,
              OptionsControls(OptionsVariant::kBrowser).size());
}

class OptionsApplyTest : public ::testing::Test {
  protected:
    OptionsApplyTest() : session(*loaded.state, loaded.sink) {
        settings::LoadLanguageList(loaded.state->session.languages, loaded.state->session.strings,
                                   loaded.sink);
        loaded.state->stored.values.language = "English";
        session.SetArea(402, 302);
        session.SetSettingsActions({[this] { ++saves; }, {}});
    }

    testing::LoadedState loaded;
    WindowSession session;
    int saves = 0;
};

TEST_F(OptionsApplyTest, LanguageChangeMarksARestartAndDisablesTheCorrection) {
    ASSERT_EQ(session.OpenImage(loaded.Copy(kRecognisedPhoto)), preview::kShownWithLens);
    ASSERT_TRUE(session.Enabling().general);
    OptionsForm form(OptionsVariant::kBrowser, loaded.state->stored.values,
                     loaded.state->stored.correction);
    form.SetLanguage("German");
    const settings::OptionsOutcome outcome = session.ApplyOptions(form);
    EXPECT_TRUE(outcome.restartRequired);
    EXPECT_EQ(saves, 1);
    // The new language's strings are loaded at once: the message is German.
    EXPECT_EQ(loaded.sink.Last(), std::string(loaded.state->session.strings.Text(1)));
    EXPECT_NE(loaded.sink.Last(), "Please restart Quillon to apply changes");
    const ControlEnabling e = session.Enabling();
    EXPECT_FALSE(e.general);
    EXPECT_FALSE(e.apply);
    EXPECT_FALSE(e.fileList);
    EXPECT_TRUE(e.cancel);

    // Opening the dialog again clears the mark.
    session.SetRestartPending(false);
    EXPECT_TRUE(session.Enabling().general);
}

TEST_F(OptionsApplyTest, DetectionChangeReadsThePhotoAgainAndNothingChangedSavesNothing) {
    const std::string photo = loaded.Copy(kRecognisedPhoto);
    ASSERT_EQ(session.OpenImage(photo), preview::kShownWithLens);
    ASSERT_TRUE(loaded.state->current.selection.IsRealLensSelected());

    OptionsForm unchanged(OptionsVariant::kBrowser, loaded.state->stored.values,
                          loaded.state->stored.correction);
    EXPECT_FALSE(session.ApplyOptions(unchanged).save);
    EXPECT_EQ(saves, 0);

    OptionsForm form(OptionsVariant::kBrowser, loaded.state->stored.values,
                     loaded.state->stored.correction);
    form.SetChecked(OptionsField::kDetectFlen, false);
    ASSERT_EQ(loaded.state->current.shot.focalLength, 24.0);
    EXPECT_TRUE(session.ApplyOptions(form).redetect);
    EXPECT_EQ(saves, 1);
    // The photo was read again without its focal length.
    EXPECT_EQ(loaded.state->current.shot.focalLength, 0.0);
    EXPECT_TRUE(session.ImageShown());
    EXPECT_FALSE(session.RestartPending());
}

TEST(ViewerTest, DesktopEntryExecLineBecomesArguments) {
    DesktopEntry entry;
    entry.name = "Photo Viewer";
    entry.icon = "viewer";
    entry.exec = R"(/usr/bin/view "--title=a \"b\"" %i --name=%c %F 100%%)";
    EXPECT_EQ(*ExecArguments(entry, "/apps/v.desktop", "/p/a b.jpg"),
              (std::vector<std::string>{"/usr/bin/view", "--title=a \"b\"", "--icon", "viewer",
                                        "--name=Photo Viewer", "/p/a b.jpg", "100%"}));
    // Without a file code the file comes last; deprecated codes say nothing.
    entry.exec = "view %d --k=%k";
    EXPECT_EQ(*ExecArguments(entry, "/apps/v.desktop", "/p/x.jpg"),
              (std::vector<std::string>{"view", "--k=/apps/v.desktop", "/p/x.jpg"}));
    // Two file codes still pass the one file once.
    entry.exec = "view %f %U";
    EXPECT_EQ(ExecArguments(entry, "", "/x.jpg")->size(), 3u);
    entry.exec = R"(view "open)";
    EXPECT_FALSE(ExecArguments(entry, "", "/x.jpg").has_value());
    entry.exec = "  ";
    EXPECT_FALSE(ExecArguments(entry, "", "/x.jpg").has_value());
}

TEST(ViewerTest, OnlyTheDesktopEntryGroupCounts) {
    const auto entry = ParseDesktopEntry(
        "# comment\n[Other]\nName=Wrong\nExec=wrong\n[Desktop Entry]\r\nName = Viewer\r\n"
        "Name[de]=Betrachter\nExec=view\\s%f\nPath=/opt/v\n[Desktop Action New]\nExec=no\n");
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->name, "Viewer");
    EXPECT_EQ(entry->exec, "view %f");
    EXPECT_EQ(entry->path, "/opt/v");
    EXPECT_FALSE(ParseDesktopEntry("[Desktop Entry]\nName=No program\n").has_value());
    EXPECT_FALSE(ParseDesktopEntry("").has_value());
}

TEST(ViewerTest, NamesAndLaunchesOfExecutablesAndEntries) {
    quillon::testing::TempDir dir;
    const std::string script = dir.File("show-photo.sh");
    std::ofstream(script) << "#!/bin/sh\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    const std::string plain = dir.File("notes.txt");
    std::ofstream(plain) << "x";
    const std::string entry = dir.File("viewer.desktop");
    std::ofstream(entry) << "[Desktop Entry]\nType=Application\nName=Photo Viewer\nExec=pv %U\n";

    EXPECT_EQ(ViewerName(script), "show-photo");
    EXPECT_EQ(ViewerName(entry), "Photo Viewer");
    EXPECT_EQ(ViewerName("/opt/.viewer"), ".viewer");
    EXPECT_EQ(ViewerName(""), "");
    EXPECT_TRUE(IsAcceptableViewer(script));
    EXPECT_TRUE(IsAcceptableViewer(entry));
    EXPECT_FALSE(IsAcceptableViewer(plain));
    EXPECT_FALSE(IsAcceptableViewer(dir.path()));

    const auto direct = ViewerLaunchFor(script, "/p/a.jpg");
    ASSERT_TRUE(direct.has_value());
    EXPECT_EQ(direct->program, script);
    EXPECT_EQ(direct->arguments, (std::vector<std::string>{"/p/a.jpg"}));
    EXPECT_EQ(direct->folder, dir.path());
    const auto viaEntry = ViewerLaunchFor(entry, "/p/a.jpg");
    ASSERT_TRUE(viaEntry.has_value());
    EXPECT_EQ(viaEntry->program, "pv");
    EXPECT_EQ(viaEntry->arguments, (std::vector<std::string>{"/p/a.jpg"}));
    EXPECT_FALSE(ViewerLaunchFor(dir.File("gone.desktop"), "/p/a.jpg").has_value());
}

}  // namespace
}  // namespace quillon::app
