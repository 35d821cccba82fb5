#include "platform/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/paths.h"
#include "tests/support/test_support.h"

namespace quillon::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::NamesIn;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;
using Names = std::vector<std::string>;

constexpr TemporaryKind kBothKinds[] = {TemporaryKind::kUnnamedWherePossible,
                                        TemporaryKind::kNamed};

const Bytes kOld = {'o', 'l', 'd'};
const Bytes kNew = {'n', 'e', 'w', '!'};

// Writes through the stream, as the JPEG writer does; WriteFileAtomically
// covers the descriptor.
int Replace(const std::string& target, const Bytes& bytes, TemporaryKind kind,
            const RenameFunction& rename = {}) {
    FileReplacement file(kind);
    if (const int error = file.Open(target); error != 0) return error;
    std::FILE* stream = file.Stream();
    if (stream == nullptr) return errno;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size()) return EIO;
    return file.Commit(rename);
}

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

bool UnnamedFilesWorkIn(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR, 0600);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

std::string SkipMessage(const std::string& what) {
    return what + " (" + std::strerror(errno) + ")";
}

TEST(AtomicFileTest, ReplacesContentAndKeepsOldFileWhenRenameFails) {
    TempDir dir;
    const std::string target = dir.File("settings.reg");
    ASSERT_TRUE(WriteFileAtomically(target, kOld));
    EXPECT_EQ(ReadBytes(target), kOld);

    const RenameFunction failing = [](const char*, const char*) { return -1; };
    EXPECT_FALSE(WriteFileAtomically(target, kNew, failing));
    EXPECT_EQ(ReadBytes(target), kOld);
    EXPECT_EQ(NamesIn(dir.path()), Names{"settings.reg"});

    ASSERT_TRUE(WriteFileAtomically(target, kNew));
    EXPECT_EQ(ReadBytes(target), kNew);
}

TEST(AtomicFileTest, FailsCleanlyInAMissingFolder) {
    EXPECT_FALSE(WriteFileAtomically("/nonexistent-quillon-dir/x.reg", kOld));
    for (const TemporaryKind kind : kBothKinds) {
        EXPECT_EQ(Replace("/nonexistent-quillon-dir/x.reg", kOld, kind), ENOENT);
    }
}

// The rename is the only step that makes the new file visible under the
// target's name: it must see a complete file in the target's own folder, and
// a rename that fails must leave neither the new content nor its temporary
// name behind.
TEST(AtomicFileTest, TheRenameSeesTheCompleteFileAndAFailureLeavesNothing) {
    for (const TemporaryKind kind : kBothKinds) {
        SCOPED_TRACE(static_cast<int>(kind));
        TempDir dir;
        const std::string target = dir.File("photo.jpg");
        ASSERT_TRUE(WriteBytes(target, kOld));
        std::string from;
        const auto failing = [&](const char* source, const char* to) {
            from = source;
            EXPECT_EQ(ReadBytes(source), kNew);
            EXPECT_EQ(std::string(to), target);
            return -1;
        };
        EXPECT_NE(Replace(target, kNew, kind, failing), 0);
        EXPECT_EQ(DirectoryOf(from), dir.path());
        EXPECT_EQ(ReadBytes(target), kOld);
        EXPECT_EQ(NamesIn(dir.path()), Names{"photo.jpg"});
    }
}

// The temporary name once carried the target's whole name plus 16 characters,
// so a photo whose name had 240 or more characters could not be saved.
TEST(AtomicFileTest, NamesUpToTheFileSystemsLimitCanBeReplaced) {
    for (const TemporaryKind kind : kBothKinds) {
        SCOPED_TRACE(static_cast<int>(kind));
        TempDir dir;
        const std::string name = std::string(251, 'a') + ".jpg";  // 255, the usual limit
        const std::string target = dir.File(name);
        ASSERT_TRUE(WriteBytes(target, kOld));
        std::string from;
        const auto rename = [&](const char* source, const char* to) {
            from = source;
            return ::rename(source, to);
        };
        EXPECT_EQ(Replace(target, kNew, kind, rename), 0);
        EXPECT_EQ(ReadBytes(target), kNew);
        EXPECT_EQ(NamesIn(dir.path()), Names{name});
        // A name that grows with the target's would fail again a few characters on.
        EXPECT_LE(FileNameOf(from).size(), 32u);
    }
}

