#include "metadata/exif_reader.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "metadata/lens_name.h"
#include "metadata/parse_metadata.h"
#include "tests/metadata/tiff_builder.h"

namespace quillon::metadata {
namespace {

using testing::Entry;
using testing::TiffBuilder;

constexpr std::uint16_t kMake = 0x010F;
constexpr std::uint16_t kModel = 0x0110;
constexpr std::uint16_t kOrientation = 0x0112;
constexpr std::uint16_t kExposureTime = 0x829A;
constexpr std::uint16_t kFNumber = 0x829D;
constexpr std::uint16_t kExifIfd = 0x8769;
constexpr std::uint16_t kIso = 0x8827;
constexpr std::uint16_t kDateTimeOriginal = 0x9003;
constexpr std::uint16_t kShutterSpeedValue = 0x9201;
constexpr std::uint16_t kFocalLength = 0x920A;
constexpr std::uint16_t kInteropIfd = 0xA005;
constexpr std::uint16_t kLensSpecification = 0xA432;
constexpr std::uint16_t kLensMake = 0xA433;
constexpr std::uint16_t kLensModel = 0xA434;

// IFD0 with make and model and an EXIF directory holding `exif`.
std::vector<std::uint8_t> CameraBlock(const std::vector<Entry>& exif, bool bigEndian = false,
                                      std::string_view mark = {}) {
    TiffBuilder b(bigEndian, mark);
    const std::uint32_t exifIfd = b.AddDirectory(exif);
    b.SetFirstDirectory(
        b.AddDirectory({Entry::Ascii(kMake, "Canon"), Entry::Ascii(kModel, "Canon EOS 1000D"),
                        Entry::Longs(kExifIfd, {exifIfd})}));
    return b.ExifBlock();
}

ShotInfo Parse(const std::vector<std::uint8_t>& block) {
    ShotInfo shot;
    ParseExifBlock(block, shot);
    return shot;
}

const Entry kZoomSpec =
    Entry::Rationals(kLensSpecification, {{18, 1}, {55, 1}, {35, 10}, {56, 10}});

TEST(ExifReaderTest, ReadsStandardTagsInBothByteOrders) {
    for (bool big : {false, true}) {
        const ShotInfo shot = Parse(CameraBlock(
            {Entry::Rational(kExposureTime, 1, 250), Entry::Rational(kFNumber, 80, 10),
             Entry::Shorts(kIso, {200}), Entry::Ascii(kDateTimeOriginal, "2008:07:01 17:27:03"),
             Entry::Rational(kFocalLength, 34, 1), kZoomSpec},
            big));
        SCOPED_TRACE(big ? "big-endian" : "little-endian");
        EXPECT_EQ(shot.bigEndian, big);
        EXPECT_EQ(shot.make, "Canon");
        EXPECT_EQ(shot.model, "Canon EOS 1000D");
        EXPECT_DOUBLE_EQ(shot.exposureTime, 1.0 / 250);
        EXPECT_DOUBLE_EQ(shot.fNumber, 8.0);
        EXPECT_EQ(shot.iso, 200);
        EXPECT_EQ(shot.dateTimeOriginal, "2008:07:01 17:27:03");
        EXPECT_DOUBLE_EQ(shot.focalLength, 34.0);
        EXPECT_DOUBLE_EQ(shot.minFlen, 18.0);
        EXPECT_DOUBLE_EQ(shot.maxFlen, 55.0);
        EXPECT_DOUBLE_EQ(shot.minFlenMaxAper, 3.5);
        EXPECT_DOUBLE_EQ(shot.maxFlenMaxAper, 5.6);
    }
}

TEST(ExifReaderTest, UnknownByteOrderMarkIsReadLittleEndian) {
    const ShotInfo shot = Parse(CameraBlock({Entry::Rational(kFNumber, 28, 10)}, false, "XX"));
    EXPECT_FALSE(shot.bigEndian);
    EXPECT_EQ(shot.make, "Canon");
    EXPECT_DOUBLE_EQ(shot.fNumber, 2.8);
}

TEST(ExifReaderTest, WrongMagicNumberEndsTheParse) {
    std::vector<std::uint8_t> block = CameraBlock({Entry::Rational(kFNumber, 28, 10)});
    block[8] = 43;
    EXPECT_EQ(Parse(block).make, "");
}

TEST(ExifReaderTest, BareTiffStructureHasNoPrefix) {
    TiffBuilder b;
    b.SetFirstDirectory(
        b.AddDirectory({Entry::Ascii(kMake, "Nikon"), Entry::Shorts(kOrientation, {6})}));
    ShotInfo shot;
    ParseExifBlock(b.Tiff(), shot, ExifBlockForm::kTiffStructure);
    EXPECT_EQ(shot.make, "Nikon");
    EXPECT_EQ(shot.orientation, 6);
    // The location is an offset into the block as handed over.
    ASSERT_GE(shot.orientationLocation, 0);
    EXPECT_EQ(b.Tiff()[static_cast<std::size_t>(shot.orientationLocation)], 6);
}

TEST(ExifReaderTest, OrientationLocationPointsAtTheValueInThePrefixedBlock) {
    TiffBuilder b(true);
    b.SetFirstDirectory(b.AddDirectory({Entry::Shorts(kOrientation, {8})}));
    const auto block = b.ExifBlock();
    const ShotInfo shot = Parse(block);
    EXPECT_EQ(shot.orientation, 8);
    ASSERT_GE(shot.orientationLocation, 0);
    const auto at = static_cast<std::size_t>(shot.orientationLocation);
    EXPECT_EQ(block[at], 0);
    EXPECT_EQ(block[at + 1], 8);
}

TEST(ExifReaderTest, OrientationOfAnotherTypeIsIgnored) {
    TiffBuilder b;
    b.SetFirstDirectory(b.AddDirectory({Entry::Longs(kOrientation, {6})}));
    const ShotInfo shot = Parse(b.ExifBlock());
    EXPECT_EQ(shot.orientation, 0);
    EXPECT_EQ(shot.orientationLocation, kNoLocation);
}

TEST(ExifReaderTest, FocalLengthOfOneIsAbsentAndThenClearsTheLensRange) {
    // 1/1 is what cameras without a focal length write; a range from
    // LensSpecification that does not hold the (unknown) focal length is
    // dropped when the record is completed.
    ShotInfo shot = Parse(CameraBlock({Entry::Rational(kFocalLength, 1, 1), kZoomSpec}));
    EXPECT_EQ(shot.focalLength, 0.0);
    EXPECT_DOUBLE_EQ(shot.minFlen, 18.0);
    CompleteShotInfo(shot, DetectSwitches{});
    EXPECT_EQ(shot.minFlen, 0.0);
    EXPECT_EQ(shot.maxFlen, 0.0);
    EXPECT_EQ(shot.minFlenMaxAper, 0.0);
    EXPECT_EQ(shot.maxFlenMaxAper, 0.0);

    // 2/2 is the same number written otherwise; 10/10 likewise; 11/10 is real.
    EXPECT_EQ(Parse(CameraBlock({Entry::Rational(kFocalLength, 2, 2)})).focalLength, 0.0);
    EXPECT_DOUBLE_EQ(Parse(CameraBlock({Entry::Rational(kFocalLength, 11, 10)})).focalLength, 1.1);
}

TEST(ExifReaderTest, AllZeroDateIsEmptyButLongerTextIsKept) {
    EXPECT_EQ(Parse(CameraBlock({Entry::Ascii(kDateTimeOriginal, "0000:00:00 00:00:00")}))
                  .dateTimeOriginal,
              "");
    EXPECT_EQ(Parse(CameraBlock({Entry::Ascii(kDateTimeOriginal, "0000:00:00 00:00:00x")}))
                  .dateTimeOriginal,
              "0000:00:00 00:00:00x");
}

TEST(ExifReaderTest, ShutterSpeedValueOnlyStandsInForAMissingExposureTime) {
    EXPECT_DOUBLE_EQ(Parse(CameraBlock({Entry::Rational(kShutterSpeedValue, 6, 1)})).exposureTime,
                     1.0 / 64);
    // Signed APEX values below zero are exposures longer than a second.
    EXPECT_DOUBLE_EQ(
        Parse(CameraBlock({Entry::Rationals(kShutterSpeedValue, {{-1, 1}}, 10)})).exposureTime,
        2.0);
    EXPECT_DOUBLE_EQ(Parse(CameraBlock({Entry::Rational(kExposureTime, 1, 250),
                                        Entry::Rational(kShutterSpeedValue, 6, 1)}))
                         .exposureTime,
                     1.0 / 250);
}

TEST(ExifReaderTest, ValuesAreConvertedByTheirType) {
    // ISO as a 32-bit value, f-number as a signed rational, focal length with
    // a zero denominator (absent).
    const ShotInfo shot =
        Parse(CameraBlock({Entry::Longs(kIso, {3200}), Entry::Rationals(kFNumber, {{-28, -10}}, 10),
                           Entry::Rational(kFocalLength, 50, 0)}));
    EXPECT_EQ(shot.iso, 3200);
    EXPECT_DOUBLE_EQ(shot.fNumber, 2.8);
    EXPECT_EQ(shot.focalLength, 0.0);

    TiffBuilder b;
    b.SetFirstDirectory(
        b.AddDirectory({Entry{kIso, 8, 1, {-5}, {}, {}}, Entry{kFNumber, 6, 1, {-2}, {}, {}},
                        Entry{kExposureTime, 1, 1, {200}, {}, {}}}));
    const ShotInfo typed = Parse(b.ExifBlock());
    EXPECT_EQ(typed.iso, -5);
    EXPECT_EQ(typed.fNumber, -2.0);
    EXPECT_EQ(typed.exposureTime, 200.0);
}

TEST(ExifReaderTest, TextsAreCutToTheirFieldAndToTheirValue) {
    const std::string longMake(150, 'M');
    TiffBuilder b;
    b.SetFirstDirectory(b.AddDirectory({Entry::Ascii(kMake, longMake),
                                        // Count 4 without terminator, followed by other bytes.
                                        Entry::Bytes(kModel, 2, {'E', '9', '5', '0'})}));
    const ShotInfo shot = Parse(b.ExifBlock());
    EXPECT_EQ(shot.make, std::string(99, 'M'));
    EXPECT_EQ(shot.model, "E950");
}

TEST(ExifReaderTest, LensNamesAreCutToTheirFieldAndTrimmedWhenCompleted) {
    ShotInfo shot = Parse(CameraBlock({Entry::Ascii(kLensMake, "Canon"),
                                       Entry::Ascii(kLensModel, "EF-S18-55mm f/3.5-5.6 IS   ")}));
    EXPECT_EQ(shot.lensNames.exifLensMake, "Canon");
    // Cameras pad the name with blanks to the field's size; words would not
    // mind, but the name is shown to the user.
    CompleteShotInfo(shot, DetectSwitches{});
    EXPECT_EQ(shot.lensNames.exifLensModel, "EF-S18-55mm f/3.5-5.6 IS");

    // A name longer than the field is cut, one without terminator ends with
    // its value, and one whose offset lies outside the block is not read.
    const ShotInfo cut = Parse(CameraBlock({Entry::Ascii(kLensModel, std::string(150, 'L')),
                                            Entry::Bytes(kLensMake, 2, {'S', 'O', 'N', 'Y'})}));
    EXPECT_EQ(cut.lensNames.exifLensModel, std::string(99, 'L'));
    EXPECT_EQ(cut.lensNames.exifLensMake, "SONY");
    const ShotInfo outside = Parse(CameraBlock({Entry::At(kLensModel, 2, 30, 0xFFFFFFF0)}));
    EXPECT_EQ(outside.lensNames.exifLensModel, "");
}

TEST(ExifReaderTest, DetectLensOffForgetsTheLensNames) {
    // With the option off the user chooses the lens; a name left behind would
    // still choose it.
    ShotInfo shot = Parse(CameraBlock({Entry::Ascii(kLensModel, "EF-S18-55mm f/3.5-5.6 IS")}));
    shot.lensNames.xmpLens = "EF-S18-55mm f/3.5-5.6 IS";
    DetectSwitches detect;
    detect.detectLens = false;
    CompleteShotInfo(shot, detect);
    EXPECT_EQ(PhotoLensNameOf(shot.lensNames).source, LensNameSource::kNone);
}

TEST(ExifReaderTest, SubDirectoriesDeeperThanFourLevelsAreIgnored) {
    // A chain IFD0 -> ... -> depth 5; each level holds one value.
    TiffBuilder b;
    const std::uint32_t d5 = b.AddDirectory({Entry::Shorts(kIso, {800})});
    const std::uint32_t d4 =
        b.AddDirectory({Entry::Rational(kFNumber, 4, 1), Entry::Longs(kExifIfd, {d5})});
    const std::uint32_t d3 = b.AddDirectory({Entry::Longs(kInteropIfd, {d4})});
    const std::uint32_t d2 = b.AddDirectory({Entry::Longs(kExifIfd, {d3})});
    const std::uint32_t d1 = b.AddDirectory({Entry::Longs(kExifIfd, {d2})});
    b.SetFirstDirectory(b.AddDirectory({Entry::Longs(kExifIfd, {d1})}));
    const ShotInfo shot = Parse(b.ExifBlock());
    EXPECT_DOUBLE_EQ(shot.fNumber, 4.0);
    EXPECT_EQ(shot.iso, 0);
}

TEST(ExifReaderTest, ExifDirectoryPointingAtItselfStops) {
    TiffBuilder b;
    const std::uint32_t self = b.Here();
    b.AddDirectory({Entry::Ascii(kMake, "Loop"), Entry::Longs(kExifIfd, {self})});
    b.SetFirstDirectory(self);
    EXPECT_EQ(Parse(b.ExifBlock()).make, "Loop");
}

TEST(ExifReaderTest, OffsetsOutsideTheStructureAreSkipped) {
    TiffBuilder b;
    b.SetFirstDirectory(b.AddDirectory({
        Entry::At(kFocalLength, 5, 1, 0x7FFFFFF0),  // rational far past the end
        Entry::At(kExifIfd, 4, 1, 0xFFFFFFF0),      // sub-directory past the end
        Entry::At(kMake, 2, 40, 0xFFFFFFFF),        // text whose offset would wrap
        Entry::Ascii(kModel, "still read"),
    }));
    const ShotInfo shot = Parse(b.ExifBlock());
    EXPECT_EQ(shot.focalLength, 0.0);
    EXPECT_EQ(shot.make, "");
    EXPECT_EQ(shot.model, "still read");
}

TEST(ExifReaderTest, DirectoryThatDoesNotFitIsSkipped) {
    TiffBuilder b;
    const std::uint32_t first = b.AddDirectory({Entry::Ascii(kMake, "Canon")});
    b.SetFirstDirectory(first);
    std::vector<std::uint8_t> block = b.ExifBlock();
    // Claim 200 entries: the directory would run past the end.
    block[6 + first] = 200;
    EXPECT_EQ(Parse(block).make, "");
}

// Every prefix of a valid block is parsed from a buffer of exactly that size,
// so a read past the end is caught by the address sanitizer: directory counts
// at the very end, entries cut in half, texts without terminator, value
// offsets past the end.
TEST(ExifReaderTest, TruncatedBlocksNeverReadOutside) {
    TiffBuilder b;
    const std::uint32_t exif =
        b.AddDirectory({Entry::Rational(kExposureTime, 1, 60),
                        Entry::Ascii(kDateTimeOriginal, "2001:01:01 00:00:00"), kZoomSpec,
                        Entry::Rational(kFocalLength, 35, 1),
                        Entry::Ascii(kLensModel, "EF-S18-55mm f/3.5-5.6 IS")});
    b.SetFirstDirectory(
        b.AddDirectory({Entry::Ascii(kMake, "Canon"), Entry::Longs(kExifIfd, {exif}),
                        Entry::Shorts(kOrientation, {1})}));
    const std::vector<std::uint8_t> full = b.ExifBlock();
    for (std::size_t size = 0; size <= full.size(); ++size) {
        std::vector<std::uint8_t> prefix(full.begin(),
                                         full.begin() + static_cast<std::ptrdiff_t>(size));
        ShotInfo shot;
        ParseExifBlock(prefix, shot);
        if (size == full.size()) {
            EXPECT_DOUBLE_EQ(shot.focalLength, 35.0);
            EXPECT_EQ(shot.lensNames.exifLensModel, "EF-S18-55mm f/3.5-5.6 IS");
        }
    }
}

}  // namespace
}  // namespace quillon::metadata
