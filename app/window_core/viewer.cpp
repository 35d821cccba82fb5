#include "app/window_core/viewer.h"

#include <fstream>
#include <iterator>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"

namespace quillon::app {

namespace {

// A desktop entry is a few hundred bytes; anything far larger is no entry,
// and is not read whole into memory.
constexpr std::size_t kMaxEntryBytes = 256 * 1024;

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// The general escapes of a string value.
std::string Unescape(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
            case 's':
                out += ' ';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                // Exec's own quoting escapes pass on to the argument splitter.
                out += '\\';
                out += value[i];
                break;
        }
    }
    return out;
}

std::optional<std::string> ReadSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kMaxEntryBytes) return std::nullopt;
    }
    return text;
}

// Splits an Exec line into arguments: blanks separate, double quotes group,
// and inside quotes a backslash takes the next '"', '`', '$' or '\' as it is.
std::optional<std::vector<std::string>> SplitExec(std::string_view exec) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inArgument) arguments.push_back(std::move(current));
            current.clear();
            inArgument = false;
        } else if (c == '"') {
            inArgument = true;
            bool closed = false;
            for (++i; i < exec.size(); ++i) {
                if (exec[i] == '"') {
                    closed = true;
                    break;
                }
                if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
                current += exec[i];
            }
            if (!closed) return std::nullopt;
        } else {
            inArgument = true;
            current += c;
        }
    }
    if (inArgument) arguments.push_back(std::move(current));
    if (arguments.empty()) return std::nullopt;
    return arguments;
}

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::optional<DesktopEntry> ParseDesktopEntry(std::string_view text) {
    DesktopEntry entry;
    bool inGroup = false;
    bool haveExec = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            inGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inGroup) continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = Trim(line.substr(0, equals));
        const std::string value = Unescape(Trim(line.substr(equals + 1)));
        if (key == "Name") {
            entry.name = value;
        } else if (key == "Exec") {
            entry.exec = value;
            haveExec = true;
        } else if (key == "Icon") {
            entry.icon = value;
        } else if (key == "Path") {
            entry.path = value;
        }
    }
    if (!haveExec) return std::nullopt;
    return entry;
}

std::optional<std::vector<std::string>> ExecArguments(const DesktopEntry& entry,
                                                      std::string_view entryPath,
                                                      std::string_view file) {
    const auto split = SplitExec(entry.exec);
    if (!split) return std::nullopt;
    std::vector<std::string> arguments;
    bool fileGiven = false;
    for (const std::string& argument : *split) {
        if (argument == "%i") {
            if (!entry.icon.empty()) {
                arguments.emplace_back("--icon");
                arguments.push_back(entry.icon);
            }
            continue;
        }
        std::string out;
        bool dropped = false;
        for (std::size_t i = 0; i < argument.size(); ++i) {
            if (argument[i] != '%' || i + 1 == argument.size()) {
                out += argument[i];
                continue;
            }
            switch (argument[++i]) {
                case 'f':
                case 'F':
                case 'u':
                case 'U':
                    // One file: the list codes take it as a list of one.
                    if (!fileGiven) out += file;
                    fileGiven = true;
                    break;
                case 'c':
                    out += entry.name;
                    break;
                case 'k':
                    out += entryPath;
                    break;
                case '%':
                    out += '%';
                    break;
                default:
                    // %d, %D, %n, %N, %v, %m and unknown codes say nothing.
                    dropped = true;
                    break;
            }
        }
        if (!out.empty() || !dropped) arguments.push_back(std::move(out));
    }
    if (arguments.empty() || arguments.front().empty()) return std::nullopt;
    if (!fileGiven) arguments.emplace_back(file);
    return arguments;
}

bool IsDesktopEntryPath(std::string_view path) {
    const std::string_view name = platform::FileNameOf(path);
    return name.size() > 8 && name.substr(name.size() - 8) == ".desktop";
}

bool IsAcceptableViewer(const std::string& path) {
    if (IsDesktopEntryPath(path)) {
        const auto text = ReadSmallFile(path);
        return text && ParseDesktopEntry(*text).has_value();
    }
    return IsExecutableFile(path);
}

std::string ViewerName(const std::string& viewerPath) {
    if (viewerPath.empty()) return {};
    if (IsDesktopEntryPath(viewerPath)) {
        if (const auto text = ReadSmallFile(viewerPath)) {
            if (const auto entry = ParseDesktopEntry(*text); entry && !entry->name.empty()) {
                return entry->name;
            }
        }
    }
    std::string name(platform::FileNameOf(viewerPath));
    const std::size_t dot = name.rfind('.');
    // A leading dot is part of a hidden file's name, not an extension.
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

std::optional<ViewerLaunch> ViewerLaunchFor(const std::string& viewerPath,
                                            const std::string& file) {
    ViewerLaunch launch;
    if (!IsDesktopEntryPath(viewerPath)) {
        launch.program = viewerPath;
        launch.arguments = {file};
        launch.folder = std::string(platform::DirectoryOf(viewerPath));
        return launch;
    }
    const auto text = ReadSmallFile(viewerPath);
    if (!text) return std::nullopt;
    const auto entry = ParseDesktopEntry(*text);
    if (!entry) return std::nullopt;
    auto arguments = ExecArguments(*entry, viewerPath, file);
    if (!arguments) return std::nullopt;
    launch.program = arguments->front();
    launch.arguments.assign(arguments->begin() + 1, arguments->end());
    launch.folder =
        !entry->path.empty() ? entry->path : std::string(platform::DirectoryOf(viewerPath));
    return launch;
}

}  // namespace quillon::app
