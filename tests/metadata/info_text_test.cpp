#include "metadata/info_text.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "metadata/lens_name.h"
#include "metadata/parse_metadata.h"
#include "tests/support/english_texts.h"

namespace quillon::metadata {
namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2) {
        lines.push_back(text.substr(start, at - start));
    }
    EXPECT_EQ(start, text.size()) << "text must end with a line end";
    return lines;
}

std::vector<std::string> Info(const ShotInfo& shot, InfoTextContext context = {}) {
    return Lines(BuildInfoText(shot, context, quillon::testing::EnglishTexts()));
}

ShotInfo ZoomShot() {
    ShotInfo shot;
    shot.make = "Canon";
    shot.model = "Canon EOS 1000D";
    shot.minFlen = 18;
    shot.maxFlen = 55;
    shot.minFlenMaxAper = 3.5;
    shot.maxFlenMaxAper = 5.6;
    shot.focalLength = 35;
    shot.exposureTime = 1.0 / 250;
    shot.fNumber = 8;
    shot.iso = 200;
    shot.dateTimeOriginal = "2008:07:01 17:27:03";
    return shot;
}

TEST(FormatInfoNumberTest, RoundsToTenthsAndDropsWholeFractions) {
    EXPECT_EQ(FormatInfoNumber(50), "50");
    EXPECT_EQ(FormatInfoNumber(3.5), "3.5");
    EXPECT_EQ(FormatInfoNumber(5.6), "5.6");
    // The rounding adds 0.051 before cutting: 3.99 is "4", 1.94 stays "1.9".
    EXPECT_EQ(FormatInfoNumber(3.99), "4");
    EXPECT_EQ(FormatInfoNumber(1.94), "1.9");
    EXPECT_EQ(FormatInfoNumber(1.95), "2");
    EXPECT_EQ(FormatInfoNumber(0.04), "0");
    EXPECT_EQ(FormatInfoNumber(250.00000001), "250");
}

TEST(InfoTextTest, ZoomShotHasAllSixLines) {
    const auto lines = Info(ZoomShot());
    const std::vector<std::string> expected = {"Canon",
                                               "Canon EOS 1000D",
                                               "18-55mm f/3.5-5.6 at 35mm",
                                               "1/250 s at f/8, ISO 200",
                                               "2008:07:01 17:27:03",
                                               ""};
    EXPECT_EQ(lines, expected);
}

TEST(InfoTextTest, LensLineVariants) {
    ShotInfo prime = ZoomShot();
    prime.minFlen = prime.maxFlen = prime.focalLength = 50;
    prime.minFlenMaxAper = prime.maxFlenMaxAper = 1.8;
    EXPECT_EQ(Info(prime)[2], "50mm f/1.8");

    ShotInfo constant = ZoomShot();
    constant.minFlen = 70;
    constant.maxFlen = 200;
    constant.minFlenMaxAper = constant.maxFlenMaxAper = 2.8;
    constant.focalLength = 135;
    EXPECT_EQ(Info(constant)[2], "70-200mm f/2.8 at 135mm");

    ShotInfo noApertures = ZoomShot();
    noApertures.minFlenMaxAper = 0;
    EXPECT_EQ(Info(noApertures)[2], "18-55mm at 35mm");

    ShotInfo noFocal = ZoomShot();
    noFocal.focalLength = 0;
    EXPECT_EQ(Info(noFocal)[2], "18-55mm f/3.5-5.6");

    // A compact's built-in lens: only the focal length.
    EXPECT_EQ(Info(ZoomShot(), {.cameraHasStandardLens = true})[2], "35mm");

    ShotInfo noRange = ZoomShot();
    noRange.maxFlen = 0;
    EXPECT_EQ(Info(noRange)[2], "35mm");
    noRange.focalLength = 0;
    EXPECT_EQ(Info(noRange)[2], "");
}

