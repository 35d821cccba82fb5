#include "metadata/xmp_reader.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace quillon::metadata {
namespace {

// A packet as JPEG files carry it: identifier, then the XML, then the
// trailer every writer adds.
std::vector<std::uint8_t> Packet(std::string_view body) {
    std::string text = std::string("http://ns.adobe.com/xap/1.0/") + '\0' +
                       "<x:xmpmeta><rdf:RDF><rdf:Description " + std::string(body) +
                       "</rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

ShotInfo Scan(std::string_view body, ShotInfo shot = {}) {
    ParseXmp(Packet(body), shot);
    return shot;
}

TEST(XmpReaderTest, AttributeAndElementForms) {
    const ShotInfo shot =
        Scan(R"(tiff:Make="Canon" exif:FNumber="28/10"><tiff:Model>Canon EOS 5D</tiff:Model>)"
             R"(<exif:DateTimeOriginal>2013-09-07T06:45:12</exif:DateTimeOriginal>)"
             R"(<exif:ExposureTime>1/400</exif:ExposureTime></rdf:Description>)");
    EXPECT_EQ(shot.make, "Canon");
    EXPECT_EQ(shot.model, "Canon EOS 5D");
    EXPECT_EQ(shot.dateTimeOriginal, "2013-09-07T06:45:12");
    EXPECT_DOUBLE_EQ(shot.fNumber, 2.8);
    EXPECT_DOUBLE_EQ(shot.exposureTime, 1.0 / 400);
}

TEST(XmpReaderTest, ValuesFromExifArePreferred) {
    ShotInfo exif;
    exif.make = "NIKON";
    exif.fNumber = 4.0;
    const ShotInfo shot = Scan(R"(tiff:Make="Canon" tiff:Model="X" exif:FNumber="28/10">)", exif);
    EXPECT_EQ(shot.make, "NIKON");
    EXPECT_EQ(shot.model, "X");
    EXPECT_DOUBLE_EQ(shot.fNumber, 4.0);
}

TEST(XmpReaderTest, FocalLengthRationals) {
    EXPECT_DOUBLE_EQ(Scan(R"(exif:FocalLength="50/1">)").focalLength, 50.0);
    EXPECT_EQ(Scan(R"(exif:FocalLength="50/0">)").focalLength, 0.0);
    EXPECT_EQ(Scan(R"(exif:FocalLength="1/1">)").focalLength, 0.0);
    // Not a rational: no effect.
    EXPECT_EQ(Scan(R"(exif:FocalLength="50">)").focalLength, 0.0);
    EXPECT_EQ(Scan(R"(exif:FocalLength="50 / 1">)").focalLength, 0.0);
}

TEST(XmpReaderTest, ShutterSpeedOnlyWithoutExposureTime) {
    EXPECT_DOUBLE_EQ(Scan(R"(exif:ShutterSpeedValue="6/1">)").exposureTime, 1.0 / 64);
    EXPECT_DOUBLE_EQ(
        Scan(R"(exif:ShutterSpeedValue="6/1" exif:ExposureTime="1/100">)").exposureTime, 0.01);
}

TEST(XmpReaderTest, IsoOnlyFromTheFirstListItem) {
    EXPECT_EQ(Scan("><exif:ISOSpeedRatings>\n <rdf:Seq>\n  <rdf:li>400</rdf:li>\n"
                   "  <rdf:li>800</rdf:li></rdf:Seq></exif:ISOSpeedRatings>")
                  .iso,
              400);
    EXPECT_EQ(Scan(R"(exif:ISOSpeedRatings="400">)").iso, 0);
    ShotInfo exif;
    exif.iso = 100;
    EXPECT_EQ(Scan("><exif:ISOSpeedRatings><rdf:Seq><rdf:li>400</rdf:li>", exif).iso, 100);
}

TEST(XmpReaderTest, AuxLensReplacesEvenWithZerosAndLensInfoFillsGaps) {
    ShotInfo exif;
    exif.minFlen = 18;
    exif.maxFlen = 55;
    exif.minFlenMaxAper = 3.5;
    exif.maxFlenMaxAper = 5.6;
    const ShotInfo prime = Scan(R"(aux:Lens="EF50mm f/1.8 II">)", exif);
    EXPECT_DOUBLE_EQ(prime.minFlen, 50.0);
    EXPECT_DOUBLE_EQ(prime.maxFlen, 50.0);
    EXPECT_DOUBLE_EQ(prime.minFlenMaxAper, 1.8);
    EXPECT_DOUBLE_EQ(prime.maxFlenMaxAper, 1.8);

    const ShotInfo noDigits = Scan(R"(aux:Lens="Lensbaby">)", exif);
    EXPECT_EQ(noDigits.minFlen, 0.0);
    EXPECT_EQ(noDigits.maxFlen, 0.0);
    EXPECT_EQ(noDigits.minFlenMaxAper, 0.0);
    EXPECT_EQ(noDigits.maxFlenMaxAper, 0.0);

    // "aux:LensInfo" also begins with "aux:Lens"; it must not be taken for it,
    // and it fills only what the lens name left at 0.
    const ShotInfo both = Scan(R"(aux:LensInfo="70/1 200/1 0/0 28/10" aux:Lens="EF70-200mm USM">)");
    EXPECT_DOUBLE_EQ(both.minFlen, 70.0);
    EXPECT_DOUBLE_EQ(both.maxFlen, 200.0);
    EXPECT_EQ(both.minFlenMaxAper, 0.0);
    EXPECT_DOUBLE_EQ(both.maxFlenMaxAper, 2.8);

    // Fewer than eight integers: no effect.
    EXPECT_EQ(Scan(R"(aux:LensInfo="70/1 200/1 28/10">)").minFlen, 0.0);
}

TEST(XmpReaderTest, LensNamesAreKeptInBothForms) {
    const ShotInfo attributes = Scan(
        R"(aux:LensID="53" aux:LensInfo="18/1 55/1 0/0 0/0" aux:Lens="EF-S18-55mm f/3.5-5.6 III")"
        R"( exifEX:LensModel="EF-S18-55mm f/3.5-5.6 III">)");
    // The longer keys that begin like "aux:Lens" come first and are passed over.
    EXPECT_EQ(attributes.lensNames.xmpLens, "EF-S18-55mm f/3.5-5.6 III");
    EXPECT_EQ(attributes.lensNames.xmpLensModel, "EF-S18-55mm f/3.5-5.6 III");

    const ShotInfo elements = Scan(
        "><aux:Lens>EF70-200mm f/2.8L USM</aux:Lens>"
        "<exifEX:LensModel>EF70-200mm f/2.8L USM</exifEX:LensModel>");
    EXPECT_EQ(elements.lensNames.xmpLens, "EF70-200mm f/2.8L USM");
    EXPECT_EQ(elements.lensNames.xmpLensModel, "EF70-200mm f/2.8L USM");

    // Like the other texts, a name longer than its field is cut.
    const ShotInfo cut = Scan("exifEX:LensModel=\"" + std::string(150, 'L') + "\">");
    EXPECT_EQ(cut.lensNames.xmpLensModel, std::string(99, 'L'));
}

TEST(XmpReaderTest, NamedColourSpace) {
    EXPECT_EQ(Scan(R"x(photoshop:ICCProfile="Adobe RGB (1998)">)x").colourSpaceIndex, 1);
    EXPECT_EQ(Scan(R"(photoshop:ICCProfile="ProPhoto RGB">)").colourSpaceIndex, 3);
    EXPECT_EQ(Scan(R"(photoshop:ICCProfile="Display P3">)").colourSpaceIndex, -1);
}

// The value must end before the last place the key itself could start; real
// packets always close with their xpacket trailer, so only a cut packet loses
// its last value (the third case: complete, but too close to the end).
TEST(XmpReaderTest, ValueCutOffByTheEndOfThePacketHasNoEffect) {
    for (std::string text : {std::string(R"(<x tiff:Make="Canon)"), std::string("<tiff:Make>Canon"),
                             std::string(R"(tiff:Make="Canon")")}) {
        SCOPED_TRACE(text);
        // An exact-size buffer: a scan past the end is caught by the sanitizer.
        const std::vector<std::uint8_t> packet(text.begin(), text.end());
        ShotInfo shot;
        ParseXmp(packet, shot);
        EXPECT_EQ(shot.make, "");
    }
}

TEST(XmpReaderTest, ZeroByteInsideAValueResumesTheSearchBehindIt) {
    std::string body = R"(tiff:Make="Ca)";
    body += '\0';
    body += R"(non" tiff:Make="Nikon">)";
    EXPECT_EQ(Scan(body).make, "Nikon");
}

// Every prefix of a packet, in a buffer of exactly that size.
TEST(XmpReaderTest, TruncatedPacketsNeverReadOutside) {
    const std::vector<std::uint8_t> full = Packet(
        R"(tiff:Make="Canon" aux:LensInfo="70/1 200/1 0/0 0/0" aux:Lens="EF70-200mm f/2.8L">)"
        "<exif:ISOSpeedRatings><rdf:Seq><rdf:li>100</rdf:li></rdf:Seq></exif:ISOSpeedRatings>"
        "<exifEX:LensModel>EF70-200mm f/2.8L</exifEX:LensModel>");
    for (std::size_t size = 0; size <= full.size(); ++size) {
        const std::vector<std::uint8_t> prefix(full.begin(),
                                               full.begin() + static_cast<std::ptrdiff_t>(size));
        ShotInfo shot;
        ParseXmp(prefix, shot);
        if (size == full.size()) {
            EXPECT_EQ(shot.iso, 100);
            EXPECT_DOUBLE_EQ(shot.minFlenMaxAper, 2.8);
            EXPECT_EQ(shot.lensNames.xmpLensModel, "EF70-200mm f/2.8L");
        }
    }
}

}  // namespace
}  // namespace quillon::metadata
