#include "lensdb/lens_matching.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lensdb/lens_history.h"
#include "tests/lensdb/lensdb_test_support.h"

namespace quillon::lensdb {
namespace {

using testing::Build;
using testing::Camera;
using testing::Entry;
using testing::Lens;
using testing::Scene;
using testing::SetFocal;
using testing::SetRange;

// Two aspect-ratio variants of one camera (adjacent, the EXIF names in other
// letter case), an unrelated camera, and a later namesake of the first.
DatabaseSource CameraVariants() {
    DatabaseSource s;
    s.cameras = {Camera("Velo", "V1 (3:2)", "VELO", "V1", 1.5f, {"vmount"}),
                 Camera("Velo", "V1 (16:9)", "velo", "v1", 1.5f, {"vmount"}),
                 Camera("Velo", "V2", "VELO", "V2", 1.5f, {"vmount"}),
                 Camera("Velo", "V1 again", "VELO", "V1", 1.5f, {"vmount"}),
                 Camera("Orno", "O5", "ORNO", "O5", 1.0f, {"omount"})};
    s.lenses = {Lens("vmount", "Vista 50", 50, 50, {{50, 0, 0.01f, 0}}, 1.5f),
                Lens("omount", "Orno 35", 35, 35, {{35, 0, 0.02f, 0}}, 1.0f)};
    return s;
}

TEST(CameraDetection, AdjacentVariantsAreCandidatesAndHistoryPicks) {
    Scene scene(CameraVariants());
    scene.shot.make = "Velo";
    scene.shot.model = "V1";
    ASSERT_TRUE(scene.Detect());
    // The namesake further down the list is not adjacent and not offered.
    EXPECT_EQ(scene.Candidates(), (std::vector<std::string>{"Velo V1 (3:2)", "Velo V1 (16:9)"}));
    EXPECT_EQ(scene.Camera(), "V1 (3:2)");
    EXPECT_EQ(scene.sel.makeMenu.lines, std::vector<std::string>{"Velo"});
    EXPECT_EQ(scene.sel.modelMenu.lines, (std::vector<std::string>{"V1 (3:2)", "V1 (16:9)"}));

    // The most recent entry naming a candidate wins, whatever comes after it.
    scene.history = {Entry("Orno", "O5", "Orno 35", "omount", 35, 35, 0),
                     Entry("Velo", "V1 (16:9)", "Vista 50", "vmount", 50, 50, 0),
                     Entry("Velo", "V1 (3:2)", "Vista 50", "vmount", 50, 50, 0)};
    ASSERT_TRUE(scene.Detect());
    EXPECT_EQ(scene.Camera(), "V1 (16:9)");
    EXPECT_EQ(scene.sel.modelMenu.selected, 1);

    // A history entry for the namesake that is not a candidate changes nothing.
    scene.history = {Entry("Velo", "V1 again", "Vista 50", "vmount", 50, 50, 0)};
    ASSERT_TRUE(scene.Detect());
    EXPECT_EQ(scene.Camera(), "V1 (3:2)");
}

TEST(CameraDetection, WithoutMakeOrModelOnlyTheLatestEntryDecides) {
    Scene scene(CameraVariants());
    scene.shot.make = "VELO";  // model missing
    scene.history = {Entry("Velo", "V1 again", "Vista 50", "vmount", 50, 50, 0),
                     Entry("Orno", "O5", "Orno 35", "omount", 35, 35, 0)};
    ASSERT_TRUE(scene.Detect());
    EXPECT_EQ(scene.Candidates().size(), 5u);
    EXPECT_EQ(scene.Camera(), "V1 again");
    // Consecutive cameras of one make share a Make menu line.
    EXPECT_EQ(scene.sel.makeMenu.lines, (std::vector<std::string>{"Velo", "Orno"}));
    EXPECT_EQ(scene.sel.makeMenu.selected, 0);

    // An older entry is not consulted.
    scene.history = {Entry("Nobody", "X", "L", "g", 1, 1, 0),
                     Entry("Orno", "O5", "Orno 35", "omount", 35, 35, 0)};
    ASSERT_TRUE(scene.Detect());
    EXPECT_EQ(scene.Camera(), "V1 (3:2)");
}

TEST(CameraDetection, UnknownCameraAndCameraWithoutLenses) {
    DatabaseSource s = CameraVariants();
    s.cameras.push_back(Camera("Bare", "B1", "BARE", "B1", 1.0f, {"nothing"}));
    Scene scene(s);
    scene.shot.make = "Acme";
    scene.shot.model = "Z";
    EXPECT_FALSE(scene.Detect());
    EXPECT_EQ(scene.sel.candidates, nullptr);
    EXPECT_FALSE(scene.sel.profileCorrection);
    EXPECT_EQ(DetectionText(scene.Context(), scene.sel), "Camera has not been calibrated\r\n");

    scene.shot.make = "bare";
    scene.shot.model = "b1";
    EXPECT_FALSE(scene.Detect());
    EXPECT_EQ(scene.Camera(), "B1");
    EXPECT_FALSE(scene.sel.profileCorrection);
    EXPECT_EQ(DetectionText(scene.Context(), scene.sel), "Lens has not been calibrated\r\n");
}

// A zoom calibrated at 18, 24 and 35 mm, declared from 17 mm.
DatabaseSource Zoom() {
    DatabaseSource s;
    s.cameras = {Camera("Velo", "V1", "VELO", "V1", 1.5f, {"vmount"})};
    s.lenses = {Lens("vmount", "Zoom 17-35", 17, 35,
                     {{18, 0.010f, -0.040f, 0.020f},
                      {24, 0.004f, -0.012f, 0.002f},
                      {35, -0.002f, 0.010f, -0.003f}},
                     1.5f)};
    return s;
}

TEST(Coefficients, InterpolatedBetweenCalibratedFocalLengths) {
    Scene scene(Zoom());
    scene.shot.make = "VELO";
    scene.shot.model = "V1";
    SetFocal(scene.shot, 30);
    ASSERT_TRUE(scene.Detect());
    ASSERT_TRUE(ComputeCoefficients(scene.Context(), scene.sel).ok());
    ASSERT_TRUE(scene.sel.coefficientsValid);
    // 30 mm lies 6/11 of the way from the 24 mm point to the 35 mm point.
    const double t = 6.0 / 11.0;
    const engine::LensModel& m = scene.sel.lensModel;
    EXPECT_NEAR(m.a, 0.004 + t * (-0.002 - 0.004), 1e-6);
    EXPECT_NEAR(m.b, -0.012 + t * (0.010 + 0.012), 1e-6);
    EXPECT_NEAR(m.c, 0.002 + t * (-0.003 - 0.002), 1e-6);
    // Without Resize the middle of the long edges keeps its place.
    EXPECT_NEAR(m.a + m.b + m.c + m.d, 1.0, 1e-6);

    // Within 0.1 mm below the first point, the first point is used as it is.
    SetFocal(scene.shot, 17.95);
    ASSERT_TRUE(scene.Detect());
    ASSERT_TRUE(ComputeCoefficients(scene.Context(), scene.sel).ok());
    EXPECT_FLOAT_EQ(scene.sel.lensModel.a, 0.010f);
    EXPECT_FLOAT_EQ(scene.sel.lensModel.b, -0.040f);
    EXPECT_FLOAT_EQ(scene.sel.lensModel.c, 0.020f);
    EXPECT_EQ(DetectionText(scene.Context(), scene.sel), "");

    // Further out the focal length is not calibrated, though the lens fits.
    SetFocal(scene.shot, 17.85);
    ASSERT_TRUE(scene.Detect());
    EXPECT_FALSE(ComputeCoefficients(scene.Context(), scene.sel).ok());
    EXPECT_FALSE(scene.sel.coefficientsValid);
    EXPECT_EQ(DetectionText(scene.Context(), scene.sel), "Focal length not calibrated");

    // An entered focal length is clamped into the calibrated range.
    FocalLengthEntered(scene.Context(), scene.sel, "12.5");
    EXPECT_FLOAT_EQ(scene.sel.focalInUse, 18.0f);
    EXPECT_TRUE(ComputeCoefficients(scene.Context(), scene.sel).ok());
    FocalLengthEntered(scene.Context(), scene.sel, "100");
    EXPECT_FLOAT_EQ(scene.sel.focalInUse, 35.0f);
    EXPECT_EQ(scene.sel.focalDisplay.label, "focal length (18.000 - 35.000)");
    EXPECT_EQ(scene.sel.focalDisplay.edit, "35.000");
    EXPECT_FLOAT_EQ(scene.settings.flen, 35.0f);
}

TEST(Coefficients, InvertedModeNegatesAndRecomputesTheConstant) {
    Scene scene(Zoom());
    scene.shot.make = "VELO";
    scene.shot.model = "V1";
    SetFocal(scene.shot, 24);
    scene.settings.invertMode = true;
    ASSERT_TRUE(scene.Detect());
    ASSERT_TRUE(ComputeCoefficients(scene.Context(), scene.sel).ok());
    const engine::LensModel& m = scene.sel.lensModel;
    EXPECT_FLOAT_EQ(m.a, -0.004f);
    EXPECT_FLOAT_EQ(m.b, 0.012f);
    EXPECT_FLOAT_EQ(m.c, -0.002f);
    EXPECT_FLOAT_EQ(m.d, 1.0f - (-0.004f + 0.012f - 0.002f));
}

TEST(Coefficients, FocalLengthFromTheFlenSettingWhenTheShotHasNone) {
    Scene scene(Zoom());
    scene.shot.make = "VELO";
    scene.shot.model = "V1";
    scene.settings.flen = 28.0f;
    ASSERT_TRUE(scene.Detect());
    EXPECT_FLOAT_EQ(scene.sel.focalInUse, 28.0f);
    // A remembered focal length the lens cannot reach gives way to its shortest.
    scene.settings.flen = 50.0f;
    ASSERT_TRUE(scene.Detect());
    EXPECT_FLOAT_EQ(scene.sel.focalInUse, 17.0f);
}

TEST(LensEligibility, ConverterMultipliesTheFocalLength) {
    DatabaseSource s;
    s.cameras = {Camera("Velo", "V1", "VELO", "V1", 1.0f, {"vmount"})};
    s.lenses = {Lens("vmount", "Tele 200", 200, 200, {{200, 0, 0.001f, 0}}),
                Lens("vmount", "Tele 200 + 1.4x", 280, 280, {{280, 0, 0.002f, 0}})};
    s.lenses[1].converterFactor = 1.4f;
    Scene scene(s);
    scene.shot.make = "VELO";
    scene.shot.model = "V1";
    SetFocal(scene.shot, 200);
    // Both fit a 200 mm shot: the bare lens at 200 mm, the pair at 280 mm.
    EXPECT_FALSE(scene.Detect());
    EXPECT_EQ(scene.sel.lensMenuLines.lines,
              (std::vector<std::string>{"Select Lens", "Tele 200", "Tele 200 + 1.4x"}));
    EXPECT_EQ(DetectionText(scene.Context(), scene.sel), "Select lens");

    LensChanged(scene.Context(), scene.sel, 2);
    EXPECT_EQ(scene.Lens(), "Tele 200 + 1.4x");
    EXPECT_NEAR(scene.shot.focalLength, 280.0, 1e-4);
    EXPECT_NEAR(scene.sel.focalInUse, 280.0f, 1e-3);
    EXPECT_TRUE(ComputeCoefficients(scene.Context(), scene.sel).ok());
    // Back to the bare lens: the converter comes off again.
    LensChanged(scene.Context(), scene.sel, 1);
    EXPECT_NEAR(scene.shot.focalLength, 200.0, 1e-4);

    // A camera that writes the converter into the focal length already.
    scene.settings.converterDetected = 1;
    SetFocal(scene.shot, 200);
    EXPECT_TRUE(scene.Detect());
    EXPECT_EQ(scene.Lens(), "Tele 200");
    EXPECT_EQ(scene.sel.lensMenuLines.lines.size(), 2u);
}

TEST(LensEligibility, CropFactorOfTheCalibrationCamera) {
    DatabaseSource s;
    s.cameras = {Camera("Velo", "Full", "VELO", "F", 1.0f, {"vmount"}),
                 Camera("Velo", "Small", "VELO", "S", 2.0f, {"vmount"})};
    s.lenses = {Lens("vmount", "Wide 20", 20, 20, {{20, 0.01f, -0.03f, 0.02f}}, 1.6f)};
    Scene scene(s);
    scene.shot.make = "VELO";
    scene.shot.model = "F";
    SetFocal(scene.shot, 20);
    EXPECT_FALSE(scene.Detect());
    EXPECT_FALSE(scene.sel.HasLensChoices());

    scene.shot.model = "S";
    ASSERT_TRUE(scene.Detect());
    ASSERT_TRUE(ComputeCoefficients(scene.Context(), scene.sel).ok());
    // The calibration seen through the smaller sensor's normalisation.
    const double k = 1.6 / 2.0;
    const double a = 0.01, b = -0.03, c = 0.02;
    const double scale = 1.0 / (1.0 - (a + b + c) + a * k * k * k + b * k * k + c * k);
    EXPECT_NEAR(scene.sel.lensModel.a, a * scale * k * k * k, 1e-7);
    EXPECT_NEAR(scene.sel.lensModel.b, b * scale * k * k, 1e-7);
    EXPECT_NEAR(scene.sel.lensModel.c, c * scale * k, 1e-7);
}

TEST(LensEligibility, MetadataRangeAndApertures) {
    DatabaseSource s;
    s.cameras = {Camera("Velo", "V1", "VELO", "V1", 1.5f, {"vmount"})};
    s.lenses = {Lens("vmount", "Kit 18-55", 18, 55, {{18, 0, 0.01f, 0}, {55, 0, 0, 0}}, 1.5f),
                Lens("vmount", "Fast 18-55", 18, 55, {{18, 0, 0.02f, 0}, {55, 0, 0, 0}}, 1.5f),
                Lens("vmount", "Tele 55-200", 55, 200, {{55, 0, 0.03f, 0}}, 1.5f)};
    s.lenses[0].minFlenMaxAper = 3.5f;
    s.lenses[0].maxFlenMaxAper = 5.6f;
    s.lenses[1].minFlenMaxAper = 2.8f;
    s.lenses[1].maxFlenMaxAper = 2.8f;
    Scene scene(s);
    scene.shot.make = "VELO";
    scene.shot.model = "V1";
    SetFocal(scene.shot, 35);
    SetRange(scene.shot, 18, 55, 3.5, 5.6);
    ASSERT_TRUE(scene.Detect());
    EXPECT_EQ(scene.Lens(), "Kit 18-55");

    // Without apertures both zooms fit; an f-number brighter than the kit
    // lens can open leaves the fast one.
    SetRange(scene.shot, 18, 55, 0, 0);
    scene.shot.fNumber = 2.8;
    ASSERT_TRUE(scene.Detect());
    EXPECT_EQ(scene.Lens(), "Fast 18-55");
}

TEST(LensMenu, FixedLensCameraNeverOffersSelectLens) {
    DatabaseSource s;
    s.cameras = {Camera("Pocket", "P1", "POCKET", "P1", 5.6f, {"pocketP1"})};
    s.lenses = {Lens("pocketP1", "Standard", 5, 15, {{5, 0.01f, 0, 0}, {15, 0, 0, 0}}, 5.6f)};
    s.lenses[0].minFlenMaxAper = 2.8f;
    s.lenses[0].maxFlenMaxAper = 4.5f;
    Scene scene(s);
    scene.shot.make = "pocket";
    scene.shot.model = "p1";
    SetFocal(scene.shot, 10);
    // Apertures that would rule out an interchangeable lens do not matter.
    SetRange(scene.shot, 5, 15, 1.4, 1.4);
    ASSERT_TRUE(scene.Detect());
    EXPECT_TRUE(scene.sel.CameraHasStandardLens());
    EXPECT_EQ(scene.Lens(), "Standard");
    EXPECT_EQ(scene.sel.lensMenuLines.lines, std::vector<std::string>{"Standard"});
    EXPECT_EQ(scene.sel.lensMenuLines.selected, 0);
    const metadata::InfoTextContext info = InfoContextOf(scene.sel);
    EXPECT_TRUE(info.cameraHasStandardLens);
    EXPECT_TRUE(info.cameraAndLensSelected);
}

TEST(LensMenu, RepeatedLensIsOfferedOnceAsItsFirstFittingCalibration) {
    DatabaseSource s;
    s.cameras = {Camera("Velo", "V1", "VELO", "V1", 1.5f, {"vmount", "adapter", "vmount"})};
    s.lenses = {Lens("adapter", "Old 50", 50, 50, {{50, 0, 0.01f, 0}}, 1.0f),
                Lens("vmount", "Prime 35", 35, 35, {{35, 0, 0.03f, 0}}, 2.0f),
                Lens("vmount", "Prime 35", 35, 35, {{35, 0, 0.02f, 0}}, 1.5f),
                Lens("vmount", "Prime 35", 35, 35, {{35, 0, 0.01f, 0}}, 1.0f)};
    Scene scene(s);
    scene.shot.make = "VELO";
    scene.shot.model = "V1";
    EXPECT_FALSE(scene.Detect());
    // The group named twice by the camera does not list its lenses twice.
    EXPECT_EQ(scene.sel.lensMenuLines.lines,
              (std::vector<std::string>{"Select Lens", "Prime 35", "Old 50"}));
    LensChanged(scene.Context(), scene.sel, 1);
    // The 1.5 calibration: the 2.0 one does not fit, the 1.0 one is passed over.
    ASSERT_TRUE(scene.sel.IsRealLensSelected());
    EXPECT_FLOAT_EQ(scene.sel.selectedLens->calibrationCrop, 1.5f);
}

DatabaseSource TwoPrimes() {
    DatabaseSource s;
    s.cameras = {Camera("Velo", "V1", "VELO", "V1", 1.5f, {"vmount"}),
                 Camera("Velo", "V2", "VELO", "V2", 1.5f, {"vmount"})};
    s.lenses = {Lens("vmount", "Prime A", 50, 50, {{50, 0, 0.01f, 0}}, 1.5f),
                Lens("vmount", "Prime B", 50, 50, {{50, 0, 0.02f, 0}}, 1.5f)};
    return s;
}

TEST(LensChoice, HistoryBreaksTiesBetweenFittingLenses) {
    Scene scene(TwoPrimes());
    scene.shot.make = "VELO";
    scene.shot.model = "V1";
    SetFocal(scene.shot, 50);
    scene.shot.lensId = 7;
    const std::int32_t sig = LensSignature(scene.shot);
    EXPECT_FALSE(scene.Detect());
    EXPECT_EQ(scene.Lens(), "Select Lens");

    // Entries of another camera, another range or another lens signature are
    // passed over; the first that fits decides.
    scene.history = {Entry("Velo", "V2", "Prime A", "vmount", 50, 50, sig),
                     Entry("Velo", "V1", "Prime A", "vmount", 18, 35, sig),
                     Entry("Velo", "V1", "Prime A", "vmount", 50, 50, sig + 1),
                     Entry("Velo", "V1", "Prime B", "vmount", 50, 50, sig),
                     Entry("Velo", "V1", "Prime A", "vmount", 50, 50, sig)};
    ASSERT_TRUE(scene.Detect());
    EXPECT_EQ(scene.Lens(), "Prime B");

    // Apertures that disagree by 0.1 or more rule an entry out.
    scene.history[3].minFlenMaxAper = 1.4f;
    scene.history[3].maxFlenMaxAper = 1.4f;
    SetRange(scene.shot, 0, 0, 1.8, 1.8);
    scene.shot.lensId = sig - LensSignature(scene.shot) + 7;  // keep the signature
    ASSERT_EQ(LensSignature(scene.shot), sig);
    ASSERT_TRUE(scene.Detect());
    EXPECT_EQ(scene.Lens(), "Prime A");

    // An entry naming a lens that is not offered ends the search undecided.
    scene.history = {Entry("Velo", "V1", "Gone", "vmount", 50, 50, sig),
                     Entry("Velo", "V1", "Prime B", "vmount", 50, 50, sig)};
    EXPECT_FALSE(scene.Detect());
    EXPECT_EQ(scene.Lens(), "Select Lens");
}

TEST(LensChoice, WithoutFocalLengthTheLatestEntryNamesTheLens) {
    Scene scene(TwoPrimes());
    scene.shot.make = "VELO";
    scene.shot.model = "V1";
    scene.history = {Entry("Other", "X", "Prime B", "vmount", 0, 0, -1),
                     Entry("Velo", "V1", "Prime A", "vmount", 50, 50, 0)};
    ASSERT_TRUE(scene.Detect());
    EXPECT_EQ(scene.Lens(), "Prime B");
    EXPECT_FLOAT_EQ(scene.sel.focalInUse, 50.0f);
}

TEST(MenuHandlers, MakeAndModelChangesRebuildTheChoice) {
    DatabaseSource s = TwoPrimes();
    s.cameras.push_back(Camera("Orno", "O5", "ORNO", "O5", 1.5f, {"vmount"}));
    Scene scene(s);
    scene.shot.make = "";
    SetFocal(scene.shot, 50);
    EXPECT_FALSE(scene.Detect());
    ASSERT_EQ(scene.sel.makeMenu.lines, (std::vector<std::string>{"Velo", "Orno"}));
    scene.sel.profileCorrection = false;

    MakeChanged(scene.Context(), scene.sel, 1);
    EXPECT_EQ(scene.Camera(), "O5");
    EXPECT_TRUE(scene.sel.profileCorrection);
    EXPECT_EQ(scene.sel.modelMenu.lines, std::vector<std::string>{"O5"});

    MakeChanged(scene.Context(), scene.sel, 0);
    ASSERT_EQ(scene.sel.modelMenu.lines, (std::vector<std::string>{"V1", "V2"}));
    ModelChanged(scene.Context(), scene.sel, 1);
    EXPECT_EQ(scene.Camera(), "V2");
    EXPECT_EQ(scene.sel.lensMenuLines.lines,
              (std::vector<std::string>{"Select Lens", "Prime A", "Prime B"}));
    ModelChanged(scene.Context(), scene.sel, 5);  // no such line
    EXPECT_EQ(scene.Camera(), "V2");
}

TEST(QuietMode, DetectWithoutWindowLeavesMenusAndFlenAlone) {
    Scene scene(Zoom());
    scene.window = false;
    scene.shot.make = "VELO";
    scene.shot.model = "V1";
    SetFocal(scene.shot, 24);
    scene.settings.flen = 99.0f;
    ASSERT_TRUE(scene.Detect());
    EXPECT_TRUE(scene.sel.makeMenu.lines.empty());
    EXPECT_TRUE(scene.sel.lensMenuLines.lines.empty());
    EXPECT_FALSE(scene.sel.focalDisplay.shown);
    EXPECT_FLOAT_EQ(scene.settings.flen, 99.0f);
    ASSERT_TRUE(ComputeCoefficients(scene.Context(), scene.sel).ok());
    EXPECT_FLOAT_EQ(scene.sel.lensModel.b, -0.012f);
}

TEST(QuietMode, CorrectsOnlyWithCoefficientsOrWithoutTheLensProfile) {
    Scene scene(Zoom());
    scene.window = false;
    scene.shot.make = "VELO";
    scene.shot.model = "V1";
    SetFocal(scene.shot, 30);
    EXPECT_TRUE(DetectForQuietCorrection(scene.Context(), scene.sel));
    EXPECT_TRUE(scene.sel.coefficientsValid);
    // Detected, but outside the calibrated range.
    SetFocal(scene.shot, 17.85);
    EXPECT_FALSE(DetectForQuietCorrection(scene.Context(), scene.sel));
    // An unknown camera still gets the fisheye conversion.
    scene.shot.model = "V9";
    EXPECT_FALSE(DetectForQuietCorrection(scene.Context(), scene.sel));
    scene.correction.CorChoice = 1;
    EXPECT_TRUE(DetectForQuietCorrection(scene.Context(), scene.sel));
}

}  // namespace
}  // namespace quillon::lensdb
