#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <string_view>

// Files that must never be lost (a user's photo, the settings) are replaced by
// writing a complete new file in the same folder and renaming it over the old
// one only after the last byte is on disk. A crash, a full disk or a failing
// encoder leaves the old file as it was.
//
// The new file is created without a name (O_TMPFILE) and gets one only when it
// is complete, a moment before the rename, so a process killed while writing
// leaves nothing behind. Where the file system cannot create unnamed files, a
// named temporary file takes its place. Either name is short and independent of
// the target's, so a target whose name is at the file system's limit can be
// replaced too.
//
// What the user set on the old file survives its replacement: owner and group
// (as far as the process may give them away), mode and extended attributes.
// A target that is a symbolic link is followed to the file it finally names,
// which is replaced in its own folder; the link stays a link.

namespace quillon::platform {

// Renames `from` to `to`; answers 0 on success (the signature of ::rename).
// Tests substitute one that fails to prove the old file survives.
using RenameFunction = std::function<int(const char* from, const char* to)>;

enum class TemporaryKind {
    kUnnamedWherePossible,
    kNamed,  // what the program falls back on; tests use it to exercise that path
};

// One replacement of one file: Open, write through Descriptor() or Stream(),
// then Commit. Destroyed without a successful Commit, it removes the new file
// and the target stays as it was.
class FileReplacement {
  public:
    explicit FileReplacement(TemporaryKind kind = TemporaryKind::kUnnamedWherePossible)
        : kind_(kind) {}
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Creates the empty new file that is to replace `target` (or to become it,
    // when there is none yet). Answers 0, or the errno that says why not:
    // EACCES, EROFS or EPERM when the process may not write an existing target
    // itself (being allowed to rename in its folder does not suffice); then
    // nothing has been created.
    [[nodiscard]] int Open(std::string_view target);

    // The new file, open for reading and writing; -1 before a successful Open.
    // It stays owned by this object.
    int Descriptor() const { return fd_; }

    // A copy of the descriptor for a library that closes what it is given, or
    // -1 with errno set.
    int DuplicateDescriptor() const;

    // A stdio stream over the new file, owned by this object; nullptr with
    // errno set when it cannot be made.
    std::FILE* Stream();

    // Starts writing what the new file holds so far to disk, without waiting
    // for it: a large file written in parts then has little left for Commit's
    // sync to wait on. Only a hint; nothing is reported.
    void StartWriteback() const;

    // Flushes the stream, gives the new file the owner, group, mode and extended
    // attributes of the file it replaces, syncs it to disk, puts it in the
    // target's place and syncs the folder. Answers 0, or the errno of the step
    // that failed; then the target is untouched and the new file is gone.
    [[nodiscard]] int Commit(const RenameFunction& rename = {});

  private:
    int CarryOverAttributes();
    int LinkIntoFolder();
    void Discard();

    TemporaryKind kind_;
    std::string finalTarget_;  // the target with every symbolic link followed
    std::string folder_;       // the folder of finalTarget_
    std::string tempPath_;     // the new file's name once it has one
    int folderFd_ = -1;
    int fd_ = -1;
    unsigned createdMode_ = 0;  // what the umask or the folder's default ACL allow
    std::FILE* stream_ = nullptr;
};

// Replaces `target` with `bytes` through a FileReplacement.
bool WriteFileAtomically(const std::string& target, std::span<const std::uint8_t> bytes,
                         const RenameFunction& rename = {});

}  // namespace quillon::platform
