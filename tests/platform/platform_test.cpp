#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "platform/auto_reset_event.h"
#include "platform/message_sink.h"
#include "platform/paths.h"

namespace quillon::platform {
namespace {

TEST(PathsTest, SplitsNamesDirectoriesAndSuffixes) {
    EXPECT_EQ(JoinPath("/a/b/", "/c.jpg"), "/a/b/c.jpg");
    EXPECT_EQ(JoinPath("", "c.jpg"), "c.jpg");
    EXPECT_EQ(JoinPath("/", "c.jpg"), "/c.jpg");
    EXPECT_EQ(NormaliseSeparators("C:\\My Photos\\a b.jpg"), "C:/My Photos/a b.jpg");
    EXPECT_EQ(FileNameOf("/x/y/photo.tif"), "photo.tif");
    EXPECT_EQ(DirectoryOf("/x/y/photo.tif"), "/x/y");
    EXPECT_EQ(DirectoryOf("/photo.tif"), "/");
    EXPECT_EQ(DirectoryOf("photo.tif"), "");
    EXPECT_EQ(SuffixOf("/x/y.z/photo.TIFF"), "TIFF");
    // A dot in a folder name is not a suffix of the file.
    EXPECT_EQ(SuffixOf("/x/y.z/photo"), "");
    EXPECT_TRUE(EqualsIgnoringCase("JPEG", "jpeg"));
    EXPECT_FALSE(EqualsIgnoringCase("jpg", "jpeg"));
}

TEST(AutoResetEventTest, OneSetReleasesOneWait) {
    AutoResetEvent ready;
    AutoResetEvent done;
    std::atomic<int> rounds{0};
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) {
            ready.Wait();
            ++rounds;
            done.Set();
        }
    });
    for (int i = 0; i < 100; ++i) {
        ready.Set();
        done.Wait();
        EXPECT_EQ(rounds.load(), i + 1);
    }
    worker.join();
}

TEST(MessageSinkTest, CapturingSinkKeepsTextAndCaption) {
    CapturingSink sink;
    sink.Show("first");
    sink.Show("second", "Error");
    ASSERT_EQ(sink.Count(), 2u);
    EXPECT_EQ(sink.Messages()[0].caption, "Info");
    EXPECT_EQ(sink.Messages()[1].caption, "Error");
    EXPECT_EQ(sink.Last(), "second");
}

}  // namespace
}  // namespace quillon::platform
