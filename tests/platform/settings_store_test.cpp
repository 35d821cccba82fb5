#include "platform/settings_store.h"

#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/test_support.h"

namespace quillon::platform {
namespace {

std::string ReadText(const std::string& path) {
    const std::vector<std::uint8_t> bytes = testing::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::string& path, std::string_view text) {
    ASSERT_TRUE(testing::WriteBytes(path, std::vector<std::uint8_t>(text.begin(), text.end())));
}

std::size_t FilesIn(const std::string& dir) {
    std::size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        (void)entry;
        ++n;
    }
    return n;
}

TEST(SettingsTextTest, ReadsBothTypesAndIgnoresWhatItCannotRead) {
    const auto values = ParseSettingsText(
        "[Software\\Velmora\\Quillon]\r\n"
        "\"Suffix\"=\"_lc\"\r\n"
        "; a comment\n"
        "\"JpegQuality\"=dword:0000005A\n"
        "  \"Indented\"=dword:7\n"
        "\"Unterminated\"=\"abc\n"
        "\"NoValue\"=\n"
        "\"TooLong\"=dword:123456789\n"
        "\"Trailing\"=dword:00000001 junk\n"
        "\"Binary\"=hex:00,01\n"
        "garbage line\n"
        "\"\"=\"empty name\"\n"
        "\"Last\"=\"no newline at end\"");
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[0], StoredValue::String("Suffix", "_lc"));
    EXPECT_EQ(values[1], StoredValue::Dword("JpegQuality", 90));
    EXPECT_EQ(values[2], StoredValue::Dword("Indented", 7));
    EXPECT_EQ(values[3], StoredValue::String("Last", "no newline at end"));
}

TEST(SettingsTextTest, RoundTripsAwkwardTextsAndKeepsFirstPositionOfRepeatedNames) {
    const std::vector<StoredValue> values = {
        StoredValue::String("Path", "C:\\dir\\\"quoted\"\\"),
        StoredValue::String("Lines", "one\ntwo\r\n"),
        StoredValue::String("Empty", ""),
        StoredValue::Dword("Minus", 0xfffffffbu),
        StoredValue::String("Utf8", "Objektiv \xc3\xa4"),
    };
    EXPECT_EQ(ParseSettingsText(FormatSettingsText(values)), values);

    // A name given twice (a hand edit) keeps its first place and last content,
    // compared without regard to case as registry names are.
    const auto merged = ParseSettingsText("\"A\"=dword:1\n\"B\"=dword:2\n\"a\"=\"x\"\n");
    ASSERT_EQ(merged.size(), 2u);
    EXPECT_EQ(merged[0], StoredValue::String("A", "x"));
    EXPECT_EQ(merged[1].name, "B");

    // A Windows path typed by hand keeps its single backslashes (only \\, \",
    // \n and \r are escapes).
    const auto typed = ParseSettingsText("\"Dir\"=\"C:\\Photos\\2026\"\n");
    ASSERT_EQ(typed.size(), 1u);
    EXPECT_EQ(typed[0].text, "C:\\Photos\\2026");
}

TEST(FileSettingsStoreTest, MissingFileIsAnEmptyKeyAndFirstWriteCreatesFolder) {
    testing::TempDir dir;
    FileSettingsStore store(dir.File("Velmora/Quillon.reg"));
    EXPECT_FALSE(store.IsPresent());
    EXPECT_FALSE(store.Find("Suffix"));
    EXPECT_TRUE(store.Values().empty());

    EXPECT_EQ(store.Put(StoredValue::String("Suffix", "_lc")), StoreResult::kOk);
    EXPECT_EQ(store.Put(StoredValue::Dword("JpegQuality", 90)), StoreResult::kOk);
    EXPECT_EQ(store.Put(StoredValue::Dword("suffix", 7)), StoreResult::kOk);  // replaces, any type
    EXPECT_TRUE(store.IsPresent());
    EXPECT_EQ(ReadText(store.path()),
              "[Software\\Velmora\\Quillon]\n"
              "\"Suffix\"=dword:00000007\n"
              "\"JpegQuality\"=dword:0000005a\n");

    // A second store on the same file sees what the first wrote.
    FileSettingsStore other(store.path());
    ASSERT_TRUE(other.Find("JPEGQUALITY"));
    EXPECT_EQ(other.Find("JpegQuality")->dword, 90u);
}

