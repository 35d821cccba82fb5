#pragma once

#include <cstdint>
#include <vector>

#include "image/image_metadata.h"

// The document's EXIF data as a host hands it to filters: a bare TIFF
// structure. A JPEG carries one after its "Exif\0\0" prefix; a TIFF keeps the
// values in tags of its own, from which a small structure is built.

namespace quillon::host {

std::vector<std::uint8_t> ExifBlockOf(const ImageMetadata& metadata);

// A little-endian TIFF structure holding make, model, orientation, the date,
// exposure time, f-number, focal length and lens range (tag 0xA432) of `values`
// (those that are set).
std::vector<std::uint8_t> BuildExifBlock(const TiffShotValues& values);

}  // namespace quillon::host
