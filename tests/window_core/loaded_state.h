#pragma once

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "app/app_state.h"
#include "lensdb/lens_database.h"
#include "platform/message_sink.h"
#include "settings/languages.h"
#include "tests/support/test_support.h"
#include "text/string_table.h"

// A program state as start-up leaves it for a window: English texts, the lens
// database the build generates, two processors, every setting at its default.
// Shared by the tests of the window's session and of its widgets.

namespace quillon::app::testing {

class LoadedState {
  public:
    explicit LoadedState(std::int32_t processors = 2) : state(std::make_unique<AppState>()) {
        text::LoadStrings(state->session.strings, text::kEnglishLangId, sink);
        EXPECT_TRUE(lensdb::LoadDatabase(QUILLON_TEST_ROOT_DIR, state->session.database,
                                         state->session.strings, sink)
                        .ok())
            << sink.Last();
        state->stored.correction.Processors = processors;
        EXPECT_TRUE(
            engine::CreateWorkerPool(state->pool, state->stored.correction.Processors, sink).ok());
        sink.Clear();
    }

    // A copy of a sample photo in the test's own folder, free to be written.
    std::string Copy(const std::string& photo) {
        const std::string target = dir.File(photo);
        EXPECT_TRUE(quillon::testing::WriteBytes(
            target,
            quillon::testing::ReadBytes(quillon::testing::TestDataPath("photos/" + photo))));
        return target;
    }

    quillon::testing::TempDir dir;
    platform::CapturingSink sink;
    std::unique_ptr<AppState> state;
};

// A recognised camera and zoom lens (Olympus E-420, 14-42 mm at 24 mm), 400 x 300.
inline constexpr const char* kRecognisedPhoto = "mdx_Issue_339.jpg";
// A known camera (Pentax K-x) whose lens must be chosen by hand, without a
// focal length, 50 x 350.
inline constexpr const char* kCameraOnlyPhoto = "exiv2_exiv2-bug855.jpg";
// A large photo taken with the camera turned (Nikon D40, 3008 x 2000 turned
// upright to 2000 x 3008).
inline constexpr const char* kTurnedPhoto = "mdx_Nikon_D40.jpg";
// A camera the database does not know (Pentax *ist DL), 240 x 160.
inline constexpr const char* kUnknownCameraPhoto = "exiv2_exiv2-bug884c.jpg";

}  // namespace quillon::app::testing
