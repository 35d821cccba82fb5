#include "settings/dump_settings.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/settings_store.h"
#include "tests/support/test_support.h"

namespace quillon::settings {
namespace {

using platform::MemorySettingsStore;
using platform::StoredValue;

TEST(DumpSettingsTest, JpegQualityLineThroughTheScramble) {
    const std::string line = DumpText({StoredValue::Dword("JpegQuality", 90)});
    EXPECT_EQ(line, "\"JpegQuality\"=dword:0000005a\r\n");
    const std::vector<std::uint8_t> bytes = ScrambleDump(line);
    ASSERT_EQ(bytes.size(), line.size());
    // Worked by hand: '"' 34 -> 3550 mod 256 = 222, 'J' 74 -> 7670 mod 256 =
    // 246, '\r' 13 -> 1387 mod 256 = 107, '\n' 10 -> 1078 mod 256 = 54.
    EXPECT_EQ(bytes.front(), 222);
    EXPECT_EQ(bytes[1], 246);
    EXPECT_EQ(bytes[bytes.size() - 2], 107);
    EXPECT_EQ(bytes.back(), 54);
    // The scramble is a bijection (103 is odd; 87 is its inverse modulo 256),
    // so the dump can be read back.
    for (std::size_t i = 0; i < line.size(); ++i) {
        EXPECT_EQ(static_cast<std::uint8_t>((bytes[i] - 48) * 87),
                  static_cast<std::uint8_t>(line[i]));
    }
    // Bytes above 127 (a UTF-8 path) follow the same rule: 195 -> 20133 mod 256 = 165.
    EXPECT_EQ(ScrambleDump("\xc3").front(), 165);
}

TEST(DumpSettingsTest, LinesKeepKeyOrderAndSkipValuesThatDoNotFit) {
    const std::string text = DumpText(
        {StoredValue::String("Suffix", "_lc"), StoredValue::Dword("Processors", 4),
         StoredValue::String("Long", std::string(255, 'x')),
         StoredValue::String("Fits", std::string(254, 'y')),
         StoredValue::Dword(std::string(255, 'n'), 1), StoredValue::Dword("Minus", 0xffffffffu)});
    EXPECT_EQ(text, "\"Suffix\"=\"_lc\"\r\n\"Processors\"=dword:00000004\r\n\"Fits\"=\"" +
                        std::string(254, 'y') + "\"\r\n\"Minus\"=dword:ffffffff\r\n");
}

TEST(DumpSettingsTest, WritesTheFileAndTellsTheUser) {
    testing::TempDir desktop;
    platform::CapturingSink sink;
    const MemorySettingsStore user({StoredValue::Dword("JpegQuality", 90)});
    ASSERT_TRUE(DumpSettings(user, sink, desktop.path()).ok());
    EXPECT_EQ(sink.Last(), "File QuillonDump.dat has been created on your Desktop");
    EXPECT_EQ(testing::ReadBytes(desktop.File("QuillonDump.dat")),
              ScrambleDump("\"JpegQuality\"=dword:0000005a\r\n"));
}

TEST(DumpSettingsTest, MissingDesktopOrKeyStopsTheDump) {
    platform::CapturingSink sink;
    testing::TempDir dir;
    const MemorySettingsStore user({StoredValue::Dword("A", 1)});
    EXPECT_FALSE(DumpSettings(user, sink, dir.File("no-desktop")).ok());
    EXPECT_EQ(sink.Last(), "Unable to access desktop");

    // No settings saved yet: nothing to dump, and nothing said.
    sink.Clear();
    platform::FileSettingsStore absent(dir.File("Velmora/Quillon.reg"));
    EXPECT_FALSE(DumpSettings(absent, sink, dir.path()).ok());
    EXPECT_EQ(sink.Count(), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir.File("QuillonDump.dat")));

    // A folder where the dump should go cannot be replaced by it.
    std::filesystem::create_directory(dir.File("QuillonDump.dat"));
    EXPECT_FALSE(DumpSettings(user, sink, dir.path()).ok());
    EXPECT_EQ(sink.Last(), "Unable to open file " + dir.File("QuillonDump.dat"));
}

}  // namespace
}  // namespace quillon::settings
