#include "metadata/lens_name.h"

#include <algorithm>

namespace quillon::metadata {
namespace {

// ASCII only, independent of the locale: metadata texts may be in any
// encoding, and bytes beyond ASCII only separate words.
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// "018.50" -> "18.5", "0.0" -> "0": one spelling per value, compared as text
// so that no number is too long to compare.
std::string CanonicalNumber(std::string_view digits) {
    std::string_view whole = digits;
    std::string_view fraction;
    if (const std::size_t dot = digits.find('.'); dot != std::string_view::npos) {
        whole = digits.substr(0, dot);
        fraction = digits.substr(dot + 1);
    }
    while (whole.size() > 1 && whole.front() == '0') whole.remove_prefix(1);
    while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
    std::string out(whole);
    if (!fraction.empty()) {
        out += '.';
        out += fraction;
    }
    return out;
}

bool HasDigit(std::string_view text) { return std::any_of(text.begin(), text.end(), IsDigit); }

}  // namespace

PhotoLensName PhotoLensNameOf(const LensNames& names) {
    const std::pair<const std::string*, LensNameSource> sources[] = {
        {&names.exifLensModel, LensNameSource::kExifLensModel},
        {&names.makerNoteModel, LensNameSource::kMakerNote},
        {&names.xmpLensModel, LensNameSource::kXmpLensModel},
        {&names.xmpLens, LensNameSource::kXmpLens},
    };
    for (const auto& [text, source] : sources) {
        if (HasDigit(*text)) return {*text, source};
    }
    return {};
}

LensNameWords SplitLensName(std::string_view text) {
    struct Token {
        std::string text;  // lowered letters, or a number in its one spelling
        bool number = false;
        bool ratio = false;  // the "1" of "1:2.8"
        bool focalOrAperture = false;
        std::size_t begin = 0;
        std::size_t end = 0;
    };
    std::vector<Token> tokens;
    for (std::size_t pos = 0; pos < text.size();) {
        Token token;
        token.begin = pos;
        if (IsLetter(text[pos])) {
            while (pos < text.size() && IsLetter(text[pos])) token.text += Lower(text[pos++]);
        } else if (IsDigit(text[pos])) {
            while (pos < text.size() && IsDigit(text[pos])) ++pos;
            if (pos + 1 < text.size() && text[pos] == '.' && IsDigit(text[pos + 1])) {
                ++pos;
                while (pos < text.size() && IsDigit(text[pos])) ++pos;
            }
            token.number = true;
            token.ratio = pos < text.size() && text[pos] == ':';
            token.text = CanonicalNumber(text.substr(token.begin, pos - token.begin));
        } else {
            ++pos;
            continue;
        }
        token.end = pos;
        tokens.push_back(std::move(token));
    }

    // Whether only the bytes of `allowed` lie between two tokens.
    auto onlyBetween = [&](const Token& a, const Token& b, std::string_view allowed) {
        const std::string_view between = text.substr(a.end, b.begin - a.end);
        return between.find_first_not_of(allowed) == std::string_view::npos;
    };
    for (std::size_t first = 0; first < tokens.size(); ++first) {
        if (!tokens[first].number || tokens[first].ratio) continue;
        // A range: numbers joined by hyphens.
        std::size_t last = first;
        while (last + 1 < tokens.size() && tokens[last + 1].number && !tokens[last + 1].ratio &&
               tokens[last + 1].begin == tokens[last].end + 1 && text[tokens[last].end] == '-') {
            ++last;
        }
        bool marked = false;
        if (last + 1 < tokens.size()) {
            Token& unit = tokens[last + 1];
            if (!unit.number && unit.text.starts_with("mm") &&
                onlyBetween(tokens[last], unit, " ")) {
                marked = true;
                unit.text.erase(0, 2);  // "mmF2.8" leaves the aperture's "f"
            }
        }
        if (first > 0) {
            const Token& before = tokens[first - 1];
            marked = marked || (!before.number && before.text == "f" &&
                                onlyBetween(before, tokens[first], " /="));
            marked = marked || (before.ratio && onlyBetween(before, tokens[first], ": "));
        }
        for (std::size_t i = first; i <= last; ++i) tokens[i].focalOrAperture = marked;
        first = last;
    }

    LensNameWords out;
    for (const Token& token : tokens) {
        if (token.ratio || token.text.empty() || token.text == "f" || token.text == "mm") continue;
        out.words.push_back(token.text);
        if (token.focalOrAperture) out.focalsAndApertures.push_back(token.text);
    }
    for (std::vector<std::string>* list : {&out.words, &out.focalsAndApertures}) {
        std::sort(list->begin(), list->end());
        list->erase(std::unique(list->begin(), list->end()), list->end());
    }
    return out;
}

}  // namespace quillon::metadata
