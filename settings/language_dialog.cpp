#include "settings/language_dialog.h"

#include <cctype>
#include <limits>
#include <utility>

#include "base/processors.h"

namespace quillon::settings {
namespace {

// Reads a decimal number the way "%d" scanning does: leading white space, an
// optional sign, then digits; whatever follows the digits is ignored. Values
// too large for an int saturate instead of overflowing.
bool ParseDecimal(std::string_view text, int& value) {
    std::size_t pos = 0;
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::size_t digitsStart = pos;
    long long magnitude = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        if (magnitude <= std::numeric_limits<int>::max())
            magnitude = magnitude * 10 + (text[pos] - '0');
        ++pos;
    }
    if (pos == digitsStart) return false;
    if (magnitude > std::numeric_limits<int>::max()) magnitude = std::numeric_limits<int>::max();
    value = static_cast<int>(negative ? -magnitude : magnitude);
    return true;
}

}  // namespace

LanguageDialogController::LanguageDialogController(const LanguageTable& table,
                                                   int currentProcessors)
    : processors_(currentProcessors), openingProcessors_(currentProcessors) {
    names_.reserve(table.rows.size());
    for (const LanguageEntry& row : table.rows) names_.push_back(row.name);
    const int english = FindLanguage(table, kEnglishName);
    if (english >= 0) {
        selected_ = english;
        language_ = names_[static_cast<std::size_t>(english)];
    }
}

std::string LanguageDialogController::ProcessorsText() const { return std::to_string(processors_); }

void LanguageDialogController::SelectLanguage(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= names_.size()) return;
    selected_ = index;
    language_ = names_[static_cast<std::size_t>(index)];
}

std::string LanguageDialogController::CommitProcessorsText(std::string_view typed) {
    // A text that is not a number leaves the previous value in place.
    int value = processors_;
    ParseDecimal(typed, value);
    processors_ = ClampProcessors(value);
    return ProcessorsText();
}

LanguageChoice LanguageDialogController::Ok() const { return {language_, processors_}; }

LanguageChoice LanguageDialogController::Cancel() const {
    return {std::string(kEnglishName), openingProcessors_};
}

LanguageChoice NoDisplayLanguagePrompt::Ask(const LanguageTable& table, int currentProcessors) {
    return LanguageDialogController(table, currentProcessors).Cancel();
}

std::function<void(std::string& language, std::int32_t& processors)> LanguageChooser(
    LanguagePrompt& prompt, const LanguageTable& table) {
    return [&prompt, &table](std::string& language, std::int32_t& processors) {
        LanguageChoice choice = prompt.Ask(table, processors);
        language = std::move(choice.language);
        processors = choice.processors;
    };
}

}  // namespace quillon::settings
