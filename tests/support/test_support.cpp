#include "tests/support/test_support.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillon::testing {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillon-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

std::string TempDir::File(const std::string& name) const { return path_ + "/" + name; }

std::string TestDataPath(const std::string& relative) {
    const char* root = std::getenv("QUILLON_SOURCE_DIR");
    const std::string base = root && *root ? root : QUILLON_SOURCE_DIR_DEFAULT;
    return base + "/testdata/" + relative;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::vector<std::string> NamesIn(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

namespace {
constexpr unsigned kNobody = 65534;
constexpr int kCouldNotDrop = 77;
}  // namespace

unsigned OrdinaryUid() { return ::geteuid() == 0 ? kNobody : ::geteuid(); }
unsigned OrdinaryGid() { return ::geteuid() == 0 ? kNobody : ::getegid(); }

std::optional<std::string> RunAsOrdinaryUser(const std::function<std::string()>& check) {
    if (::geteuid() != 0) return check();
    int channel[2];
    if (::pipe(channel) != 0) return "pipe failed";
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(channel[0]);
        ::close(channel[1]);
        return "fork failed";
    }
    if (child == 0) {
        ::close(channel[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0 ||
            ::geteuid() != kNobody) {
            ::_exit(kCouldNotDrop);
        }
        const std::string failure = check();
        for (std::size_t done = 0; done < failure.size();) {
            const ssize_t n = ::write(channel[1], failure.data() + done, failure.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string failure;
    char buffer[512];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        failure.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(channel[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == kCouldNotDrop) return std::nullopt;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        failure += " (the ordinary user's process did not end normally)";
    }
    return failure;
}

}  // namespace quillon::testing
