#include "platform/setting_access.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/settings_store.h"

namespace quillon::platform {
namespace {

// A key whose writes all fail the same way, to see each failure reported.
class FailingStore final : public SettingsStore {
  public:
    explicit FailingStore(StoreResult result) : result_(result) {}
    bool IsPresent() const override { return false; }
    std::optional<StoredValue> Find(std::string_view) const override { return std::nullopt; }
    std::vector<StoredValue> Values() const override { return {}; }
    StoreResult Put(StoredValue) override { return result_; }

  private:
    StoreResult result_;
};

TEST(ReadDwordSettingTest, NumbersStoredAsShortTextsAreDecimalLongerOnesGiveTheDefault) {
    const MemorySettingsStore key(
        {StoredValue::String("JpegQuality", "75"), StoredValue::String("Long", "1000"),
         StoredValue::String("Minus", "-5"), StoredValue::String("Word", "abc"),
         StoredValue::Dword("Negative", 0xfffffffbu)});
    std::int32_t value = -1;
    EXPECT_TRUE(ReadDwordSetting(key, "JpegQuality", value, 90).ok());
    EXPECT_EQ(value, 75);
    EXPECT_FALSE(ReadDwordSetting(key, "Long", value, 90).ok());
    EXPECT_EQ(value, 90);
    EXPECT_TRUE(ReadDwordSetting(key, "Minus", value, 90).ok());
    EXPECT_EQ(value, -5);
    // Text that is no number reads as 0, as it always has for stored files.
    EXPECT_TRUE(ReadDwordSetting(key, "Word", value, 90).ok());
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(ReadDwordSetting(key, "Negative", value, 90).ok());
    EXPECT_EQ(value, -5);
    EXPECT_FALSE(ReadDwordSetting(key, "Missing", value, 4).ok());
    EXPECT_EQ(value, 4);
}

TEST(ReadStringSettingTest, NumbersAndOverlongTextsGiveTheDefault) {
    const MemorySettingsStore key({StoredValue::String("Suffix", "_x"),
                                   StoredValue::Dword("Number", 5),
                                   StoredValue::String("Limit", std::string(511, 'a')),
                                   StoredValue::String("Over", std::string(512, 'a'))});
    std::string text;
    EXPECT_TRUE(ReadStringSetting(key, "suffix", text, "_lc").ok());
    EXPECT_EQ(text, "_x");
    EXPECT_FALSE(ReadStringSetting(key, "Number", text, "_lc").ok());
    EXPECT_EQ(text, "_lc");
    EXPECT_TRUE(ReadStringSetting(key, "Limit", text, "").ok());
    EXPECT_EQ(text.size(), 511u);
    EXPECT_FALSE(ReadStringSetting(key, "Over", text, "d").ok());
    EXPECT_EQ(text, "d");
}

TEST(FloatSettingTest, FloatsTravelAsTheirBitPatterns) {
    MemorySettingsStore key({StoredValue::Dword("Flen", 0x42480000u)});
    float flen = 0.0f;
    EXPECT_TRUE(ReadFloatSetting(key, "Flen", flen, 0.0f).ok());
    EXPECT_EQ(flen, 50.0f);

    CapturingSink sink;
    EXPECT_TRUE(WriteFloatSetting(key, sink, "Flen", -1.5f).ok());
    EXPECT_EQ(key.Find("Flen")->dword, 0xbfc00000u);
    EXPECT_FALSE(ReadFloatSetting(key, "Missing", flen, 2.5f).ok());
    EXPECT_EQ(flen, 2.5f);
}

TEST(WriteSettingTest, EachFailureShowsItsOwnMessage) {
    CapturingSink sink;
    FailingStore cannotCreate(StoreResult::kCreateFailed);
    EXPECT_EQ(WriteStringSetting(cannotCreate, sink, "Suffix", "_lc").code(), 1);
    EXPECT_EQ(sink.Last(), "Error RegCreateKeyEx(Velmora/Quillon)");

    FailingStore cannotSet(StoreResult::kWriteFailed);
    EXPECT_EQ(WriteDwordSetting(cannotSet, sink, "JpegQuality", 90).code(), 1);
    EXPECT_EQ(sink.Last(), "error RegSetValueEx(JpegQuality)");
    EXPECT_EQ(sink.Messages().back().caption, "Info");

    MemorySettingsStore good;
    EXPECT_TRUE(WriteDwordSetting(good, sink, "Processors", -5).ok());
    EXPECT_EQ(good.Find("Processors")->dword, 0xfffffffbu);
    EXPECT_EQ(sink.Count(), 2u);
}

}  // namespace
}  // namespace quillon::platform
