#include "text/string_table.h"

#include "text/compiled_strings.h"
#include "text/messages.h"

namespace quillon::text {
namespace {

const detail::CompiledStrings* FindCompiled(int langId) {
    for (std::size_t i = 0; i < detail::kCompiledStringsCount; ++i) {
        if (detail::kCompiledStrings[i].langId == langId) return &detail::kCompiledStrings[i];
    }
    return nullptr;
}

}  // namespace

std::string_view StringTable::Text(int id) const {
    if (id < 0 || id >= kStringCount) return {};
    return texts_[static_cast<std::size_t>(id)];
}

void StringTable::MarkNotAllocated() {
    allocated_ = false;
    texts_.fill({});
    loadedLangId_ = -1;
}

void StringTable::Allocate() {
    texts_.fill({});
    loadedLangId_ = -1;
    allocated_ = true;
}

void LoadStrings(StringTable& table, int langId, platform::MessageSink& sink) {
    const detail::CompiledStrings* compiled = FindCompiled(langId);
    for (int first = 0; first < kStringCount; first += kStringBlockSize) {
        const int end =
            first + kStringBlockSize < kStringCount ? first + kStringBlockSize : kStringCount;
        if (compiled == nullptr) {
            sink.Show("error: lngLoadStrings, invalid hr");
        }
        for (int id = first; id < end; ++id) {
            const auto index = static_cast<std::size_t>(id);
            table.texts_[index] = compiled == nullptr || id == kReservedStringId
                                      ? std::string_view()
                                      : compiled->texts[index];
        }
    }
    table.loadedLangId_ = langId;
    table.allocated_ = true;
    ++table.loadCount_;
}

std::string StringWithEllipsis(const platform::TextSource& texts, int id) {
    std::string result(texts.Text(id));
    result += "...";
    CutToCharacters(result, kMaxMessageCharacters);
    return result;
}

}  // namespace quillon::text
