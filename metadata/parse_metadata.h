#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "metadata/exif_reader.h"
#include "metadata/shot_info.h"

namespace quillon::metadata {

// The three detection options of the settings: each one off means the program
// ignores that part of the metadata and the user picks it by hand.
struct DetectSwitches {
    bool detectCamera = true;  // "DetectCamera": make and model
    bool detectLens = true;    // "DetectLens": lens range, apertures, f-number, exposure
    bool detectFlen = true;    // "DetectFlen": focal length
};

// The values a TIFF file keeps as fields of its own instead of an EXIF block:
// from its first directory and from its EXIF directory.
struct TiffTagValues {
    std::string make;
    std::string model;
    std::string dateTime;          // 306, used only when there is no original date
    std::string dateTimeOriginal;  // from the EXIF directory
    double fNumber = 0.0;
    double focalLength = 0.0;
    double exposureTime = 0.0;
    bool hasLensInfo = false;  // 50736: short, long focal length, their largest apertures
    double lensInfo[4] = {};
    bool hasOrientation = false;
    std::uint16_t orientation = 0;
};

// What an opened image hands to the metadata reader. Empty spans are absent
// blocks.
struct MetadataBlocks {
    std::span<const std::uint8_t> exif;
    ExifBlockForm exifForm = ExifBlockForm::kApp1Payload;
    std::span<const std::uint8_t> xmp;
    const TiffTagValues* tiff = nullptr;
};

// The ShotInfo of one image: the TIFF fields if any, then the EXIF block with
// its maker note, then the XMP packet, then CompleteShotInfo.
ShotInfo ParseMetadata(const MetadataBlocks& blocks, const DetectSwitches& detect);

// Copies the values a TIFF reader found into a cleared ShotInfo.
void ApplyTiffTagValues(const TiffTagValues& tiff, ShotInfo& shot);

// The steps after all sources were read: trailing blanks of make and model,
// lens data that contradicts the shot is dropped, the originals are taken, and
// the detection options clear what the user chose to set by hand.
void CompleteShotInfo(ShotInfo& shot, const DetectSwitches& detect);

}  // namespace quillon::metadata
