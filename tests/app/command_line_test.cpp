#include "app/command_line.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "app/quiet_checks.h"
#include "platform/message_sink.h"
#include "tests/support/test_support.h"

namespace quillon::app {
namespace {

using Args = std::vector<std::string>;

ParsedCommandLine Parse(const Args& args) { return ParseCommandLine(args); }

TEST(CommandLineTest, OnlyNoArgumentsAtAllIsInteractive) {
    const ParsedCommandLine none = Parse({});
    EXPECT_TRUE(none.mode.interactiveMode);
    EXPECT_TRUE(none.mode.fileList.paths.empty());

    for (const Args& args : {Args{"--"}, Args{"-i"}, Args{""}}) {
        const ParsedCommandLine parsed = Parse(args);
        EXPECT_TRUE(parsed.unknownOption.empty());
        EXPECT_FALSE(parsed.mode.interactiveMode);
        EXPECT_EQ(parsed.mode.fileList.current, -1);
    }
    EXPECT_EQ(Parse({""}).mode.fileList.paths, Args{""});
}

TEST(CommandLineTest, OptionLettersInOneOrSeveralArguments) {
    struct Case {
        Args options;
        char quiet;
        bool invert;
    };
    const Case cases[] = {
        {{"-q"}, 'q', false},     {{"-Q"}, 'Q', false},       {{"-i"}, 0, true},
        {{"-qi"}, 'q', true},     {{"-Qi"}, 'Q', true},       {{"-iq"}, 'q', true},
        {{"-iQ"}, 'Q', true},     {{"-q", "-i"}, 'q', true},  {{"-q -i"}, 'q', true},
        {{"-i-Q"}, 'Q', true},    {{"-q", "-Q"}, 'Q', false}, {{"-q", "--"}, 'q', false},
        {{"-Q\t-i "}, 'Q', true},
    };
    for (const Case& c : cases) {
        Args args = c.options;
        args.push_back("a.jpg");
        SCOPED_TRACE(::testing::PrintToString(args));
        const ParsedCommandLine parsed = Parse(args);
        EXPECT_EQ(parsed.unknownOption, "");
        EXPECT_EQ(parsed.mode.quietMode, c.quiet);
        EXPECT_EQ(parsed.mode.invertMode, c.invert);
        EXPECT_EQ(parsed.mode.fileList.paths, Args{"a.jpg"});
        EXPECT_FALSE(parsed.mode.interactiveMode);
    }
}

// Each of these was once misread as another file: the command line was joined
// into one text and split again, so "-iphone.jpg" became -i and phone.jpg, and
// a name in double quotes lost them.
TEST(CommandLineTest, EveryPathIsTakenExactlyAsGiven) {
    const Args names = {"\"a.jpg\"", "My Photos/a b.jpg", "a\\b.jpg",
                        "-",         "  lead.tif",        "tab\there.jpg"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Parse({"-Q", name}).mode.fileList.paths, Args{name});
    }
    // After "--" or after the first path, a leading '-' is part of a name.
    const ParsedCommandLine dashed = Parse({"-Q", "--", "-iphone.jpg"});
    EXPECT_EQ(dashed.mode.quietMode, 'Q');
    EXPECT_FALSE(dashed.mode.invertMode);
    EXPECT_EQ(dashed.mode.fileList.paths, Args{"-iphone.jpg"});
    const ParsedCommandLine later = Parse({"a.jpg", "-q", "--", "-x.jpg"});
    EXPECT_EQ(later.mode.quietMode, 0);
    EXPECT_EQ(later.mode.fileList.paths, (Args{"a.jpg", "-q", "--", "-x.jpg"}));
}

TEST(CommandLineTest, UnknownOptionIsRefusedNotReadAsAFile) {
    struct Case {
        Args args;
        std::string unknown;
    };
    const Case cases[] = {
        {{"-Q", "-iphone.jpg"}, "-iphone.jpg"},
        {{"-Q", "-photo.jpg"}, "-photo.jpg"},
        {{"-x", "a.jpg"}, "-x"},
        {{"-qa.jpg"}, "-qa.jpg"},
        {{"--help"}, "--help"},
        {{"-q -"}, "-q -"},
        {{"-q x.jpg"}, "-q x.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const ParsedCommandLine parsed = Parse(c.args);
        EXPECT_EQ(parsed.unknownOption, c.unknown);
        EXPECT_TRUE(parsed.mode.fileList.paths.empty());
    }
    EXPECT_EQ(UnknownOptionText("-x").rfind("Quillon: unknown option -x\nusage: quillon", 0), 0u);
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
