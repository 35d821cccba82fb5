#include "settings/options_change.h"

#include <string>

#include <gtest/gtest.h>

namespace quillon::settings {
namespace {

class FakeTexts final : public platform::TextSource {
  public:
    std::string_view Text(int id) const override {
        return id == kRestartStringId ? "restart please" : "";
    }
};

struct Options {
    SettingsValues values;
    engine::CorrectionSettings correction;
};

OptionsOutcome Compare(const Options& before, const Options& after, const SettingsRun& run = {}) {
    return CompareOptions(run, before.values, before.correction, after.values, after.correction);
}

TEST(OptionsChangeTest, LanguageOrThreadsNeedARestartAndSuppressRedetection) {
    const Options before;
    Options after = before;
    EXPECT_FALSE(Compare(before, after).save);

    after.values.language = "German";
    after.values.detectLens = 0;
    OptionsOutcome o = Compare(before, after);
    EXPECT_TRUE(o.save && o.loadLanguage && o.restartRequired);
    EXPECT_FALSE(o.redetect);

    after = before;
    after.correction.Processors = 2;
    o = Compare(before, after);
    EXPECT_TRUE(o.save && o.restartRequired);
    EXPECT_FALSE(o.loadLanguage);

    platform::CapturingSink sink;
    AnnounceOptionsOutcome(o, FakeTexts(), sink);
    EXPECT_EQ(sink.Last(), "restart please");
    sink.Clear();
    AnnounceOptionsOutcome(Compare(before, before), FakeTexts(), sink);
    EXPECT_EQ(sink.Count(), 0u);
}

TEST(OptionsChangeTest, DetectionPreferencesRedetectButResizeOnlySaves) {
    const Options before;
    Options after = before;
    after.values.converterDetected = 1;
    EXPECT_TRUE(Compare(before, after).redetect);
    EXPECT_TRUE(Compare(before, after).save);

    after = before;
    after.correction.Resize = 1;
    EXPECT_TRUE(Compare(before, after).save);
    EXPECT_FALSE(Compare(before, after).redetect);
}

TEST(OptionsChangeTest, FieldsCountOnlyWhereTheDialogShowsThem) {
    const Options before;
    Options viewer = before;
    viewer.values.viewerPath = "/usr/bin/viewer";
    SettingsRun edit;
    edit.mode = WindowMode::kEdit;
    SettingsRun plugin;
    plugin.deliverable = Deliverable::kPlugin;
    EXPECT_TRUE(Compare(before, viewer).save);
    EXPECT_FALSE(Compare(before, viewer, edit).save);
    EXPECT_FALSE(Compare(before, viewer, plugin).save);

    Options quality = before;
    quality.values.jpegQuality = 80;
    EXPECT_TRUE(Compare(before, quality, edit).save);
    EXPECT_FALSE(Compare(before, quality, plugin).save);

    Options dialog = before;
    dialog.values.alwaysDisplayDialog = 1;
    EXPECT_TRUE(Compare(before, dialog, plugin).save);
    EXPECT_FALSE(Compare(before, dialog).save);
}

}  // namespace
}  // namespace quillon::settings
