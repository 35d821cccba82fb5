#include "platform/atomic_file.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/paths.h"

namespace quillon::platform {
namespace {

// The kernel's own limit on links followed while resolving one path.
constexpr int kMaxLinkHops = 40;
// Attempts at a free temporary name before giving up; a clash needs another
// writer in the same folder drawing the same eight random characters.
constexpr int kNameAttempts = 100;

int ErrnoOr(int fallback) { return errno != 0 ? errno : fallback; }

// Follows `path` while it is a symbolic link. A missing end (a new file, or a
// link whose target does not exist yet) is where the file will be created.
int FollowLinks(std::string_view path, std::string& resolved) {
    std::string current(path);
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0) {
            if (errno != ENOENT) return errno;
            break;
        }
        if (!S_ISLNK(st.st_mode)) break;
        if (hops == kMaxLinkHops) return ELOOP;
        std::array<char, PATH_MAX> text{};
        const ssize_t length = ::readlink(current.c_str(), text.data(), text.size());
        if (length < 0) return errno;
        if (length == 0) return ENOENT;
        if (static_cast<std::size_t>(length) == text.size()) return ENAMETOOLONG;
        const std::string_view link(text.data(), static_cast<std::size_t>(length));
        current = link.front() == '/' ? std::string(link) : JoinPath(DirectoryOf(current), link);
    }
    resolved = std::move(current);
    return 0;
}

// ".quillon-" and eight random letters or digits. Early in boot the kernel
// may have no random bits yet; the clock, a counter and the process id still
// make clashes rare, and every use of a name is exclusive.
std::string TemporaryName() {
    static constexpr std::string_view kAlphabet =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::array<unsigned char, 8> random{};
    if (::getrandom(random.data(), random.size(), GRND_NONBLOCK) !=
        static_cast<ssize_t>(random.size())) {
        static std::atomic<std::uint64_t> counter{0};
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        const std::uint64_t seed = static_cast<std::uint64_t>(now) ^ (counter++ << 48) ^
                                   (static_cast<std::uint64_t>(::getpid()) << 24);
        std::memcpy(random.data(), &seed, random.size());
    }
    std::string name = ".quillon-";
    for (const unsigned char byte : random) name += kAlphabet[byte % kAlphabet.size()];
    return name;
}

// An unnamed file can be given a name only through /proc (or with a privilege
// the program should not rely on); without /proc it would be a dead end.
bool CanBeLinked(int fd) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::faccessat(AT_FDCWD, self.c_str(), F_OK, AT_SYMLINK_NOFOLLOW) == 0;
}

// Answers the attribute list or value of `name` (nullptr: the list) of `path`,
// retrying when it grew between asking its size and reading it.
int ReadAttribute(const std::string& path, const char* name, std::vector<char>& out) {
    for (;;) {
        const ssize_t size = name != nullptr ? ::getxattr(path.c_str(), name, nullptr, 0)
                                             : ::listxattr(path.c_str(), nullptr, 0);
        if (size < 0) return errno;
        out.resize(static_cast<std::size_t>(size));
        const ssize_t got = name != nullptr ? ::getxattr(path.c_str(), name, out.data(), out.size())
                                            : ::listxattr(path.c_str(), out.data(), out.size());
        if (got >= 0) {
            out.resize(static_cast<std::size_t>(got));
            return 0;
        }
        if (errno != ERANGE) return errno;
    }
}

// The user's own attributes (tags, ratings, origins) must not be lost; the
// others (access lists, security labels, capabilities) follow where the
// process may set them.
int CopyExtendedAttributes(const std::string& from, int to) {
    try {
        std::vector<char> names;
        if (const int error = ReadAttribute(from, nullptr, names); error != 0) {
            return error == ENOTSUP ? 0 : error;
        }
        std::vector<char> value;
        for (std::size_t at = 0; at < names.size();) {
            const char* name = names.data() + at;
            const std::string_view view(name);
            at += view.size() + 1;
            const bool required = view.starts_with("user.");
            if (const int error = ReadAttribute(from, name, value); error != 0) {
                // Removed since the list was read: nothing to keep.
                if (error == ENODATA || !required) continue;
                return error;
            }
            if (::fsetxattr(to, name, value.data(), value.size(), 0) != 0 && required) {
                return errno;
            }
        }
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
    return 0;
}

}  // namespace

FileReplacement::~FileReplacement() { Discard(); }

