#include "settings/settings_io.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/settings_store.h"
#include "settings/language_dialog.h"
#include "settings/languages.h"
#include "tests/support/test_support.h"
#include "text/string_table.h"

namespace quillon::settings {
namespace {

using namespace quillon::text;

using platform::MemorySettingsStore;
using platform::StoredValue;

const MemorySettingsStore& Installed() {
    static const MemorySettingsStore machine({StoredValue::String("Root", "/opt/quillon/")});
    return machine;
}

struct Loaded {
    Status status;
    SettingsValues values;
    engine::CorrectionSettings correction;
    LensHistoryList history;
    LoadedSettings loaded;
};

Loaded Load(const platform::SettingsStore& user, const SettingsRun& run = {},
            platform::MessageSink* sinkOrNull = nullptr,
            const platform::SettingsStore& machine = Installed()) {
    platform::CapturingSink ownSink;
    platform::MessageSink& sink = sinkOrNull ? *sinkOrNull : ownSink;
    Loaded out;
    const SettingsStores stores{machine, user};
    out.status =
        LoadSettings(stores, run, sink, out.values, out.correction, out.history, out.loaded);
    return out;
}

std::uint32_t Dword(const platform::SettingsStore& key, std::string_view name) {
    const auto value = key.Find(name);
    EXPECT_TRUE(value) << name;
    return value ? value->dword : 0xdeadbeefu;
}

lensdb::HistoryEntry Choice(int n) {
    lensdb::HistoryEntry c;
    c.menuMake = "Make" + std::to_string(n);
    c.menuModel = "Model" + std::to_string(n);
    c.menuLens = "Lens" + std::to_string(n);
    c.group = "Group" + std::to_string(n);
    c.minFlen = 18.0f + static_cast<float>(n);
    c.maxFlen = 55.0f;
    c.minFlenMaxAper = 3.5f;
    c.maxFlenMaxAper = 5.6f;
    c.signature = 821 + n;
    return c;
}

TEST(LoadSettingsTest, ProcessorsAreBroughtIntoOneToSixtyFour) {
    for (const auto& [stored, loaded] :
         {std::pair<std::uint32_t, int>{0, 1}, {100, 64}, {0xfffffffbu /* -5 */, 1}, {8, 8}}) {
        const MemorySettingsStore user(
            {StoredValue::Dword("Processors", stored), StoredValue::String("Language", "English")});
        EXPECT_EQ(Load(user).correction.Processors, loaded) << stored;
    }
    EXPECT_EQ(Load(MemorySettingsStore({StoredValue::String("Language", "English")}))
                  .correction.Processors,
              4);
}

TEST(LoadSettingsTest, EmptyKeyGivesEveryDefault) {
    const Loaded l = Load(MemorySettingsStore());
    ASSERT_TRUE(l.status.ok());
    EXPECT_EQ(l.values.root, "/opt/quillon/");
    EXPECT_EQ(l.values.language, "English");
    EXPECT_EQ(l.values.resetAlways, 1);
    EXPECT_EQ(l.values.converterDetected, 0);
    EXPECT_EQ(l.values.detectCamera + l.values.detectLens + l.values.detectFlen, 3);
    EXPECT_EQ(l.values.suffix, "_lc");
    EXPECT_EQ(l.values.viewerPath, "");
    EXPECT_EQ(l.values.jpegQuality, 90);
    EXPECT_EQ(l.values.gridColor, 255);
    EXPECT_EQ(l.values.flen, 0.0f);
    EXPECT_EQ(l.correction.VigMidpoint, 50);
    EXPECT_EQ(l.correction.FisheyeDistortion, 140);
    EXPECT_EQ(l.correction.PerspectScale, 100);
    EXPECT_EQ(l.correction.Resize, 0);
    EXPECT_TRUE(l.history.empty());
}

TEST(LoadSettingsTest, NumbersStoredAsTextLoadWhenShort) {
    const MemorySettingsStore user({StoredValue::String("JpegQuality", "75"),
                                    StoredValue::String("VigAmount", "1000"),
                                    StoredValue::Dword("Flen", 0x42480000u)});
    const Loaded l = Load(user);
    EXPECT_EQ(l.values.jpegQuality, 75);
    EXPECT_EQ(l.correction.VigAmount, 0);  // "1000" is too long: the default
    EXPECT_EQ(l.values.flen, 50.0f);
}

TEST(LoadSettingsTest, MissingRootStopsTheProgramButNotThePlugin) {
    const MemorySettingsStore noRoot;
    const MemorySettingsStore user(
        {StoredValue::Dword("Processors", 8), StoredValue::String("Language", "German")});
    platform::CapturingSink sink;
    const Loaded program = Load(user, {}, &sink, noRoot);
    EXPECT_EQ(program.status.code(), kRootMissing);
    EXPECT_EQ(sink.Last(), "Please re-install Quillon (code 01)");
    EXPECT_EQ(program.correction.Processors, 4);  // nothing after the root was read

    sink.Clear();
    SettingsRun plugin;
    plugin.deliverable = Deliverable::kPlugin;
    const Loaded hosted = Load(user, plugin, &sink, noRoot);
    EXPECT_TRUE(hosted.status.ok());
    EXPECT_EQ(sink.Count(), 1u);
    EXPECT_EQ(hosted.values.root, "");  // the database is then opened by its bare name
    EXPECT_EQ(hosted.correction.Processors, 8);
    EXPECT_EQ(hosted.values.language, "German");
}

TEST(LoadSettingsTest, RootGainsItsTrailingSeparator) {
    const MemorySettingsStore machine({StoredValue::String("Root", "/usr/share/quillon")});
    EXPECT_EQ(Load(MemorySettingsStore(), {}, nullptr, machine).values.root, "/usr/share/quillon/");
}

TEST(LoadSettingsTest, LanguageQuestionSeesClampedProcessorsAndOnlyWhenNoLanguageIsStored) {
    int asked = 0;
    SettingsRun run;
    run.chooseLanguage = [&](std::string& language, std::int32_t& processors) {
        ++asked;
        EXPECT_EQ(processors, 64);  // already clamped from the stored 100
        language = "French";
        processors = 200;  // a misbehaving dialog still cannot push it out of range
    };
    const Loaded first = Load(MemorySettingsStore({StoredValue::Dword("Processors", 100)}), run);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(first.values.language, "French");
    EXPECT_EQ(first.correction.Processors, 64);

    const Loaded later = Load(MemorySettingsStore({StoredValue::String("Language", "Dutch")}), run);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(later.values.language, "Dutch");
}

TEST(LoadSettingsTest, FirstRunWithoutDisplayAnswersEnglishAndKeepsProcessors) {
    platform::CapturingSink sink;
    LanguageTable table;
    StringTable strings;
    LoadLanguageList(table, strings, sink);
    NoDisplayLanguagePrompt prompt;
    SettingsRun run;
    run.chooseLanguage = LanguageChooser(prompt, table);
    const Loaded l = Load(MemorySettingsStore({StoredValue::Dword("Processors", 6)}), run);
    EXPECT_EQ(l.values.language, "English");
    EXPECT_EQ(l.correction.Processors, 6);
}

TEST(LoadSettingsTest, HistoryDropsEntriesWithoutGroupAndKeepsOrder) {
    MemorySettingsStore user({StoredValue::Dword("Hist", 4)});
    platform::CapturingSink sink;
    const std::vector<lensdb::HistoryEntry> stored = {Choice(0), Choice(1), Choice(2), Choice(3)};
    ASSERT_TRUE(lensdb::SaveLensHistory(user, sink, stored).ok());
    ASSERT_EQ(user.Put(StoredValue::String("Hist.01.group", "")), platform::StoreResult::kOk);
    // Entry 02 has no signature value: it loads with -1.
    MemorySettingsStore withoutSignature;
    for (const StoredValue& v : user.Values()) {
        if (v.name != "Hist.02.signature") (void)withoutSignature.Put(v);
    }
    const Loaded l = Load(withoutSignature);
    ASSERT_EQ(l.history.size(), 3u);
    EXPECT_EQ(l.history[0], Choice(0));
    EXPECT_EQ(l.history[1].menuLens, "Lens2");
    EXPECT_EQ(l.history[1].signature, -1);
    EXPECT_EQ(l.history[2], Choice(3));
    EXPECT_EQ(sink.Count(), 0u);
}

TEST(LoadSettingsTest, DamagedHistoryCountReadsNoMoreThanTenEntries) {
    MemorySettingsStore user;
    platform::CapturingSink sink;
    std::vector<lensdb::HistoryEntry> stored;
    for (int i = 0; i < 12; ++i) stored.push_back(Choice(i));
    ASSERT_TRUE(lensdb::SaveLensHistory(user, sink, stored).ok());
    // Stale entries 10 and 11 exist only if an old count had allowed them.
    (void)user.Put(StoredValue::String("Hist.10.group", "Stale"));
    (void)user.Put(StoredValue::Dword("Hist", 0x7fffffffu));
    EXPECT_EQ(Load(user).history.size(), 10u);
    (void)user.Put(StoredValue::Dword("Hist", 0xffffffffu));
    EXPECT_TRUE(Load(user).history.empty());
}

// Stored values once went to the engine as they were: a perspective scale of
// 10000 blanked every photo, and values near the int limits overflowed.
TEST(LoadSettingsTest, StoredValuesAreBroughtIntoTheWindowsRanges) {
    using engine::CorrectionSettings;
    struct Case {
        const char* name;
        std::int32_t CorrectionSettings::*field;
        std::uint32_t stored;
        std::int32_t loaded;
    };
    const Case cases[] = {
        {"PerspectScale", &CorrectionSettings::PerspectScale, 10000, 125},
        {"PerspectScale", &CorrectionSettings::PerspectScale, 0, 75},
        // The smallest field, not the nearer end, as the window sets it.
        {"FisheyeDistortion", &CorrectionSettings::FisheyeDistortion, 20, 50},
        {"FisheyeDistortion", &CorrectionSettings::FisheyeDistortion, 171, 50},
        {"FisheyeDistortion", &CorrectionSettings::FisheyeDistortion, 0x80000000u, 50},
        {"FisheyeDistortion", &CorrectionSettings::FisheyeDistortion, 170, 170},
        {"CorChoice", &CorrectionSettings::CorChoice, 7, 2},
        {"CorChoice", &CorrectionSettings::CorChoice, 0xffffffffu, 0},
        {"VigAmount", &CorrectionSettings::VigAmount, 0x80000000u, -100},
        {"VigMidpoint", &CorrectionSettings::VigMidpoint, 101, 100},
        {"CaBlue", &CorrectionSettings::CaBlue, 0x7fffffffu, 100},
        {"FisheyeCrop", &CorrectionSettings::FisheyeCrop, 0xffffffffu, 0},
        {"FisheyeHorz", &CorrectionSettings::FisheyeHorz, 51, 50},
        {"PerspectRotate", &CorrectionSettings::PerspectRotate, 0xffffff00u, -100},
        {"Resize", &CorrectionSettings::Resize, 5, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " stored as " + std::to_string(c.stored));
        const Loaded l = Load(MemorySettingsStore(
            {StoredValue::String("Language", "English"), StoredValue::Dword(c.name, c.stored)}));
        EXPECT_EQ(l.correction.*c.field, c.loaded);
    }

    const auto load = [](std::string_view name, std::uint32_t stored) {
        return Load(MemorySettingsStore({StoredValue::String("Language", "English"),
                                         StoredValue::Dword(name, stored)}))
            .values;
    };
    EXPECT_EQ(load("GridColor", 0xff00ff00u).gridColor, 0x00ff00);
    EXPECT_EQ(load("Tab", 3).tab, 0);
    EXPECT_EQ(load("Tab", 0xffffffffu).tab, 0);
    EXPECT_EQ(load("Tab", 2).tab, 2);
}

// A script may record any value; the engine is safe for all of them, and what
// the script asked for is what it gets.
TEST(LoadSettingsTest, PluginsRecordedParametersAreTakenUnchecked) {
    SettingsRun plugin;
    plugin.deliverable = Deliverable::kPlugin;
    plugin.readScriptParameters = [](SettingsValues&, engine::CorrectionSettings& c) {
        c.FisheyeDistortion = 7;
        c.PerspectScale = 10000;
    };
    const Loaded l =
        Load(MemorySettingsStore({StoredValue::Dword("FisheyeDistortion", 20)}), plugin);
    EXPECT_EQ(l.correction.FisheyeDistortion, 7);
    EXPECT_EQ(l.correction.PerspectScale, 10000);
}

// A settings file that exists but cannot be read once gave a silent run on
// the defaults, correcting photos with values the user never chose.
TEST(LoadSettingsTest, UnreadableFileIsRefusedNotTakenAsEmpty) {
    testing::TempDir dir;
    const std::string folder = dir.File("folder.reg");
    std::filesystem::create_directory(folder);
    const std::string huge = dir.File("huge.reg");
    ASSERT_TRUE(testing::WriteBytes(
        huge, std::vector<std::uint8_t>(platform::kMaxSettingsFileBytes + 1, '\n')));
    std::vector<std::string> unreadable = {folder, huge};
    const std::string locked = dir.File("locked.reg");
    ASSERT_TRUE(testing::WriteBytes(locked, {'\n'}));
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    // Permissions do not stop the superuser from reading.
    if (::geteuid() != 0) unreadable.push_back(locked);

    int asked = 0;
    SettingsRun run;
    run.chooseLanguage = [&](std::string&, std::int32_t&) { ++asked; };
    for (const std::string& path : unreadable) {
        SCOPED_TRACE(path);
        const platform::FileSettingsStore user(path);
        platform::CapturingSink sink;
        const Loaded l = Load(user, run, &sink);
        EXPECT_EQ(l.status.code(), kSettingsUnreadable);
        EXPECT_EQ(sink.Last(), "Quillon: error, settings file cannot be read: " + path);
        EXPECT_FALSE(l.loaded.known);

        platform::CapturingSink machineSink;
        EXPECT_EQ(Load(MemorySettingsStore(), run, &machineSink, user).status.code(),
                  kSettingsUnreadable);
        EXPECT_EQ(machineSink.Last(), sink.Last());
    }
    EXPECT_EQ(asked, 0);

    // Damaged lines are no reason to refuse: they are skipped.
    const std::string damaged = dir.File("damaged.reg");
    ASSERT_TRUE(testing::WriteBytes(damaged, {'"', 'V', '"', '=', '?', '\n', 0xff, '\n'}));
    EXPECT_TRUE(Load(platform::FileSettingsStore(damaged), run).status.ok());
}

// A value changed while a run works (by another run, or by hand in an editor)
// was undone when the run saved every value at its end.
TEST(SaveSettingsTest, OnlyTheRunsChangesAreWrittenSoOthersSurvive) {
    testing::TempDir dir;
    const std::string path = dir.File("Velmora/Quillon.reg");
    platform::FileSettingsStore user(path);
    platform::CapturingSink sink;
    {
        Loaded first = Load(user);
        first.history = {Choice(1)};
        first.correction.VigAmount = 10;
        ASSERT_TRUE(SaveSettings(user, {}, sink, first.values, first.correction, first.history,
                                 SaveScope::kEverything, first.loaded)
                        .ok());
    }

    Loaded run = Load(user);
    // Meanwhile another run stores a vignetting amount and a new history, and
    // the user edits the file by hand.
    {
        platform::FileSettingsStore other(path);
        ASSERT_EQ(other.Put(StoredValue::Dword("VigAmount", 33)), platform::StoreResult::kOk);
        ASSERT_TRUE(lensdb::SaveLensHistory(other, sink, std::vector{Choice(2), Choice(1)}).ok());
        std::vector<std::uint8_t> text = testing::ReadBytes(path);
        const std::string line = "\"Suffix\"=\"_edited\"\n";
        text.insert(text.end(), line.begin(), line.end());
        ASSERT_TRUE(testing::WriteBytes(path, text));
    }
    run.correction.PerspectScale = 110;
    run.values.jpegQuality = 80;
    ASSERT_TRUE(SaveSettings(user, {}, sink, run.values, run.correction, run.history,
                             SaveScope::kEverything, run.loaded)
                    .ok());

    const Loaded after = Load(user);
    EXPECT_EQ(after.correction.PerspectScale, 110);
    EXPECT_EQ(after.values.jpegQuality, 80);
    EXPECT_EQ(after.correction.VigAmount, 33);
    EXPECT_EQ(after.values.suffix, "_edited");
    EXPECT_EQ(after.history, (LensHistoryList{Choice(2), Choice(1)}));

    // A history the run changed is written whole, over the other run's.
    run.history.insert(run.history.begin(), Choice(3));
    ASSERT_TRUE(SaveSettings(user, {}, sink, run.values, run.correction, run.history,
                             SaveScope::kEverything, run.loaded)
                    .ok());
    EXPECT_EQ(Load(user).history, (LensHistoryList{Choice(3), Choice(1)}));
    EXPECT_EQ(Load(user).correction.VigAmount, 33);
    EXPECT_EQ(sink.Count(), 0u);
}

TEST(SaveSettingsTest, UnchangedValuesWriteNothingAndTheStampsComeWithAChange) {
    const std::vector<StoredValue> stored = {
        StoredValue::String("Language", "English"), StoredValue::Dword("PerspectScale", 10000),
        StoredValue::Dword("Order", 1), StoredValue::String("Version", "old")};
    MemorySettingsStore user(stored);
    platform::CapturingSink sink;
    Loaded l = Load(user);
    EXPECT_EQ(l.correction.PerspectScale, 125);
    // The window's range is applied on every load; the file keeps what it holds.
    ASSERT_TRUE(SaveSettings(user, {}, sink, l.values, l.correction, l.history,
                             SaveScope::kEverything, l.loaded)
                    .ok());
    EXPECT_EQ(user.Values(), stored);

    l.values.tab = 1;
    ASSERT_TRUE(SaveSettings(user, {}, sink, l.values, l.correction, l.history,
                             SaveScope::kPreferences, l.loaded)
                    .ok());
    EXPECT_EQ(user.Values(), stored);
    ASSERT_TRUE(SaveSettings(user, {}, sink, l.values, l.correction, l.history,
                             SaveScope::kEverything, l.loaded)
                    .ok());
    EXPECT_EQ(Dword(user, "Tab"), 1u);
    EXPECT_EQ(Dword(user, "Order"), 10090000u);
    EXPECT_EQ(user.Find("Version")->text, "Quillon 9.0");
    EXPECT_EQ(user.Values().size(), stored.size() + 1);
}

TEST(SaveSettingsTest, HistoryOfTwelveIsSavedAsTenAndReloadedAsTen) {
    testing::TempDir dir;
    platform::FileSettingsStore user(dir.File("Velmora/Quillon.reg"));
    platform::CapturingSink sink;
    LensHistoryList history;
    for (int i = 0; i < 12; ++i) history.push_back(Choice(i));
    Loaded defaults = Load(MemorySettingsStore());
    ASSERT_TRUE(SaveSettings(user, {}, sink, defaults.values, defaults.correction, history,
                             SaveScope::kEverything, defaults.loaded)
                    .ok());
    EXPECT_EQ(Dword(user, "Hist"), 10u);
    EXPECT_TRUE(user.Find("Hist.09.group"));
    EXPECT_FALSE(user.Find("Hist.10.group"));
    EXPECT_EQ(Dword(user, "Hist.00.minFlen"), 0x41900000u);  // 18.0f

    const Loaded reloaded = Load(user);
    ASSERT_EQ(reloaded.history.size(), 10u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(reloaded.history[static_cast<std::size_t>(i)], Choice(i));
    EXPECT_EQ(sink.Count(), 0u);
}

TEST(SaveSettingsTest, PreferencesOnlyLeaveCorrectionValuesUntouched) {
    MemorySettingsStore user({StoredValue::Dword("VigAmount", 7),
                              StoredValue::Dword("PerspectScale", 110),
                              StoredValue::Dword("Hist", 0)});
    platform::CapturingSink sink;
    Loaded l = Load(user);
    l.values.language = "Italian";
    l.values.jpegQuality = 77;
    l.correction.Processors = 2;
    l.correction.Resize = 1;
    l.correction.VigAmount = -30;
    l.correction.PerspectScale = 90;
    l.history.push_back(Choice(1));
    ASSERT_TRUE(SaveSettings(user, {}, sink, l.values, l.correction, l.history,
                             SaveScope::kPreferences, l.loaded)
                    .ok());
    EXPECT_EQ(user.Find("Language")->text, "Italian");
    EXPECT_EQ(Dword(user, "JpegQuality"), 77u);
    EXPECT_EQ(Dword(user, "Processors"), 2u);
    EXPECT_EQ(Dword(user, "Resize"), 1u);
    EXPECT_EQ(Dword(user, "VigAmount"), 7u);
    EXPECT_EQ(Dword(user, "PerspectScale"), 110u);
    EXPECT_EQ(Dword(user, "Hist"), 0u);
    EXPECT_FALSE(user.Find("Version"));
    EXPECT_FALSE(user.Find("Order"));
}

TEST(SaveSettingsTest, FullSaveWritesInOrderAndLoadsBackUnchangedTwice) {
    MemorySettingsStore user;
    platform::CapturingSink sink;
    Loaded l = Load(user);
    l.values.language = "Greek";
    l.values.suffix = "_fixed";
    l.values.viewerPath = "/usr/bin/viewer";
    l.values.inputDir = "/photos/2026";
    l.values.gridColor = 0x00ff00;
    l.values.tab = 2;
    l.values.flen = 35.5f;
    l.values.dialog = {1200, 800, 1};
    l.correction.CorChoice = 1;
    l.correction.CaRed = -12;
    l.correction.FisheyeRotate = 5;
    l.correction.PerspectShiftVert = -300;
    // Nothing known of what the store holds: every value is written.
    LoadedSettings unknown;
    ASSERT_TRUE(SaveSettings(user, {}, sink, l.values, l.correction, l.history,
                             SaveScope::kEverything, unknown)
                    .ok());

    std::vector<std::string> names;
    for (const StoredValue& v : user.Values()) names.push_back(v.name);
    const std::vector<std::string> expected = {"Language",
                                               "ResetAlways",
                                               "ConverterDetected",
                                               "DetectCamera",
                                               "DetectLens",
                                               "DetectFlen",
                                               "Resize",
                                               "Processors",
                                               "Suffix",
                                               "ViewerPath",
                                               "InputDir",
                                               "JpegQuality",
                                               "Hist",
                                               "CorChoice",
                                               "Order",
                                               "VigAmount",
                                               "VigMidpoint",
                                               "CaRed",
                                               "CaBlue",
                                               "FisheyeDistortion",
                                               "FisheyeCrop",
                                               "FisheyeRotate",
                                               "FisheyeHorz",
                                               "FisheyeVert",
                                               "PerspectVert",
                                               "PerspectHorz",
                                               "PerspectScale",
                                               "PerspectRotate",
                                               "PerspectShiftHorz",
                                               "PerspectShiftVert",
                                               "GridColor",
                                               "Flen",
                                               "Tab",
                                               "DialogWidthStd",
                                               "DialogHeightStd",
                                               "DialogMaximizedStd",
                                               "Version"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(Dword(user, "Order"), 10090000u);
    EXPECT_EQ(user.Find("Version")->text, "Quillon 9.0");

    for (int round = 0; round < 2; ++round) {
        Loaded again = Load(user);
        EXPECT_EQ(again.values.language, "Greek");
        EXPECT_EQ(again.values.suffix, "_fixed");
        EXPECT_EQ(again.values.viewerPath, "/usr/bin/viewer");
        EXPECT_EQ(again.values.inputDir, "/photos/2026");
        EXPECT_EQ(again.values.gridColor, 0x00ff00);
        EXPECT_EQ(again.values.tab, 2);
        EXPECT_EQ(again.values.flen, 35.5f);
        EXPECT_EQ(again.values.dialog.width, 1200);
        EXPECT_EQ(again.values.dialog.maximized, 1);
        EXPECT_EQ(again.correction.CorChoice, 1);
        EXPECT_EQ(again.correction.CaRed, -12);
        EXPECT_EQ(again.correction.FisheyeRotate, 5);
        EXPECT_EQ(again.correction.PerspectShiftVert, -300);
        ASSERT_TRUE(SaveSettings(user, {}, sink, again.values, again.correction, again.history,
                                 SaveScope::kEverything, again.loaded)
                        .ok());
    }
    EXPECT_EQ(sink.Count(), 0u);
}

TEST(SaveSettingsTest, WindowSizeNamesFollowTheModeAndDeliverable) {
    MemorySettingsStore user(
        {StoredValue::Dword("DialogWidthStd", 1000), StoredValue::Dword("DialogWidthEdit", 900),
         StoredValue::Dword("DialogWidth", 800), StoredValue::String("Suffix", "_s"),
         StoredValue::Dword("AlwaysDisplayDialog", 1)});
    SettingsRun edit;
    edit.mode = WindowMode::kEdit;
    SettingsRun plugin;
    plugin.deliverable = Deliverable::kPlugin;
    EXPECT_EQ(Load(user).values.dialog.width, 1000);
    EXPECT_EQ(Load(user, edit).values.dialog.width, 900);
    const Loaded hosted = Load(user, plugin);
    EXPECT_EQ(hosted.values.dialog.width, 800);
    EXPECT_EQ(hosted.values.alwaysDisplayDialog, 1);
    EXPECT_EQ(hosted.values.suffix, "_lc");  // not the plug-in's setting
    EXPECT_EQ(Load(user).values.alwaysDisplayDialog, 0);

    platform::CapturingSink sink;
    Loaded l = Load(user, edit);
    l.values.dialog.width = 640;
    ASSERT_TRUE(SaveSettings(user, edit, sink, l.values, l.correction, l.history,
                             SaveScope::kEverything, l.loaded)
                    .ok());
    EXPECT_EQ(Dword(user, "DialogWidthEdit"), 640u);
    EXPECT_EQ(Dword(user, "DialogWidthStd"), 1000u);
}

TEST(SaveSettingsTest, PluginHandsItsParametersOverAtBothEnds) {
    MemorySettingsStore user({StoredValue::Dword("VigAmount", 10)});
    SettingsRun plugin;
    plugin.deliverable = Deliverable::kPlugin;
    plugin.readScriptParameters = [](SettingsValues& v, engine::CorrectionSettings& c) {
        EXPECT_EQ(c.VigAmount, 10);  // stored values are read first
        c.VigAmount = 55;
        v.gridColor = 1;
    };
    int handedBack = 0;
    plugin.writeScriptParameters = [&](const SettingsValues&, const engine::CorrectionSettings& c) {
        ++handedBack;
        EXPECT_EQ(c.VigAmount, 55);
    };
    Loaded l = Load(user, plugin);
    EXPECT_EQ(l.correction.VigAmount, 55);
    EXPECT_EQ(l.values.gridColor, 1);

    platform::CapturingSink sink;
    ASSERT_TRUE(SaveSettings(user, plugin, sink, l.values, l.correction, l.history,
                             SaveScope::kPreferences, l.loaded)
                    .ok());
    EXPECT_EQ(handedBack, 0);
    ASSERT_TRUE(SaveSettings(user, plugin, sink, l.values, l.correction, l.history,
                             SaveScope::kEverything, l.loaded)
                    .ok());
    EXPECT_EQ(handedBack, 1);
    // The recorded parameters are this run's changes.
    EXPECT_EQ(Dword(user, "VigAmount"), 55u);
    EXPECT_EQ(Dword(user, "GridColor"), 1u);

    LoadedSettings unknown;
    ASSERT_TRUE(SaveSettings(user, plugin, sink, l.values, l.correction, l.history,
                             SaveScope::kEverything, unknown)
                    .ok());
    EXPECT_FALSE(user.Find("Suffix"));
    EXPECT_TRUE(user.Find("AlwaysDisplayDialog"));
    EXPECT_TRUE(user.Find("DialogWidth"));
}

TEST(SaveSettingsTest, InterruptedSaveLeavesThePreviousFileLoadable) {
    testing::TempDir dir;
    const std::string path = dir.File("Velmora/Quillon.reg");
    platform::CapturingSink sink;
    Loaded l = Load(MemorySettingsStore());
    l.correction.VigAmount = 25;
    l.values.language = "Czech";
    {
        platform::FileSettingsStore user(path);
        ASSERT_TRUE(SaveSettings(user, {}, sink, l.values, l.correction, l.history,
                                 SaveScope::kEverything, l.loaded)
                        .ok());
    }
    const std::vector<std::uint8_t> before = testing::ReadBytes(path);

    // The new file is complete on disk; the crash comes before the rename.
    platform::FileSettingsStore crashing(path, [](const char*, const char*) { return -1; });
    l.correction.VigAmount = -80;
    l.values.language = "Polish";
    EXPECT_FALSE(SaveSettings(crashing, {}, sink, l.values, l.correction, l.history,
                              SaveScope::kEverything, l.loaded)
                     .ok());
    EXPECT_EQ(sink.Last(), "error RegSetValueEx(Velmora/Quillon)");

    EXPECT_EQ(testing::ReadBytes(path), before);
    platform::FileSettingsStore reopened(path);
    const Loaded after = Load(reopened);
    EXPECT_EQ(after.correction.VigAmount, 25);
    EXPECT_EQ(after.values.language, "Czech");
}

TEST(SaveSettingsTest, EveryFailedWriteIsReportedAndTheSaveGoesOn) {
    // Writes to names starting with "P" fail; the rest must still arrive.
    class PickyStore final : public platform::SettingsStore {
      public:
        bool IsPresent() const override { return true; }
        std::optional<StoredValue> Find(std::string_view n) const override { return inner.Find(n); }
        std::vector<StoredValue> Values() const override { return inner.Values(); }
        platform::StoreResult Put(StoredValue v) override {
            if (v.name.front() == 'P') return platform::StoreResult::kWriteFailed;
            return inner.Put(std::move(v));
        }
        MemorySettingsStore inner;
    } user;
    platform::CapturingSink sink;
    const Loaded l = Load(MemorySettingsStore());
    LoadedSettings unknown;
    EXPECT_FALSE(SaveSettings(user, {}, sink, l.values, l.correction, l.history,
                              SaveScope::kEverything, unknown)
                     .ok());
    std::vector<std::string> texts;
    for (const auto& m : sink.Messages()) texts.push_back(m.text);
    EXPECT_EQ(texts,
              (std::vector<std::string>{
                  "error RegSetValueEx(Processors)", "error RegSetValueEx(PerspectVert)",
                  "error RegSetValueEx(PerspectHorz)", "error RegSetValueEx(PerspectScale)",
                  "error RegSetValueEx(PerspectRotate)", "error RegSetValueEx(PerspectShiftHorz)",
                  "error RegSetValueEx(PerspectShiftVert)"}));
    EXPECT_EQ(user.Find("Version")->text, "Quillon 9.0");
}

}  // namespace
}  // namespace quillon::settings
