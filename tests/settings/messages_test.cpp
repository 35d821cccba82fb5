#include "text/messages.h"

#include <limits>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "platform/message_sink.h"
#include "settings/languages.h"
#include "text/string_table.h"

namespace quillon::settings {
namespace {

using namespace quillon::text;

class FakeTexts final : public platform::TextSource {
  public:
    std::map<int, std::string> texts;
    std::string_view Text(int id) const override {
        const auto it = texts.find(id);
        return it == texts.end() ? std::string_view() : std::string_view(it->second);
    }
};

std::string Repeat(std::string_view piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

TEST(ShowStringTest, FillsTheDatabaseVersionMessage) {
    LanguageTable table;
    StringTable strings;
    platform::CapturingSink sink;
    LoadLanguageList(table, strings, sink);
    SelectLanguage(table, "English", strings, sink);

    EXPECT_EQ(ShowString(sink, strings, 4, 3, 90, 3, 80), 1);
    ASSERT_EQ(sink.Count(), 1u);
    EXPECT_EQ(sink.Messages()[0].text,
              "Error: Quillon.dat version 3.90 required, found version 3.80");
    EXPECT_EQ(sink.Messages()[0].caption, "Info");

    // The translated format takes the same arguments in the same order.
    SelectLanguage(table, "German", strings, sink);
    ShowString(sink, strings, 4, 3, 90, 3, 80);
    const std::string german = sink.Last();
    EXPECT_EQ(german.rfind("Fehler", 0), 0u) << german;
    const auto required = german.find("3.90");
    ASSERT_NE(required, std::string::npos) << german;
    EXPECT_NE(german.find("3.80", required), std::string::npos) << german;
}

TEST(ShowStringTest, StringArgumentsKeepTheirCharacters) {
    FakeTexts texts;
    texts.texts[8] = "Fehler: Datei %s kann nicht geöffnet werden";
    platform::CapturingSink sink;
    ShowString(sink, texts, 8, std::string("/photos/Überblick 1.jpg"));
    EXPECT_EQ(sink.Last(), "Fehler: Datei /photos/Überblick 1.jpg kann nicht geöffnet werden");
    // An unknown id shows an empty message rather than failing.
    EXPECT_EQ(ShowString(sink, texts, 1000), 1);
    EXPECT_EQ(sink.Last(), "");
}

TEST(FormatArgsTest, AppliesWidthsFlagsAndPrecisions) {
    EXPECT_EQ(FormatText("[%5d|%-5d|%05d|%+d|%.3d]", 42, 42, -42, 7, 5),
              "[   42|42   |-0042|+7|005]");
    EXPECT_EQ(FormatText("%x %X %#x %u", 255, 255, 255, -1), "ff FF 0xff 4294967295");
    EXPECT_EQ(FormatText("%x", -1), "ffffffff");
    EXPECT_EQ(FormatText("[%6s|%-6s|%.2s]", "ab", "ab", "äöü"), "[    ab|ab    |äö]");
    EXPECT_EQ(FormatText("%c%c", 'Q', 0x00E9), "Qé");
    EXPECT_EQ(FormatText("100%% %ld %hs %ls %I64d", 1L, "h", "l", 64LL), "100% 1 h l 64");
    EXPECT_EQ(FormatText("%d", std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
}

TEST(FormatArgsTest, BadTranslationsGiveWrongTextsNotCrashes) {
    // More directives than arguments, directives of the wrong kind, unknown
    // conversions and an unfinished directive at the end.
    EXPECT_EQ(FormatText("%s and %d and %s", "one"), "one and  and ");
    EXPECT_EQ(FormatText("%d/%s", "text", 12), "text/12");
    EXPECT_EQ(FormatText("%q %n %f", 1), "q n f");
    EXPECT_EQ(FormatText("50%"), "50%");
    EXPECT_EQ(FormatText("%-"), "%-");
    // A huge width from a broken file is bounded instead of allocating.
    EXPECT_LE(FormatText("%99999999999d", 1).size(), 1024u);
    const char* nothing = nullptr;
    EXPECT_EQ(FormatText("%s", nothing), "(null)");
}

TEST(MessageLengthTest, LongMessagesAreCutAt255CharactersNeverInsideOne) {
    platform::CapturingSink sink;
    EXPECT_EQ(ShowText(sink, "%s", Repeat("x", 300).c_str()), 1);
    EXPECT_EQ(sink.Last(), Repeat("x", 255));

    // Two-byte characters: 255 of them, 510 bytes, no half character at the end.
    ShowText(sink, "%s", Repeat("é", 300).c_str());
    EXPECT_EQ(sink.Last(), Repeat("é", 255));
    ShowWideText(sink, "%s!", Repeat("文", 254));
    EXPECT_EQ(sink.Last(), Repeat("文", 254) + "!");
    ShowWideText(sink, "%s!!", Repeat("文", 254));
    EXPECT_EQ(sink.Last(), Repeat("文", 254) + "!");

    FakeTexts texts;
    texts.texts[5] = "%s";
    ShowString(sink, texts, 5, Repeat("ab", 200));
    EXPECT_EQ(CountCharacters(sink.Last()), 255u);

    std::string destination = "old";
    EXPECT_EQ(FormatWide(destination, "%d mm", 50), 5);
    EXPECT_EQ(destination, "50 mm");
    EXPECT_EQ(FormatWide(destination, "%s", Repeat("ß", 400).c_str()), 255);
    EXPECT_EQ(destination, Repeat("ß", 255));
}

TEST(MessageLengthTest, CutKeepsInvalidBytesWhole) {
    // A file name that is not UTF-8 is still counted byte by byte and cut cleanly.
    std::string text = Repeat("\xFF", 10);
    CutToCharacters(text, 4);
    EXPECT_EQ(text, Repeat("\xFF", 4));
    std::string shortText = "abc";
    CutToCharacters(shortText, 255);
    EXPECT_EQ(shortText, "abc");
}

TEST(StringWithEllipsisTest, AppendsThreeDots) {
    FakeTexts texts;
    texts.texts[36] = "Optionen";
    texts.texts[1] = Repeat("w", 254);
    EXPECT_EQ(StringWithEllipsis(texts, 36), "Optionen...");
    EXPECT_EQ(StringWithEllipsis(texts, 2), "...");
    EXPECT_EQ(StringWithEllipsis(texts, 1), Repeat("w", 254) + ".");
}

}  // namespace
}  // namespace quillon::settings
