#include "platform/paths.h"

#include <cstdlib>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

namespace quillon::platform {

namespace {

std::string HomeDir() {
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) : std::string("/tmp");
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string JoinPath(std::string_view dir, std::string_view name) {
    if (dir.empty()) return std::string(name);
    std::string out(dir);
    while (out.size() > 1 && out.back() == kPathSeparator) out.pop_back();
    while (!name.empty() && name.front() == kPathSeparator) name.remove_prefix(1);
    if (out.back() != kPathSeparator) out.push_back(kPathSeparator);
    out.append(name);
    return out;
}

std::string NormaliseSeparators(std::string_view path) {
    std::string out(path);
    for (char& c : out) {
        if (c == '\\') c = kPathSeparator;
    }
    return out;
}

std::string_view FileNameOf(std::string_view path) {
    const auto pos = path.rfind(kPathSeparator);
    return pos == std::string_view::npos ? path : path.substr(pos + 1);
}

std::string_view DirectoryOf(std::string_view path) {
    const auto pos = path.rfind(kPathSeparator);
    if (pos == std::string_view::npos) return {};
    if (pos == 0) return path.substr(0, 1);
    return path.substr(0, pos);
}

std::string_view SuffixOf(std::string_view path) {
    const std::string_view name = FileNameOf(path);
    const auto pos = name.rfind('.');
    return pos == std::string_view::npos ? std::string_view() : name.substr(pos + 1);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

bool FileExists(std::string_view path) {
    struct stat st {};
    return ::stat(std::string(path).c_str(), &st) == 0;
}

bool CanReadFile(std::string_view path) {
    // A folder opens for reading too, but it is no file to work on.
    struct stat st {};
    const std::string p(path);
    if (::stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return ::access(p.c_str(), R_OK) == 0;
}

std::string UserConfigDir() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return xdg;
    return JoinPath(HomeDir(), ".config");
}

std::string UserDesktopDir() {
    const std::string home = HomeDir();
    std::ifstream dirs(JoinPath(UserConfigDir(), "user-dirs.dirs"));
    std::string line;
    const std::string key = "XDG_DESKTOP_DIR=";
    while (std::getline(dirs, line)) {
        if (line.rfind(key, 0) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
        if (!value.empty() && value.front() == '/') return value;
    }
    return JoinPath(home, "Desktop");
}

}  // namespace quillon::platform