TEST(FileSettingsStoreTest, BatchedWritesReachTheFileTogetherAndMergeWithIt) {
    testing::TempDir dir;
    const std::string path = dir.File("Quillon.reg");
    WriteText(path, "\"Keep\"=\"me\"\n\"Change\"=dword:1\n");
    FileSettingsStore store(path);
    store.BeginWrites();
    EXPECT_EQ(store.Put(StoredValue::Dword("Change", 2)), StoreResult::kOk);
    EXPECT_EQ(store.Put(StoredValue::String("New", "v")), StoreResult::kOk);
    // Readers see the pending values; the file does not yet.
    EXPECT_EQ(store.Find("New")->text, "v");
    EXPECT_EQ(ReadText(path), "\"Keep\"=\"me\"\n\"Change\"=dword:1\n");
    // Another writer changes the file meanwhile: its values are not lost.
    WriteText(path, "\"Keep\"=\"me\"\n\"Change\"=dword:1\n\"Other\"=dword:9\n");
    EXPECT_EQ(store.EndWrites(), StoreResult::kOk);
    EXPECT_EQ(ParseSettingsText(ReadText(path)),
              (std::vector<StoredValue>{
                  StoredValue::String("Keep", "me"), StoredValue::Dword("Change", 2),
                  StoredValue::Dword("Other", 9), StoredValue::String("New", "v")}));
}

TEST(FileSettingsStoreTest, FailedRenameLeavesThePreviousFileIntactAndNoTemporary) {
    testing::TempDir dir;
    const std::string path = dir.File("Quillon.reg");
    FileSettingsStore good(path);
    ASSERT_EQ(good.Put(StoredValue::Dword("VigAmount", 12)), StoreResult::kOk);
    const std::string before = ReadText(path);

    // The temporary file is complete when the rename fails: the crash window
    // between writing and renaming.
    std::string renamedFrom;
    FileSettingsStore failing(path, [&](const char* from, const char*) {
        renamedFrom = from;
        EXPECT_NE(ReadText(from).find("VigAmount"), std::string::npos);
        return -1;
    });
    failing.BeginWrites();
    (void)failing.Put(StoredValue::Dword("VigAmount", 99));
    (void)failing.Put(StoredValue::String("Suffix", "_x"));
    EXPECT_EQ(failing.EndWrites(), StoreResult::kWriteFailed);
    EXPECT_FALSE(renamedFrom.empty());

    EXPECT_EQ(ReadText(path), before);
    EXPECT_EQ(FilesIn(dir.path()), 1u);
    FileSettingsStore reread(path);
    EXPECT_EQ(reread.Find("VigAmount")->dword, 12u);
    EXPECT_FALSE(reread.Find("Suffix"));
    // A failed value is not carried into the next write.
    EXPECT_FALSE(failing.Find("Suffix"));
}

// Users who keep their settings elsewhere link them in; a save that replaced
// the link by a file of its own cut the settings off from where they are kept.
TEST(FileSettingsStoreTest, ASettingsFileThatIsALinkStaysALink) {
    testing::TempDir dir;
    std::filesystem::create_directories(dir.File("dotfiles"));
    std::filesystem::create_directories(dir.File("Velmora"));
    const std::string kept = dir.File("dotfiles/Quillon.reg");
    const std::string path = dir.File("Velmora/Quillon.reg");
    WriteText(kept, "\"Suffix\"=\"_lc\"\n");
    std::filesystem::create_symlink("../dotfiles/Quillon.reg", path);

    FileSettingsStore store(path);
    EXPECT_EQ(store.Put(StoredValue::Dword("VigAmount", 7)), StoreResult::kOk);
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(ParseSettingsText(ReadText(kept)),
              (std::vector<StoredValue>{StoredValue::String("Suffix", "_lc"),
                                        StoredValue::Dword("VigAmount", 7)}));
}