// 24 of 70 kills while a photo was being written left hidden temporary files,
// some complete but never renamed. An unnamed file vanishes with its process.
TEST(AtomicFileTest, AWriterKilledMidwayLeavesNoTraceAndTheOriginalIntact) {
    TempDir dir;
    if (!UnnamedFilesWorkIn(dir.path())) {
        GTEST_SKIP() << SkipMessage("the test folder's file system refuses unnamed files");
    }
    const std::string target = dir.File("photo.jpg");
    ASSERT_TRUE(WriteBytes(target, kOld));
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        FileReplacement file;
        if (file.Open(target) != 0) ::_exit(1);
        const std::vector<char> chunk(64 * 1024, 'x');
        // Far longer than the parent waits; the kill comes mid-write.
        for (int i = 0; i < 10000; ++i) {
            if (::write(file.Descriptor(), chunk.data(), chunk.size()) < 0) ::_exit(2);
            if (i == 16) (void)!::write(ready[1], "w", 1);
            ::usleep(1000);
        }
        ::_exit(3);
    }
    ::close(ready[1]);
    char byte = 0;
    const bool writing = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    // A megabyte is on its way to the disk, and still nothing shows.
    EXPECT_EQ(NamesIn(dir.path()), Names{"photo.jpg"});
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(writing) << "the writer ended early with status " << status;
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(NamesIn(dir.path()), Names{"photo.jpg"});
    EXPECT_EQ(ReadBytes(target), kOld);
}

// A photo or settings file reached through a symbolic link used to be
// replaced by a regular file beside the link, leaving the real file as it was.
TEST(AtomicFileTest, ASymbolicLinkIsFollowedToItsFileAndStaysALink) {
    namespace fs = std::filesystem;
    for (const TemporaryKind kind : kBothKinds) {
        SCOPED_TRACE(static_cast<int>(kind));
        TempDir dir;
        fs::create_directory(dir.File("real"));
        const std::string real = dir.File("real/photo.jpg");
        ASSERT_TRUE(WriteBytes(real, kOld));
        fs::create_symlink("real/photo.jpg", dir.File("near.jpg"));
        fs::create_symlink(dir.File("near.jpg"), dir.File("far.jpg"));  // a chain, absolute

        EXPECT_EQ(Replace(dir.File("far.jpg"), kNew, kind), 0);
        EXPECT_EQ(ReadBytes(real), kNew);
        EXPECT_EQ(fs::read_symlink(dir.File("near.jpg")), "real/photo.jpg");
        EXPECT_EQ(fs::read_symlink(dir.File("far.jpg")), dir.File("near.jpg"));
        // The new file was made in the real file's folder, not the link's.
        EXPECT_EQ(NamesIn(dir.File("real")), Names{"photo.jpg"});

        // A link to a file not yet there creates that file.
        fs::create_symlink("real/new.jpg", dir.File("ahead.jpg"));
        EXPECT_EQ(Replace(dir.File("ahead.jpg"), kNew, kind), 0);
        EXPECT_EQ(ReadBytes(dir.File("real/new.jpg")), kNew);
        EXPECT_TRUE(fs::is_symlink(dir.File("ahead.jpg")));

        fs::create_symlink("loop2", dir.File("loop1"));
        fs::create_symlink("loop1", dir.File("loop2"));
        EXPECT_EQ(Replace(dir.File("loop1"), kNew, kind), ELOOP);
        EXPECT_EQ(NamesIn(dir.path()),
                  (Names{"ahead.jpg", "far.jpg", "loop1", "loop2", "near.jpg", "real"}));
    }
}

