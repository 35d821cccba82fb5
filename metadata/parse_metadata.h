#pragma once

#include <cstdint>
#include <span>

#include "image/image_metadata.h"
#include "metadata/exif_reader.h"
#include "metadata/shot_info.h"

namespace quillon::metadata {

// The three detection options of the settings: each one off means the program
// ignores that part of the metadata and the user picks it by hand.
struct DetectSwitches {
    bool detectCamera = true;  // "DetectCamera": make and model
    bool detectLens = true;    // "DetectLens": lens range, apertures, names, f-number, exposure
    bool detectFlen = true;    // "DetectFlen": focal length
};

// What an opened image hands to the metadata reader. Empty spans are absent
// blocks.
struct MetadataBlocks {
    std::span<const std::uint8_t> exif;
    ExifBlockForm exifForm = ExifBlockForm::kApp1Payload;
    std::span<const std::uint8_t> xmp;
    // The tag values of a TIFF input; nullptr for other inputs.
    const TiffShotValues* tiff = nullptr;
};

// The ShotInfo of one image: the TIFF fields if any, then the EXIF block with
// its maker note, then the XMP packet, then CompleteShotInfo.
ShotInfo ParseMetadata(const MetadataBlocks& blocks, const DetectSwitches& detect);

// The same for an image as LoadImageFile read it: for a TIFF its tag values and
// XMP packet, for a JPEG its EXIF block and XMP packet.
ShotInfo ParseImageMetadata(const ImageMetadata& metadata, const DetectSwitches& detect);

// Copies the values a TIFF reader found into a cleared ShotInfo.
void ApplyTiffShotValues(const TiffShotValues& tiff, ShotInfo& shot);

// The steps after all sources were read: trailing blanks of make and model,
// lens data that contradicts the shot is dropped, the originals are taken, and
// the detection options clear what the user chose to set by hand.
void CompleteShotInfo(ShotInfo& shot, const DetectSwitches& detect);

}  // namespace quillon::metadata