TEST(FileSettingsStoreTest, TwoWritersAtOnceLoseNoValue) {
    // The program and the plug-in share the file; without the merge under a
    // lock one writer's values would vanish under the other's replacement.
    testing::TempDir dir;
    const std::string path = dir.File("Velmora/Quillon.reg");
    constexpr int kWrites = 40;
    auto writer = [&](char tag) {
        FileSettingsStore store(path);
        for (int i = 0; i < kWrites; ++i) {
            EXPECT_EQ(store.Put(StoredValue::Dword(std::string(1, tag) + std::to_string(i),
                                                   static_cast<std::uint32_t>(i))),
                      StoreResult::kOk);
        }
    };
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();
    EXPECT_EQ(FileSettingsStore(path).Values().size(), 2u * kWrites);
}

TEST(FileSettingsStoreTest, UnreadableFileIsNeverReplaced) {
    testing::TempDir dir;
    const std::string path = dir.File("Quillon.reg");
    // Too large to be a settings file: damage or a mistake, never overwritten.
    std::string huge = "\"Precious\"=dword:1\n";
    huge.resize(kMaxSettingsFileBytes + 1, ' ');
    WriteText(path, huge);
    FileSettingsStore store(path);
    EXPECT_FALSE(store.IsPresent());
    EXPECT_FALSE(store.Find("Precious"));
    EXPECT_EQ(store.Put(StoredValue::Dword("Other", 2)), StoreResult::kWriteFailed);
    EXPECT_EQ(ReadText(path), huge);

    if (::geteuid() == 0) return;  // root reads files whatever their mode
    WriteText(path, "\"Precious\"=dword:1\n");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    EXPECT_FALSE(store.IsPresent());
    EXPECT_EQ(store.Put(StoredValue::Dword("Other", 2)), StoreResult::kWriteFailed);
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    EXPECT_EQ(ReadText(path), "\"Precious\"=dword:1\n");
}

TEST(FileSettingsStoreTest, FolderThatCannotBeCreatedIsReportedAsSuch) {
    testing::TempDir dir;
    WriteText(dir.File("Velmora"), "a file where the folder should be");
    FileSettingsStore store(dir.File("Velmora/Quillon.reg"));
    EXPECT_EQ(store.Put(StoredValue::Dword("X", 1)), StoreResult::kCreateFailed);
}

TEST(FileSettingsStoreTest, DamagedFileKeepsItsReadableValues) {
    testing::TempDir dir;
    const std::string path = dir.File("Quillon.reg");
    std::string damaged =
        "\"A\"=dword:00000001\n\x01\xff\xfe garbage \"\n\"B\"=\"ok\"\n\"C\"=\"cut";
    damaged.insert(damaged.find("garbage"), 1, '\0');
    WriteText(path, damaged);
    FileSettingsStore store(path);
    EXPECT_TRUE(store.IsPresent());
    EXPECT_EQ(store.Values(), (std::vector<StoredValue>{StoredValue::Dword("A", 1),
                                                        StoredValue::String("B", "ok")}));
    EXPECT_EQ(store.Put(StoredValue::Dword("D", 4)), StoreResult::kOk);
    EXPECT_EQ(store.Values().size(), 3u);
}

TEST(FileSettingsStoreTest, TextsEndAtNulAndEmptyNamesAreRefused) {
    MemorySettingsStore memory;
    EXPECT_EQ(memory.Put(StoredValue::String("T", std::string("ab\0cd", 5))), StoreResult::kOk);
    EXPECT_EQ(memory.Find("T")->text, "ab");
    EXPECT_EQ(memory.Put(StoredValue::Dword("", 1)), StoreResult::kWriteFailed);

    testing::TempDir dir;
    FileSettingsStore file(dir.File("Quillon.reg"));
    EXPECT_EQ(file.Put(StoredValue::String("T", std::string("ab\0cd", 5))), StoreResult::kOk);
    EXPECT_EQ(file.Find("T")->text, "ab");
    EXPECT_EQ(file.Put(StoredValue::String(std::string("\0x", 2), "v")), StoreResult::kWriteFailed);
}

}  // namespace
}  // namespace quillon::platform
