#include "app/command_line.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "app/quiet_checks.h"
#include "platform/message_sink.h"
#include "tests/support/test_support.h"

namespace quillon::app {
namespace {

using Paths = std::vector<std::string>;

TEST(CommandLineTest, EmptyLineIsInteractiveButBlanksAreNot) {
    const StartMode empty = ParseCommandLine("");
    EXPECT_TRUE(empty.interactiveMode);
    EXPECT_TRUE(empty.fileList.paths.empty());

    const StartMode blanks = ParseCommandLine("   ");
    EXPECT_FALSE(blanks.interactiveMode);
    EXPECT_TRUE(blanks.fileList.paths.empty());
    EXPECT_EQ(blanks.fileList.current, -1);
}

TEST(CommandLineTest, AcceptsEveryOptionFormAndCombination) {
    struct Case {
        const char* line;
        char quiet;
        bool invert;
    };
    const Case cases[] = {
        {"-q a.jpg", 'q', false},     {"-Q a.jpg", 'Q', false},   {"-i a.jpg", 0, true},
        {"-qi a.jpg", 'q', true},     {"-Qi a.jpg", 'Q', true},   {"-iq a.jpg", 'q', true},
        {"-iQ a.jpg", 'Q', true},     {"-q -i a.jpg", 'q', true}, {"-i-Q a.jpg", 'Q', true},
        {"  -Q   a.jpg", 'Q', false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const StartMode mode = ParseCommandLine(c.line);
        EXPECT_EQ(mode.quietMode, c.quiet);
        EXPECT_EQ(mode.invertMode, c.invert);
        EXPECT_EQ(mode.fileList.paths, Paths{"a.jpg"});
        EXPECT_FALSE(mode.interactiveMode);
    }
}

TEST(CommandLineTest, AnOtherLetterStartsThePaths) {
    EXPECT_EQ(ParseCommandLine("-x a.jpg").fileList.paths, (Paths{"x", "a.jpg"}));
    // No blank is needed after an option, so the path may follow at once.
    EXPECT_EQ(ParseCommandLine("-qa.jpg").fileList.paths, Paths{"a.jpg"});
    // A second quiet letter right behind the first is not an option.
    const StartMode mode = ParseCommandLine("-qQ b.tif");
    EXPECT_EQ(mode.quietMode, 'q');
    EXPECT_EQ(mode.fileList.paths, (Paths{"Q", "b.tif"}));
}

TEST(CommandLineTest, QuotedArgumentsKeepBlanksAndSeparators) {
    EXPECT_EQ(ParseCommandLine("\"/My Photos/a b.jpg\"").fileList.paths,
              Paths{"/My Photos/a b.jpg"});
    EXPECT_EQ(ParseCommandLine("-q \"x y.jpg\" z.tif \"open end").fileList.paths,
              (Paths{"x y.jpg", "z.tif", "open end"}));
    EXPECT_EQ(ParseCommandLine("a\\b.jpg").fileList.paths, Paths{"a\\b.jpg"});
}

TEST(CommandLineTest, ArgvAdapterRoundTripsThroughTheGrammar) {
    const char* argv[] = {"quillon", "-Q", "/tmp/My Photos/a.jpg", "b.tif"};
    const StartMode mode = ParseCommandLine(CommandLineFromArgs(4, argv));
    EXPECT_EQ(mode.quietMode, 'Q');
    EXPECT_EQ(mode.fileList.paths, (Paths{"/tmp/My Photos/a.jpg", "b.tif"}));

    const char* none[] = {"quillon"};
    EXPECT_TRUE(ParseCommandLine(CommandLineFromArgs(1, none)).interactiveMode);
}

TEST(FileListTest, NextIsPreIncrementAndStepBackRepeats) {
    FileList list;
    list.paths = {"a.jpg", "b.jpg"};
    ASSERT_NE(list.Next(), nullptr);
    EXPECT_EQ(list.current, 0);
    list.StepBack();
    EXPECT_EQ(*list.Next(), "a.jpg");
    EXPECT_EQ(*list.Next(), "b.jpg");
    EXPECT_EQ(list.Next(), nullptr);
    EXPECT_EQ(list.current, 1);
}

TEST(QuietChecksTest, EachFaultGivesItsMessageAndExitCode) {
    testing::TempDir dir;
    const std::string jpeg = dir.File("A.JPEG");
    ASSERT_TRUE(testing::WriteBytes(jpeg, {0xFF, 0xD8}));
    platform::CapturingSink sink;

    EXPECT_EQ(CheckImagePath(jpeg, sink), 0);
    EXPECT_EQ(sink.Count(), 0u);

    EXPECT_EQ(CheckImagePath(dir.File("noext"), sink), 1);
    EXPECT_EQ(sink.Last(), "Quillon: error, file has no suffix: " + dir.File("noext"));

    EXPECT_EQ(CheckImagePath("a.png", sink), 1);
    EXPECT_EQ(sink.Last(), "Quillon: error, file must be jpg or tif: a.png");

    EXPECT_EQ(CheckImagePath(dir.File("missing.tif"), sink), 1);
    EXPECT_EQ(sink.Last(), "Quillon: error, file not found: " + dir.File("missing.tif"));

    // A dotted folder does not give a suffixless file a suffix.
    EXPECT_EQ(CheckImagePath("/photos/2024.05/IMG_1", sink), 1);
    EXPECT_EQ(sink.Last(), "Quillon: error, file has no suffix: /photos/2024.05/IMG_1");

    // A folder named like an image is not a readable file.
    const std::string folder = dir.File("folder.jpg");
    std::filesystem::create_directory(folder);
    EXPECT_EQ(CheckImagePath(folder, sink), 1);
    EXPECT_EQ(sink.Last(), "Quillon: error, file not found: " + folder);
}

}  // namespace
}  // namespace quillon::app
