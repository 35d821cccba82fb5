#include "lensdb/lens_history.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/settings_store.h"
#include "tests/lensdb/lensdb_test_support.h"

namespace quillon::lensdb {
namespace {

using testing::Camera;
using testing::Entry;
using testing::Lens;
using testing::Scene;
using testing::SetFocal;
using testing::SetRange;

TEST(LensSignature, SumsTenthsOfRangeAndAperturesAndTheLensNumber) {
    metadata::ShotInfo shot;
    SetRange(shot, 18, 55, 3.5, 5.6);
    EXPECT_EQ(LensSignature(shot), 56 + 35 + 550 + 180);
    EXPECT_EQ(LensSignature(shot), 821);
    // The focal length of the shot plays no part.
    SetFocal(shot, 35);
    EXPECT_EQ(LensSignature(shot), 821);
    shot.lensId = 4000;
    EXPECT_EQ(LensSignature(shot), 4821);
    EXPECT_EQ(LensSignature(metadata::ShotInfo{}), 0);
}

DatabaseSource KitCamera() {
    DatabaseSource s;
    s.cameras = {Camera("Velo", "V1", "VELO", "V1", 1.5f, {"vmount"})};
    s.lenses = {Lens("vmount", "Kit 18-55", 18, 55, {{18, 0, 0.01f, 0}, {55, 0, 0, 0}}, 1.5f),
                Lens("vmount", "Wide 10-20", 10, 20, {{10, 0, 0.01f, 0}, {20, 0, 0, 0}}, 1.5f)};
    s.lenses[0].minFlenMaxAper = 3.5f;
    s.lenses[0].maxFlenMaxAper = 5.6f;
    return s;
}

TEST(RecordChoice, MovesAnEqualChoiceToTheFrontInsteadOfAddingIt) {
    Scene scene(KitCamera());
    scene.shot.make = "VELO";
    scene.shot.model = "V1";
    SetFocal(scene.shot, 35);
    SetRange(scene.shot, 18, 55, 3.5, 5.6);
    ASSERT_TRUE(scene.Detect());
    ASSERT_EQ(scene.Lens(), "Kit 18-55");

    RecordChoice(scene.history, scene.sel, scene.shot, 0, true);
    ASSERT_EQ(scene.history.size(), 1u);
    const HistoryEntry& e = scene.history[0];
    EXPECT_EQ(e.menuMake, "Velo");
    EXPECT_EQ(e.menuModel, "V1");
    EXPECT_EQ(e.menuLens, "Kit 18-55");
    EXPECT_EQ(e.group, "vmount");
    EXPECT_EQ(e.minFlenMaxAper, 3.5f);  // from the lens entry
    EXPECT_EQ(e.signature, 821);

    scene.history.insert(scene.history.begin(), Entry("Orno", "O5", "X", "g", 1, 2, 3));
    RecordChoice(scene.history, scene.sel, scene.shot, 0, true);
    ASSERT_EQ(scene.history.size(), 2u);
    EXPECT_EQ(scene.history[0].menuMake, "Velo");

    // The same lens with other lens data in the metadata is another entry.
    SetRange(scene.shot, 0, 0, 0, 0);
    RecordChoice(scene.history, scene.sel, scene.shot, 0, true);
    ASSERT_EQ(scene.history.size(), 3u);
    EXPECT_EQ(scene.history[0].signature, 0);
}

TEST(RecordChoice, OnlyARealLensChosenForTheProfileCorrectionIsRemembered) {
    Scene scene(KitCamera());
    scene.shot.make = "VELO";
    scene.shot.model = "V1";
    SetFocal(scene.shot, 18);  // both lenses reach 18 mm: nothing is chosen
    ASSERT_FALSE(scene.Detect());
    RecordChoice(scene.history, scene.sel, scene.shot, 0, true);
    EXPECT_TRUE(scene.history.empty());

    LensChanged(scene.Context(), scene.sel, 1);
    ASSERT_TRUE(scene.sel.IsRealLensSelected());
    RecordChoice(scene.history, scene.sel, scene.shot, 1, true);   // fisheye
    RecordChoice(scene.history, scene.sel, scene.shot, 0, false);  // no image
    scene.sel.profileCorrection = false;
    RecordChoice(scene.history, scene.sel, scene.shot, 0, true);
    EXPECT_TRUE(scene.history.empty());
    scene.sel.profileCorrection = true;
    RecordChoice(scene.history, scene.sel, scene.shot, 0, true);
    EXPECT_EQ(scene.history.size(), 1u);

    // The next image of the same camera and lens data finds the choice.
    ASSERT_TRUE(scene.Detect());
    EXPECT_EQ(scene.Lens(), scene.history[0].menuLens);
}

TEST(LensHistoryStore, KeepsTheTenMostRecentAcrossRuns) {
    LensHistory history;
    for (int i = 0; i < 11; ++i) {
        history.insert(history.begin(),
                       Entry("Velo", "V" + std::to_string(i), "L", "g", 1.5f, 2.5f, i));
    }
    history[0].minFlenMaxAper = 2.8f;
    platform::MemorySettingsStore key;
    platform::CapturingSink sink;
    EXPECT_TRUE(SaveLensHistory(key, sink, history).ok());
    EXPECT_EQ(sink.Count(), 0u);
    ASSERT_TRUE(key.Find("Hist").has_value());
    EXPECT_EQ(key.Find("Hist")->dword, 10u);
    EXPECT_EQ(key.Find("Hist.00.minFlen")->dword, 0x3FC00000u);  // 1.5f as stored bits

    LensHistory loaded;
    ASSERT_TRUE(LoadLensHistory(key, sink, loaded).ok());
    ASSERT_EQ(loaded.size(), 10u);
    for (std::size_t i = 0; i < loaded.size(); ++i) EXPECT_EQ(loaded[i], history[i]);
    // The oldest choice is the one that did not survive.
    EXPECT_EQ(loaded.back().menuModel, "V1");
}

TEST(LensHistoryStore, DamagedAndIncompleteEntries) {
    platform::MemorySettingsStore key;
    platform::CapturingSink sink;
    using platform::StoredValue;
    (void)key.Put(StoredValue::Dword("Hist", 3));
    (void)key.Put(StoredValue::String("Hist.00.menuMake", "Velo"));
    (void)key.Put(StoredValue::String("Hist.00.group", ""));  // dropped
    (void)key.Put(StoredValue::String("Hist.01.menuMake", "Orno"));
    (void)key.Put(StoredValue::String("Hist.01.group", "omount"));  // no signature
    (void)key.Put(StoredValue::String("Hist.02.group", std::string(400, 'g')));
    LensHistory loaded;
    ASSERT_TRUE(LoadLensHistory(key, sink, loaded).ok());
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded[0].menuMake, "Orno");
    EXPECT_EQ(loaded[0].signature, -1);
    EXPECT_EQ(loaded[0].minFlen, 0.0f);
    EXPECT_EQ(loaded[1].group.size(), kMaxHistoryTextBytes);

