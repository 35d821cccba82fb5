#include "app/quiet_checks.h"

#include "platform/paths.h"
#include "text/messages.h"

namespace quillon::app {

int CheckImagePath(const std::string& path, platform::MessageSink& sink) {
    // The suffix is looked for in the file's name only: a dot in a folder name
    // ("~/2024.05/IMG_1") must not pass for one.
    const std::string_view name = platform::FileNameOf(path);
    if (name.find('.') == std::string_view::npos) {
        return text::ShowText(sink, "Quillon: error, file has no suffix: %s", path.c_str());
    }
    const std::string_view suffix = platform::SuffixOf(path);
    const bool known = platform::EqualsIgnoringCase(suffix, "jpg") ||
                       platform::EqualsIgnoringCase(suffix, "jpeg") ||
                       platform::EqualsIgnoringCase(suffix, "tif") ||
                       platform::EqualsIgnoringCase(suffix, "tiff");
    if (!known) {
        return text::ShowText(sink, "Quillon: error, file must be jpg or tif: %s", path.c_str());
    }
    if (!platform::CanReadFile(path)) {
        return text::ShowText(sink, "Quillon: error, file not found: %s", path.c_str());
    }
    return 0;
}

}  // namespace quillon::app
