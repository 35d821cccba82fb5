#include "tools/host/exif_block.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace quillon::host {

namespace {

constexpr std::uint16_t kAscii = 2;
constexpr std::uint16_t kShort = 3;
constexpr std::uint16_t kLong = 4;
constexpr std::uint16_t kRational = 5;

struct Entry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::vector<std::uint8_t> value;  // little-endian bytes
};

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

Entry Text(std::uint16_t tag, const std::string& text) {
    Entry e{tag, kAscii, static_cast<std::uint32_t>(text.size() + 1), {}};
    e.value.assign(text.begin(), text.end());
    e.value.push_back(0);
    return e;
}

Entry Rationals(std::uint16_t tag, std::initializer_list<float> values) {
    Entry e{tag, kRational, static_cast<std::uint32_t>(values.size()), {}};
    for (const float v : values) {
        // Four decimals are more than any camera records.
        Put32(e.value, static_cast<std::uint32_t>(std::lround(std::max(0.0f, v) * 10000.0f)));
        Put32(e.value, 10000);
    }
    return e;
}

// One directory at `offset` followed by the values that do not fit in their
// entries; `next` is patched by the caller when a directory follows.
void WriteDirectory(std::vector<std::uint8_t>& out, std::vector<Entry> entries) {
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
    const auto start = static_cast<std::uint32_t>(out.size());
    std::uint32_t data = start + 2 + 12 * static_cast<std::uint32_t>(entries.size()) + 4;
    Put16(out, static_cast<std::uint32_t>(entries.size()));
    std::vector<std::uint8_t> tail;
    for (const Entry& e : entries) {
        Put16(out, e.tag);
        Put16(out, e.type);
        Put32(out, e.count);
        if (e.value.size() <= 4) {
            std::vector<std::uint8_t> inline4 = e.value;
            inline4.resize(4, 0);
            out.insert(out.end(), inline4.begin(), inline4.end());
        } else {
            Put32(out, data + static_cast<std::uint32_t>(tail.size()));
            tail.insert(tail.end(), e.value.begin(), e.value.end());
            if (tail.size() % 2 != 0) tail.push_back(0);
        }
    }
    Put32(out, 0);  // no next directory
    out.insert(out.end(), tail.begin(), tail.end());
}

}  // namespace

std::vector<std::uint8_t> BuildExifBlock(const TiffShotValues& values) {
    std::vector<Entry> first;
    if (!values.make.empty()) first.push_back(Text(271, values.make));
    if (!values.model.empty()) first.push_back(Text(272, values.model));
    if (values.orientationFound) {
        Entry e{274, kShort, 1, {}};
        Put16(e.value, values.orientation);
        first.push_back(e);
    }
    std::vector<Entry> exif;
    if (values.exposureTime > 0.0f) exif.push_back(Rationals(33434, {values.exposureTime}));
    if (values.fNumber > 0.0f) exif.push_back(Rationals(33437, {values.fNumber}));
    if (!values.dateTime.empty()) exif.push_back(Text(36867, values.dateTime));
    if (values.focalLength > 0.0f) exif.push_back(Rationals(37386, {values.focalLength}));
    if (std::any_of(values.lensInfo.begin(), values.lensInfo.end(),
                    [](float v) { return v != 0.0f; })) {
        exif.push_back(Rationals(42034, {values.lensInfo[0], values.lensInfo[1], values.lensInfo[2],
                                         values.lensInfo[3]}));
    }
    if (first.empty() && exif.empty()) return {};

    std::vector<std::uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
    if (exif.empty()) {
        WriteDirectory(out, first);
        return out;
    }
    // The EXIF directory follows the first one; its offset is known once the
    // first is laid out, so the pointer entry is patched afterwards.
    Entry pointer{34665, kLong, 1, {0, 0, 0, 0}};
    first.push_back(pointer);
    WriteDirectory(out, first);
    const auto exifOffset = static_cast<std::uint32_t>(out.size());
    WriteDirectory(out, exif);
    // Find the pointer entry (tags are sorted; 34665 is the last of the first
    // directory) and set its value.
    const std::size_t count = out[8] | static_cast<std::size_t>(out[9]) << 8;
    const std::size_t at = 8 + 2 + 12 * (count - 1) + 8;
    for (std::size_t i = 0; i < 4; ++i)
        out[at + i] = static_cast<std::uint8_t>(exifOffset >> (8 * i));
    return out;
}

std::vector<std::uint8_t> ExifBlockOf(const ImageMetadata& metadata) {
    if (metadata.fileKind == FileKind::kTiff) return BuildExifBlock(metadata.tiff);
    static constexpr std::uint8_t kPrefix[] = {'E', 'x', 'i', 'f', 0, 0};
    if (metadata.exif.size() <= sizeof kPrefix ||
        !std::equal(std::begin(kPrefix), std::end(kPrefix), metadata.exif.begin())) {
        return {};
    }
    return {metadata.exif.begin() + sizeof kPrefix, metadata.exif.end()};
}

}  // namespace quillon::host
