// The folder browser's window: its list, Apply through the busy window, Delete
// into a real trash folder, the viewer, the menus and accelerators, and the
// dialogs behind them.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTemporaryDir>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "app/window/about_dialog.h"
#include "app/window/options_dialog.h"
#include "settings/languages.h"
#include "tests/window/window_fixture.h"

namespace quillon::app {
namespace {

using testing::kRecognisedPhoto;
using testing::WindowFixture;

QStringList ListedNames(QListWidget* list) {
    QStringList names;
    for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
    return names;
}

class BrowserWindowTest : public ::testing::Test {
  protected:
    BrowserWindowTest() : fixture(WindowVariant::kBrowser) {
        fixture.loaded.state->stored.values.inputDir = fixture.loaded.dir.path();
        AppState& state = *fixture.loaded.state;
        // The list of languages forgets the strings loaded: load them again.
        settings::LoadLanguageList(state.session.languages, state.session.strings,
                                   fixture.loaded.sink);
        state.stored.values.language = "English";
        (void)settings::SelectLanguage(state.session.languages, "English", state.session.strings,
                                       fixture.loaded.sink);
    }

    std::string Put(const std::string& name) {
        const std::string target = fixture.loaded.dir.File(name);
        EXPECT_TRUE(quillon::testing::WriteBytes(
            target, quillon::testing::ReadBytes(quillon::testing::TestDataPath(
                        std::string("photos/") + kRecognisedPhoto))));
        return target;
    }

    QListWidget* List() { return fixture.Find<QListWidget>(ControlId::kFileList); }

    WindowFixture fixture;
};

TEST_F(BrowserWindowTest, OpensOnInputDirAndShowsTheSelectedPhoto) {
    Put("b.jpg");
    Put("A.jpg");
    MainWindow& window = fixture.Open();
    EXPECT_EQ(ListedNames(List()), (QStringList{"A.jpg", "b.jpg"}));
    EXPECT_EQ(window.StatusText().toStdString(), fixture.loaded.dir.path());
    EXPECT_FALSE(fixture.session->ImageShown());
    EXPECT_FALSE(fixture.Find<QAbstractButton>(ControlId::kApply)->isEnabled());

    List()->setCurrentRow(1);
    EXPECT_EQ(window.StatusText().toStdString(), fixture.loaded.dir.File("b.jpg"));
    EXPECT_TRUE(fixture.session->ImageShown());
    EXPECT_TRUE(fixture.Find<QAbstractButton>(ControlId::kApply)->isEnabled());
    EXPECT_TRUE(window.MenuAction(MenuCommand::kOpenIn)->isEnabled());

    // Ctrl+A selects every photo; nothing is shown then.
    QTest::keyClick(List(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(List()->selectedItems().size(), 2);
    EXPECT_EQ(fixture.session->preview().imageState, preview::kImageSeveralSelected);
    EXPECT_FALSE(window.MenuAction(MenuCommand::kOpenIn)->isEnabled());

    // F5 in the list reads the folder again.
    Put("c.jpg");
    QTest::keyClick(List(), Qt::Key_F5);
    EXPECT_EQ(List()->count(), 3);
    EXPECT_TRUE(List()->selectedItems().isEmpty());
}

TEST_F(BrowserWindowTest, ApplyWritesEverySelectedFileAndSelectsTheLastAgain) {
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) Put(name);
    MainWindow& window = fixture.Open();
    List()->selectAll();
    // The busy window counts the files and can stop the batch.
    QString counter;
    bool stopShown = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* label = w->findChild<QLabel*>("BusyCounter"); label && w->isVisible()) {
                counter = label->text();
                stopShown = w->findChild<QPushButton*>("BusyStop")->isVisible();
            }
        }
    });
    probe.start(5);
    fixture.Find<QAbstractButton>(ControlId::kApply)->click();
    probe.stop();

    for (const char* name : {"a_lc.jpg", "b_lc.jpg", "c_lc.jpg"}) {
        EXPECT_TRUE(std::filesystem::exists(fixture.loaded.dir.File(name))) << name;
    }
    EXPECT_TRUE(counter.endsWith("/003")) << counter.toStdString();
    EXPECT_TRUE(stopShown);
    EXPECT_EQ(List()->count(), 6);
    ASSERT_EQ(List()->selectedItems().size(), 1);
    EXPECT_EQ(List()->selectedItems()[0]->text(), "c.jpg");
    EXPECT_EQ(window.StatusText().toStdString(), fixture.loaded.dir.File("c.jpg"));
    EXPECT_TRUE(fixture.session->ImageShown());
    EXPECT_FALSE(fixture.session->Busy());
    EXPECT_EQ(fixture.loaded.sink.Count(), 0u) << fixture.loaded.sink.Last();
}

