// The rules of the main window that need no widget: which controls may be
// used, where the shift button was pressed, the size the window opens with.

#include <gtest/gtest.h>

#include "app/window_core/enabling.h"
#include "app/window_core/shift_button.h"
#include "app/window_core/window_variant.h"

namespace quillon::app {
namespace {

EnablingFacts ShownImage() {
    EnablingFacts facts;
    facts.imageState = preview::kImageShown;
    facts.cameraListsFilled = true;
    return facts;
}

TEST(EnablingTest, WithoutAnImageOnlyTheWayOutAndTheFilesAreUsable) {
    const ControlEnabling e = DecideEnabling(EnablingFacts{});
    EXPECT_FALSE(e.general || e.lensGroup || e.focalLength || e.fisheyeGroup || e.shiftButton ||
                 e.scrollBars || e.apply || e.deleteFiles);
    EXPECT_TRUE(e.cancel);
    EXPECT_TRUE(e.fileList);
}

TEST(EnablingTest, ImageWithALensMatch) {
    EnablingFacts facts = ShownImage();
    facts.lensCorrectionReady = true;
    facts.lensHasFocalRange = true;
    const ControlEnabling e = DecideEnabling(facts);
    EXPECT_TRUE(e.general && e.lensGroup && e.focalLength && e.apply && e.deleteFiles && e.cancel);
    EXPECT_FALSE(e.fisheyeGroup || e.shiftButton || e.scrollBars);

    // A lens calibrated at one focal length has no focal length to choose.
    facts.lensHasFocalRange = false;
    EXPECT_FALSE(DecideEnabling(facts).focalLength);
}

TEST(EnablingTest, ImageWithoutALensMatchNeedsAnotherCorrectionToApply) {
    EnablingFacts facts = ShownImage();
    EXPECT_TRUE(DecideEnabling(facts).lensGroup);
    EXPECT_FALSE(DecideEnabling(facts).apply);

    const auto appliesWith = [&](auto change) {
        EnablingFacts changed = facts;
        change(changed);
        return DecideEnabling(changed).apply;
    };
    EXPECT_TRUE(appliesWith([](EnablingFacts& f) { f.values.VigAmount = -3; }));
    EXPECT_TRUE(appliesWith([](EnablingFacts& f) { f.values.CaBlue = 1; }));
    EXPECT_TRUE(appliesWith([](EnablingFacts& f) { f.values.PerspectRotate = 1; }));
    EXPECT_TRUE(appliesWith([](EnablingFacts& f) { f.values.PerspectScale = 99; }));
    EXPECT_TRUE(appliesWith([](EnablingFacts& f) { f.imageTurned = true; }));
    EXPECT_TRUE(
        appliesWith([](EnablingFacts& f) { f.values.CorChoice = engine::kCorrectFisheye; }));
    // Neither the midpoint alone nor a crop shift without a perspective
    // changes the photo.
    EXPECT_FALSE(appliesWith([](EnablingFacts& f) { f.values.VigMidpoint = 10; }));
    EXPECT_FALSE(appliesWith([](EnablingFacts& f) { f.values.PerspectShiftVert = 4; }));
    EXPECT_FALSE(
        appliesWith([](EnablingFacts& f) { f.values.CorChoice = engine::kCorrectNeither; }));

    // Without cameras to choose from, the menus stay disabled.
    facts.cameraListsFilled = false;
    EXPECT_FALSE(DecideEnabling(facts).lensGroup);
}

TEST(EnablingTest, CorrectionKindDecidesBetweenLensAndFisheyeGroups) {
    EnablingFacts facts = ShownImage();
    facts.lensHasFocalRange = true;
    facts.values.CorChoice = engine::kCorrectFisheye;
    ControlEnabling e = DecideEnabling(facts);
    EXPECT_TRUE(e.fisheyeGroup && e.apply);
    EXPECT_FALSE(e.lensGroup || e.focalLength);

    facts.values.CorChoice = 9;  // beyond the kinds: neither
    e = DecideEnabling(facts);
    EXPECT_FALSE(e.fisheyeGroup || e.lensGroup || e.apply);
}

TEST(EnablingTest, ShiftButtonAndScrollBarsFollowTheirViews) {
    EnablingFacts facts = ShownImage();
    EXPECT_FALSE(DecideEnabling(facts).shiftButton);
    facts.values.PerspectHorz = -1;
    EXPECT_TRUE(DecideEnabling(facts).shiftButton);
    facts.values.PerspectHorz = 0;
    facts.values.PerspectScale = 101;
    EXPECT_TRUE(DecideEnabling(facts).shiftButton);

    facts.zoomOn = true;
    EXPECT_TRUE(DecideEnabling(facts).scrollBars);
    facts.outOfMemory = true;
    EXPECT_FALSE(DecideEnabling(facts).scrollBars || DecideEnabling(facts).general);
}

TEST(EnablingTest, SeveralFilesSelected) {
    EnablingFacts facts;
    facts.imageState = preview::kImageSeveralSelected;
    ControlEnabling e = DecideEnabling(facts);
    EXPECT_FALSE(e.general || e.lensGroup || e.fisheyeGroup);
    // Each file's own lens is found when it is corrected.
    EXPECT_TRUE(e.apply);
    EXPECT_TRUE(e.deleteFiles && e.fileList && e.cancel);

    facts.values.CorChoice = engine::kCorrectNeither;
    EXPECT_FALSE(DecideEnabling(facts).apply);

    facts.values.CorChoice = engine::kCorrectDistortion;
    facts.restartPending = true;
    e = DecideEnabling(facts);
    EXPECT_FALSE(e.apply || e.deleteFiles || e.fileList);
}

TEST(EnablingTest, WhileBusyNothingButTheWorkGoesOn) {
    EnablingFacts facts = ShownImage();
    facts.lensCorrectionReady = true;
    facts.imageState = preview::kImageBusy;
    EXPECT_EQ(DecideEnabling(facts), ControlEnabling{});
}

TEST(ShiftButtonTest, PressesFallInTheTriangleBetweenTheDiagonals) {
    struct Case {
        int x, y;
        ShiftDirection expected;
    };
    const Case cases[] = {
        {23, 2, ShiftDirection::kTop},
        {44, 23, ShiftDirection::kRight},
        {23, 44, ShiftDirection::kBottom},
        {2, 23, ShiftDirection::kLeft},
        {16, 16, ShiftDirection::kCentre},
        {30, 30, ShiftDirection::kCentre},
        {16, 30, ShiftDirection::kCentre},
        {15, 16, ShiftDirection::kLeft},
        {31, 30, ShiftDirection::kRight},
        {23, 15, ShiftDirection::kTop},
        // On the falling diagonal (y == x) the lower parts win; on the rising
        // one (x + y == 46) the upper left ones.
        {5, 5, ShiftDirection::kLeft},
        {40, 40, ShiftDirection::kBottom},
        {40, 6, ShiftDirection::kTop},
        {41, 6, ShiftDirection::kRight},
        {6, 40, ShiftDirection::kLeft},
        {6, 41, ShiftDirection::kBottom},
        {0, 0, ShiftDirection::kLeft},
        {46, 0, ShiftDirection::kTop},
        {46, 46, ShiftDirection::kBottom},
        {0, 46, ShiftDirection::kLeft},
        {-1, 10, ShiftDirection::kNone},
        {47, 10, ShiftDirection::kNone},
        {10, -1, ShiftDirection::kNone},
        {10, 47, ShiftDirection::kNone},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShiftDirectionAt(c.x, c.y), c.expected) << c.x << "," << c.y;
    }
}

TEST(ShiftButtonTest, StepsMoveOneShiftAndTheCentrePutsBothBack) {
    engine::CorrectionSettings values;
    ApplyShiftStep(ShiftDirection::kTop, values);
    ApplyShiftStep(ShiftDirection::kTop, values);
    ApplyShiftStep(ShiftDirection::kRight, values);
    EXPECT_EQ(values.PerspectShiftVert, -2);
    EXPECT_EQ(values.PerspectShiftHorz, 1);
    ApplyShiftStep(ShiftDirection::kBottom, values);
    ApplyShiftStep(ShiftDirection::kLeft, values);
    ApplyShiftStep(ShiftDirection::kLeft, values);
    EXPECT_EQ(values.PerspectShiftVert, -1);
    EXPECT_EQ(values.PerspectShiftHorz, -1);
    ApplyShiftStep(ShiftDirection::kNone, values);
    EXPECT_EQ(values.PerspectShiftVert, -1);
    ApplyShiftStep(ShiftDirection::kCentre, values);
    EXPECT_EQ(values.PerspectShiftVert, 0);
    EXPECT_EQ(values.PerspectShiftHorz, 0);
}

TEST(WindowVariantTest, OpeningSizeLiesBetweenTheDesignedSizeAndTheScreen) {
    const PixelSize designed{900, 650};
    const PixelSize screen{1920, 1050};
    EXPECT_EQ(OpeningSize({0, 0, 0}, designed, screen), designed);
    EXPECT_EQ(OpeningSize({1200, 800, 0}, designed, screen), (PixelSize{1200, 800}));
    EXPECT_EQ(OpeningSize({5000, 400, 0}, designed, screen), (PixelSize{1920, 650}));
    // Without a known screen only the designed size bounds it.
    EXPECT_EQ(OpeningSize({5000, 400, 0}, designed, {0, 0}), (PixelSize{5000, 650}));
}

TEST(WindowVariantTest, VariantsDifferInTheirButtons) {
    EXPECT_EQ(WindowTitle(), sizeof(void*) == 8 ? "Quillon 9.0 - 64-bit" : "Quillon 9.0 - 32-bit");
    const VariantTraits browser = TraitsOf(WindowVariant::kBrowser);
    const VariantTraits editor = TraitsOf(WindowVariant::kEditor);
    const VariantTraits dialog = TraitsOf(WindowVariant::kFilterDialog);
    EXPECT_EQ(browser.templateName, "MAINDIALOG");
    EXPECT_EQ(editor.templateName, "MAINDIALOGEDIT");
    EXPECT_TRUE(browser.hasFileList && browser.hasRotation);
    EXPECT_FALSE(editor.hasFileList || editor.hasRotation);
    EXPECT_EQ(browser.okText, 64);  // "Apply"
    EXPECT_EQ(editor.okText, 30);   // "OK"
    EXPECT_EQ(dialog.okId, ControlId::kPluginOk);
    EXPECT_EQ(ControlName(ControlId::kApply), "Apply");
    EXPECT_EQ(ControlName(static_cast<ControlId>(1)), "");
}

}  // namespace
}  // namespace quillon::app
