#include "metadata/exif_reader.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "metadata/directory_walk.h"

namespace quillon::metadata {
namespace detail {
namespace {

constexpr std::uint16_t kTagMake = 0x010F;
constexpr std::uint16_t kTagModel = 0x0110;
constexpr std::uint16_t kTagOrientation = 0x0112;
constexpr std::uint16_t kTagExposureTime = 0x829A;
constexpr std::uint16_t kTagFNumber = 0x829D;
constexpr std::uint16_t kTagExifIfd = 0x8769;
constexpr std::uint16_t kTagIsoSpeedRatings = 0x8827;
constexpr std::uint16_t kTagDateTimeOriginal = 0x9003;
constexpr std::uint16_t kTagShutterSpeedValue = 0x9201;
constexpr std::uint16_t kTagFocalLength = 0x920A;
constexpr std::uint16_t kTagMakerNote = 0x927C;
constexpr std::uint16_t kTagInteropIfd = 0xA005;
constexpr std::uint16_t kTagLensSpecification = 0xA432;
constexpr std::uint16_t kTagLensMake = 0xA433;
constexpr std::uint16_t kTagLensModel = 0xA434;
constexpr std::uint16_t kTagOffsetSchema = 0xEA1D;

constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTiffMagic = 42;
constexpr std::size_t kApp1PrefixSize = 6;  // "Exif\0\0"

// Cameras that write no focal length put 1/1 there; taking it literally would
// pick a 1 mm calibration.
constexpr double kPlaceholderFocalLength = 1.0;
constexpr char kEmptyDate[] = "0000:00:00 00:00:00";

}  // namespace

std::uint64_t TypeSize(std::uint16_t type) {
    switch (type) {
        case 1:
        case 2:
        case 6:
        case 7:
            return 1;
        case 3:
        case 8:
            return 2;
        case 4:
        case 9:
        case 11:
            return 4;
        case 5:
        case 10:
        case 12:
            return 8;
        case 13:
            return 12;
        default:
            return 0;
    }
}

std::int32_t TruncToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

DirectoryWalker::DirectoryWalker(std::span<const std::uint8_t> block, ShotInfo& shot)
    : reader_(block, shot.bigEndian ? ByteOrder::kBig : ByteOrder::kLittle), shot_(shot) {}

bool DirectoryWalker::DirectoryFits(std::uint64_t start, std::uint64_t base,
                                    std::uint64_t length) const {
    const auto count = reader_.U16(start);
    if (!count) return false;
    const std::uint64_t end = base + length;
    const std::uint64_t t = start + 2 + 12 * static_cast<std::uint64_t>(*count);
    // The three endings allow for a directory with a link to the next one, a
    // short link, or none at all. The block test stops a header that claims
    // more than the block holds from sending the entries past its end.
    const bool endsInPlace = t + 4 <= end || t + 2 == end || t == end;
    return endsInPlace && t <= reader_.size();
}

void DirectoryWalker::Walk(int kind, std::uint64_t start, std::uint64_t base, std::uint64_t length,
                           int depth) {
    if (depth > kMaxDirectoryDepth) return;
    if (!DirectoryFits(start, base, length)) return;
    const std::uint16_t count = *reader_.U16(start);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t at = start + 2 + 12 * static_cast<std::uint64_t>(i);
        // The fit test placed every entry inside the block.
        DirectoryEntry entry;
        entry.tag = *reader_.U16(at);
        entry.type = *reader_.U16(at + 2);
        entry.count = *reader_.U32(at + 4);
        if (entry.type > 13) continue;
        entry.size = static_cast<std::uint64_t>(entry.count) * TypeSize(entry.type);
        if (entry.size > 4) {
            std::int64_t offset = *reader_.U32(at + 8);
            if (kind != kStandardDirectory) offset += makerNoteShift_;
            if (offset < 0) continue;
            const auto unsignedOffset = static_cast<std::uint64_t>(offset);
            if (unsignedOffset + entry.size > length) continue;
            entry.location = base + unsignedOffset;
            if (!reader_.Fits(entry.location, entry.size)) continue;
        } else {
            entry.location = at + 8;
        }
        if (kind == kStandardDirectory) {
            StandardTag(entry, base, length, depth);
        } else {
            MakerTag(kind, entry, base, length, depth);
        }
    }
}

double DirectoryWalker::ValueAt(std::uint64_t location, std::uint16_t type) const {
    double value = 0.0;
    switch (type) {
        case 1:
            value = reader_.U8(location).value_or(0);
            break;
        case 6:
            value = static_cast<std::int8_t>(reader_.U8(location).value_or(0));
            break;
        case 3:
            value = reader_.U16(location).value_or(0);
            break;
        case 8:
            value = reader_.I16(location).value_or(0);
            break;
        case 4:
            value = reader_.U32(location).value_or(0);
            break;
        case 9:
            value = reader_.I32(location).value_or(0);
            break;
        case 5:
        case 10: {
            const auto numerator = reader_.I32(location);
            const auto denominator = reader_.I32(location + 4);
            if (numerator && denominator && *denominator != 0) {
                value = static_cast<double>(*numerator) / static_cast<double>(*denominator);
            }
            break;
        }
        case 11: {
            // Floating-point values are taken in the machine's own order, as
            // they were written by software on the same kind of machine.
            if (auto bytes = reader_.Slice(location, sizeof(float))) {
                float f = 0;
                std::memcpy(&f, bytes->data(), sizeof f);
                value = f;
            }
            break;
        }
        case 12: {
            if (auto bytes = reader_.Slice(location, sizeof(double))) {
                std::memcpy(&value, bytes->data(), sizeof value);
            }
            break;
        }
        default:
            break;
    }
    // An infinite or NaN value would poison every comparison and number
    // written from it; it carries no usable information.
    return std::isfinite(value) ? value : 0.0;
}

std::string DirectoryWalker::TextOf(const DirectoryEntry& entry, std::size_t maxChars) const {
    // A text without a terminator ends with its value instead of running on
    // into whatever follows it.
    const std::uint64_t limit = std::min<std::uint64_t>(maxChars, entry.size);
    return reader_.Text(entry.location, limit);
}

void DirectoryWalker::StandardTag(const DirectoryEntry& entry, std::uint64_t base,
                                  std::uint64_t length, int depth) {
    switch (entry.tag) {
        case kTagMake:
            shot_.make = TextOf(entry, kMaxMakeChars);
            break;
        case kTagModel:
            shot_.model = TextOf(entry, kMaxModelChars);
            break;
        case kTagOrientation:
            if (entry.type == kTypeShort) {
                shot_.orientation = reader_.U16(entry.location).value_or(0);
                shot_.orientationLocation = static_cast<std::int64_t>(entry.location);
            }
            break;
        case kTagExposureTime:
            shot_.exposureTime = FirstValue(entry);
            break;
        case kTagFNumber:
            shot_.fNumber = FirstValue(entry);
            break;
        case kTagExifIfd:
        case kTagInteropIfd: {
            const auto offset = reader_.U32(entry.location);
            if (offset && base + *offset <= base + length) {
                Walk(kStandardDirectory, base + *offset, base, length, depth + 1);
            }
            break;
        }
        case kTagIsoSpeedRatings:
            shot_.iso = TruncToInt32(FirstValue(entry));
            break;
        case kTagDateTimeOriginal:
            shot_.dateTimeOriginal = TextOf(entry, kMaxDateChars);
            if (shot_.dateTimeOriginal == kEmptyDate) shot_.dateTimeOriginal.clear();
            break;
        case kTagShutterSpeedValue:
            if (shot_.exposureTime == 0.0) {
                const double seconds = 1.0 / std::pow(2.0, FirstValue(entry));
                if (std::isfinite(seconds)) shot_.exposureTime = seconds;
            }
            break;
        case kTagFocalLength: {
            const double value = FirstValue(entry);
            shot_.focalLength = value == kPlaceholderFocalLength ? 0.0 : value;
            break;
        }
        case kTagMakerNote:
            shot_.makerNote = static_cast<std::int64_t>(entry.location);
            shot_.makerNoteSize = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(entry.size, std::numeric_limits<std::uint32_t>::max()));
            shot_.makerNoteBase = static_cast<std::int64_t>(base);
            shot_.makerNoteLength = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(length, std::numeric_limits<std::uint32_t>::max()));
            break;
        case kTagLensSpecification:
            // Four rationals; fewer would mean reading whatever follows them.
            if (entry.size >= 32) {
                shot_.minFlen = ValueAt(entry.location, 5);
                shot_.maxFlen = ValueAt(entry.location + 8, 5);
                shot_.minFlenMaxAper = ValueAt(entry.location + 16, 5);
                shot_.maxFlenMaxAper = ValueAt(entry.location + 24, 5);
            }
            break;
        case kTagLensMake:
            shot_.lensNames.exifLensMake = TextOf(entry, kMaxLensNameChars);
            break;
        case kTagLensModel:
            shot_.lensNames.exifLensModel = TextOf(entry, kMaxLensNameChars);
            break;
        case kTagOffsetSchema:
            shot_.offsetSchema = TruncToInt32(FirstValue(entry));
            break;
        default:
            break;
    }
}

}  // namespace detail

