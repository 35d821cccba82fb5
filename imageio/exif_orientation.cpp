#include "imageio/exif_orientation.h"

#include <cstring>
#include <span>

#include "base/byte_reader.h"

namespace quillon::imageio {

namespace {

constexpr std::size_t kExifHeaderBytes = 6;  // "Exif\0\0"
constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;
constexpr std::uint64_t kEntryBytes = 12;

void Store(std::uint8_t* at, std::uint32_t value, std::size_t bytes, ByteOrder order) {
    for (std::size_t i = 0; i < bytes; ++i) {
        const std::size_t shift = order == ByteOrder::kLittle ? i : bytes - 1 - i;
        at[i] = static_cast<std::uint8_t>(value >> (8 * shift));
    }
}

}  // namespace

bool SetExifOrientationUpright(std::vector<std::uint8_t>& exifBlock) {
    if (exifBlock.size() < kExifHeaderBytes || std::memcmp(exifBlock.data(), "Exif", 4) != 0) {
        return false;
    }
    // Offsets inside the block count from the TIFF header, not from "Exif".
    const std::span<std::uint8_t> tiff(exifBlock.data() + kExifHeaderBytes,
                                       exifBlock.size() - kExifHeaderBytes);
    ByteReader reader(tiff);
    const auto b0 = reader.U8(0);
    const auto b1 = reader.U8(1);
    if (!b0 || !b1 || *b0 != *b1) return false;
    if (*b0 == 'I') {
        reader.SetOrder(ByteOrder::kLittle);
    } else if (*b0 == 'M') {
        reader.SetOrder(ByteOrder::kBig);
    } else {
        return false;
    }
    const auto magic = reader.U16(2);
    const auto ifdOffset = reader.U32(4);
    if (!magic || *magic != 42 || !ifdOffset) return false;
    const auto count = reader.U16(*ifdOffset);
    if (!count) return false;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const std::uint64_t entry = std::uint64_t{*ifdOffset} + 2 + i * kEntryBytes;
        if (!reader.Fits(entry, kEntryBytes)) return false;
        if (*reader.U16(entry) != kOrientationTag) continue;
        const std::uint16_t type = *reader.U16(entry + 2);
        const std::uint32_t valueCount = *reader.U32(entry + 4);
        // One SHORT (or, from odd writers, one LONG) sits in the entry itself.
        if (valueCount != 1 || (type != kTypeShort && type != kTypeLong)) return false;
        const std::size_t bytes = type == kTypeShort ? 2 : 4;
        Store(tiff.data() + entry + 8, 1, bytes, reader.order());
        return true;
    }
    return false;
}

}  // namespace quillon::imageio
