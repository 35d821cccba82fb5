#include "platform/paths.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::platform {

namespace {

// A folder every user may write (even with the sticky bit) is shared.
bool IsPrivateFolder(const struct stat& st) {
    return S_ISDIR(st.st_mode) && !(st.st_mode & S_IWOTH);
}

bool IsUsableHome(const char* path) {
    struct stat st {};
    return path != nullptr && path[0] == '/' && ::stat(path, &st) == 0 && IsPrivateFolder(st);
}

// An absolute folder that may not exist yet: whoever may write its nearest
// existing ancestor could create it first, so that ancestor must be private.
bool IsUsableFolderToBe(const char* path) {
    if (path == nullptr || path[0] != '/') return false;
    std::string folder(path);
    while (true) {
        struct stat st {};
        if (::stat(folder.c_str(), &st) == 0) return IsPrivateFolder(st);
        if (errno != ENOENT || folder == "/") return false;
        folder = std::string(DirectoryOf(folder));
    }
}

std::optional<std::string> PasswordDatabaseHome() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size <= 0) size = 16384;
    std::vector<char> buffer(static_cast<std::size_t>(size));
    struct passwd entry {};
    struct passwd* found = nullptr;
    int error;
    while ((error = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found)) ==
               ERANGE &&
           buffer.size() < (1u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (error != 0 || found == nullptr || !IsUsableHome(found->pw_dir)) return std::nullopt;
    return std::string(found->pw_dir);
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

std::string ExecutablePath() {
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return {};
    path.resize(static_cast<std::size_t>(n));
    return path;
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

std::optional<std::string> UserHomeDir() {
    const char* home = std::getenv("HOME");
    if (IsUsableHome(home)) return std::string(home);
    return PasswordDatabaseHome();
}

std::optional<std::string> UserConfigDir() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (IsUsableFolderToBe(xdg)) return std::string(xdg);
    const std::optional<std::string> home = UserHomeDir();
    if (!home) return std::nullopt;
    return JoinPath(*home, ".config");
}

std::string UserDesktopDir() {
    const std::optional<std::string> homeDir = UserHomeDir();
    const std::optional<std::string> configDir = UserConfigDir();
    if (!configDir) return {};
    const std::string home = homeDir.value_or(std::string());
    std::ifstream dirs(JoinPath(*configDir, "user-dirs.dirs"));
    std::string line;
    const std::string key = "XDG_DESKTOP_DIR=";
    while (std::getline(dirs, line)) {
        if (line.rfind(key, 0) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.rfind("$HOME", 0) == 0) {
            if (home.empty()) continue;
            value = home + value.substr(5);
        }
        if (!value.empty() && value.front() == '/') return value;
    }
    return home.empty() ? std::string() : JoinPath(home, "Desktop");
}

}  // namespace quillon::platform