    // A count no save writes is not taken at its word.
    (void)key.Put(StoredValue::Dword("Hist", 0x7FFFFFFF));
    loaded.clear();
    ASSERT_TRUE(LoadLensHistory(key, sink, loaded).ok());
    EXPECT_EQ(loaded.size(), 2u);
}

TEST(LensHistoryStore, EntryWithoutSignatureOnlyServesAFixedLensCamera) {
    DatabaseSource s = KitCamera();
    s.lenses.push_back(Lens("vmount", "Kit 18-55 II", 18, 55, {{18, 0, 0.02f, 0}}, 1.5f));
    s.cameras.push_back(Camera("Pocket", "P1", "POCKET", "P1", 5.0f, {"pocketP1"}));
    s.lenses.push_back(Lens("pocketP1", "Standard", 5, 15, {{5, 0, 0.01f, 0}}, 5.0f));
    s.lenses.push_back(Lens("pocketP1", "Macro", 5, 15, {{5, 0, 0.03f, 0}}, 5.0f));
    Scene scene(s);
    scene.shot.make = "VELO";
    scene.shot.model = "V1";
    SetFocal(scene.shot, 35);
    scene.history = {Entry("Velo", "V1", "Kit 18-55 II", "vmount", 18, 55, -1)};
    EXPECT_FALSE(scene.Detect());
    EXPECT_EQ(scene.Lens(), "Select Lens");

    scene.shot.make = "POCKET";
    scene.shot.model = "P1";
    SetFocal(scene.shot, 10);
    scene.history = {Entry("Pocket", "P1", "Macro", "pocketP1", 0, 0, -1)};
    ASSERT_TRUE(scene.Detect());
    EXPECT_EQ(scene.Lens(), "Macro");
}

}  // namespace
}  // namespace quillon::lensdb
