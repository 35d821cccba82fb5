#pragma once

#include <cstdint>
#include <vector>

// The preview turns a photo upright by its EXIF orientation; the corrected file
// must then say "upright" too, or viewers would turn it a second time. The
// value is changed inside the carried EXIF block itself, in the block's own byte
// order, so everything else in the block stays byte-identical.

namespace quillon::imageio {

// Sets the Orientation entry (tag 274) of the first image directory of a JPEG
// EXIF payload ("Exif\0\0" followed by a TIFF header) to 1. Answers true when the
// entry was found and now reads 1; a block without a well-formed entry is left
// untouched and answers false. Every offset is checked against the block.
bool SetExifOrientationUpright(std::vector<std::uint8_t>& exifBlock);

}  // namespace quillon::imageio