TEST_F(BrowserWindowTest, DeleteAsksAndMovesTheFilesIntoTheTrash) {
    const std::string a = Put("a.jpg");
    Put("b.jpg");
    const std::string c = Put("c.jpg");
    // The trash of this test: the photos lie on the same file system as the
    // home folder, so the trash is the one below XDG_DATA_HOME.
    const QByteArray home = qgetenv("HOME");
    const QByteArray data = qgetenv("XDG_DATA_HOME");
    const std::string trash = fixture.loaded.dir.File("trash-home");
    std::filesystem::create_directory(trash);
    qputenv("HOME", QByteArray::fromStdString(fixture.loaded.dir.path()));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(trash));
    MainWindow& window = fixture.Open();

    // With nothing selected the question comes and nothing goes.
    List()->setFocus();
    QTest::keyClick(List(), Qt::Key_Delete);
    ASSERT_EQ(fixture.prompts.asked.size(), 1u);
    EXPECT_EQ(fixture.prompts.asked[0], "Quillon: Delete selected files from disk?");
    EXPECT_EQ(List()->count(), 3);

    // Cancel keeps them.
    window.SelectRows({0, 2}, true);
    fixture.prompts.answer = false;
    fixture.Find<QAbstractButton>(ControlId::kDelete)->click();
    EXPECT_TRUE(std::filesystem::exists(a));

    fixture.prompts.answer = true;
    fixture.Find<QAbstractButton>(ControlId::kDelete)->click();
    qputenv("HOME", home);
    if (data.isNull()) {
        qunsetenv("XDG_DATA_HOME");
    } else {
        qputenv("XDG_DATA_HOME", data);
    }
    EXPECT_EQ(fixture.prompts.asked.size(), 3u);
    EXPECT_FALSE(std::filesystem::exists(a));
    EXPECT_FALSE(std::filesystem::exists(c));
    EXPECT_TRUE(std::filesystem::exists(trash + "/Trash/files/a.jpg"));
    EXPECT_TRUE(std::filesystem::exists(trash + "/Trash/files/c.jpg"));
    std::ifstream info(trash + "/Trash/info/a.jpg.trashinfo");
    const std::string text((std::istreambuf_iterator<char>(info)), {});
    EXPECT_NE(text.find("[Trash Info]"), std::string::npos);
    EXPECT_NE(text.find("Path=" + a), std::string::npos);
    EXPECT_EQ(ListedNames(List()), (QStringList{"b.jpg"}));
    EXPECT_FALSE(fixture.session->ImageShown());
}