TEST(InfoTextTest, ExposureLine) {
    ShotInfo shot = ZoomShot();
    shot.exposureTime = 1.0 / 64;
    shot.fNumber = 2.8;
    shot.iso = 0;
    EXPECT_EQ(Info(shot)[3], "1/64 s at f/2.8");
    shot.exposureTime = 2.5;
    EXPECT_EQ(Info(shot)[3], "2.5 s at f/2.8");
}

TEST(InfoTextTest, MissingExposureMovesTheDateUpAndPadsToSixLines) {
    ShotInfo shot = ZoomShot();
    shot.fNumber = 0;
    const auto lines = Info(shot);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[3], "2008:07:01 17:27:03");
    EXPECT_EQ(lines[4], "");
}

TEST(InfoTextTest, CameraLinesNeedBothMakeAndModel) {
    ShotInfo shot = ZoomShot();
    shot.model.clear();
    const auto lines = Info(shot);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "18-55mm f/3.5-5.6 at 35mm");
}

TEST(InfoTextTest, NoExifHintOnlyWhenSelectionLacksMetadata) {
    ShotInfo shot = ZoomShot();
    EXPECT_EQ(Info(shot, {.cameraAndLensSelected = true}).size(), 6u);
    shot.focalLength = 0;
    auto lines = Info(shot, {.cameraAndLensSelected = true});
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[6], "No EXIF info. Choose profile.");
    EXPECT_EQ(Info(shot).size(), 6u);
    ShotInfo empty;
    lines = Info(empty, {.cameraAndLensSelected = true});
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[6], "No EXIF info. Choose profile.");
}

TEST(InfoTextTest, Latin1MakeBecomesUtf8) {
    ShotInfo shot = ZoomShot();
    shot.make = "Zei\xDF";       // Latin-1 sharp s
    shot.model = "Caf\xC3\xA9";  // already UTF-8
    const auto lines = Info(shot);
    EXPECT_EQ(lines[0], "Zei\xC3\x9F");
    EXPECT_EQ(lines[1], "Caf\xC3\xA9");
}

TEST(CompleteShotInfoTest, TrailingBlanksRangeAndApertureChecks) {
    ShotInfo shot = ZoomShot();
    shot.make = "Canon   ";
    shot.model = "   ";
    CompleteShotInfo(shot, {});
    EXPECT_EQ(shot.make, "Canon");
    EXPECT_EQ(shot.model, "");
    EXPECT_DOUBLE_EQ(shot.originalFocalLength, 35);
    EXPECT_DOUBLE_EQ(shot.originalMinFlen, 18);
    EXPECT_DOUBLE_EQ(shot.originalMaxFlen, 55);

    // Focal length outside the range (with 0.1 of slack): the range belongs
    // to another lens.
    ShotInfo outside = ZoomShot();
    outside.focalLength = 55.1;
    CompleteShotInfo(outside, {});
    EXPECT_DOUBLE_EQ(outside.maxFlen, 55);
    outside = ZoomShot();
    outside.focalLength = 55.2;
    CompleteShotInfo(outside, {});
    EXPECT_EQ(outside.maxFlen, 0.0);
    EXPECT_EQ(outside.minFlenMaxAper, 0.0);
    EXPECT_EQ(outside.originalMaxFlen, 0.0);

    ShotInfo reversed = ZoomShot();
    reversed.minFlenMaxAper = 5.6;
    reversed.maxFlenMaxAper = 3.5;
    CompleteShotInfo(reversed, {});
    EXPECT_EQ(reversed.minFlenMaxAper, 0.0);
    EXPECT_EQ(reversed.maxFlenMaxAper, 0.0);
    EXPECT_DOUBLE_EQ(reversed.minFlen, 18);
}

