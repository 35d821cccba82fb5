#include "lensdb/text_format.h"

#include <cctype>

namespace quillon::lensdb {

std::string FillPlaceholders(std::string_view pattern,
                             std::initializer_list<std::string_view> args) {
    std::string out;
    const std::string_view* next = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char ch = pattern[i];
        if (ch != '%' || i + 1 >= pattern.size()) {
            out.push_back(ch);
            continue;
        }
        if (pattern[i + 1] == '%') {
            out.push_back('%');
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < pattern.size() && !std::isalpha(static_cast<unsigned char>(pattern[j]))) {
            ++j;
        }
        // Length modifiers ("%ld", "%ls") belong to the placeholder too.
        while (j < pattern.size() && (pattern[j] == 'l' || pattern[j] == 'h') &&
               j + 1 < pattern.size() && std::isalpha(static_cast<unsigned char>(pattern[j + 1]))) {
            ++j;
        }
        if (j >= pattern.size()) {
            out.append(pattern.substr(i));
            break;
        }
        if (next != args.end()) out.append(*next++);
        i = j;
    }
    return out;
}

}  // namespace quillon::lensdb
