#include "platform/settings_store.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <new>
#include <span>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"

namespace quillon::platform {

namespace {

constexpr std::string_view kKeyLine = "[Software\\Velmora\\Quillon]";
constexpr std::string_view kDwordTag = "dword:";

std::string_view CutAtNul(std::string_view text) {
    const auto nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

void Upsert(std::vector<StoredValue>& values, StoredValue value) {
    for (StoredValue& existing : values) {
        if (EqualsIgnoringCase(existing.name, value.name)) {
            // The stored spelling of a name stays, as a registry keeps it.
            value.name = std::move(existing.name);
            existing = std::move(value);
            return;
        }
    }
    values.push_back(std::move(value));
}

const StoredValue* FindIn(const std::vector<StoredValue>& values, std::string_view name) {
    for (const StoredValue& value : values) {
        if (EqualsIgnoringCase(value.name, name)) return &value;
    }
    return nullptr;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool OnlyBlanksFrom(std::string_view line, std::size_t pos) {
    for (; pos < line.size(); ++pos) {
        if (!IsBlank(line[pos])) return false;
    }
    return true;
}

// Reads the quoted text that starts at `pos`. Backslash escapes the quote, the
// backslash and line breaks; any other backslash is kept as typed, so a folder
// written by hand the Windows way survives.
bool ReadQuoted(std::string_view line, std::size_t& pos, std::string& out) {
    if (pos >= line.size() || line[pos] != '"') return false;
    ++pos;
    out.clear();
    while (pos < line.size()) {
        const char c = line[pos++];
        if (c == '"') return true;
        if (c != '\\' || pos >= line.size()) {
            out.push_back(c);
            continue;
        }
        const char escaped = line[pos++];
        switch (escaped) {
            case '\\':
            case '"':
                out.push_back(escaped);
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 'r':
                out.push_back('\r');
                break;
            default:
                out.push_back('\\');
                out.push_back(escaped);
                break;
        }
    }
    return false;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<StoredValue> ParseLine(std::string_view line) {
    std::size_t pos = 0;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    StoredValue value;
    if (!ReadQuoted(line, pos, value.name)) return std::nullopt;
    value.name = std::string(CutAtNul(value.name));
    if (value.name.empty()) return std::nullopt;
    if (pos >= line.size() || line[pos] != '=') return std::nullopt;
    ++pos;
    if (pos < line.size() && line[pos] == '"') {
        std::string text;
        if (!ReadQuoted(line, pos, text) || !OnlyBlanksFrom(line, pos)) return std::nullopt;
        value.type = StoredType::kString;
        value.text = std::string(CutAtNul(text));
        return value;
    }
    const std::string_view rest = line.substr(pos);
    if (rest.size() < kDwordTag.size() ||
        !EqualsIgnoringCase(rest.substr(0, kDwordTag.size()), kDwordTag)) {
        return std::nullopt;
    }
    pos += kDwordTag.size();
    std::uint32_t number = 0;
    int digits = 0;
    for (; pos < line.size() && HexDigit(line[pos]) >= 0; ++pos) {
        if (++digits > 8) return std::nullopt;
        number = (number << 4) | static_cast<std::uint32_t>(HexDigit(line[pos]));
    }
    if (digits == 0 || !OnlyBlanksFrom(line, pos)) return std::nullopt;
    value.type = StoredType::kDword;
    value.dword = number;
    return value;
}

void AppendQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out.push_back(c);
                break;
        }
    }
    out.push_back('"');
}

StoredValue Normalised(StoredValue value) {
    value.name = std::string(CutAtNul(value.name));
    if (value.type == StoredType::kString) {
        value.text = std::string(CutAtNul(value.text));
    } else {
        value.text.clear();
    }
    return value;
}

// An advisory lock on the folder of the settings file for one read-merge-write.
// Taking it can fail (a file system without locks); the write then goes ahead
// unlocked, as it would have anyway.
class FolderLock {
  public:
    explicit FolderLock(const std::string& dir)
        : fd_(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ >= 0) {
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

  private:
    int fd_;
};

}  // namespace

StoredValue StoredValue::String(std::string_view name, std::string_view text) {
    StoredValue value;
    value.name = std::string(name);
    value.type = StoredType::kString;
    value.text = std::string(text);
    return value;
}

StoredValue StoredValue::Dword(std::string_view name, std::uint32_t dword) {
    StoredValue value;
    value.name = std::string(name);
    value.type = StoredType::kDword;
    value.dword = dword;
    return value;
}

std::vector<StoredValue> ParseSettingsText(std::string_view text) {
    std::vector<StoredValue> values;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (std::optional<StoredValue> value = ParseLine(line)) Upsert(values, std::move(*value));
    }
    return values;
}

std::string FormatSettingsText(const std::vector<StoredValue>& values) {
    std::string out(kKeyLine);
    out.push_back('\n');
    for (const StoredValue& value : values) {
        AppendQuoted(out, value.name);
        out.push_back('=');
        if (value.type == StoredType::kString) {
            AppendQuoted(out, value.text);
        } else {
            char digits[16];
            std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(value.dword));
            out += kDwordTag;
            out += digits;
        }
        out.push_back('\n');
    }
    return out;
}

