#include "app/quiet_checks.h"

#include <cstdio>

#include "platform/paths.h"

namespace quillon::app {

namespace {

void ShowWithPath(platform::MessageSink& sink, const char* format, const std::string& path) {
    const int size = std::snprintf(nullptr, 0, format, path.c_str());
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, format, path.c_str());
    sink.Show(text);
}

}  // namespace

int CheckImagePath(const std::string& path, platform::MessageSink& sink) {
    // The suffix is looked for in the file's name only: a dot in a folder name
    // ("~/2024.05/IMG_1") must not pass for one.
    const std::string_view name = platform::FileNameOf(path);
    if (name.find('.') == std::string_view::npos) {
        ShowWithPath(sink, "Quillon: error, file has no suffix: %s", path);
        return 1;
    }
    const std::string_view suffix = platform::SuffixOf(path);
    const bool known = platform::EqualsIgnoringCase(suffix, "jpg") ||
                       platform::EqualsIgnoringCase(suffix, "jpeg") ||
                       platform::EqualsIgnoringCase(suffix, "tif") ||
                       platform::EqualsIgnoringCase(suffix, "tiff");
    if (!known) {
        ShowWithPath(sink, "Quillon: error, file must be jpg or tif: %s", path);
        return 1;
    }
    if (!platform::CanReadFile(path)) {
        ShowWithPath(sink, "Quillon: error, file not found: %s", path);
        return 1;
    }
    return 0;
}

}  // namespace quillon::app
