#include "settings/settings_location.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"
#include "tests/support/test_support.h"

namespace quillon::settings {
namespace {

TEST(SettingsLocationTest, OverrideThenBuildTreeThenInstalledKey) {
    const std::string build(platform::DirectoryOf(
        platform::DirectoryOf(platform::DirectoryOf(BuildTreeMachineSettingsPath()))));
    EXPECT_EQ(MachineSettingsPathFor(build + "/app/quillon", "/tmp/t/Quillon.reg"),
              "/tmp/t/Quillon.reg");
    EXPECT_EQ(MachineSettingsPathFor(build + "/app/quillon", nullptr),
              BuildTreeMachineSettingsPath());
    EXPECT_EQ(MachineSettingsPathFor(build + "/app/quillon", ""), BuildTreeMachineSettingsPath());
    // A sibling folder whose name merely starts like the build folder is not in it.
    EXPECT_EQ(MachineSettingsPathFor(build + "-copy/app/quillon", nullptr),
              InstalledMachineSettingsPath());
    EXPECT_EQ(
        MachineSettingsPathFor(
            build + "/../x/../" + std::string(platform::FileNameOf(build)) + "/tools/q", nullptr),
        BuildTreeMachineSettingsPath());
    EXPECT_EQ(MachineSettingsPathFor("/usr/bin/quillon", nullptr), InstalledMachineSettingsPath());
    EXPECT_EQ(MachineSettingsPathFor("", nullptr), InstalledMachineSettingsPath());
}

TEST(SettingsLocationTest, BuildWroteTheKeyThisTestBinaryFinds) {
    // This test runs from the build tree, so without an override it must land
    // on the key the build wrote, whose Root is an existing folder.
    if (std::getenv(kMachineSettingsVariable)) GTEST_SKIP() << "overridden by the environment";
    EXPECT_EQ(MachineSettingsPath(), BuildTreeMachineSettingsPath());
    EXPECT_TRUE(platform::FileExists(MachineSettingsPath()));
}

// Sets or clears an environment variable for one test and restores it.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedVariable() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

std::optional<std::string> PasswordDatabaseKey() {
    const struct passwd* entry = ::getpwuid(::getuid());
    struct stat st {};
    if (entry == nullptr || entry->pw_dir[0] != '/' || ::stat(entry->pw_dir, &st) != 0 ||
        !S_ISDIR(st.st_mode) || (st.st_mode & S_IWOTH)) {
        return std::nullopt;
    }
    return std::string(entry->pw_dir) + "/.config/Velmora/Quillon.reg";
}

TEST(SettingsLocationTest, UserKeyFollowsTheConfigFolderOrTheHomeFolder) {
    testing::TempDir dir;
    const ScopedVariable noConfig("XDG_CONFIG_HOME", nullptr);
    const ScopedVariable home("HOME", dir.path().c_str());
    EXPECT_EQ(UserSettingsPath(), dir.path() + "/.config/Velmora/Quillon.reg");

    // The config folder may not exist yet: it is created on the first save.
    const std::string config = dir.File("config/quillon");
    const ScopedVariable xdg("XDG_CONFIG_HOME", config.c_str());
    EXPECT_EQ(UserSettingsPath(), config + "/Velmora/Quillon.reg");
}

// Without a usable HOME the settings once went to /tmp/.config, where any local
// user could plant a file first; a relative folder would depend on where the
// program was started. The password database names the home folder instead.
TEST(SettingsLocationTest, UnusableHomeFallsBackToThePasswordDatabaseNeverToAShare) {
    testing::TempDir dir;
    const std::string shared = dir.File("shared");
    std::filesystem::create_directory(shared);
    std::filesystem::permissions(shared,
                                 std::filesystem::perms::all | std::filesystem::perms::sticky_bit);
    const std::string insideShared = shared + "/new";
    const std::string missing = dir.File("missing");
    const std::optional<std::string> expected = PasswordDatabaseKey();

    for (const char* home : {static_cast<const char*>(nullptr), "", "relative/home",
                             missing.c_str(), shared.c_str(), "/tmp"}) {
        for (const char* xdg : {static_cast<const char*>(nullptr), "", "relative/config",
                                shared.c_str(), insideShared.c_str()}) {
            SCOPED_TRACE(std::string("HOME=") + (home ? home : "(unset)") +
                         " XDG_CONFIG_HOME=" + (xdg ? xdg : "(unset)"));
            const ScopedVariable homeVariable("HOME", home);
            const ScopedVariable xdgVariable("XDG_CONFIG_HOME", xdg);
            const std::optional<std::string> path = UserSettingsPath();
            EXPECT_EQ(path, expected);
            if (path) {
                EXPECT_EQ(path->front(), '/');
                EXPECT_NE(path->rfind("/tmp/", 0), 0u);
            }
        }
    }
}

}  // namespace
}  // namespace quillon::settings
