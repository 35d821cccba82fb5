#pragma once

#include <cstdint>
#include <functional>
#include <optional>
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

// The names in `dir`, sorted.
std::vector<std::string> NamesIn(const std::string& dir);

// The user that RunAsOrdinaryUser runs as: nobody (65534) when the tests run as
// root, the tests' own user otherwise.
unsigned OrdinaryUid();
unsigned OrdinaryGid();

// Runs `check` as an ordinary user, for the permission rules that root
// bypasses. As root it runs in a child process that has dropped to
// OrdinaryUid(); otherwise here. `check` answers an empty string when all it
// expected held, else what failed. Answers nullopt when the child could not
// drop its privileges.
std::optional<std::string> RunAsOrdinaryUser(const std::function<std::string()>& check);

}  // namespace quillon::testing
