#include "metadata/shot_info.h"

namespace quillon::metadata {
namespace {

// Locale-independent: maker names are ASCII, and a user's locale must not
// change which maker is recognised.
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool MakeStartsWith(const ShotInfo& shot, std::string_view name) {
    if (shot.make.size() < name.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (AsciiLower(shot.make[i]) != AsciiLower(name[i])) return false;
    }
    return true;
}

}  // namespace quillon::metadata
