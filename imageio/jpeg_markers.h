#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "image/image_metadata.h"

// Which APP segments of a JPEG file are carried over, and how an ICC profile that
// was split over several APP2 segments is joined and split again. Kept apart from
// the codec so the rules can be tested and fuzzed on plain bytes.

namespace quillon::imageio {

inline constexpr int kJpegApp1 = 0xE1;
inline constexpr int kJpegApp2 = 0xE2;
inline constexpr int kJpegApp13 = 0xED;
inline constexpr int kJpegComment = 0xFE;

// The profile bytes each APP2 segment carries: 32754 leaves the segments well
// below the marker's limit, which some readers need.
inline constexpr std::size_t kIccChunkBytes = 32754;
// Every APP2 profile chunk starts with this identifier and its NUL (12 bytes),
// then the chunk's sequence number (from 1) and the number of chunks.
inline constexpr char kIccIdentifier[] = "ICC_PROFILE";
inline constexpr std::size_t kIccIdentifierBytes = sizeof(kIccIdentifier);
inline constexpr std::size_t kIccHeaderBytes = 14;

// One saved marker segment, in file order. `payload` excludes the marker and its
// length field.
struct SavedMarker {
    int marker = 0;
    std::span<const std::uint8_t> payload;
};

// Fills the exif, xmp, iptc and icc blocks of `metadata` from the saved markers:
// the last EXIF APP1, the last XMP segment, the first APP13 image-resource block,
// and the joined ICC profile; and jpeg.trailingSegments with every COM segment
// and every extended-XMP APP1 segment in file order. Blocks not found are left
// empty. False only when a copy could not be allocated (the blocks are then all
// empty).
[[nodiscard]] bool PickJpegBlocks(std::span<const SavedMarker> markers, ImageMetadata& metadata);

// The ICC profile joined from its APP2 chunks, which may come in any order, or
// nothing when there is none or the chunk set is inconsistent (a missing,
// duplicate or out-of-range sequence number, disagreeing totals, no bytes).
std::optional<std::vector<std::uint8_t>> JoinIccProfile(std::span<const SavedMarker> markers);

// The number of APP2 segments that carry a profile of `profileBytes`: 0 for an
// empty profile, and 0 when it would need more than 255 and cannot be stored.
std::size_t IccChunkCount(std::size_t profileBytes);

}  // namespace quillon::imageio