TEST_F(BrowserWindowTest, MenusNameTheViewerAndFollowTheOptions) {
    fixture.loaded.state->stored.values.viewerPath = "/opt/tools/viewer";
    Put("a.jpg");
    MainWindow& window = fixture.Open();
    EXPECT_EQ(window.MenuAction(MenuCommand::kOpenIn)->text(), "Open in viewer\tCtrl+O");
    QStringList keys;
    for (QShortcut* shortcut : window.findChildren<QShortcut*>()) {
        // Esc is the Exit button's key, not a menu's.
        if (shortcut->key() != QKeySequence(Qt::Key_Escape)) keys << shortcut->key().toString();
    }
    keys.sort();
    EXPECT_EQ(keys, (QStringList{"Ctrl+A", "Ctrl+O", "Ctrl+R", "F1"}));

    // The Options dialog leaves the viewer empty: the entry says so.
    fixture.prompts.editOptions = [](OptionsForm& form) {
        form.Leave(OptionsField::kViewer, "");
        return true;
    };
    window.MenuAction(MenuCommand::kOptions)->trigger();
    EXPECT_EQ(window.MenuAction(MenuCommand::kOpenIn)->text(), "Open in external editor\tCtrl+O");
    EXPECT_EQ(fixture.saves, 1);
}

TEST(EditorMenusTest, FileHoldsOnlyExitAndF1IsTheOnlyKey) {
    WindowFixture fixture;
    fixture.loaded.state->start.fileList.paths = {fixture.loaded.Copy(kRecognisedPhoto)};
    MainWindow& window = fixture.Open();
    const QList<QAction*> menus = window.menuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    QStringList file;
    for (QAction* action : menus[0]->menu()->actions()) file << action->text();
    EXPECT_EQ(file, (QStringList{"Exit"}));
    QStringList help;
    for (QAction* action : menus[2]->menu()->actions()) help << action->text();
    EXPECT_EQ(help, (QStringList{"Quillon Help\tF1", "About"}));
    const QList<QShortcut*> shortcuts = window.findChildren<QShortcut*>();
    QStringList keys;
    for (QShortcut* shortcut : shortcuts) keys << shortcut->key().toString();
    EXPECT_TRUE(keys.contains("F1"));
    EXPECT_FALSE(keys.contains("Ctrl+O"));
    EXPECT_FALSE(keys.contains("Ctrl+A"));
    // Ctrl+A does nothing here that belongs to the browser.
    EXPECT_EQ(window.MenuAction(MenuCommand::kSelectAll), nullptr);
}

TEST_F(BrowserWindowTest, LanguageChangeDisablesTheCorrectionUntilTheDialogOpensAgain) {
    Put("a.jpg");
    MainWindow& window = fixture.Open();
    List()->setCurrentRow(0);
    auto* resetAll = fixture.Find<QAbstractButton>(ControlId::kResetAll);
    ASSERT_TRUE(resetAll->isEnabled());

    fixture.prompts.editOptions = [](OptionsForm& form) {
        form.SetLanguage("French");
        return true;
    };
    window.EditOptions();
    EXPECT_EQ(fixture.loaded.sink.Count(), 1u);
    EXPECT_FALSE(resetAll->isEnabled());
    EXPECT_FALSE(fixture.Find<QAbstractButton>(ControlId::kApply)->isEnabled());
    EXPECT_FALSE(List()->isEnabled());
    // The open window keeps its texts until the restart.
    EXPECT_EQ(resetAll->text(), "Reset All");

    fixture.prompts.editOptions = nullptr;  // opened and cancelled
    window.EditOptions();
    EXPECT_TRUE(resetAll->isEnabled());
    EXPECT_EQ(fixture.prompts.optionsShown, 2);
}

TEST_F(BrowserWindowTest, OpenInAsksForAViewerUntilOneExistsThenStartsIt) {
    Put("a.jpg");
    fixture.loaded.state->stored.values.viewerPath = fixture.loaded.dir.File("gone");
    MainWindow& window = fixture.Open();
    List()->setCurrentRow(0);

    // First the dialog names another missing one, then one that exists.
    const std::string viewer = fixture.loaded.dir.File("show");
    std::ofstream(viewer) << "#!/bin/sh\n";
    int round = 0;
    fixture.prompts.editOptions = [&](OptionsForm& form) {
        form.Leave(OptionsField::kViewer, ++round == 1 ? "/no/such/viewer" : viewer);
        return true;
    };
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(fixture.prompts.optionsShown, 2);
    EXPECT_EQ(fixture.loaded.sink.Count(), 2u);
    EXPECT_EQ(fixture.loaded.sink.Last(), "Please select an editor in Options dialog");
    ASSERT_EQ(fixture.prompts.started.size(), 1u);
    EXPECT_EQ(fixture.prompts.started[0],
              viewer + "|" + fixture.loaded.dir.path() + "|" + fixture.loaded.dir.File("a.jpg"));

    // A dialog that leaves the viewer empty ends the matter.
    fixture.loaded.state->stored.values.viewerPath = "/no/such/viewer";
    fixture.prompts.editOptions = [](OptionsForm& form) {
        form.Leave(OptionsField::kViewer, "");
        return true;
    };
    window.RunCommand(MenuCommand::kOpenIn);
    EXPECT_EQ(fixture.prompts.started.size(), 1u);
}

