#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/message_sink.h"

// The interface languages a user can choose. Each language is known by its
// numeric language identifier (primary id | sub id × 1024), which also keys its
// string table, and by the English name that is shown in the language lists and
// stored in the Language setting.

namespace quillon::text {
class StringTable;
}

namespace quillon::settings {

inline constexpr std::size_t kMaxLang = 50;
inline constexpr std::string_view kEnglishName = "English";

struct LanguageEntry {
    std::uint16_t primary = 0;
    std::uint16_t sub = 0;
    std::string name;  // at most 29 bytes, the stored setting's text
};

struct LanguageTable {
    std::vector<LanguageEntry> rows;  // never more than kMaxLang
};

// primary | (sub × 1024).
int LanguageId(std::uint16_t primary, std::uint16_t sub);
int LanguageId(const LanguageEntry& entry);

// Appends one row; a full table shows "lngLanguage: Increase MAX_LANG" and keeps
// its rows. Returns whether the row was added.
bool AppendLanguage(LanguageTable& table, LanguageEntry entry, platform::MessageSink& sink);

// Empties the table, marks the string table as not yet allocated, and adds the
// built-in languages in the order of the language lists.
void LoadLanguageList(LanguageTable& table, text::StringTable& strings,
                      platform::MessageSink& sink);

// Index of the first row whose name equals `name` exactly (letter case
// included), or -1.
int FindLanguage(const LanguageTable& table, std::string_view name);

// Chooses the language named by the Language setting (English when no row has
// that exact name) and makes sure `strings` holds its texts; the language that
// is already loaded is not loaded again. Returns the chosen language id.
int SelectLanguage(const LanguageTable& table, std::string_view languageSetting,
                   text::StringTable& strings, platform::MessageSink& sink);

}  // namespace quillon::settings
