#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Helpers shared by the test binaries: a private temporary folder per test and
// access to the data files committed under testdata/.

namespace quillon::testing {

// A fresh folder under the system's temporary directory, removed with its
// content when the object goes out of scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const;

private:
    std::string path_;
};

// Absolute path of a file below the repository's testdata/ folder.
std::string TestDataPath(const std::string& relative);

std::vector<std::uint8_t> ReadBytes(const std::string& path);
bool WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace quillon::testing
