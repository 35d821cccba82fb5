#include "settings/language_dialog.h"

#include <gtest/gtest.h>

#include "platform/message_sink.h"
#include "platform/settings_store.h"
#include "settings/languages.h"
#include "settings/settings_io.h"
#include "text/string_table.h"

namespace quillon::settings {
namespace {

using namespace quillon::text;

class LanguageDialogTest : public ::testing::Test {
  protected:
    void SetUp() override { LoadLanguageList(table, strings, sink); }

    LanguageTable table;
    StringTable strings;
    platform::CapturingSink sink;
};

TEST_F(LanguageDialogTest, OpensWithEveryLanguageAndEnglishSelected) {
    const LanguageDialogController dialog(table, 6);
    ASSERT_EQ(dialog.LanguageNames().size(), table.rows.size());
    EXPECT_EQ(dialog.LanguageNames().front(), "Armenian");
    EXPECT_EQ(dialog.LanguageNames()[8], "English");
    EXPECT_EQ(dialog.SelectedIndex(), 8);
    EXPECT_EQ(dialog.ProcessorsText(), "6");
    // OK straight away keeps English and the Processors value.
    const LanguageChoice ok = dialog.Ok();
    EXPECT_EQ(ok.language, "English");
    EXPECT_EQ(ok.processors, 6);
}

TEST_F(LanguageDialogTest, OkTakesTheWorkingCopiesAndCancelDropsThem) {
    LanguageDialogController dialog(table, 4);
    dialog.SelectLanguage(FindLanguage(table, "Japanese"));
    EXPECT_EQ(dialog.CommitProcessorsText("8"), "8");

    const LanguageChoice ok = dialog.Ok();
    EXPECT_EQ(ok.language, "Japanese");
    EXPECT_EQ(ok.processors, 8);

    const LanguageChoice cancel = dialog.Cancel();
    EXPECT_EQ(cancel.language, "English");
    EXPECT_EQ(cancel.processors, 4);
}

TEST_F(LanguageDialogTest, SelectionOutsideTheListIsIgnored) {
    LanguageDialogController dialog(table, 4);
    dialog.SelectLanguage(3);
    dialog.SelectLanguage(-1);
    dialog.SelectLanguage(28);
    EXPECT_EQ(dialog.SelectedIndex(), 3);
    EXPECT_EQ(dialog.Ok().language, "Chinese");
}

TEST_F(LanguageDialogTest, ProcessorsFieldIsClampedWhenItLosesTheFocus) {
    LanguageDialogController dialog(table, 4);
    EXPECT_EQ(dialog.CommitProcessorsText("0"), "1");
    EXPECT_EQ(dialog.CommitProcessorsText("200"), "64");
    EXPECT_EQ(dialog.CommitProcessorsText("abc"), "64");  // keeps the previous value
    EXPECT_EQ(dialog.CommitProcessorsText("  12 cores"), "12");
    EXPECT_EQ(dialog.CommitProcessorsText(""), "12");
    EXPECT_EQ(dialog.CommitProcessorsText("-5"), "1");
    EXPECT_EQ(dialog.CommitProcessorsText("+3"), "3");
    EXPECT_EQ(dialog.CommitProcessorsText("99999999999999999999"), "64");
    EXPECT_EQ(dialog.CommitProcessorsText("-99999999999999999999"), "1");
    EXPECT_EQ(dialog.Ok().processors, 1);
}

TEST_F(LanguageDialogTest, NotANumberBringsAnOutOfRangeStartValueIntoRange) {
    LanguageDialogController high(table, 100);
    EXPECT_EQ(high.CommitProcessorsText("abc"), "64");
    LanguageDialogController low(table, 0);
    EXPECT_EQ(low.CommitProcessorsText("x"), "1");
    // Cancel still leaves the stored value as it was.
    EXPECT_EQ(high.Cancel().processors, 100);
}

TEST_F(LanguageDialogTest, TableWithoutEnglishStartsWithNoChoice) {
    LanguageTable other;
    other.rows = {{7, 1, "German"}, {12, 1, "French"}};
    LanguageDialogController dialog(other, 4);
    EXPECT_EQ(dialog.SelectedIndex(), -1);
    EXPECT_EQ(dialog.Ok().language, "");
    EXPECT_EQ(dialog.Cancel().language, "English");
}

TEST_F(LanguageDialogTest, WithoutADisplayTheAnswerIsCancel) {
    NoDisplayLanguagePrompt prompt;
    const LanguageChoice choice = prompt.Ask(table, 12);
    EXPECT_EQ(choice.language, "English");
    EXPECT_EQ(choice.processors, 12);
    // The answer selects a language that loads without complaint.
    EXPECT_EQ(SelectLanguage(table, choice.language, strings, sink), kEnglishLangId);
    EXPECT_TRUE(sink.Messages().empty());
}

// Answers like a user who picks a language, types a thread count and presses OK.
class ScriptedPrompt final : public LanguagePrompt {
  public:
    int calls = 0;
    LanguageChoice Ask(const LanguageTable& table, int currentProcessors) override {
        ++calls;
        LanguageDialogController dialog(table, currentProcessors);
        dialog.SelectLanguage(FindLanguage(table, "Polish"));
        dialog.CommitProcessorsText("300");
        return dialog.Ok();
    }
};

struct FirstRun {
    Status status;
    SettingsValues values;
    engine::CorrectionSettings correction;
    LensHistoryList history;
    LoadedSettings loaded;
};

FirstRun LoadWithPrompt(const platform::SettingsStore& user, LanguagePrompt& prompt,
                        const LanguageTable& table) {
    const platform::MemorySettingsStore machine({platform::StoredValue::String("Root", "/q/")});
    SettingsRun run;
    run.chooseLanguage = LanguageChooser(prompt, table);
    platform::CapturingSink messages;
    FirstRun out;
    out.status = LoadSettings({machine, user}, run, messages, out.values, out.correction,
                              out.history, out.loaded);
    return out;
}

TEST_F(LanguageDialogTest, FirstRunAnswerReachesTheSettingsWithoutBeingStored) {
    platform::MemorySettingsStore user({platform::StoredValue::Dword("Processors", 6)});
    ScriptedPrompt prompt;
    const FirstRun run = LoadWithPrompt(user, prompt, table);
    EXPECT_EQ(prompt.calls, 1);
    EXPECT_EQ(run.values.language, "Polish");
    EXPECT_EQ(run.correction.Processors, 64);
    // Nothing is written until the next save.
    EXPECT_FALSE(user.Find("Language"));
    EXPECT_EQ(user.Values().size(), 1u);
}

TEST_F(LanguageDialogTest, StoredLanguageAsksNothing) {
    platform::MemorySettingsStore user({platform::StoredValue::String("Language", "Greek")});
    ScriptedPrompt prompt;
    const FirstRun run = LoadWithPrompt(user, prompt, table);
    EXPECT_EQ(prompt.calls, 0);
    EXPECT_EQ(run.values.language, "Greek");
}

TEST_F(LanguageDialogTest, QuietStartWithoutDisplayTakesEnglish) {
    platform::MemorySettingsStore user({platform::StoredValue::Dword("Processors", 3)});
    NoDisplayLanguagePrompt prompt;
    const FirstRun run = LoadWithPrompt(user, prompt, table);
    EXPECT_EQ(run.values.language, "English");
    EXPECT_EQ(run.correction.Processors, 3);
    EXPECT_FALSE(user.Find("Language"));
}

}  // namespace
}  // namespace quillon::settings
