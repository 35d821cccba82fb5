#include "lensdb/lens_name_match.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lensdb/lens_history.h"
#include "lensdb/lens_matching.h"
#include "tests/lensdb/lensdb_test_support.h"

namespace quillon::lensdb {
namespace {

using testing::Camera;
using testing::Entry;
using testing::Lens;
using testing::Scene;
using testing::SetFocal;
using testing::SetRange;

SourceLens Zoom1855(std::string group, std::string name, float a = 0.01f) {
    return Lens(std::move(group), std::move(name), 18, 55, {{18, a, 0, 0}, {55, 0, 0, 0}}, 1.6f);
}

// A camera with the names of `lenses`, each an 18-55 of the same range: focal
// length, range and apertures leave all of them.
DatabaseSource KitLenses(const std::vector<std::string>& names) {
    DatabaseSource s;
    s.cameras = {Camera("Canon", "EOS 1000D", "Canon", "Canon EOS 1000D", 1.62f,
                        {"Canon EF-S", "Canon EF"})};
    for (const std::string& name : names) s.lenses.push_back(Zoom1855("Canon EF-S", name));
    return s;
}

const std::vector<std::string> kCanonKits = {
    "Canon EF-S 18-55mm f/3.5-5.6 II",     "Canon EF-S 18-55mm f/3.5-5.6 III",
    "Canon EF-S 18-55mm f/3.5-5.6 IS",     "Canon EF-S 18-55mm f/3.5-5.6 IS II",
    "Canon EF-S 18-55mm f/3.5-5.6 IS STM",
};

// The photo's EXIF as the 1000D writes it, with the lens name of `text`.
void KitShot(metadata::ShotInfo& shot, const std::string& text) {
    shot.make = "Canon";
    shot.model = "Canon EOS 1000D";
    SetFocal(shot, 34);
    SetRange(shot, 18, 55, 3.5, 5.6);
    shot.lensNames.makerNoteModel = text;
}

TEST(LensNameChoice, NameTellsTheListedLensesApart) {
    struct Case {
        const char* photoName;
        const char* lens;  // empty: "Select Lens" stays
        LensNameOutcome outcome;
    };
    const Case cases[] = {
        {"EF-S18-55mm f/3.5-5.6 IS II", "Canon EF-S 18-55mm f/3.5-5.6 IS II",
         LensNameOutcome::kChosen},
        {"EF-S18-55mm f/3.5-5.6 III", "Canon EF-S 18-55mm f/3.5-5.6 III", LensNameOutcome::kChosen},
        // Word order, spacing, case and the maker's name repeated do not count.
        {"IS STM canon EF-S 18-55 Canon f3.5-5.6", "Canon EF-S 18-55mm f/3.5-5.6 IS STM",
         LensNameOutcome::kChosen},
        // II, III and IS each add one word the photo does not give.
        {"EF-S18-55mm f/3.5-5.6", "", LensNameOutcome::kTie},
        // Written by software from the lens data: nothing beyond the ranges.
        {"18.0-55.0 mm f/3.5-5.6", "", LensNameOutcome::kNumbersOnly},
        // The f/4 kit is another lens, however alike its words.
        {"EF-S18-55mm f/4-5.6 IS STM", "", LensNameOutcome::kNoFit},
        {"", "", LensNameOutcome::kNoName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.photoName);
        Scene scene(KitLenses(kCanonKits));
        KitShot(scene.shot, c.photoName);
        const bool detected = scene.Detect();
        EXPECT_EQ(scene.sel.nameComparison.outcome, c.outcome);
        if (*c.lens != '\0') {
            EXPECT_TRUE(detected);
            EXPECT_EQ(scene.Lens(), c.lens);
            EXPECT_EQ(scene.sel.lensChoice, LensChoice::kName);
            EXPECT_EQ(DetectionText(scene.Context(), scene.sel), "");
        } else {
            EXPECT_FALSE(detected);
            EXPECT_EQ(scene.Lens(), "Select Lens");
            EXPECT_EQ(scene.sel.lensChoice, LensChoice::kNone);
            EXPECT_EQ(DetectionText(scene.Context(), scene.sel), "Select lens");
        }
    }
}

TEST(LensNameChoice, SuffixThePhotoDoesNotGiveLosesAndNeitherSuffixIsATie) {
    struct Case {
        std::vector<std::string> listed;
        const char* photoName;
        const char* lens;
    };
    const Case cases[] = {
        // "II" is a word the photo does not give: the lens without it wins.
        {{"Canon EF-S 18-55mm f/3.5-5.6 IS II", "Canon EF-S 18-55mm f/3.5-5.6 IS"},
         "EF-S18-55mm f/3.5-5.6 IS",
         "Canon EF-S 18-55mm f/3.5-5.6 IS"},
        {{"Canon EF-S 18-55mm f/3.5-5.6 IS II", "Canon EF-S 18-55mm f/3.5-5.6 IS"},
         "EF-S18-55mm f/3.5-5.6 IS II",
         "Canon EF-S 18-55mm f/3.5-5.6 IS II"},
        // The photo gives neither "II" nor "STM": undecided.
        {{"Canon EF-S 18-55mm f/3.5-5.6 IS II", "Canon EF-S 18-55mm f/3.5-5.6 IS STM"},
         "EF-S18-55mm f/3.5-5.6 IS",
         ""},
        {{"Canon EF-S 18-55mm f/3.5-5.6 II", "Canon EF-S 18-55mm f/3.5-5.6 IS"},
         "EF-S18-55mm f/3.5-5.6",
         ""},
        // Both fit, one with more of the photo's words.
        {{"Canon EF-S 18-55mm f/3.5-5.6 IS II", "Canon EF-S 18-55mm f/3.5-5.6 IS STM"},
         "EF-S18-55mm f/3.5-5.6 IS STM",
         "Canon EF-S 18-55mm f/3.5-5.6 IS STM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.photoName);
        Scene scene(KitLenses(c.listed));
        KitShot(scene.shot, c.photoName);
        scene.Detect();
        EXPECT_EQ(scene.Lens(), *c.lens != '\0' ? c.lens : "Select Lens");
    }
}

TEST(LensNameChoice, NameOfAnUnlistedLensKeepsSelectLens) {
    // The photo's lens is not in the database. The first listed lens has its
    // apertures and its unmarked focal lengths but none of its names; the
    // others share names ("Vario-Elmar", "Asph.") but not the apertures.
    DatabaseSource s;
    s.cameras = {
        Camera("Leica", "T (Typ 701)", "Leica Camera AG", "Leica T (Typ 701)", 1.53f, {"Leica L"})};
    s.lenses = {Lens("Leica L", "Sigma 18-56mm f/3.5-5.6 DC DN", 18, 56, {{18, 0.01f, 0, 0}}, 1.5f),
                Lens("Leica L", "Elmarit-TL 1:2.8/18 Asph.", 18, 18, {{18, 0.02f, 0, 0}}, 1.5f),
                Lens("Leica L", "Super-Vario-Elmar-SL 16-35mm f/3.5-4.5 ASPH.", 16, 35,
                     {{16, 0.03f, 0, 0}}, 1.0f)};
    Scene scene(s);
    scene.shot.make = "LEICA CAMERA AG";
    scene.shot.model = "LEICA T (Typ 701)";
    SetFocal(scene.shot, 18);
    scene.shot.lensNames.exifLensModel = "Vario-Elmar T 1:3.5-5.6 / 18-56 ASPH.";
    EXPECT_FALSE(scene.Detect());
    ASSERT_EQ(scene.sel.lensMenuLines.lines.size(), 4u);
    EXPECT_EQ(scene.Lens(), "Select Lens");
    EXPECT_EQ(scene.sel.nameComparison.outcome, LensNameOutcome::kNoFit);
    EXPECT_EQ(DetectionText(scene.Context(), scene.sel), "Select lens");
    const auto& scores = scene.sel.nameComparison.scores;
    ASSERT_EQ(scores.size(), 3u);
    EXPECT_TRUE(scores[0].focalsAndAperturesAgree);
    EXPECT_FALSE(scores[0].fits);
    EXPECT_FALSE(scores[1].focalsAndAperturesAgree);
    EXPECT_FALSE(scores[2].focalsAndAperturesAgree);
}

TEST(LensNameChoice, MakerNamedOnOneSideOnly) {
    DatabaseSource s;
    s.cameras = {
        Camera("Canon", "EOS 5D Mark III", "Canon", "Canon EOS 5D Mark III", 1.0f, {"Canon EF"})};
    // Third-party names with and without their maker's name.
    s.lenses = {
        Lens("Canon EF", "70-200mm F2.8 DG OS HSM | S", 70, 200, {{70, 0.01f, 0, 0}}),
        Lens("Canon EF", "Canon EF 70-200mm f/2.8L USM", 70, 200, {{70, 0.02f, 0, 0}}),
        Lens("Canon EF", "Tamron SP 70-200mm f/2.8 Di VC USD", 70, 200, {{70, 0.03f, 0, 0}})};
    struct Case {
        const char* lensMake;
        const char* lensModel;
        const char* lens;
    };
    const Case cases[] = {
        {"SIGMA", "70-200mm F2.8 DG OS HSM | Sports 018", "70-200mm F2.8 DG OS HSM | S"},
        {"", "SIGMA 70-200mm F2.8 DG OS HSM | Sports", "70-200mm F2.8 DG OS HSM | S"},
        {"Canon", "EF70-200mm f/2.8L USM", "Canon EF 70-200mm f/2.8L USM"},
        {"TAMRON", "SP 70-200mm F/2.8 Di VC USD A009", "Tamron SP 70-200mm f/2.8 Di VC USD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lensModel);
        Scene scene(s);
        scene.shot.make = "Canon";
        scene.shot.model = "Canon EOS 5D Mark III";
        SetFocal(scene.shot, 200);
        scene.shot.lensNames.exifLensMake = c.lensMake;
        scene.shot.lensNames.exifLensModel = c.lensModel;
        EXPECT_TRUE(scene.Detect());
        EXPECT_EQ(scene.Lens(), c.lens);
    }
}

TEST(LensNameChoice, OneNameListedTwiceCountsOnceAndTheFirstIsChosen) {
    // The same lens calibrated for two mounts the camera takes.
    DatabaseSource s = KitLenses({"Kit 18-55mm IS II"});
    s.lenses.insert(s.lenses.begin(), Zoom1855("Canon EF", "Kit 18-55mm IS", 0.05f));
    s.lenses.push_back(Zoom1855("Canon EF-S", "Kit 18-55mm IS", 0.02f));
    Scene scene(s);
    KitShot(scene.shot, "Kit 18-55mm IS");
    ASSERT_TRUE(scene.Detect());
    EXPECT_EQ(scene.sel.nameComparison.scores.size(), 2u);
    EXPECT_EQ(scene.Lens(), "Kit 18-55mm IS");
    // Groups are listed in the camera's order: "Canon EF-S" first.
    EXPECT_STREQ(scene.sel.selectedLens->group, "Canon EF-S");
}

TEST(LensNameChoice, HistoryComesFirstAndAHandChoiceIsRecorded) {
    Scene scene(KitLenses(kCanonKits));
    KitShot(scene.shot, "EF-S18-55mm f/3.5-5.6 IS");
    ASSERT_TRUE(scene.Detect());
    EXPECT_EQ(scene.Lens(), "Canon EF-S 18-55mm f/3.5-5.6 IS");

    // The user disagrees and picks another line; leaving the image records it.
    const auto& lines = scene.sel.lensMenuLines.lines;
    const auto it = std::find(lines.begin(), lines.end(), "Canon EF-S 18-55mm f/3.5-5.6 IS STM");
    ASSERT_NE(it, lines.end());
    LensChanged(scene.Context(), scene.sel, static_cast<int>(it - lines.begin()));
    EXPECT_EQ(scene.sel.lensChoice, LensChoice::kUser);
    RecordChoice(scene.history, scene.sel, scene.shot, 0, true);
    ASSERT_EQ(scene.history.size(), 1u);
    EXPECT_EQ(scene.history.front().menuLens, "Canon EF-S 18-55mm f/3.5-5.6 IS STM");

    // The next photo of this kind follows the user, not the name.
    ASSERT_TRUE(scene.Detect());
    EXPECT_EQ(scene.Lens(), "Canon EF-S 18-55mm f/3.5-5.6 IS STM");
    EXPECT_EQ(scene.sel.lensChoice, LensChoice::kHistory);
    EXPECT_EQ(scene.sel.nameComparison.outcome, LensNameOutcome::kNotCompared);

    // A shot of other lens data has no entry: the name decides again.
    SetRange(scene.shot, 18, 55, 0, 0);
    ASSERT_TRUE(scene.Detect());
    EXPECT_EQ(scene.Lens(), "Canon EF-S 18-55mm f/3.5-5.6 IS");
}

TEST(LensNameChoice, WithoutFocalLengthTheNameStillChooses) {
    Scene scene(KitLenses(kCanonKits));
    KitShot(scene.shot, "EF-S18-55mm f/3.5-5.6 IS II");
    SetFocal(scene.shot, 0);
    SetRange(scene.shot, 0, 0, 0, 0);
    ASSERT_TRUE(scene.Detect());
    EXPECT_EQ(scene.Lens(), "Canon EF-S 18-55mm f/3.5-5.6 IS II");
    // The latest history entry, when it names a listed lens, still comes first.
    scene.history = {
        Entry("Canon", "EOS 1000D", "Canon EF-S 18-55mm f/3.5-5.6 II", "Canon EF-S", 18, 55, 0)};
    ASSERT_TRUE(scene.Detect());
    EXPECT_EQ(scene.Lens(), "Canon EF-S 18-55mm f/3.5-5.6 II");
}

}  // namespace
}  // namespace quillon::lensdb