TEST_F(BrowserWindowTest, HelpOpensTheGuideOnlyWhenItIsInstalled) {
    fixture.loaded.state->stored.values.root = fixture.loaded.dir.path() + "/";
    MainWindow& window = fixture.Open();
    QTest::keyClick(&window, Qt::Key_F1);
    EXPECT_TRUE(fixture.prompts.opened.empty());
    std::ofstream(fixture.loaded.dir.File("QuillonHelp.html")) << "<html></html>";
    QTest::keyClick(&window, Qt::Key_F1);
    ASSERT_EQ(fixture.prompts.opened.size(), 1u);
    EXPECT_EQ(fixture.prompts.opened[0].toLocalFile().toStdString(),
              fixture.loaded.dir.File("QuillonHelp.html"));
    window.RunCommand(MenuCommand::kAbout);
    EXPECT_EQ(fixture.prompts.aboutShown, (std::vector<AboutVariant>{AboutVariant::kProgram}));
}

TEST_F(BrowserWindowTest, AltWithDirectoryWritesTheDumpInsteadOfChoosing) {
    MainWindow& window = fixture.Open();
    fixture.prompts.folder = QString::fromStdString(fixture.loaded.dir.File("elsewhere"));
    std::filesystem::create_directory(fixture.loaded.dir.File("elsewhere"));
    QTest::mouseClick(fixture.Find<QAbstractButton>(ControlId::kDirectory), Qt::LeftButton,
                      Qt::AltModifier);
    EXPECT_EQ(fixture.dumps, 1);
    EXPECT_EQ(fixture.loaded.state->stored.values.inputDir, fixture.loaded.dir.path());

    QTest::mouseClick(fixture.Find<QAbstractButton>(ControlId::kDirectory), Qt::LeftButton);
    EXPECT_EQ(fixture.loaded.state->stored.values.inputDir, fixture.loaded.dir.File("elsewhere"));
    EXPECT_EQ(window.StatusText().toStdString(), fixture.loaded.dir.File("elsewhere"));
}

// ---- the dialogs themselves

TEST(OptionsDialogTest, TypedNumbersAreClampedAndAnEmptiedSuffixRefilled) {
    testing::LoadedState loaded;
    settings::LoadLanguageList(loaded.state->session.languages, loaded.state->session.strings,
                               loaded.sink);
    (void)settings::SelectLanguage(loaded.state->session.languages, "English",
                                   loaded.state->session.strings, loaded.sink);
    OptionsForm form(OptionsVariant::kBrowser, loaded.state->stored.values,
                     loaded.state->stored.correction);
    OptionsDialog dialog(form, loaded.state->session.languages, loaded.state->session.strings);
    dialog.show();
    // Leaving an edit needs the focus to move, which only an active window has.
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    const auto type = [&](OptionsField field, const QString& text) {
        auto* edit = qobject_cast<QLineEdit*>(dialog.Field(field));
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Tab);
        return edit->text();
    };
    EXPECT_EQ(type(OptionsField::kThreads, "0"), "1");
    EXPECT_EQ(type(OptionsField::kThreads, "100"), "64");
    EXPECT_EQ(type(OptionsField::kJpegQuality, "150"), "100");
    auto* suffix = qobject_cast<QLineEdit*>(dialog.Field(OptionsField::kSuffix));
    suffix->setFocus();
    suffix->selectAll();
    QTest::keyClick(suffix, Qt::Key_Backspace);
    QTest::keyClick(suffix, Qt::Key_Tab);
    EXPECT_EQ(suffix->text(), "_lc");
    EXPECT_EQ(dialog.Field(OptionsField::kViewer)->property("controlId").toInt(), 1107);
    EXPECT_EQ(dialog.objectName(), "OPTIONS");
}

