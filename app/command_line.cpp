#include "app/command_line.h"

namespace quillon::app {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Applies the option groups of one argument ("-q", "-Qi", "-q -i") to `mode`;
// false, with `mode` untouched, when the argument holds anything else.
bool ApplyOptions(std::string_view arg, StartMode& mode) {
    StartMode changed = mode;
    std::size_t i = 0;
    while (true) {
        while (i < arg.size() && IsBlank(arg[i])) ++i;
        if (i == arg.size()) break;
        if (arg[i] != '-') return false;
        ++i;
        const std::size_t letters = i;
        for (; i < arg.size() && !IsBlank(arg[i]) && arg[i] != '-'; ++i) {
            const char letter = arg[i];
            if (letter == 'q' || letter == 'Q') {
                changed.quietMode = letter;
            } else if (letter == 'i') {
                changed.invertMode = true;
            } else {
                return false;
            }
        }
        if (i == letters) return false;  // a '-' with no letter behind it
    }
    mode = changed;
    return true;
}

}  // namespace

const std::string* FileList::Next() {
    if (current + 1 >= static_cast<int>(paths.size())) return nullptr;
    ++current;
    return &paths[static_cast<std::size_t>(current)];
}

void FileList::StepBack() {
    if (current >= 0) --current;
}

ParsedCommandLine ParseCommandLine(std::span<const std::string> args) {
    ParsedCommandLine parsed;
    StartMode& mode = parsed.mode;
    mode.interactiveMode = args.empty();
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg.size() < 2 || arg.front() != '-') break;  // the first path
        if (!ApplyOptions(arg, mode)) {
            parsed.unknownOption = arg;
            return parsed;
        }
    }
    mode.fileList.paths.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
    return parsed;
}

std::string UnknownOptionText(std::string_view option) {
    return "Quillon: unknown option " + std::string(option) +
           "\n"
           "usage: quillon [-i] [--] [photo ...]\n"
           "       quillon -q|-Q [-i] [--] photo.jpg|photo.tif\n"
           "A file name that starts with '-' follows \"--\".";
}

}  // namespace quillon::app
