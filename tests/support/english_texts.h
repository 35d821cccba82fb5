#pragma once

#include "platform/message_sink.h"
#include "platform/text_source.h"
#include "text/string_table.h"

namespace quillon::testing {

// The program's own English texts, for tests that check what a module shows.
inline const platform::TextSource& EnglishTexts() {
    static const text::StringTable table = [] {
        text::StringTable loaded;
        platform::CapturingSink sink;
        text::LoadStrings(loaded, text::kEnglishLangId, sink);
        return loaded;
    }();
    return table;
}

}  // namespace quillon::testing
