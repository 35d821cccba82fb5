#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What a photo carries from its input file to its corrected output, and the few
// values the TIFF reader finds in the file's own tags. The blocks are kept as the
// exact bytes that were read so that writing them back changes nothing a later
// reader could notice; the metadata module parses them, the readers and writers
// never do (apart from the orientation value, see imageio/exif_orientation.h).

namespace quillon {

enum class FileKind { kJpeg, kTiff };

// Values the TIFF reader takes from the file's tags and its EXIF directory. A JPEG
// keeps all of these in its EXIF block instead, so they stay empty for JPEG input;
// the metadata module copies them into its ShotInfo for TIFF input.
struct TiffShotValues {
    // Texts are cut to the sizes of the ShotInfo fields they end up in (100, 100
    // and 30 bytes with the terminating NUL, 99 characters for lens names).
    static constexpr std::size_t kMakeCapacity = 99;
    static constexpr std::size_t kModelCapacity = 99;
    static constexpr std::size_t kDateTimeCapacity = 29;
    static constexpr std::size_t kLensNameCapacity = 99;

    std::string make;               // tag 271
    std::string model;              // tag 272
    std::string dateTime;           // EXIF DateTimeOriginal, else tag 306 DateTime
    std::string lensMake;           // EXIF LensMake, 42035
    std::string lensModel;          // EXIF LensModel, 42036
    float focalLength = 0.0f;       // EXIF 37386, mm
    float fNumber = 0.0f;           // EXIF 33437
    float exposureTime = 0.0f;      // EXIF 33434, seconds
    std::uint16_t orientation = 0;  // tag 274
    bool orientationFound = false;
    // Tag 50736: shortest and longest focal length, smallest f-number at each
    // of them; 0 where a value is absent or its denominator is 0.
    std::array<float, 4> lensInfo{};
};

// One entry of a TIFF directory the output carries over unread. `values` holds
// `count` values in the form libtiff keeps them in memory (`elementBytes` each:
// rationals as floats or doubles, texts with their NUL), so only the TIFF writer
// of this module reads them back.
struct TiffEntry {
    std::uint32_t tag = 0;
    std::uint16_t type = 0;  // TIFF field type
    std::uint32_t count = 0;
    std::uint32_t elementBytes = 0;
    std::vector<std::uint8_t> values;
};

// Tags of a TIFF input that nothing reads but that the output keeps.
struct TiffCarriedTags {
    std::string imageDescription;              // tag 270
    std::string artist;                        // tag 315
    std::string copyright;                     // tag 33432
    std::vector<std::uint8_t> imageResources;  // tag 34377, as stored
    std::vector<TiffEntry> exifDirectory;      // the entries of the EXIF directory (34665)
    std::vector<TiffEntry> gpsDirectory;       // and of the GPS directory (34853)
};

// How the colour of a JPEG is sampled: the luminance resolution over that of
// the two chroma components.
enum class ChromaSampling { k420, k422, k444 };

// One marker segment of a JPEG, its payload without marker and length.
struct JpegSegment {
    int marker = 0;
    std::vector<std::uint8_t> payload;
};

// What a JPEG input keeps beside its blocks: its encoding choices and the
// segments written after the XMP packet.
struct JpegCarried {
    // Read from the input's sampling factors; anything that is neither 4:4:4
    // nor 4:2:2 is written as 4:2:0.
    ChromaSampling chroma = ChromaSampling::k420;
    // The JFIF pixel density; without a JFIF segment the encoder's default.
    bool hasDensity = false;
    std::uint8_t densityUnit = 0;  // 0 aspect ratio only, 1 per inch, 2 per cm
    std::uint16_t xDensity = 1;
    std::uint16_t yDensity = 1;
    // COM segments and extended-XMP APP1 segments, in file order.
    std::vector<JpegSegment> trailingSegments;
};

struct ImageMetadata {
    FileKind fileKind = FileKind::kJpeg;

    // True once the pixels have been turned upright by their orientation: the
    // output then says "upright" (EXIF orientation 1, TIFF tag 274 = 1) so that
    // viewers do not turn it again. False: the output keeps the input's value.
    bool pixelsTurnedUpright = false;

    // Carried blocks; empty = absent. JPEG blocks include their identifying
    // prefix ("Exif\0\0", the XMP namespace signature, "Photoshop 3.0\0").
    std::vector<std::uint8_t> exif;  // JPEG APP1 "Exif" payload
    std::vector<std::uint8_t> xmp;   // XMP packet (JPEG: APP1 payload; TIFF: tag 700)
    std::vector<std::uint8_t> icc;   // ICC profile, joined from its APP2 chunks in JPEG
    std::vector<std::uint8_t> iptc;  // JPEG APP13 payload; TIFF tag 33723 bytes as stored

    // TIFF resolution, kept only when the unit is 1, 2 or 3 and both values > 0.
    bool hasResolution = false;
    std::uint16_t resolutionUnit = 0;
    float xResolution = 0.0f;
    float yResolution = 0.0f;

    // TIFF tag 50736, written back as read.
    bool hasLensInfo = false;

    // Tag values of a TIFF input (empty for JPEG).
    TiffShotValues tiff;
    TiffCarriedTags tiffTags;

    // Encoding and extra segments of a JPEG input (defaults for TIFF).
    JpegCarried jpeg;

    // The XMP packet as text (it is not NUL-terminated in memory).
    std::string_view XmpText() const {
        return {reinterpret_cast<const char*>(xmp.data()), xmp.size()};
    }

    void Clear() { *this = ImageMetadata{}; }
};

}  // namespace quillon
