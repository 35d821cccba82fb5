#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What a photo carries from its input file to its corrected output, and the few
// values the TIFF reader finds in the file's own tags. The blocks are kept as the
// exact bytes that were read so that writing them back changes nothing a later
// reader could notice; the metadata module parses them, this module never does
// (apart from the orientation value, see exif_orientation.h).

namespace quillon::imageio {

enum class FileKind { kJpeg, kTiff };

// Values the TIFF reader takes from the file's tags and its EXIF directory. A JPEG
// keeps all of these in its EXIF block instead, so they stay empty for JPEG input;
// the metadata module copies them into its ShotInfo for TIFF input.
struct TiffShotValues {
    // Texts are cut to the sizes of the ShotInfo fields they end up in (100, 100
    // and 30 bytes with the terminating NUL).
    static constexpr std::size_t kMakeCapacity = 99;
    static constexpr std::size_t kModelCapacity = 99;
    static constexpr std::size_t kDateTimeCapacity = 29;

    std::string make;               // tag 271
    std::string model;              // tag 272
    std::string dateTime;           // EXIF DateTimeOriginal, else tag 306 DateTime
    float focalLength = 0.0f;       // EXIF 37386, mm
    float fNumber = 0.0f;           // EXIF 33437
    float exposureTime = 0.0f;      // EXIF 33434, seconds
    std::uint16_t orientation = 0;  // tag 274
    bool orientationFound = false;
    // Tag 50736: shortest and longest focal length, smallest f-number at each
    // of them; 0 where a value is absent or its denominator is 0.
    std::array<float, 4> lensInfo{};
};

struct ImageMetadata {
    FileKind fileKind = FileKind::kJpeg;

    // Carried blocks; empty = absent. JPEG blocks include their identifying
    // prefix ("Exif\0\0", the XMP namespace signature, "Photoshop 3.0\0").
    std::vector<std::uint8_t> exif;  // JPEG APP1 "Exif" payload
    std::vector<std::uint8_t> xmp;   // XMP packet (JPEG: APP1 payload; TIFF: tag 700)
    std::vector<std::uint8_t> icc;   // ICC profile, joined from its APP2 chunks in JPEG
    std::vector<std::uint8_t> iptc;  // JPEG APP13 payload; TIFF tag 33723 bytes

    // TIFF resolution, kept only when the unit is 1, 2 or 3 and both values > 0.
    bool hasResolution = false;
    std::uint16_t resolutionUnit = 0;
    float xResolution = 0.0f;
    float yResolution = 0.0f;

    // TIFF tag 50736, written back as read.
    bool hasLensInfo = false;

    // The pixels were turned to stand upright after reading (the preview turns
    // a photo by its orientation value), so the output must say orientation 1.
    // The EXIF block is changed in place when that happens; formats that keep
    // the orientation as a tag of their own write 1 when this is set.
    bool pixelsTurnedUpright = false;

    // Tag values of a TIFF input (empty for JPEG).
    TiffShotValues tiff;

    // The XMP packet as text (it is not NUL-terminated in memory).
    std::string_view XmpText() const {
        return {reinterpret_cast<const char*>(xmp.data()), xmp.size()};
    }

    void Clear() { *this = ImageMetadata{}; }
};

}  // namespace quillon::imageio
