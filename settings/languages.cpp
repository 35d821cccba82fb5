#include "settings/languages.h"

#include <array>

#include "text/string_table.h"

namespace quillon::settings {
namespace {

struct BuiltInLanguage {
    std::uint16_t primary;
    std::uint16_t sub;
    std::string_view name;
};

// The order is the order of the language lists in the dialogs.
constexpr std::array<BuiltInLanguage, 28> kBuiltInLanguages = {{
    {43, 1, "Armenian"},   {2, 1, "Bulgarian"},
    {3, 1, "Catalan"},     {4, 2, "Chinese"},
    {26, 1, "Croatian"},   {5, 1, "Czech"},
    {6, 1, "Danish"},      {19, 1, "Dutch"},
    {9, 1, "English"},     {37, 1, "Estonian"},
    {11, 1, "Finnish"},    {12, 1, "French"},
    {7, 1, "German"},      {8, 1, "Greek"},
    {14, 1, "Hungarian"},  {16, 1, "Italian"},
    {17, 1, "Japanese"},   {18, 1, "Korean"},
    {20, 1, "Norwegian"},  {21, 1, "Polish"},
    {22, 2, "Portuguese"}, {24, 1, "Romanian"},
    {25, 1, "Russian"},    {26, 2, "Serbian"},
    {36, 1, "Slovenian"},  {10, 1, "Spanish (Spain)"},
    {29, 1, "Swedish"},    {31, 1, "Turkish"},
}};

}  // namespace

int LanguageId(std::uint16_t primary, std::uint16_t sub) {
    return static_cast<int>(primary) | (static_cast<int>(sub) << 10);
}

int LanguageId(const LanguageEntry& entry) { return LanguageId(entry.primary, entry.sub); }

bool AppendLanguage(LanguageTable& table, LanguageEntry entry, platform::MessageSink& sink) {
    if (table.rows.size() >= kMaxLang) {
        sink.Show("lngLanguage: Increase MAX_LANG");
        return false;
    }
    table.rows.push_back(std::move(entry));
    return true;
}

void LoadLanguageList(LanguageTable& table, text::StringTable& strings,
                      platform::MessageSink& sink) {
    table.rows.clear();
    table.rows.reserve(kBuiltInLanguages.size());
    strings.MarkNotAllocated();
    for (const BuiltInLanguage& language : kBuiltInLanguages) {
        AppendLanguage(table, {language.primary, language.sub, std::string(language.name)}, sink);
    }
}

int FindLanguage(const LanguageTable& table, std::string_view name) {
    for (std::size_t i = 0; i < table.rows.size(); ++i) {
        if (table.rows[i].name == name) return static_cast<int>(i);
    }
    return -1;
}

int SelectLanguage(const LanguageTable& table, std::string_view languageSetting,
                   text::StringTable& strings, platform::MessageSink& sink) {
    const int index = FindLanguage(table, languageSetting);
    const int langId =
        index < 0 ? LanguageId(9, 1) : LanguageId(table.rows[static_cast<std::size_t>(index)]);
    // The process locale is deliberately left alone: it would change how numbers
    // are printed into files and settings. The language id is what the texts need.
    if (!strings.IsAllocated()) strings.Allocate();
    if (langId != strings.LoadedLanguageId()) text::LoadStrings(strings, langId, sink);
    return langId;
}

}  // namespace quillon::settings
