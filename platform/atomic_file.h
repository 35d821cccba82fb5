#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

// Files that must never be lost (a user's photo, the settings) are replaced by
// writing a complete new file beside them and renaming it over the old one only
// after the last byte is on disk. A crash, a full disk or a failing encoder
// leaves the old file as it was.

namespace quillon::platform {

// Renames `from` to `to`; answers 0 on success (the signature of ::rename).
// Tests substitute one that fails to prove the old file survives.
using RenameFunction = std::function<int(const char* from, const char* to)>;

// Creates an empty file with a unique name in the folder of `target` and answers
// its path, or an empty string when the folder is not writable.
std::string CreateSiblingTempFile(std::string_view target);

// Flushes `temp` to disk, gives it the permissions of `target` when that exists,
// and renames it over `target`. On any failure `temp` is removed, `target` is
// untouched and the answer is false.
bool CommitTempFile(const std::string& temp, const std::string& target,
                    const RenameFunction& rename = {});

// Removes a temporary file left by a failed write; missing files are fine.
void DiscardTempFile(const std::string& temp);

// The three steps above for a file whose content is already in memory.
bool WriteFileAtomically(const std::string& target, std::span<const std::uint8_t> bytes,
                         const RenameFunction& rename = {});

}  // namespace quillon::platform
