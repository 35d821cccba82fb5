#include "app/command_line.h"

namespace quillon::app {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

const std::string* FileList::Next() {
    if (current + 1 >= static_cast<int>(paths.size())) return nullptr;
    ++current;
    return &paths[static_cast<std::size_t>(current)];
}

void FileList::StepBack() {
    if (current >= 0) --current;
}

StartMode ParseCommandLine(std::string_view line) {
    StartMode mode;
    mode.interactiveMode = line.empty();
    std::size_t i = 0;
    const auto skipBlanks = [&] {
        while (i < line.size() && IsBlank(line[i])) ++i;
    };

    // Options. A letter other than q, Q or i after '-' ends them, and the path
    // text starts at that letter (so "-x a.jpg" names the files x and a.jpg).
    skipBlanks();
    while (i < line.size() && line[i] == '-') {
        ++i;
        if (i >= line.size()) break;
        const char letter = line[i];
        if (letter == 'q' || letter == 'Q') {
            mode.quietMode = letter;
            ++i;
            if (i < line.size() && line[i] == 'i') {
                mode.invertMode = true;
                ++i;
            }
        } else if (letter == 'i') {
            mode.invertMode = true;
            ++i;
            if (i < line.size() && (line[i] == 'q' || line[i] == 'Q')) {
                mode.quietMode = line[i];
                ++i;
            }
        } else {
            break;
        }
        skipBlanks();
    }

    // Paths: blank-separated; a leading double quote runs to the next one (or the
    // end) and may hold blanks. Separators are kept as written: '/' is the path
    // separator here and a backslash may be part of a file name.
    while (true) {
        skipBlanks();
        if (i >= line.size()) break;
        std::string arg;
        if (line[i] == '"') {
            ++i;
            const std::size_t end = line.find('"', i);
            const std::size_t stop = end == std::string_view::npos ? line.size() : end;
            arg.assign(line.substr(i, stop - i));
            i = end == std::string_view::npos ? line.size() : end + 1;
        } else {
            const std::size_t start = i;
            while (i < line.size() && !IsBlank(line[i])) ++i;
            arg.assign(line.substr(start, i - start));
        }
        mode.fileList.paths.push_back(std::move(arg));
    }
    return mode;
}

std::string CommandLineFromArgs(int argc, const char* const* argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!line.empty()) line.push_back(' ');
        if (arg.find_first_of(" \t") != std::string_view::npos || arg.empty()) {
            line.push_back('"');
            line.append(arg);
            line.push_back('"');
        } else {
            line.append(arg);
        }
    }
    return line;
}

}  // namespace quillon::app
