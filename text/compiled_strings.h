#pragma once

#include <cstddef>

// The string tables compiled from resources/strings/*.po at build time. The
// generated source defines these; nothing but the string table reads them.

namespace quillon::text::detail {

struct CompiledStrings {
    int langId;
    const char* code;          // the translation file's language code
    const char* const* texts;  // kStringCount UTF-8 texts, never null
};

extern const CompiledStrings kCompiledStrings[];
extern const std::size_t kCompiledStringsCount;

}  // namespace quillon::text::detail