int FileReplacement::Open(std::string_view target) {
    Discard();
    if (const int error = FollowLinks(target, finalTarget_); error != 0) return error;
    struct stat st {};
    if (::stat(finalTarget_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return EISDIR;
        // Renaming over a file needs only the folder's permission; a file its
        // owner made read-only, or another user's file in a shared folder, is
        // still not ours to change.
        if (::faccessat(AT_FDCWD, finalTarget_.c_str(), W_OK, AT_EACCESS) != 0) return errno;
    } else if (errno != ENOENT) {
        return errno;
    }
    const std::string_view folder = DirectoryOf(finalTarget_);
    folder_ = folder.empty() ? std::string(".") : std::string(folder);
    folderFd_ = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd_ < 0) {
        // A folder we may write but not list still takes the file; only the
        // sync of the folder is lost.
        folderFd_ = ::open(folder_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (folderFd_ < 0) return errno;
    }
    // Mode 0666 lets the umask or the folder's default access list decide the
    // mode of a new file, as for any other program's new file.
    if (kind_ == TemporaryKind::kUnnamedWherePossible) {
        fd_ = ::openat(folderFd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        if (fd_ >= 0 && !CanBeLinked(fd_)) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    for (int attempt = 0; fd_ < 0 && attempt < kNameAttempts; ++attempt) {
        const std::string name = TemporaryName();
        fd_ = ::openat(folderFd_, name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            tempPath_ = JoinPath(folder_, name);
        } else if (errno != EEXIST) {
            const int error = errno;
            Discard();
            return error;
        }
    }
    if (fd_ < 0) {
        Discard();
        return EEXIST;
    }
    if (::fstat(fd_, &st) != 0) {
        const int error = errno;
        Discard();
        return error;
    }
    createdMode_ = st.st_mode & 07777;
    // Nobody else reads the half-written file, which may be a private photo.
    (void)::fchmod(fd_, static_cast<mode_t>(createdMode_ & 0600));
    return 0;
}

int FileReplacement::DuplicateDescriptor() const {
    if (fd_ < 0) {
        errno = EBADF;
        return -1;
    }
    return ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
}

std::FILE* FileReplacement::Stream() {
    if (stream_ != nullptr) return stream_;
    // The stream gets a descriptor of its own: closing it must leave ours,
    // which Commit still needs.
    const int copy = DuplicateDescriptor();
    if (copy < 0) return nullptr;
    stream_ = ::fdopen(copy, "wb");
    if (stream_ == nullptr) {
        const int error = errno;
        ::close(copy);
        errno = error;
    }
    return stream_;
}

void FileReplacement::StartWriteback() const {
    if (fd_ >= 0) (void)::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
}

int FileReplacement::Commit(const RenameFunction& rename) {
    if (fd_ < 0) return EBADF;
    errno = 0;
    int error = 0;
    if (stream_ != nullptr) {
        const bool flushed = std::fflush(stream_) == 0 && std::ferror(stream_) == 0;
        const bool closed = std::fclose(stream_) == 0;
        stream_ = nullptr;
        if (!flushed || !closed) error = ErrnoOr(EIO);
    }
    if (error == 0) error = CarryOverAttributes();
    if (error == 0 && ::fsync(fd_) != 0) error = errno;
    if (error == 0 && tempPath_.empty()) error = LinkIntoFolder();
    if (error == 0) {
        errno = 0;
        const int result = rename ? rename(tempPath_.c_str(), finalTarget_.c_str())
                                  : ::rename(tempPath_.c_str(), finalTarget_.c_str());
        if (result != 0) error = ErrnoOr(EIO);
    }
    if (error != 0) {
        Discard();
        return error;
    }
    tempPath_.clear();  // it is the target's name now
    // Without this the rename may still be lost in a power cut after the
    // program reported success. The new file is in place either way, so a
    // failure here cannot be undone and is not reported.
    (void)::fsync(folderFd_);
    Discard();
    return 0;
}

int FileReplacement::CarryOverAttributes() {
    struct stat old {};
    // The modes are best effort: some file systems (FAT) cannot change them.
    if (::stat(finalTarget_.c_str(), &old) != 0) {
        (void)::fchmod(fd_, static_cast<mode_t>(createdMode_));
        return 0;
    }
    struct stat mine {};
    if (::fstat(fd_, &mine) != 0) return errno;
    // Under sudo the user's photo must stay the user's. Only a privileged
    // process may give a file away; an ordinary one keeps at least the group
    // where it belongs to it, and otherwise the file becomes its own, as any
    // save through a rename does.
    if ((old.st_uid != mine.st_uid || old.st_gid != mine.st_gid) &&
        ::fchown(fd_, old.st_uid, old.st_gid) != 0) {
        (void)::fchown(fd_, static_cast<uid_t>(-1), old.st_gid);
    }
    // After the owner: a change of owner clears the set-id bits.
    (void)::fchmod(fd_, old.st_mode & 07777);
    return CopyExtendedAttributes(finalTarget_, fd_);
}

int FileReplacement::LinkIntoFolder() {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = TemporaryName();
        if (::linkat(AT_FDCWD, self.c_str(), folderFd_, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            tempPath_ = JoinPath(folder_, name);
            return 0;
        }
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
}

void FileReplacement::Discard() {
    if (stream_ != nullptr) std::fclose(stream_);
    stream_ = nullptr;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!tempPath_.empty()) (void)::unlink(tempPath_.c_str());
    tempPath_.clear();
    if (folderFd_ >= 0) ::close(folderFd_);
    folderFd_ = -1;
}

bool WriteFileAtomically(const std::string& target, std::span<const std::uint8_t> bytes,
                         const RenameFunction& rename) {
    FileReplacement file;
    if (file.Open(target) != 0) return false;
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(file.Descriptor(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return file.Commit(rename) == 0;
}

}  // namespace quillon::platform
