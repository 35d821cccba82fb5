#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/message_sink.h"
#include "settings/languages.h"
#include "text/string_table.h"

// Checks every shipped translation against the English texts. A translation
// with a missing text shows an empty button; one whose directives differ from
// English formats the wrong argument into the message.

namespace quillon::settings {
namespace {

using namespace quillon::text;

std::vector<std::string> DirectivesOf(std::string_view text) {
    static const std::regex kDirective("%(%|[-0#+ ]*[0-9]*(\\.[0-9]+)?(I64|[hlw]*)[a-zA-Z])");
    std::vector<std::string> found;
    const std::string s(text);
    for (auto it = std::sregex_iterator(s.begin(), s.end(), kDirective);
         it != std::sregex_iterator(); ++it) {
        if (it->str() != "%%") found.push_back(it->str());
    }
    return found;
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        if (c < 0x80) {
            extra = 0;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
        } else {
            return false;
        }
        if (text.size() - i <= extra) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += extra + 1;
    }
    return true;
}

class TranslationsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        LoadLanguageList(table, strings, sink);
        SelectLanguage(table, "English", english, sink);
    }

    LanguageTable table;
    StringTable strings;
    StringTable english;
    platform::CapturingSink sink;
};

TEST_F(TranslationsTest, EveryLanguageHasEveryTextWithTheEnglishDirectives) {
    for (const LanguageEntry& row : table.rows) {
        SCOPED_TRACE(row.name);
        StringTable texts;
        SelectLanguage(table, row.name, texts, sink);
        ASSERT_EQ(texts.LoadedLanguageId(), LanguageId(row));
        for (int id = 0; id < kStringCount; ++id) {
            if (id == kReservedStringId) continue;
            const std::string_view text = texts.Text(id);
            EXPECT_FALSE(text.empty()) << "id " << id;
            EXPECT_TRUE(IsValidUtf8(text)) << "id " << id;
            EXPECT_EQ(DirectivesOf(text), DirectivesOf(english.Text(id))) << "id " << id;
            if (english.Text(id).find("Quillon") != std::string_view::npos) {
                EXPECT_NE(text.find("Quillon"), std::string_view::npos) << "id " << id;
            }
        }
    }
    EXPECT_TRUE(sink.Messages().empty());
}

TEST_F(TranslationsTest, NoLanguageIsEnglishInDisguise) {
    // Words such as "OK", "Zoom" or "Version: %s" are the same in many
    // languages; more than a handful points at a file left untranslated.
    constexpr int kHandful = 10;
    for (const LanguageEntry& row : table.rows) {
        if (row.name == "English") continue;
        StringTable texts;
        SelectLanguage(table, row.name, texts, sink);
        int same = 0;
        std::string which;
        for (int id = 0; id < kStringCount; ++id) {
            if (id != kReservedStringId && texts.Text(id) == english.Text(id)) {
                ++same;
                which += " " + std::to_string(id);
            }
        }
        EXPECT_LE(same, kHandful) << row.name << " keeps English texts:" << which;
    }
}

TEST_F(TranslationsTest, LanguagesDoNotShareOneTable) {
    // A copy-paste of one language's file under another's id would pass the
    // checks above.
    std::vector<std::string> seen;
    for (const LanguageEntry& row : table.rows) {
        StringTable texts;
        SelectLanguage(table, row.name, texts, sink);
        std::string signature;
        for (int id : {31, 40, 54, 73, 89}) signature += std::string(texts.Text(id)) + "|";
        for (const std::string& other : seen) EXPECT_NE(signature, other) << row.name;
        seen.push_back(signature);
    }
}

}  // namespace
}  // namespace quillon::settings
