#include "platform/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

#include "platform/paths.h"

namespace quillon::platform {

std::string CreateSiblingTempFile(std::string_view target) {
    std::string dir(DirectoryOf(target));
    std::string name = ".";
    name.append(FileNameOf(target));
    name.append(".quillon-XXXXXX");
    std::string pattern = JoinPath(dir, name);
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return {};
    ::close(fd);
    return pattern;
}

bool CommitTempFile(const std::string& temp, const std::string& target,
                    const RenameFunction& rename) {
    const int fd = ::open(temp.c_str(), O_RDONLY);
    if (fd < 0) {
        DiscardTempFile(temp);
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        (void)::fchmod(fd, st.st_mode & 07777);
    } else {
        // A new file gets the ordinary permissions the umask allows, not mkstemp's 0600.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        (void)::fchmod(fd, static_cast<mode_t>(0666 & ~mask));
    }
    ::close(fd);
    if (!synced) {
        DiscardTempFile(temp);
        return false;
    }
    const int result = rename ? rename(temp.c_str(), target.c_str())
                              : std::rename(temp.c_str(), target.c_str());
    if (result != 0) {
        DiscardTempFile(temp);
        return false;
    }
    return true;
}

void DiscardTempFile(const std::string& temp) {
    if (!temp.empty()) (void)::unlink(temp.c_str());
}

bool WriteFileAtomically(const std::string& target, std::span<const std::uint8_t> bytes,
                         const RenameFunction& rename) {
    const std::string temp = CreateSiblingTempFile(target);
    if (temp.empty()) return false;
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        DiscardTempFile(temp);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        DiscardTempFile(temp);
        return false;
    }
    return CommitTempFile(temp, target, rename);
}

}  // namespace quillon::platform
