#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atomic_file.h"

// Persistent settings are typed values under one key: each has a name and is
// either a text or a 32-bit number, like the values of a registry key. Program
// and plug-in share the per-user key, so a preference set in one holds in the
// other; one more key, machine-wide, holds only the installation folder.
//
// The file backend keeps a key in the text form of a registry export:
//
//     [Software\Velmora\Quillon]
//     "Suffix"="_lc"
//     "JpegQuality"=dword:0000005a
//
// Value names compare without regard to ASCII case, as registry names do. The
// file is untrusted input: a line that cannot be read is ignored, never fatal.

namespace quillon::platform {

enum class StoredType { kString, kDword };

struct StoredValue {
    std::string name;
    StoredType type = StoredType::kString;
    std::string text;         // when kString
    std::uint32_t dword = 0;  // when kDword

    static StoredValue String(std::string_view name, std::string_view text);
    static StoredValue Dword(std::string_view name, std::uint32_t dword);
    friend bool operator==(const StoredValue&, const StoredValue&) = default;
};

enum class StoreResult {
    kOk,
    kCreateFailed,  // the folder of the key could not be created
    kWriteFailed,   // the key could not be written (or read back to be merged)
};

class SettingsStore {
  public:
    virtual ~SettingsStore() = default;

    // Whether the key exists and can be read (a key with no values is present).
    virtual bool IsPresent() const = 0;

    // The value named `name`, or nothing when it is absent or unreadable.
    virtual std::optional<StoredValue> Find(std::string_view name) const = 0;

    // Every readable value, in the order in which each name was first stored.
    virtual std::vector<StoredValue> Values() const = 0;

    // Values() for a caller that must tell an unreadable key from an empty one:
    // false when the key exists but cannot be read at all (no permission, an
    // I/O error, no regular file). Damaged lines are skipped, never a failure.
    virtual bool ReadValues(std::vector<StoredValue>& values) const {
        values = Values();
        return true;
    }

    // Where the key is kept, for messages.
    virtual std::string Location() const { return "Velmora/Quillon"; }

    // Stores one value, replacing any value of the same name whatever its type.
    // A text ends at its first NUL, as a stored C string would.
    virtual StoreResult Put(StoredValue value) = 0;

    // Between BeginWrites and EndWrites the values given to Put are collected
    // and reach storage together; EndWrites answers whether they did. A whole
    // save of the settings then costs one file replacement instead of a hundred.
    // Calls nest; only the outermost EndWrites writes.
    virtual void BeginWrites() {}
    virtual StoreResult EndWrites() { return StoreResult::kOk; }
};

// The text form of a key: parsing keeps every readable value (a repeated name
// keeps its first position and its last content); formatting writes what
// parsing reads back unchanged.
std::vector<StoredValue> ParseSettingsText(std::string_view text);
std::string FormatSettingsText(const std::vector<StoredValue>& values);

// Larger files are not settings files; they are treated as unreadable.
inline constexpr std::size_t kMaxSettingsFileBytes = 4u << 20;

// A key kept in one file. A missing file is an empty key. A file that exists
// but cannot be read is never replaced: writes fail until it can be read again,
// so a passing fault never costs the user their settings.
class FileSettingsStore final : public SettingsStore {
  public:
    explicit FileSettingsStore(std::string path, RenameFunction rename = {});

    const std::string& path() const { return path_; }

    bool IsPresent() const override;
    std::optional<StoredValue> Find(std::string_view name) const override;
    std::vector<StoredValue> Values() const override;
    bool ReadValues(std::vector<StoredValue>& values) const override;
    std::string Location() const override { return path_; }
    StoreResult Put(StoredValue value) override;
    void BeginWrites() override;
    StoreResult EndWrites() override;

  private:
    // The values on disk; false when the file exists but cannot be read.
    bool Load(std::vector<StoredValue>& values) const;
    StoreResult Commit();

    std::string path_;
    RenameFunction rename_;
    int batchDepth_ = 0;
    std::vector<StoredValue> pending_;
};

// A key held in memory only: the store for runs that must not touch the user's
// files, and a convenient double in tests.
class MemorySettingsStore final : public SettingsStore {
  public:
    MemorySettingsStore() = default;
    explicit MemorySettingsStore(std::vector<StoredValue> values);

    bool IsPresent() const override { return true; }
    std::optional<StoredValue> Find(std::string_view name) const override;
    std::vector<StoredValue> Values() const override;
    StoreResult Put(StoredValue value) override;

  private:
    std::vector<StoredValue> values_;
};

}  // namespace quillon::platform