// ---------------------------------------------------------------------------

FileSettingsStore::FileSettingsStore(std::string path, RenameFunction rename)
    : path_(std::move(path)), rename_(std::move(rename)) {}

bool FileSettingsStore::Load(std::vector<StoredValue>& values) const {
    values.clear();
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    // A missing file, or a missing folder on its path, is an empty key.
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR;
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uint64_t>(st.st_size) > kMaxSettingsFileBytes) {
        return false;
    }
    try {
        std::string content(static_cast<std::size_t>(st.st_size), '\0');
        std::size_t got = 0;
        while (got < content.size()) {
            const ssize_t n = ::read(fd, content.data() + got, content.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            if (n == 0) break;  // the file shrank under us: what was read is all there is
            got += static_cast<std::size_t>(n);
        }
        content.resize(got);
        values = ParseSettingsText(content);
        return true;
    } catch (const std::bad_alloc&) {
        values.clear();
        return false;
    }
}

bool FileSettingsStore::IsPresent() const {
    std::vector<StoredValue> values;
    return FileExists(path_) && Load(values);
}

std::optional<StoredValue> FileSettingsStore::Find(std::string_view name) const {
    try {
        std::vector<StoredValue> values = Values();
        if (const StoredValue* value = FindIn(values, name)) return *value;
    } catch (const std::bad_alloc&) {
    }
    return std::nullopt;
}

std::vector<StoredValue> FileSettingsStore::Values() const {
    std::vector<StoredValue> values;
    (void)ReadValues(values);
    return values;
}

bool FileSettingsStore::ReadValues(std::vector<StoredValue>& values) const {
    try {
        const bool readable = Load(values);
        for (const StoredValue& value : pending_) Upsert(values, value);
        return readable;
    } catch (const std::bad_alloc&) {
        values.clear();
        return false;
    }
}

StoreResult FileSettingsStore::Put(StoredValue value) {
    try {
        value = Normalised(std::move(value));
        if (value.name.empty()) return StoreResult::kWriteFailed;
        Upsert(pending_, std::move(value));
    } catch (const std::bad_alloc&) {
        return StoreResult::kWriteFailed;
    }
    return batchDepth_ > 0 ? StoreResult::kOk : Commit();
}

void FileSettingsStore::BeginWrites() { ++batchDepth_; }

StoreResult FileSettingsStore::EndWrites() {
    if (batchDepth_ == 0) return StoreResult::kOk;
    return --batchDepth_ > 0 ? StoreResult::kOk : Commit();
}

StoreResult FileSettingsStore::Commit() {
    if (pending_.empty()) return StoreResult::kOk;
    // Whatever happens, these values have had their one chance: a later write
    // must not resurrect a value the caller was told was lost.
    std::vector<StoredValue> pending = std::move(pending_);
    pending_.clear();
    try {
        const std::string dir(DirectoryOf(path_));
        if (!dir.empty()) {
            std::error_code error;
            std::filesystem::create_directories(dir, error);
            if (!std::filesystem::is_directory(dir, error)) return StoreResult::kCreateFailed;
        }
        // The program and the plug-in may save at the same moment; each merges
        // its values into what the other wrote, one after the other.
        const FolderLock lock(dir.empty() ? std::string(".") : dir);

        std::vector<StoredValue> values;
        // Merging into a file we could not read would replace the user's
        // settings with the few values of this write.
        if (!Load(values)) return StoreResult::kWriteFailed;
        for (StoredValue& value : pending) Upsert(values, std::move(value));

        const std::string text = FormatSettingsText(values);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
        return WriteFileAtomically(path_, std::span(bytes, text.size()), rename_)
                   ? StoreResult::kOk
                   : StoreResult::kWriteFailed;
    } catch (const std::bad_alloc&) {
        return StoreResult::kWriteFailed;
    }
}

// ---------------------------------------------------------------------------

MemorySettingsStore::MemorySettingsStore(std::vector<StoredValue> values) {
    for (StoredValue& value : values) (void)Put(std::move(value));
}

std::optional<StoredValue> MemorySettingsStore::Find(std::string_view name) const {
    if (const StoredValue* value = FindIn(values_, name)) return *value;
    return std::nullopt;
}

std::vector<StoredValue> MemorySettingsStore::Values() const { return values_; }

StoreResult MemorySettingsStore::Put(StoredValue value) {
    try {
        value = Normalised(std::move(value));
        if (value.name.empty()) return StoreResult::kWriteFailed;
        Upsert(values_, std::move(value));
    } catch (const std::bad_alloc&) {
        return StoreResult::kWriteFailed;
    }
    return StoreResult::kOk;
}

}  // namespace quillon::platform