TEST(OptionsDialogTest, EachVariantHasItsOwnControls) {
    testing::LoadedState loaded;
    settings::LoadLanguageList(loaded.state->session.languages, loaded.state->session.strings,
                               loaded.sink);
    (void)settings::SelectLanguage(loaded.state->session.languages, "English",
                                   loaded.state->session.strings, loaded.sink);
    OptionsForm editor(OptionsVariant::kEditor, loaded.state->stored.values,
                       loaded.state->stored.correction);
    OptionsDialog editorDialog(editor, loaded.state->session.languages,
                               loaded.state->session.strings);
    EXPECT_EQ(editorDialog.objectName(), "OPTIONSEDIT");
    EXPECT_EQ(editorDialog.Field(OptionsField::kSuffix), nullptr);
    EXPECT_EQ(editorDialog.Field(OptionsField::kViewer), nullptr);
    EXPECT_NE(editorDialog.Field(OptionsField::kJpegQuality), nullptr);

    OptionsForm plugin(OptionsVariant::kPlugin, loaded.state->stored.values,
                       loaded.state->stored.correction);
    OptionsDialog pluginDialog(plugin, loaded.state->session.languages,
                               loaded.state->session.strings);
    EXPECT_EQ(pluginDialog.Field(OptionsField::kJpegQuality), nullptr);
    auto* always = qobject_cast<QCheckBox*>(pluginDialog.Field(OptionsField::kAlwaysDisplayDialog));
    ASSERT_NE(always, nullptr);
    EXPECT_EQ(always->text(), "Always display dialog");
    EXPECT_EQ(always->property("controlId").toInt(), 1009);
    EXPECT_EQ(pluginDialog.Field(OptionsField::kThreads)->property("controlId").toInt(), 1128);
    auto* label = pluginDialog.findChild<QLabel*>("ThreadsLabel");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->property("controlId").toInt(), 1126);
    EXPECT_EQ(label->text(), "Threads");
}

TEST(OptionsDialogTest, CancelLeavesTheFormAsItWas) {
    testing::LoadedState loaded;
    OptionsForm form(OptionsVariant::kBrowser, loaded.state->stored.values,
                     loaded.state->stored.correction);
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<OptionsDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* quality = qobject_cast<QLineEdit*>(dialog->Field(OptionsField::kJpegQuality));
        quality->setText("12");
        dialog->reject();
    });
    EXPECT_FALSE(RunOptionsDialog(nullptr, form, loaded.state->session.languages,
                                  loaded.state->session.strings));
    EXPECT_EQ(form.Text(OptionsField::kJpegQuality), "90");
}

TEST(AboutDialogTest, HeadingCreditsAndTheWebAddress) {
    std::vector<QUrl> opened;
    AboutDialog dialog(AboutVariant::kProgram, [&](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    EXPECT_EQ(dialog.findChild<QLabel*>("AboutHeading")->text(), "Quillon 9.0  64-bit");
    const QString credits = dialog.findChild<QLabel*>("AboutCredits")->text();
    for (const char* part : {"libjpeg-turbo", "libtiff", "zlib", "lcms2", "Qt", "CC BY-SA 3.0"}) {
        EXPECT_TRUE(credits.contains(part)) << part;
    }
    auto* link = dialog.findChild<QLabel*>("AboutLink");
    emit link->linkActivated(QStringLiteral("https://") + kWebAddress);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].scheme(), "https");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace quillon::app
