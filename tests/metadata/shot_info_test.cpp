#include "metadata/shot_info.h"

#include <gtest/gtest.h>

namespace quillon::metadata {
namespace {

TEST(MakeStartsWithTest, IgnoresCaseAndAcceptsCompanySuffix) {
    ShotInfo shot;
    shot.make = "NIKON CORPORATION";
    EXPECT_TRUE(MakeStartsWith(shot, "Nikon"));
    EXPECT_FALSE(MakeStartsWith(shot, "Canon"));
}

TEST(MakeStartsWithTest, MakeShorterThanNameNeverMatches) {
    // A make cut short must not be taken for the longer maker name.
    ShotInfo shot;
    shot.make = "Olymp";
    EXPECT_FALSE(MakeStartsWith(shot, "Olympus"));
    shot.make = "";
    EXPECT_FALSE(MakeStartsWith(shot, "Canon"));
}

}  // namespace
}  // namespace quillon::metadata
