#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The per-image values that decide the correction (camera, lens, focal length)
// and the shot data shown to the user. Filled from the EXIF block, the maker
// note and the XMP packet; later changed only by lens detection (converter
// factor) and by the user's focal-length entry.

namespace quillon::metadata {

// Longest texts kept; longer metadata texts are cut, never rejected.
inline constexpr std::size_t kMaxMakeChars = 99;
inline constexpr std::size_t kMaxModelChars = 99;
inline constexpr std::size_t kMaxDateChars = 30;
inline constexpr std::size_t kMaxLensNameChars = 99;

// A location inside the EXIF block that was parsed: a byte offset from the
// start of the block exactly as it was handed to the parser, so that it stays
// meaningful for whoever holds that same block (the writers patch the
// orientation there). kNoLocation when nothing was found.
inline constexpr std::int64_t kNoLocation = -1;

// The lens's own name as the photo's sources write it ("EF-S18-55mm f/3.5-5.6
// IS", "OLYMPUS M.14-42mm F3.5-5.6 II R"), each at most kMaxLensNameChars,
// trailing blanks removed, empty where the source has none. The sources are
// kept apart: they differ in how much they say; PhotoLensNameOf (lens_name.h)
// picks the one that lens names are compared with.
struct LensNames {
    std::string exifLensMake;    // EXIF LensMake, 0xA433
    std::string exifLensModel;   // EXIF LensModel, 0xA434
    std::string makerNoteModel;  // Canon lens model 0x0095, Olympus Equipment LensModel 0x0203
    std::string xmpLensModel;    // XMP exifEX:LensModel
    std::string xmpLens;         // XMP aux:Lens
};

struct ShotInfo {
    std::string make;              // at most kMaxMakeChars, trailing blanks removed
    std::string model;             // at most kMaxModelChars, trailing blanks removed
    std::string dateTimeOriginal;  // "YYYY:MM:DD hh:mm:ss" as stored; empty when absent

    double focalLength = 0.0;          // mm; after detection includes a converter factor
    double originalFocalLength = 0.0;  // as read, before any converter factor
    double fNumber = 0.0;
    double exposureTime = 0.0;  // seconds
    std::int32_t iso = 0;

    std::uint16_t orientation = 0;  // EXIF orientation value, 0 when absent
    // Offset of the 16-bit orientation value inside the EXIF block, kNoLocation
    // when the block has none (TIFF files keep it as a field of their own).
    std::int64_t orientationLocation = kNoLocation;

    // The lens's focal range and its largest apertures at both ends; 0 = absent.
    double minFlen = 0.0;
    double maxFlen = 0.0;
    double originalMinFlen = 0.0;
    double originalMaxFlen = 0.0;
    double minFlenMaxAper = 0.0;
    double maxFlenMaxAper = 0.0;

    std::int32_t lensId = 0;  // maker-specific lens number, 0 if none
    LensNames lensNames;
    std::int32_t colourSpaceIndex = -1;  // named colour space from XMP, -1 if none

    // The maker note as recorded by the directory walk, as offsets inside the
    // EXIF block: its value, its byte size, and the base and length its own
    // offsets are taken against. makerNote is kNoLocation when there is none.
    std::int64_t makerNote = kNoLocation;
    std::uint32_t makerNoteSize = 0;
    std::int64_t makerNoteBase = kNoLocation;
    std::uint32_t makerNoteLength = 0;
    // How far an editor moved the maker note (tag 0xEA1D); added to the value
    // offsets of maker notes that count them from the EXIF header.
    std::int32_t offsetSchema = 0;

    bool bigEndian = false;  // byte order of the TIFF structure being read
};

// True when `name` begins the make, letters compared without regard to case.
// Makers write their names in varying case and with company suffixes
// ("NIKON CORPORATION"), so a prefix is what identifies the maker.
bool MakeStartsWith(const ShotInfo& shot, std::string_view name);

}  // namespace quillon::metadata
