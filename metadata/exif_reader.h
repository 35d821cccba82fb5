#pragma once

#include <cstdint>
#include <span>

#include "metadata/shot_info.h"

namespace quillon::metadata {

// How an EXIF block begins. JPEG files carry it as the payload of their APP1
// segment, six bytes "Exif\0\0" before the TIFF structure; a host application
// hands over the bare TIFF structure.
enum class ExifBlockForm {
    kApp1Payload,
    kTiffStructure,
};

// Reads the first directory of the block, the EXIF and interoperability
// directories it points to, and the lens data of the maker note into `shot`.
// Fields the block does not have are left as they are. Malformed structures are
// skipped silently: whatever was read before the fault stays. Locations stored
// in `shot` (orientationLocation, makerNote, makerNoteBase) are offsets into
// `block`.
void ParseExifBlock(std::span<const std::uint8_t> block, ShotInfo& shot,
                    ExifBlockForm form = ExifBlockForm::kApp1Payload);

}  // namespace quillon::metadata
