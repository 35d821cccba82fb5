#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "app/window_program.h"

namespace quillon::app {
namespace {

TEST(WindowProgramPathTest, BelongsToTheLauncherAndNeverToTheCurrentFolder) {
    // A path relative to wherever the program was started would let a file in
    // that folder be run in the window program's place.
    EXPECT_EQ(WindowProgramPathFor(""), "");
    EXPECT_EQ(WindowProgramPathFor("quillon"), "");
    EXPECT_EQ(WindowProgramPathFor("bin/quillon"), "");

    // Two installations each find their own window program, and the path
    // shown in a message carries no "..".
    const std::filesystem::path a(WindowProgramPathFor("/opt/a/bin/quillon"));
    const std::filesystem::path b(WindowProgramPathFor("/opt/b/bin/quillon"));
    EXPECT_TRUE(a.is_absolute());
    EXPECT_EQ(a, a.lexically_normal());
    EXPECT_EQ(a.filename(), "quillon-window");
    EXPECT_NE(a, b);
    EXPECT_EQ(a.lexically_relative("/opt/a"), b.lexically_relative("/opt/b"));
}

}  // namespace
}  // namespace quillon::app
