#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "metadata/exif_reader.h"
#include "metadata/lens_description.h"
#include "tests/metadata/tiff_builder.h"

namespace quillon::metadata {
namespace {

using namespace std::string_view_literals;
using testing::Entry;
using testing::TiffBuilder;

constexpr std::uint16_t kMake = 0x010F;
constexpr std::uint16_t kExifIfd = 0x8769;
constexpr std::uint16_t kMakerNote = 0x927C;
constexpr std::uint16_t kLensSpecification = 0xA432;
constexpr std::uint16_t kOffsetSchema = 0xEA1D;

// Finishes a block: IFD0 with the make, an EXIF directory whose MakerNote
// covers [note, end of structure).
std::vector<std::uint8_t> Finish(TiffBuilder& b, std::string_view make, std::uint32_t note,
                                 std::vector<Entry> extraExif = {}) {
    const std::uint32_t noteSize = b.Here() - note;
    extraExif.push_back(Entry::At(kMakerNote, 7, noteSize, note));
    const std::uint32_t exif = b.AddDirectory(extraExif);
    b.SetFirstDirectory(
        b.AddDirectory({Entry::Ascii(kMake, make), Entry::Longs(kExifIfd, {exif})}));
    return b.ExifBlock();
}

ShotInfo Parse(const std::vector<std::uint8_t>& block) {
    ShotInfo shot;
    ParseExifBlock(block, shot);
    return shot;
}

// Canon camera settings with the lens type, focal range and units filled in.
Entry CanonSettings(std::int64_t lensType, std::int64_t longFocal, std::int64_t shortFocal,
                    std::int64_t units, std::size_t values = 40) {
    Entry e = Entry::Shorts(0x0001, {});
    e.numbers.assign(values, 0);
    e.numbers[22] = lensType;
    if (values > 23) e.numbers[23] = longFocal;
    if (values > 24) e.numbers[24] = shortFocal;
    if (values > 25) e.numbers[25] = units;
    e.count = static_cast<std::uint32_t>(values);
    return e;
}

TEST(CanonMakerNoteTest, CameraSettingsGiveLensTypeAndFocalRange) {
    TiffBuilder b;
    const std::uint32_t note = b.AddDirectory({CanonSettings(48, 55, 18, 1)});
    const ShotInfo shot = Parse(Finish(b, "Canon", note));
    EXPECT_EQ(shot.lensId, 48);
    EXPECT_DOUBLE_EQ(shot.minFlen, 18.0);
    EXPECT_DOUBLE_EQ(shot.maxFlen, 55.0);
}

TEST(CanonMakerNoteTest, FocalUnitsScaleAndZeroUnitsCountAsOne) {
    TiffBuilder b;
    const std::uint32_t note = b.AddDirectory({CanonSettings(65535, 682, 227, 32)});
    const ShotInfo shot = Parse(Finish(b, "Canon", note));
    EXPECT_EQ(shot.lensId, 65535);
    EXPECT_DOUBLE_EQ(shot.minFlen, 7.09375);
    EXPECT_DOUBLE_EQ(shot.maxFlen, 21.3125);

    TiffBuilder z;
    const std::uint32_t zeroNote = z.AddDirectory({CanonSettings(1, 200, 70, 0)});
    const ShotInfo zero = Parse(Finish(z, "Canon", zeroNote));
    EXPECT_DOUBLE_EQ(zero.minFlen, 70.0);
    EXPECT_DOUBLE_EQ(zero.maxFlen, 200.0);
}

TEST(CanonMakerNoteTest, ShortSettingsArrayIsIgnored) {
    // 25 values end before the focal units.
    TiffBuilder b;
    const std::uint32_t note = b.AddDirectory({CanonSettings(48, 55, 18, 1, 25)});
    const ShotInfo shot = Parse(Finish(b, "Canon", note));
    EXPECT_EQ(shot.lensId, 0);
    EXPECT_EQ(shot.minFlen, 0.0);
}

TEST(CanonMakerNoteTest, SettingsAndLensModelOnlyFillWhatIsUnset) {
    TiffBuilder b;
    const std::uint32_t note = b.AddDirectory(
        {CanonSettings(48, 55, 18, 1), Entry::Ascii(0x0095, "EF-S18-55mm f/3.5-5.6 IS")});
    // LensSpecification gave the range already, but no apertures.
    const ShotInfo shot =
        Parse(Finish(b, "Canon", note,
                     {Entry::Rationals(kLensSpecification, {{17, 1}, {50, 1}, {0, 1}, {0, 1}})}));
    EXPECT_DOUBLE_EQ(shot.minFlen, 17.0);
    EXPECT_DOUBLE_EQ(shot.maxFlen, 50.0);
    EXPECT_DOUBLE_EQ(shot.minFlenMaxAper, 3.5);
    EXPECT_DOUBLE_EQ(shot.maxFlenMaxAper, 5.6);
    EXPECT_EQ(shot.lensNames.makerNoteModel, "EF-S18-55mm f/3.5-5.6 IS");
}

TEST(CanonMakerNoteTest, OffsetSchemaMovesMakerNoteOffsets) {
    // Software that moved the maker note by 100 bytes records the shift; the
    // note's own offsets still point where the data used to be.
    TiffBuilder c;
    c.Append(std::string(120, '\0'));
    const std::uint32_t values = c.Here();
    std::vector<std::uint8_t> raw(80, 0);
    raw[44] = 7;     // value 22
    raw[46] = 0x2C;  // value 23 = 300
    raw[47] = 0x01;
    raw[48] = 100;  // value 24
    raw[50] = 1;    // value 25
    c.Append(raw);
    const std::uint32_t note = c.AddDirectory({Entry::At(0x0001, 3, 40, values - 100)});
    const ShotInfo shot = Parse(Finish(c, "Canon", note, {Entry::Longs(kOffsetSchema, {100})}));
    EXPECT_EQ(shot.offsetSchema, 100);
    EXPECT_EQ(shot.lensId, 7);
    EXPECT_DOUBLE_EQ(shot.minFlen, 100.0);
    EXPECT_DOUBLE_EQ(shot.maxFlen, 300.0);
}

// "Nikon\0" 2 ... with an embedded TIFF header at byte 10 and the directory at 18.
std::vector<std::uint8_t> NikonBlock(std::string_view make, std::string_view signature,
                                     std::vector<std::pair<std::int64_t, std::int64_t>> lens,
                                     bool noteBigEndian = true, std::vector<Entry> extraExif = {}) {
    TiffBuilder b(false);
    const std::uint32_t note = b.Append(signature);
    b.Append(noteBigEndian ? "MM\0\x2A\0\0\0\x08"sv : "II\x2A\0\x08\0\0\0"sv);
    b.SetBigEndian(noteBigEndian);
    Entry record = Entry::Rationals(0x0084, {});
    for (auto [n, d] : lens) {
        record.numbers.push_back(n);
        record.numbers.push_back(d);
    }
    record.count = static_cast<std::uint32_t>(lens.size());
    b.AddDirectory({Entry::Shorts(0x0001, {2}), record}, note + 10);
    b.SetBigEndian(false);
    return Finish(b, make, note, std::move(extraExif));
}

TEST(NikonMakerNoteTest, LensRecordOfTheSecondFormat) {
    // Little-endian EXIF around a big-endian maker note, as the D70s writes.
    const ShotInfo shot = Parse(NikonBlock("NIKON CORPORATION", "Nikon\0\x02\x10\0\0"sv,
                                           {{18, 1}, {70, 1}, {35, 10}, {45, 10}}));
    EXPECT_DOUBLE_EQ(shot.minFlen, 18.0);
    EXPECT_DOUBLE_EQ(shot.maxFlen, 70.0);
    EXPECT_DOUBLE_EQ(shot.minFlenMaxAper, 3.5);
    EXPECT_DOUBLE_EQ(shot.maxFlenMaxAper, 4.5);
    EXPECT_EQ(shot.lensId, 0);
    // The EXIF order is back in force for whatever is read afterwards.
    EXPECT_FALSE(shot.bigEndian);
}

TEST(NikonMakerNoteTest, ZeroDenominatorClearsTheWholeRecord) {
    const ShotInfo shot = Parse(NikonBlock("NIKON CORPORATION", "Nikon\0\x02\x10\0\0"sv,
                                           {{18, 1}, {70, 1}, {35, 0}, {45, 10}}));
    EXPECT_EQ(shot.minFlen, 0.0);
    EXPECT_EQ(shot.maxFlen, 0.0);
    EXPECT_EQ(shot.minFlenMaxAper, 0.0);
    EXPECT_EQ(shot.maxFlenMaxAper, 0.0);
}

TEST(NikonMakerNoteTest, OtherFormatsAndHeadersReadNothing) {
    const std::vector<std::pair<std::int64_t, std::int64_t>> lens = {
        {18, 1}, {70, 1}, {35, 10}, {45, 10}};
    EXPECT_EQ(Parse(NikonBlock("NIKON", "Nikon\0\x01\0\0\0"sv, lens)).minFlen, 0.0);
    EXPECT_EQ(Parse(NikonBlock("Nikon", "Nixon\0\x02\0\0\0"sv, lens)).minFlen, 0.0);
    // A three-value record is not the lens record.
    EXPECT_EQ(
        Parse(NikonBlock("Nikon", "Nikon\0\x02\0\0\0"sv, {{18, 1}, {70, 1}, {35, 10}})).minFlen,
        0.0);
    // The make decides the maker; a Nikon note under another make is not read.
    EXPECT_EQ(Parse(NikonBlock("Sony", "Nikon\0\x02\0\0\0"sv, lens)).minFlen, 0.0);
}

TEST(NikonMakerNoteTest, OffsetSchemaDoesNotMoveANoteThatCountsFromItself) {
    // Editors that move a maker note record the shift, but offsets counted
    // from the note's own header moved with it (mdx_Nikon_D40.jpg).
    const ShotInfo shot = Parse(NikonBlock("NIKON CORPORATION", "Nikon\0\x02\x10\0\0"sv,
                                           {{18, 1}, {55, 1}, {35, 10}, {56, 10}}, true,
                                           {Entry::Longs(kOffsetSchema, {4122})}));
    EXPECT_EQ(shot.offsetSchema, 4122);
    EXPECT_DOUBLE_EQ(shot.maxFlen, 55.0);
}

TEST(NikonMakerNoteTest, SameByteOrderAsExifIsReadToo) {
    const ShotInfo shot = Parse(NikonBlock("Nikon", "Nikon\0\x02\x10\0\0"sv,
                                           {{18, 1}, {55, 1}, {35, 10}, {56, 10}}, false));
    EXPECT_DOUBLE_EQ(shot.maxFlen, 55.0);
}

std::vector<std::uint8_t> PentaxBlock(std::vector<std::uint8_t> lensType) {
    TiffBuilder b(true);
    const std::uint32_t note = b.Append("AOC\0MM"sv);
    b.AddDirectory({Entry::Bytes(0x003F, 1, std::move(lensType))});
    return Finish(b, "PENTAX Corporation", note);
}

TEST(PentaxMakerNoteTest, LensTypeIsFirstPlus256TimesSecondByte) {
    EXPECT_EQ(Parse(PentaxBlock({4, 1})).lensId, 260);
    EXPECT_EQ(Parse(PentaxBlock({4, 24})).lensId, 6148);
    // The three-byte record of later bodies is not this one.
    EXPECT_EQ(Parse(PentaxBlock({3, 44, 0})).lensId, 0);
}

// An Olympus note: new header ("OLYMPUS\0II\3\0", offsets from the note) or
// old ("OLYMP\0\1\0", offsets from the TIFF header), with an Equipment
// directory.
std::vector<std::uint8_t> OlympusBlock(bool newHeader, bool exifBigEndian, bool noteBigEndian,
                                       std::vector<Entry> equipment) {
    TiffBuilder b(exifBigEndian);
    const std::uint32_t note = b.Append(newHeader ? "OLYMPUS\0II\x03\0"sv : "OLYMP\0\x01\0"sv);
    const std::uint32_t base = newHeader ? note : 0;
    b.SetBigEndian(noteBigEndian);
    const std::uint32_t dirAt = b.Here();
    // Equipment directory placed right after the main one (one entry: 2+12+4).
    const std::uint32_t equipmentAt = dirAt + 18;
    // The new format types the pointer as a sub-directory (13), the old one as
    // undefined bytes (7) covering the directory.
    b.AddDirectory({newHeader ? Entry::At(0x2010, 13, 1, equipmentAt - base)
                              : Entry::At(0x2010, 7, 18, equipmentAt - base)},
                   base);
    EXPECT_EQ(b.Here(), equipmentAt);
    b.AddDirectory(equipment, base);
    b.SetBigEndian(exifBigEndian);
    return Finish(b, "OLYMPUS IMAGING CORP.", note);
}

TEST(OlympusMakerNoteTest, EquipmentGivesLensTypeRangeAndApertures) {
    for (bool newHeader : {true, false}) {
        SCOPED_TRACE(newHeader ? "OLYMPUS header" : "OLYMP header");
        const ShotInfo shot =
            Parse(OlympusBlock(newHeader, false, false,
                               {Entry::Bytes(0x0201, 1, {0, 1, 0x13, 0x10, 0, 0}),
                                Entry::Shorts(0x0205, {925}), Entry::Shorts(0x0206, {1272}),
                                Entry::Shorts(0x0207, {14}), Entry::Shorts(0x0208, {42}),
                                Entry::Ascii(0x0203, "OLYMPUS M.14-42mm F3.5-5.6 II R")}));
        EXPECT_EQ(shot.lensId, 0x13 * 256 + 0x10);
        EXPECT_EQ(shot.lensNames.makerNoteModel, "OLYMPUS M.14-42mm F3.5-5.6 II R");
        EXPECT_DOUBLE_EQ(shot.minFlen, 14.0);
        EXPECT_DOUBLE_EQ(shot.maxFlen, 42.0);
        // sqrt(2)^(925/256) = 3.498 and sqrt(2)^(1272/256) = 5.603, to tenths.
        EXPECT_NEAR(shot.minFlenMaxAper, 3.5, 1e-9);
        EXPECT_NEAR(shot.maxFlenMaxAper, 5.6, 1e-9);
    }
}

TEST(OlympusMakerNoteTest, ApertureFormulaAndZeroValue) {
    const ShotInfo shot = Parse(OlympusBlock(
        true, false, false, {Entry::Shorts(0x0205, {256}), Entry::Shorts(0x0206, {0})}));
    // sqrt(2) = 1.41421: trunc((1.41421 + 0.05) * 10) * 0.1.
    EXPECT_NEAR(shot.minFlenMaxAper, 1.4, 1e-9);
    EXPECT_EQ(shot.maxFlenMaxAper, 0.0);
}

TEST(OlympusMakerNoteTest, NoteInTheOtherByteOrderIsReadAndEquipmentFollowsIt) {
    // Big-endian EXIF with a little-endian "OLYMPUS\0II" note (E-420).
    const ShotInfo shot = Parse(OlympusBlock(
        true, true, false, {Entry::Shorts(0x0207, {14}), Entry::Shorts(0x0208, {42})}));
    EXPECT_DOUBLE_EQ(shot.minFlen, 14.0);
    EXPECT_DOUBLE_EQ(shot.maxFlen, 42.0);
    EXPECT_TRUE(shot.bigEndian);
}

TEST(OlympusMakerNoteTest, WrongTypesAreSkipped) {
    const ShotInfo shot = Parse(
        OlympusBlock(true, false, false,
                     {Entry::Bytes(0x0201, 7, {0, 1, 0x13, 0x10, 0, 0}), Entry::Longs(0x0207, {14}),
                      Entry::Bytes(0x0203, 7, {'1', '4', '-', '4', '2', 0})}));
    EXPECT_EQ(shot.lensId, 0);
    EXPECT_EQ(shot.minFlen, 0.0);
    EXPECT_EQ(shot.lensNames.makerNoteModel, "");
}

TEST(MakerNoteTest, NoteNearTheEndWithOffsetsPastTheBlockReadsNothingOutside) {
    // The Nikon base lies inside the note, so its offsets may reach past the
    // end of the block while staying below the claimed length.
    TiffBuilder b;
    const std::uint32_t note = b.Append("Nikon\0\x02\x10\0\0II\x2A\0\x08\0\0\0"sv);
    b.AddDirectory({Entry::At(0x0084, 5, 4, 0x30)}, note + 10);
    const std::vector<std::uint8_t> block = Finish(b, "Nikon", note);
    for (std::size_t size = 0; size <= block.size(); ++size) {
        const std::vector<std::uint8_t> prefix(block.begin(),
                                               block.begin() + static_cast<std::ptrdiff_t>(size));
        ShotInfo shot;
        ParseExifBlock(prefix, shot);
        EXPECT_EQ(shot.minFlen, 0.0);
    }
}

TEST(LensDescriptionTest, ZoomPrimeAndMarkupEndings) {
    struct Case {
        std::string_view text;
        double minFlen, maxFlen, minAper, maxAper;
    };
    const Case cases[] = {
        {"EF-S18-55mm f/3.5-5.6 IS", 18, 55, 3.5, 5.6},
        {"EF100mm f/2.8L Macro IS USM", 100, 100, 2.8, 2.8},
        {"18.0-70.0 mm f/3.5-4.5", 18, 70, 3.5, 4.5},
        {"EF50mm f/1.8 II", 50, 50, 1.8, 1.8},
        // Three numbers: the middle one is not the long end.
        {"12-24-35mm", 12, 35, 0, 0},
        {"Sigma", 0, 0, 0, 0},
        // A quotation mark or "<" ends the name before any number.
        {"Lens\" 50mm", 0, 0, 0, 0},
        {"35mm <f/2>", 35, 35, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        const LensDescription lens = ParseLensDescription(c.text);
        EXPECT_DOUBLE_EQ(lens.minFlen, c.minFlen);
        EXPECT_DOUBLE_EQ(lens.maxFlen, c.maxFlen);
        EXPECT_DOUBLE_EQ(lens.minFlenMaxAper, c.minAper);
        EXPECT_DOUBLE_EQ(lens.maxFlenMaxAper, c.maxAper);
    }
}

}  // namespace
}  // namespace quillon::metadata