// Renaming a new file over the old one dropped whatever the user had set on
// the old file. A new target gets what the umask allows, not the private mode
// the file has while it is written.
TEST(AtomicFileTest, TheReplacedFileKeepsItsModeAndExtendedAttributes) {
    const mode_t umask = ::umask(022);
    for (const TemporaryKind kind : kBothKinds) {
        SCOPED_TRACE(static_cast<int>(kind));
        TempDir dir;
        const std::string fresh = dir.File("fresh.jpg");
        EXPECT_EQ(Replace(fresh, kNew, kind), 0);
        EXPECT_EQ(ModeOf(fresh), 0644u);

        const std::string target = dir.File("photo.jpg");
        ASSERT_TRUE(WriteBytes(target, kOld));
        ASSERT_EQ(::chmod(target.c_str(), 0604), 0);
        const std::string rating("5\0stars", 7);  // values are bytes, not text
        if (::setxattr(target.c_str(), "user.rating", rating.data(), rating.size(), 0) != 0) {
            ::umask(umask);
            GTEST_SKIP() << SkipMessage("the test folder's file system keeps no user attributes");
        }
        EXPECT_EQ(Replace(target, kNew, kind), 0);
        EXPECT_EQ(ModeOf(target), 0604u);
        std::string kept(16, '\0');
        const ssize_t size = ::getxattr(target.c_str(), "user.rating", kept.data(), kept.size());
        ASSERT_GE(size, 0) << std::strerror(errno);
        kept.resize(static_cast<std::size_t>(size));
        EXPECT_EQ(kept, rating);
    }
    ::umask(umask);
}

// Under sudo, a user's photo came back owned by root with the user's mode, so
// its owner could no longer read it.
TEST(AtomicFileTest, AsRootTheReplacedFileKeepsItsOwnerAndGroup) {
    if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
    for (const TemporaryKind kind : kBothKinds) {
        SCOPED_TRACE(static_cast<int>(kind));
        TempDir dir;
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
        const std::string target = dir.File("photo.jpg");
        ASSERT_TRUE(WriteBytes(target, kOld));
        const unsigned uid = testing::OrdinaryUid();
        const unsigned gid = testing::OrdinaryGid();
        ASSERT_EQ(::chown(target.c_str(), uid, gid), 0);
        ASSERT_EQ(::chmod(target.c_str(), 0600), 0);

        EXPECT_EQ(Replace(target, kNew, kind), 0);
        struct stat st {};
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, uid);
        EXPECT_EQ(st.st_gid, gid);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        const auto failure = testing::RunAsOrdinaryUser([&]() -> std::string {
            return ReadBytes(target) == kNew ? "" : "the owner cannot read the photo";
        });
        if (!failure) GTEST_SKIP() << "could not drop to an unprivileged user";
        EXPECT_EQ(*failure, "");
    }
}

// Renaming over a file needs only the folder's permission, so a photo its
// owner made read-only, or another user's photo in a shared folder, was
// replaced all the same.
TEST(AtomicFileTest, AFileTheUserMayNotWriteIsRefusedAndNothingCreated) {
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);  // a shared folder
    const bool root = ::geteuid() == 0;
    const std::string readOnly = dir.File("read-only.jpg");
    const std::string theirs = dir.File("theirs.jpg");
    const std::string writable = dir.File("writable.jpg");
    for (const std::string& path : {readOnly, theirs, writable}) {
        ASSERT_TRUE(WriteBytes(path, kOld));
        // As root, `theirs` stays root's: another user's file to nobody.
        if (root && path != theirs) {
            ASSERT_EQ(::chown(path.c_str(), testing::OrdinaryUid(), testing::OrdinaryGid()), 0);
        }
    }
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(theirs.c_str(), 0644), 0);
    const Names before = NamesIn(dir.path());

    const auto failure = testing::RunAsOrdinaryUser([&] {
        std::string failures;
        for (const TemporaryKind kind : kBothKinds) {
            for (const std::string& path : {readOnly, theirs}) {
                // Without root the tests' user owns `theirs` too; only the
                // read-only case can be made.
                if (!root && path == theirs) continue;
                const int error = Replace(path, kNew, kind);
                if (error != EACCES) failures += path + ": " + std::to_string(error) + "; ";
            }
            if (Replace(writable, kNew, kind) != 0) failures += "the writable file was refused; ";
        }
        return failures;
    });
    if (!failure) GTEST_SKIP() << "could not drop to an unprivileged user";
    EXPECT_EQ(*failure, "");
    EXPECT_EQ(ReadBytes(readOnly), kOld);
    EXPECT_EQ(ReadBytes(theirs), kOld);
    EXPECT_EQ(ReadBytes(writable), kNew);
    EXPECT_EQ(NamesIn(dir.path()), before);
}

}  // namespace
}  // namespace quillon::platform
