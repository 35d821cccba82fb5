// Every sample photo against the values an independent metadata reader found in
// it (testdata/photos/truth.csv). Where this program's rules deliberately
// differ from what is stored, the expected value is derived from the stored
// one by that rule, and the rule is named where it is applied.

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imageio/image_file.h"
#include "imageio/jpeg_markers.h"
#include "metadata/lens_description.h"
#include "metadata/parse_metadata.h"
#include "metadata/xmp_reader.h"
#include "platform/message_sink.h"
#include "tests/support/test_support.h"

namespace quillon::metadata {
namespace {

using Row = std::map<std::string, std::string>;

std::vector<std::string> SplitCsvLine(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c != '\r') {
            fields.back() += c;
        }
    }
    return fields;
}

std::vector<Row> ReadTruth() {
    std::ifstream in(testing::TestDataPath("photos/truth.csv"));
    std::string line;
    std::getline(in, line);
    const std::vector<std::string> header = SplitCsvLine(line);
    std::vector<Row> rows;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        const std::vector<std::string> fields = SplitCsvLine(line);
        EXPECT_EQ(fields.size(), header.size()) << line;
        Row row;
        for (std::size_t i = 0; i < header.size() && i < fields.size(); ++i) {
            row[header[i]] = fields[i];
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// A number column: empty, "undef" and "inf" (rationals with a zero
// denominator) read as 0, which is what the program stores for them.
double Num(const Row& row, const std::string& column) {
    const std::string& text = row.at(column);
    if (text.empty() || text == "undef" || text == "inf") return 0.0;
    return std::stod(text);
}

std::vector<double> Nums(const Row& row, const std::string& column) {
    std::vector<double> values;
    std::istringstream in(row.at(column));
    for (std::string word; in >> word;) {
        values.push_back(word == "undef" || word == "inf" ? 0.0 : std::stod(word));
    }
    return values;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

// The JPEG's APP segments up to the first scan, for files the image reader
// refuses for their pixels (grayscale, CMYK) while their metadata is fine.
std::vector<imageio::SavedMarker> AppSegments(const std::vector<std::uint8_t>& file) {
    std::vector<imageio::SavedMarker> markers;
    std::size_t at = 2;
    while (at + 4 <= file.size() && file[at] == 0xFF) {
        const int marker = file[at + 1];
        const std::size_t length = static_cast<std::size_t>(file[at + 2] << 8 | file[at + 3]);
        if (marker == 0xDA || length < 2 || at + 2 + length > file.size()) break;
        if (marker >= 0xE0 && marker <= 0xEF) {
            markers.push_back({marker, std::span(file).subspan(at + 4, length - 2)});
        }
        at += 2 + length;
    }
    return markers;
}

// The lens range and apertures the rules make of the stored values, in the
// order the sources are read: LensSpecification (or the TIFF LensInfo), the
// maker note, the XMP packet, then the consistency checks.
LensDescription ExpectedLens(const Row& row, double focalLength) {
    LensDescription lens;
    double* fields[4] = {&lens.minFlen, &lens.maxFlen, &lens.minFlenMaxAper, &lens.maxFlenMaxAper};
    const std::vector<double> lensRange = Nums(row, "lens_spec");
    for (std::size_t i = 0; i < lensRange.size() && i < 4; ++i) {
        *fields[i] = lensRange[i];
    }

    const std::string& make = row.at("make");
    const std::string& header = row.at("makernote_header");
    auto fillUnset = [](double& field, double value) {
        if (field == 0.0) field = value;
    };
    if (StartsWithNoCase(make, "Canon")) {
        fillUnset(lens.minFlen, Num(row, "maker_lens_min_focal"));
        fillUnset(lens.maxFlen, Num(row, "maker_lens_max_focal"));
        const LensDescription model = ParseLensDescription(row.at("maker_lens_model"));
        fillUnset(lens.minFlen, model.minFlen);
        fillUnset(lens.maxFlen, model.maxFlen);
        fillUnset(lens.minFlenMaxAper, model.minFlenMaxAper);
        fillUnset(lens.maxFlenMaxAper, model.maxFlenMaxAper);
    } else if (StartsWithNoCase(make, "Nikon") && header == "Nikon\\0 byte6=2") {
        const std::vector<double> nikon = Nums(row, "nikon_lens_raw");
        if (nikon.size() == 4) {
            const bool plausible = nikon[0] >= 1 && nikon[1] >= 1 && nikon[2] >= 1 && nikon[3] >= 1;
            for (std::size_t i = 0; i < 4; ++i) *fields[i] = plausible ? nikon[i] : 0.0;
        }
    } else if (StartsWithNoCase(make, "Olympus")) {
        if (!row.at("maker_lens_min_focal").empty())
            lens.minFlen = Num(row, "maker_lens_min_focal");
        if (!row.at("maker_lens_max_focal").empty())
            lens.maxFlen = Num(row, "maker_lens_max_focal");
        // The stored apertures are unrounded; the program rounds to tenths.
        auto rounded = [](double v) { return std::trunc((v + 0.05) * 10.0) * 0.1; };
        if (!row.at("maker_lens_max_aperture_min_focal").empty()) {
            lens.minFlenMaxAper = rounded(Num(row, "maker_lens_max_aperture_min_focal"));
        }
        if (!row.at("maker_lens_max_aperture_max_focal").empty()) {
            lens.maxFlenMaxAper = rounded(Num(row, "maker_lens_max_aperture_max_focal"));
        }
    }

    if (!row.at("xmp_lens").empty()) lens = ParseLensDescription(row.at("xmp_lens"));
    const std::vector<double> info = Nums(row, "xmp_lensinfo");
    for (std::size_t i = 0; i < info.size() && i < 4; ++i) fillUnset(*fields[i], info[i]);

    if (lens.minFlen != 0 && lens.maxFlen != 0) {
        const double lo = lens.minFlen - 0.1;
        if (lens.maxFlen < lo || focalLength < lo || focalLength > lens.maxFlen + 0.1) {
            lens.minFlen = lens.maxFlen = lens.minFlenMaxAper = lens.maxFlenMaxAper = 0;
        }
    }
    if (lens.minFlenMaxAper != 0 && lens.maxFlenMaxAper != 0 &&
        lens.maxFlenMaxAper < lens.minFlenMaxAper - 0.1) {
        lens.minFlenMaxAper = lens.maxFlenMaxAper = 0;
    }
    return lens;
}

std::int32_t ExpectedLensId(const Row& row) {
    const std::string& make = row.at("make");
    const std::string& raw = row.at("maker_lens_id_raw");
    if (raw.empty()) return 0;
    // The Pentax and Olympus records are read only in their expected sizes:
    // the K10D's three-byte Pentax record is another layout.
    if (StartsWithNoCase(make, "Pentax") && row.at("lens_type_bytes") != "2") return 0;
    if (StartsWithNoCase(make, "Olympus") && row.at("lens_type_bytes") != "6") return 0;
    return std::stoi(raw);
}

// Relative tolerance: TIFF tag values pass through 32-bit floats.
void ExpectClose(double actual, double expected, const char* what) {
    EXPECT_NEAR(actual, expected, 1e-6 + std::fabs(expected) * 1e-6) << what;
}

TEST(PhotoMetadataTest, EverySamplePhotoMatchesTheIndependentReader) {
    const std::vector<Row> rows = ReadTruth();
    ASSERT_GE(rows.size(), 30u);
    int compared = 0;
    for (const Row& row : rows) {
        const std::string& file = row.at("file");
        SCOPED_TRACE(file);
        const std::string path = testing::TestDataPath("photos/" + file);
        const bool isTiff = row.at("mime") == "image/tiff";

        CurrentImage image;
        platform::CapturingSink sink;
        if (imageio::LoadImageFile(path, image, sink).code() != 0) {
            if (isTiff) {
                // The TIFF reader refuses grayscale and tiled files before it
                // looks at their tags; none of them has camera data.
                EXPECT_EQ(row.at("make"), "") << "refused: " << sink.Last();
                continue;
            }
            const std::vector<std::uint8_t> bytes = testing::ReadBytes(path);
            const auto markers = AppSegments(bytes);
            image.metadata.Clear();
            ASSERT_TRUE(imageio::PickJpegBlocks(markers, image.metadata));
        }
        const ShotInfo shot = ParseImageMetadata(image.metadata, DetectSwitches{});
        ++compared;

        EXPECT_EQ(shot.make, row.at("make"));
        EXPECT_EQ(shot.model, row.at("model"));
        // TIFF files without an original date fall back to DateTime.
        std::string date = row.at("datetime_original");
        if (date.empty() && isTiff) date = row.at("datetime");
        EXPECT_EQ(shot.dateTimeOriginal, date);

        // Exactly 1.0 is the placeholder of cameras without a focal length.
        const double focal = Num(row, "focal_length") == 1.0 ? 0.0 : Num(row, "focal_length");
        ExpectClose(shot.focalLength, focal, "focal length");
        ExpectClose(shot.originalFocalLength, focal, "original focal length");
        ExpectClose(shot.fNumber, Num(row, "f_number"), "f-number");
        // Without ExposureTime the APEX shutter speed stands in; the column
        // holds it already converted to seconds.
        const double exposure = row.at("exposure_time").empty() ? Num(row, "shutter_speed_value")
                                                                : Num(row, "exposure_time");
        ExpectClose(shot.exposureTime, exposure, "exposure time");
        // A TIFF's EXIF directory is read for date, focal length, f-number and
        // exposure only; its ISO reaches the program only through XMP.
        const double iso = isTiff ? Num(row, "xmp_iso") : Num(row, "iso");
        EXPECT_EQ(shot.iso, static_cast<std::int32_t>(iso));
        EXPECT_EQ(shot.orientation, static_cast<std::uint16_t>(Num(row, "orientation")));

        // mdx_Nikon_D40.jpg and mdx_Issue_339.jpg carry an OffsetSchema; their
        // maker notes count offsets from their own start, so it does not apply
        // and their lens data is read like the independent reader's.
        const LensDescription lens = ExpectedLens(row, focal);
        ExpectClose(shot.minFlen, lens.minFlen, "minFlen");
        ExpectClose(shot.maxFlen, lens.maxFlen, "maxFlen");
        ExpectClose(shot.originalMinFlen, lens.minFlen, "originalMinFlen");
        ExpectClose(shot.originalMaxFlen, lens.maxFlen, "originalMaxFlen");
        ExpectClose(shot.minFlenMaxAper, lens.minFlenMaxAper, "minFlenMaxAper");
        ExpectClose(shot.maxFlenMaxAper, lens.maxFlenMaxAper, "maxFlenMaxAper");
        EXPECT_EQ(shot.lensId, ExpectedLensId(row));

        std::int32_t colourSpace = -1;
        for (std::size_t i = 0; i < kNamedColourSpaces.size(); ++i) {
            if (row.at("xmp_icc_profile_name").starts_with(kNamedColourSpaces[i])) {
                colourSpace = static_cast<std::int32_t>(i);
                break;
            }
        }
        EXPECT_EQ(shot.colourSpaceIndex, colourSpace);
    }
    EXPECT_GE(compared, 33);
}

// The lens data the photos hold, spelled out, so that a fault shared by the
// program and the expected-value rules above still shows.
TEST(PhotoMetadataTest, LensDataOfChosenPhotos) {
    struct Case {
        const char* file;
        double minFlen, maxFlen, minAper, maxAper;
        std::int32_t lensId;
    };
    const Case cases[] = {
        {"mdx_Canon_EOS_1000D.jpg", 18, 55, 3.5, 5.6, 48},
        {"exiftool_NikonD70.jpg", 18, 70, 3.5, 4.5, 0},
        {"mdx_Nikon_D40.jpg", 18, 55, 3.5, 5.6, 0},
        {"exifsamples_42_IndexError.jpg", 14, 42, 3.5, 5.6, 4880},
        {"mdx_Issue_339.jpg", 14, 42, 3.5, 5.6, 8960},
        {"mdx_Pentax_ist_D.jpg", 0, 0, 0, 0, 6148},
        {"pillow_xmp_test.jpg", 18, 55, 3.5, 5.6, 0},
        {"exifr_tif-with-iptc-icc-xmp.tif", 70, 200, 2.8, 2.8, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        CurrentImage image;
        platform::CapturingSink sink;
        ASSERT_EQ(imageio::LoadImageFile(testing::TestDataPath(std::string("photos/") + c.file),
                                         image, sink)
                      .code(),
                  0);
        const ShotInfo shot = ParseImageMetadata(image.metadata, DetectSwitches{});
        EXPECT_NEAR(shot.minFlen, c.minFlen, 1e-9);
        EXPECT_NEAR(shot.maxFlen, c.maxFlen, 1e-9);
        EXPECT_NEAR(shot.minFlenMaxAper, c.minAper, 1e-9);
        EXPECT_NEAR(shot.maxFlenMaxAper, c.maxAper, 1e-9);
        EXPECT_EQ(shot.lensId, c.lensId);
    }
}

}  // namespace
}  // namespace quillon::metadata
