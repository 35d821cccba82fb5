#include "settings/settings_location.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/paths.h"

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

TEST(SettingsLocationTest, UserKeyFollowsTheConfigFolder) {
    EXPECT_EQ(UserSettingsPath(), platform::UserConfigDir() + "/Velmora/Quillon.reg");
}

}  // namespace
}  // namespace quillon::settings
