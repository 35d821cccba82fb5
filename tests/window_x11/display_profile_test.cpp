// Reading the display's colour profile from a real X server (the test runs
// under Xvfb): any program on the display can set the property, so its size
// and form are checked before it is taken.

#include "app/window/display_profile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numeric>
#include <vector>

#include <gtest/gtest.h>

namespace quillon::app {
namespace {

class DisplayProfileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        connection_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection_) != 0) GTEST_SKIP() << "no X display";
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        static constexpr char kName[] = "_ICC_PROFILE";
        auto* reply = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, sizeof kName - 1, kName), nullptr);
        atom_ = reply->atom;
        std::free(reply);
        Delete();
    }
    void TearDown() override {
        if (xcb_connection_has_error(connection_) == 0) Delete();
        xcb_disconnect(connection_);
    }

    // In pieces: one request may carry only so much.
    void Set(std::uint8_t format, const void* data, std::uint32_t units) {
        constexpr std::uint32_t kPiece = 1u << 18;
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        std::uint32_t done = 0;
        do {
            const std::uint32_t count = std::min(kPiece, units - done);
            xcb_change_property(connection_,
                                done == 0 ? XCB_PROP_MODE_REPLACE : XCB_PROP_MODE_APPEND, root_,
                                atom_, XCB_ATOM_CARDINAL, format, count,
                                bytes + static_cast<std::size_t>(done) * format / 8);
            done += count;
        } while (done < units);
        xcb_flush(connection_);
        ASSERT_EQ(xcb_connection_has_error(connection_), 0);
    }
    void Delete() {
        xcb_delete_property(connection_, root_, atom_);
        xcb_flush(connection_);
    }

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t atom_ = 0;
};

TEST_F(DisplayProfileTest, ProfileOfTheRootWindowIsTakenAsItIs) {
    EXPECT_TRUE(ReadDisplayProfile(connection_, root_).empty());
    std::vector<std::uint8_t> profile(70000);
    std::iota(profile.begin(), profile.end(), std::uint8_t{7});
    Set(8, profile.data(), static_cast<std::uint32_t>(profile.size()));
    EXPECT_EQ(ReadDisplayProfile(connection_, root_), profile);
}

TEST_F(DisplayProfileTest, PropertiesOfTheWrongFormOrSizeAreLeftAlone) {
    const std::uint32_t words[4] = {1, 2, 3, 4};
    Set(32, words, 4);
    EXPECT_TRUE(ReadDisplayProfile(connection_, root_).empty());

    // One byte beyond the limit: refused whole, never taken cut.
    std::vector<std::uint8_t> huge(kMaxDisplayProfileBytes + 1, 0x5a);
    Set(8, huge.data(), static_cast<std::uint32_t>(huge.size()));
    EXPECT_TRUE(ReadDisplayProfile(connection_, root_).empty());
}

}  // namespace
}  // namespace quillon::app
