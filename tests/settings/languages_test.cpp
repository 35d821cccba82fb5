#include "settings/languages.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/message_sink.h"
#include "text/string_table.h"

namespace quillon::settings {
namespace {

using namespace quillon::text;

class LanguagesTest : public ::testing::Test {
  protected:
    void SetUp() override { LoadLanguageList(table, strings, sink); }

    LanguageTable table;
    StringTable strings;
    platform::CapturingSink sink;
};

TEST_F(LanguagesTest, ListHoldsEveryLanguageInListOrderWithItsId) {
    struct Expected {
        const char* name;
        int langId;
    };
    const Expected expected[] = {
        {"Armenian", 1067},   {"Bulgarian", 1026},       {"Catalan", 1027},   {"Chinese", 2052},
        {"Croatian", 1050},   {"Czech", 1029},           {"Danish", 1030},    {"Dutch", 1043},
        {"English", 1033},    {"Estonian", 1061},        {"Finnish", 1035},   {"French", 1036},
        {"German", 1031},     {"Greek", 1032},           {"Hungarian", 1038}, {"Italian", 1040},
        {"Japanese", 1041},   {"Korean", 1042},          {"Norwegian", 1044}, {"Polish", 1045},
        {"Portuguese", 2070}, {"Romanian", 1048},        {"Russian", 1049},   {"Serbian", 2074},
        {"Slovenian", 1060},  {"Spanish (Spain)", 1034}, {"Swedish", 1053},   {"Turkish", 1055},
    };
    ASSERT_EQ(table.rows.size(), std::size(expected));
    for (std::size_t i = 0; i < table.rows.size(); ++i) {
        EXPECT_EQ(table.rows[i].name, expected[i].name);
        EXPECT_EQ(LanguageId(table.rows[i]), expected[i].langId) << expected[i].name;
        EXPECT_LT(table.rows[i].name.size(), 30u);
    }
    // Croatian and Serbian share a primary id and differ only by the sub-language.
    EXPECT_EQ(table.rows[4].primary, table.rows[23].primary);
    EXPECT_TRUE(sink.Messages().empty());
}

TEST_F(LanguagesTest, ReloadingTheListStartsOverInsteadOfAppending) {
    LoadLanguageList(table, strings, sink);
    EXPECT_EQ(table.rows.size(), 28u);
    EXPECT_EQ(FindLanguage(table, "Turkish"), 27);
}

TEST_F(LanguagesTest, FullTableRefusesAnotherRowWithAMessage) {
    while (table.rows.size() < kMaxLang) {
        ASSERT_TRUE(AppendLanguage(table, {1, 1, "Extra"}, sink));
    }
    EXPECT_TRUE(sink.Messages().empty());
    EXPECT_FALSE(AppendLanguage(table, {1, 1, "One too many"}, sink));
    EXPECT_EQ(table.rows.size(), kMaxLang);
    EXPECT_EQ(sink.Last(), "lngLanguage: Increase MAX_LANG");
}

TEST_F(LanguagesTest, GermanSelectsItsIdAndTexts) {
    EXPECT_EQ(SelectLanguage(table, "German", strings, sink), 1031);
    EXPECT_EQ(strings.LoadedLanguageId(), 1031);
    EXPECT_EQ(strings.Text(40), "Korrigieren");
    EXPECT_TRUE(sink.Messages().empty());
}

TEST_F(LanguagesTest, NamesThatAreNotExactlyInTheTableFallBackToEnglish) {
    for (const char* name : {"german", "GERMAN", "German ", "Klingon", "", "Spanish"}) {
        StringTable fresh;
        EXPECT_EQ(SelectLanguage(table, name, fresh, sink), 1033) << '"' << name << '"';
        EXPECT_EQ(fresh.Text(40), "Correct");
    }
    EXPECT_EQ(SelectLanguage(table, "Spanish (Spain)", strings, sink), 1034);
}

TEST_F(LanguagesTest, SelectingTheLoadedLanguageAgainLoadsNothing) {
    EXPECT_FALSE(strings.IsAllocated());
    SelectLanguage(table, "German", strings, sink);
    EXPECT_TRUE(strings.IsAllocated());
    ASSERT_EQ(strings.LoadCount(), 1);
    const char* before = strings.Text(40).data();

    SelectLanguage(table, "German", strings, sink);
    EXPECT_EQ(strings.LoadCount(), 1);
    EXPECT_EQ(strings.Text(40).data(), before);

    // A change of language does load, and lookups follow it at once.
    SelectLanguage(table, "French", strings, sink);
    EXPECT_EQ(strings.LoadCount(), 2);
    EXPECT_EQ(strings.LoadedLanguageId(), 1036);
    EXPECT_NE(strings.Text(40), "Korrigieren");
}

TEST_F(LanguagesTest, NewLanguageListMakesTheNextSelectionLoadAgain) {
    SelectLanguage(table, "German", strings, sink);
    LoadLanguageList(table, strings, sink);
    EXPECT_FALSE(strings.IsAllocated());
    EXPECT_EQ(strings.LoadedLanguageId(), -1);
    SelectLanguage(table, "German", strings, sink);
    EXPECT_EQ(strings.LoadCount(), 2);
    EXPECT_EQ(strings.Text(40), "Korrigieren");
}

TEST_F(LanguagesTest, MissingTablesGiveEmptyTextsAndOneMessagePerBlock) {
    SelectLanguage(table, "German", strings, sink);
    // A language id without tables: every block of 16 ids is missing.
    LoadStrings(strings, 0x0C0C, sink);
    ASSERT_EQ(sink.Count(), 6u);
    for (const auto& message : sink.Messages()) {
        EXPECT_EQ(message.text, "error: lngLoadStrings, invalid hr");
        EXPECT_EQ(message.caption, "Info");
    }
    for (int id = 0; id < kStringCount; ++id) EXPECT_EQ(strings.Text(id), "") << id;
    EXPECT_EQ(strings.LoadedLanguageId(), 0x0C0C);
}

TEST_F(LanguagesTest, LookupsOutsideTheTableAreEmpty) {
    SelectLanguage(table, "English", strings, sink);
    EXPECT_EQ(strings.Text(-1), "");
    EXPECT_EQ(strings.Text(kStringCount), "");
    EXPECT_EQ(strings.Text(kReservedStringId), "");
    EXPECT_EQ(strings.Text(91), "Reset controls for each image");
    const StringTable unloaded;
    EXPECT_EQ(unloaded.Text(0), "");
}

}  // namespace
}  // namespace quillon::settings