TEST(CompleteShotInfoTest, DetectSwitchesClearWhatTheUserSetsByHand) {
    ShotInfo camera = ZoomShot();
    CompleteShotInfo(camera, {.detectCamera = false});
    EXPECT_EQ(camera.make, "");
    EXPECT_EQ(camera.model, "");
    EXPECT_DOUBLE_EQ(camera.focalLength, 35);

    ShotInfo lens = ZoomShot();
    CompleteShotInfo(lens, {.detectLens = false});
    EXPECT_EQ(lens.minFlen, 0.0);
    EXPECT_EQ(lens.originalMaxFlen, 0.0);
    EXPECT_EQ(lens.maxFlenMaxAper, 0.0);
    EXPECT_EQ(lens.fNumber, 0.0);
    EXPECT_EQ(lens.exposureTime, 0.0);
    EXPECT_EQ(lens.iso, 200);
    EXPECT_EQ(lens.make, "Canon");

    ShotInfo flen = ZoomShot();
    CompleteShotInfo(flen, {.detectFlen = false});
    EXPECT_EQ(flen.focalLength, 0.0);
    EXPECT_EQ(flen.originalFocalLength, 0.0);
    // The range was checked against the focal length before it was cleared.
    EXPECT_DOUBLE_EQ(flen.minFlen, 18);
}

TEST(ParseMetadataTest, TiffFieldsThenXmp) {
    TiffShotValues tiff;
    tiff.make = "Canon ";
    tiff.model = "Canon EOS 5D Mark III";
    tiff.dateTime = "2019:12:08 11:10:39";
    tiff.focalLength = 200;
    tiff.lensInfo[0] = 70;
    tiff.lensInfo[1] = 200;
    tiff.orientationFound = true;
    tiff.orientation = 6;
    const std::string xmp =
        R"(<rdf:Description tiff:Make="Nikon" aux:LensInfo="70/1 200/1 28/10 28/10"/></rdf:RDF></x:xmpmeta>)";
    MetadataBlocks blocks;
    blocks.tiff = &tiff;
    blocks.xmp = std::span(reinterpret_cast<const std::uint8_t*>(xmp.data()), xmp.size());
    const ShotInfo shot = ParseMetadata(blocks, {});
    EXPECT_EQ(shot.make, "Canon");
    EXPECT_EQ(shot.dateTimeOriginal, "2019:12:08 11:10:39");
    EXPECT_EQ(shot.orientation, 6);
    EXPECT_EQ(shot.orientationLocation, kNoLocation);
    EXPECT_DOUBLE_EQ(shot.maxFlen, 200);
    EXPECT_DOUBLE_EQ(shot.minFlenMaxAper, 2.8);
    EXPECT_DOUBLE_EQ(shot.originalFocalLength, 200);
}

// A TIFF's EXIF directory names the lens as a JPEG's EXIF block does, and the
// name is compared before the copies that software writes into XMP.
TEST(ParseMetadataTest, TiffLensNamesComeBeforeXmpOnes) {
    TiffShotValues tiff;
    tiff.focalLength = 24;
    tiff.lensMake = "Canon";
    tiff.lensModel = "EF24-105mm f/4L IS USM  ";
    const std::string xmp =
        R"(<rdf:Description exifEX:LensModel="24-105mm"/></rdf:RDF></x:xmpmeta>)";
    MetadataBlocks blocks;
    blocks.tiff = &tiff;
    blocks.xmp = std::span(reinterpret_cast<const std::uint8_t*>(xmp.data()), xmp.size());
    const ShotInfo shot = ParseMetadata(blocks, {});
    EXPECT_EQ(shot.lensNames.exifLensMake, "Canon");
    EXPECT_EQ(shot.lensNames.exifLensModel, "EF24-105mm f/4L IS USM");
    EXPECT_EQ(shot.lensNames.xmpLensModel, "24-105mm");
    const PhotoLensName name = PhotoLensNameOf(shot.lensNames);
    EXPECT_EQ(name.source, LensNameSource::kExifLensModel);
    EXPECT_EQ(name.text, "EF24-105mm f/4L IS USM");
    // Without the lens detection the names are not used either.
    EXPECT_TRUE(ParseMetadata(blocks, {.detectLens = false}).lensNames.exifLensModel.empty());
}

}  // namespace
}  // namespace quillon::metadata
