#include "tools/host/plugin_library.h"

#include <cctype>
#include <cstring>
#include <vector>

#include <dlfcn.h>

namespace quillon::host {

namespace {

#if defined(__x86_64__)
constexpr FilterKey kEntryKey = FILTER_KEY('8', '6', '6', '4');
#else
constexpr FilterKey kEntryKey = FILTER_KEY('w', 'x', '8', '6');
#endif

std::string LengthPrefixed(const FilterProperty& p) {
    const auto* bytes = static_cast<const std::uint8_t*>(p.data);
    if (p.length == 0) return {};
    const std::size_t n = std::min<std::size_t>(bytes[0], p.length - 1);
    return std::string(reinterpret_cast<const char*>(bytes + 1), n);
}

std::string Terminated(const FilterProperty& p) {
    const auto* text = static_cast<const char*>(p.data);
    return std::string(text, strnlen(text, p.length));
}

// A small recursive-descent reader of enable expressions.
class ExpressionReader {
  public:
    ExpressionReader(std::string_view text, bool rgb, int depth)
        : text_(text), rgb_(rgb), depth_(depth) {}

    std::optional<bool> Read() {
        const std::optional<bool> value = Or();
        SkipBlanks();
        if (!value || at_ != text_.size()) return std::nullopt;
        return value;
    }

  private:
    void SkipBlanks() {
        while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
    }
    bool Take(std::string_view token) {
        SkipBlanks();
        if (text_.substr(at_, token.size()) != token) return false;
        at_ += token.size();
        return true;
    }
    std::string Word() {
        SkipBlanks();
        const std::size_t start = at_;
        while (at_ < text_.size() &&
               (std::isalnum(static_cast<unsigned char>(text_[at_])) || text_[at_] == '_')) {
            ++at_;
        }
        return std::string(text_.substr(start, at_ - start));
    }
    // The value of a name or number as an integer.
    std::optional<long> Value(const std::string& word) {
        if (word == "HOST_ImageMode") return rgb_ ? (depth_ == 16 ? kRgb48 : kRgb) : kOther;
        if (word == "HOST_ImageDepth") return depth_;
        if (word == "RGBMode") return kRgb;
        if (word == "RGB48Mode") return kRgb48;
        if (!word.empty() && std::isdigit(static_cast<unsigned char>(word[0]))) {
            return std::strtol(word.c_str(), nullptr, 10);
        }
        return std::nullopt;
    }
    std::optional<bool> Or() {
        std::optional<bool> left = And();
        while (left && Take("||")) {
            const std::optional<bool> right = And();
            if (!right) return std::nullopt;
            left = *left || *right;
        }
        return left;
    }
    std::optional<bool> And() {
        std::optional<bool> left = Term();
        while (left && Take("&&")) {
            const std::optional<bool> right = Term();
            if (!right) return std::nullopt;
            left = *left && *right;
        }
        return left;
    }
    std::optional<bool> Term() {
        if (Take("(")) {
            const std::optional<bool> inner = Or();
            if (!inner || !Take(")")) return std::nullopt;
            return inner;
        }
        const std::string word = Word();
        if (word == "in") {
            if (!Take("(")) return std::nullopt;
            const std::optional<long> subject = Value(Word());
            if (!subject) return std::nullopt;
            bool found = false;
            while (Take(",")) {
                const std::optional<long> candidate = Value(Word());
                if (!candidate) return std::nullopt;
                found = found || *candidate == *subject;
            }
            if (!Take(")")) return std::nullopt;
            return found;
        }
        const std::optional<long> left = Value(word);
        if (!left || !Take("==")) return std::nullopt;
        const std::optional<long> right = Value(Word());
        if (!right) return std::nullopt;
        return *left == *right;
    }

    static constexpr long kOther = 0;
    static constexpr long kRgb = 3;
    static constexpr long kRgb48 = 9;

    std::string_view text_;
    bool rgb_;
    int depth_;
    std::size_t at_ = 0;
};

}  // namespace

PluginLibrary::~PluginLibrary() {
    if (handle_ != nullptr) ::dlclose(handle_);
}

bool PluginLibrary::Load(const std::string& path, std::string& error) {
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = ::dlerror();
        error = reason ? reason : "cannot load " + path;
        return false;
    }
    const auto* list =
        static_cast<const FilterPropertyList*>(::dlsym(handle_, FILTER_PROPERTIES_SYMBOL));
    if (list == nullptr || list->version != FILTER_PROPERTY_LIST_VERSION || list->count < 0) {
        error = path + ": no filter properties";
        return false;
    }
    std::string entryName;
    bool filter = false;
    for (std::int32_t i = 0; i < list->count; ++i) {
        const FilterProperty& p = list->properties[i];
        if (p.vendor != FILTER_VENDOR || p.data == nullptr) continue;
        switch (p.key) {
            case FILTER_KEY('k', 'i', 'n', 'd'):
                filter =
                    p.length == 4 && *static_cast<const FilterKey*>(p.data) == FILTER_KIND_FILTER;
                break;
            case FILTER_KEY('n', 'a', 'm', 'e'):
                info_.name = LengthPrefixed(p);
                break;
            case FILTER_KEY('c', 'a', 't', 'g'):
                info_.category = LengthPrefixed(p);
                break;
            case FILTER_KEY('v', 'e', 'r', 's'):
                if (p.length == 4)
                    info_.interfaceVersion = *static_cast<const std::uint32_t*>(p.data);
                break;
            case kEntryKey:
                entryName = Terminated(p);
                break;
            case FILTER_KEY('m', 'o', 'd', 'e'):
                info_.rgb = p.length >= 1 && (static_cast<const std::uint8_t*>(p.data)[0] &
                                              FILTER_MODE_RGB_FLAG) != 0;
                break;
            case FILTER_KEY('e', 'n', 'b', 'l'):
                info_.enabledWhen = Terminated(p);
                break;
            case FILTER_KEY('m', 's', '3', '2'):
                if (p.length == sizeof(FilterPoint32)) {
                    info_.largest = *static_cast<const FilterPoint32*>(p.data);
                }
                break;
            case FILTER_KEY('h', 's', 't', 'm'):
                info_.scriptable = true;
                break;
            default:
                break;
        }
    }
    if (!filter || entryName.empty()) {
        error = path + ": not a filter for this architecture";
        return false;
    }
    entry_ = reinterpret_cast<FilterEntryPoint>(::dlsym(handle_, entryName.c_str()));
    if (entry_ == nullptr) {
        error = path + ": no entry point " + entryName;
        return false;
    }
    info_.terminology =
        static_cast<const FilterTerminology*>(::dlsym(handle_, FILTER_TERMINOLOGY_SYMBOL));
    return true;
}

std::string PluginLibrary::MenuEntry() const {
    return "Filter > " + (info_.category.empty() ? "" : info_.category + " > ") + info_.name;
}

std::optional<bool> EvaluateEnableExpression(std::string_view expression, bool rgb, int depth) {
    return ExpressionReader(expression, rgb, depth).Read();
}

bool PluginEnabledFor(const PluginInfo& info, int depth, std::int32_t width, std::int32_t height) {
    if (!info.rgb) return false;
    if (info.largest.h > 0 && (width > info.largest.h || height > info.largest.v)) return false;
    if (info.enabledWhen.empty()) return true;
    return EvaluateEnableExpression(info.enabledWhen, true, depth).value_or(false);
}

}  // namespace quillon::host
