#pragma once

#include <array>
#include <string>
#include <string_view>

#include "platform/message_sink.h"
#include "platform/text_source.h"

// The interface texts of the loaded language, looked up by string number. The
// texts themselves are compiled into the program (one table per language), so
// a StringTable only refers to them and loading a language copies nothing.

namespace quillon::text {

inline constexpr int kStringCount = 92;
// The language every text is written in first.
inline constexpr int kEnglishLangId = 1033;
// Kept free in every language: nothing displays it.
inline constexpr int kReservedStringId = 88;
// Strings are read from their tables in blocks of this many ids.
inline constexpr int kStringBlockSize = 16;

class StringTable final : public platform::TextSource {
  public:
    // UTF-8 text of `id`; empty for an id outside 0..91, for the reserved id,
    // and for ids whose block could not be loaded.
    std::string_view Text(int id) const override;

    // -1 until a language has been loaded.
    int LoadedLanguageId() const { return loadedLangId_; }
    bool IsAllocated() const { return allocated_; }
    // How many times a language was loaded into this table; selecting the
    // language that is already loaded leaves it unchanged.
    int LoadCount() const { return loadCount_; }

    // A new language list makes the table start over: the next selection
    // allocates it again and loads whatever language is chosen.
    void MarkNotAllocated();
    void Allocate();

  private:
    friend void LoadStrings(StringTable& table, int langId, platform::MessageSink& sink);

    std::array<std::string_view, kStringCount> texts_{};
    int loadedLangId_ = -1;
    bool allocated_ = false;
    int loadCount_ = 0;
};

// Loads ids 0..91 of language `langId`. A block of ids that the language does
// not have shows "error: lngLoadStrings, invalid hr" and its ids read as empty
// texts; the language id is recorded as loaded either way.
void LoadStrings(StringTable& table, int langId, platform::MessageSink& sink);

// The text of `id` followed by "...", for menu entries and buttons that open a
// dialog; at most 255 characters.
std::string StringWithEllipsis(const platform::TextSource& texts, int id);

}  // namespace quillon::text