void ParseExifBlock(std::span<const std::uint8_t> block, ShotInfo& shot, ExifBlockForm form) {
    const std::size_t prefix = form == ExifBlockForm::kApp1Payload ? detail::kApp1PrefixSize : 0;
    if (block.size() < prefix + 8) return;
    const std::uint64_t base = prefix;
    const std::uint64_t length = block.size() - prefix;
    // Maker-note locations are offsets into this block; one left from another
    // block would point at unrelated bytes.
    shot.makerNote = kNoLocation;
    shot.makerNoteSize = 0;
    shot.makerNoteBase = kNoLocation;
    shot.makerNoteLength = 0;

    // Anything but "MM" is read as little-endian: writers that garble the mark
    // are far more often little-endian ones.
    shot.bigEndian = block[prefix] == 'M' && block[prefix + 1] == 'M';
    detail::DirectoryWalker walker(block, shot);
    if (walker.reader().U16(base + 2) != detail::kTiffMagic) return;
    const auto first = walker.reader().U32(base + 4);
    if (!first) return;
    // Only the first directory: the next one describes the thumbnail.
    walker.Walk(detail::kStandardDirectory, base + *first, base, length, 0);
    if (shot.makerNote != kNoLocation) detail::ReadMakerNote(walker);
}

}  // namespace quillon::metadata
