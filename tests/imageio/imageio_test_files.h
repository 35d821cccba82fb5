#pragma once

// Builders for the files the imageio tests read: TIFF files assembled byte by
// byte (so any tag can be missing, wrong or hostile), JPEG files written with
// libjpeg with arbitrary APP segments, and walkers over a JPEG's segments and a
// TIFF's directories to check what a writer produced without the libraries.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>

#include "base/image_buffer.h"
#include "tests/support/test_support.h"

namespace quillon::imageio::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// ---- TIFF -----------------------------------------------------------------

inline constexpr std::uint16_t kByte = 1;
inline constexpr std::uint16_t kAscii = 2;
inline constexpr std::uint16_t kShort = 3;
inline constexpr std::uint16_t kLong = 4;
inline constexpr std::uint16_t kRational = 5;
inline constexpr std::uint16_t kUndefined = 7;

struct TiffTag {
    std::uint16_t type = kShort;
    std::uint32_t count = 0;
    Bytes value;  // little-endian
};

inline void PutU16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void PutU32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

using TiffIfd = std::map<std::uint16_t, TiffTag>;

inline void SetShort(TiffIfd& ifd, std::uint16_t tag, std::vector<std::uint32_t> values) {
    TiffTag t{kShort, static_cast<std::uint32_t>(values.size()), {}};
    for (auto v : values) PutU16(t.value, v);
    ifd[tag] = t;
}
inline void SetLong(TiffIfd& ifd, std::uint16_t tag, std::uint32_t value) {
    TiffTag t{kLong, 1, {}};
    PutU32(t.value, value);
    ifd[tag] = t;
}
inline void SetAscii(TiffIfd& ifd, std::uint16_t tag, const std::string& text) {
    TiffTag t{kAscii, static_cast<std::uint32_t>(text.size() + 1), BytesOf(text)};
    t.value.push_back(0);
    ifd[tag] = t;
}
inline void SetRationals(TiffIfd& ifd, std::uint16_t tag,
                         std::vector<std::pair<std::uint32_t, std::uint32_t>> values) {
    TiffTag t{kRational, static_cast<std::uint32_t>(values.size()), {}};
    for (auto [n, d] : values) {
        PutU32(t.value, n);
        PutU32(t.value, d);
    }
    ifd[tag] = t;
}
inline void SetBytes(TiffIfd& ifd, std::uint16_t tag, std::uint16_t type, const Bytes& bytes) {
    ifd[tag] = TiffTag{type, static_cast<std::uint32_t>(bytes.size()), bytes};
}

// Appends one directory (entries sorted, values longer than 4 bytes after it) at
// the end of `file`, and answers its offset.
inline std::uint32_t AppendIfd(Bytes& file, const TiffIfd& ifd) {
    if (file.size() % 2) file.push_back(0);
    const auto start = static_cast<std::uint32_t>(file.size());
    std::uint32_t valueAt = start + 2 + 12 * static_cast<std::uint32_t>(ifd.size()) + 4;
    Bytes entries;
    Bytes values;
    PutU16(entries, static_cast<std::uint32_t>(ifd.size()));
    for (const auto& [tag, t] : ifd) {
        PutU16(entries, tag);
        PutU16(entries, t.type);
        PutU32(entries, t.count);
        if (t.value.size() <= 4) {
            Bytes inline4 = t.value;
            inline4.resize(4, 0);
            entries.insert(entries.end(), inline4.begin(), inline4.end());
        } else {
            PutU32(entries, valueAt + static_cast<std::uint32_t>(values.size()));
            values.insert(values.end(), t.value.begin(), t.value.end());
            if (values.size() % 2) values.push_back(0);
        }
    }
    PutU32(entries, 0);
    file.insert(file.end(), entries.begin(), entries.end());
    file.insert(file.end(), values.begin(), values.end());
    return start;
}

// A little-endian TIFF with uncompressed strips of `rowsPerStrip` rows over
// `pixels` (0 = one strip and no RowsPerStrip tag), the main directory `ifd`
// and, when `exif` or `gps` is not empty, an EXIF directory linked by tag 34665
// and a GPS directory linked by tag 34853.
inline Bytes BuildTiff(TiffIfd ifd, const Bytes& pixels, std::uint32_t height,
                       std::uint32_t rowsPerStrip, const TiffIfd& exif = {},
                       const TiffIfd& gps = {}) {
    Bytes file = {'I', 'I', 42, 0, 0, 0, 0, 0};
    const std::uint32_t dataAt = 8;
    file.insert(file.end(), pixels.begin(), pixels.end());
    if (!exif.empty()) SetLong(ifd, 34665, AppendIfd(file, exif));
    if (!gps.empty()) SetLong(ifd, 34853, AppendIfd(file, gps));
    const std::uint32_t strips =
        rowsPerStrip == 0 ? 1
                          : std::max<std::uint32_t>(1, (height + rowsPerStrip - 1) / rowsPerStrip);
    const std::size_t stripBytes =
        rowsPerStrip == 0 || height == 0 ? pixels.size() : pixels.size() / height * rowsPerStrip;
    TiffTag offsets{kLong, strips, {}};
    TiffTag counts{kLong, strips, {}};
    for (std::uint32_t s = 0; s < strips; ++s) {
        const std::size_t begin = s * stripBytes;
        const std::size_t length =
            std::min(stripBytes, pixels.size() - std::min(begin, pixels.size()));
        PutU32(offsets.value, dataAt + static_cast<std::uint32_t>(begin));
        PutU32(counts.value, static_cast<std::uint32_t>(length));
    }
    ifd[273] = offsets;
    ifd[279] = counts;
    if (rowsPerStrip != 0) SetLong(ifd, 278, rowsPerStrip);
    const std::uint32_t ifdAt = AppendIfd(file, ifd);
    file[4] = static_cast<std::uint8_t>(ifdAt);
    file[5] = static_cast<std::uint8_t>(ifdAt >> 8);
    file[6] = static_cast<std::uint8_t>(ifdAt >> 16);
    file[7] = static_cast<std::uint8_t>(ifdAt >> 24);
    return file;
}

// The directory of a plain RGB image: the tags every reader needs.
inline TiffIfd RgbIfd(std::uint32_t width, std::uint32_t height, std::uint32_t samples = 3,
                      std::uint32_t bits = 8) {
    TiffIfd ifd;
    SetLong(ifd, 256, width);
    SetLong(ifd, 257, height);
    SetShort(ifd, 258, std::vector<std::uint32_t>(samples, bits));
    SetShort(ifd, 259, {1});
    SetShort(ifd, 262, {2});
    SetShort(ifd, 277, {samples});
    SetShort(ifd, 284, {1});
    if (samples == 4) SetShort(ifd, 338, {2});  // unassociated alpha
    return ifd;
}

// One directory entry as a file stores it; `bytes` are the value's bytes in the
// file's own order.
struct RawEntry {
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    Bytes bytes;
};

struct RawDirectory {
    bool bigEndian = false;
    std::map<std::uint16_t, RawEntry> entries;
    bool Has(std::uint16_t tag) const { return entries.count(tag) != 0; }
};

inline std::size_t RawTypeBytes(std::uint16_t type) {
    switch (type) {
        case 3:
        case 8:
            return 2;
        case 4:
        case 9:
        case 11:
        case 13:
            return 4;
        case 5:
        case 10:
        case 12:
        case 16:
        case 17:
        case 18:
            return 8;
        default:
            return 1;
    }
}

inline std::uint32_t RawValue(const Bytes& file, std::size_t at, std::size_t size, bool bigEndian) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < size && at + i < file.size(); ++i) {
        v = v << 8 | file[at + (bigEndian ? i : size - 1 - i)];
    }
    return v;
}

// The classic-TIFF directory at `offset` of `file`, read without libtiff.
inline RawDirectory ReadRawDirectory(const Bytes& file, std::uint32_t offset) {
    RawDirectory dir;
    if (file.size() < 8) return dir;
    dir.bigEndian = file[0] == 'M';
    const std::uint32_t count = RawValue(file, offset, 2, dir.bigEndian);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t at = offset + 2 + 12 * std::size_t{i};
        if (at + 12 > file.size()) break;
        RawEntry e;
        const auto tag = static_cast<std::uint16_t>(RawValue(file, at, 2, dir.bigEndian));
        e.type = static_cast<std::uint16_t>(RawValue(file, at + 2, 2, dir.bigEndian));
        e.count = RawValue(file, at + 4, 4, dir.bigEndian);
        const std::size_t size = RawTypeBytes(e.type) * e.count;
        const std::size_t valueAt = size <= 4 ? at + 8 : RawValue(file, at + 8, 4, dir.bigEndian);
        if (valueAt + size > file.size()) continue;
        e.bytes.assign(file.begin() + static_cast<std::ptrdiff_t>(valueAt),
                       file.begin() + static_cast<std::ptrdiff_t>(valueAt + size));
        dir.entries[tag] = e;
    }
    return dir;
}

// The first directory of `file`.
inline RawDirectory ReadRawDirectory(const Bytes& file) {
    if (file.size() < 8) return {};
    return ReadRawDirectory(file, RawValue(file, 4, 4, file[0] == 'M'));
}

// The directory that the pointer `pointerTag` of the first directory leads to.
inline RawDirectory ReadRawSubDirectory(const Bytes& file, std::uint16_t pointerTag) {
    if (file.size() < 8) return {};
    const bool bigEndian = file[0] == 'M';
    const RawDirectory first = ReadRawDirectory(file);
    const auto it = first.entries.find(pointerTag);
    if (it == first.entries.end() || it->second.bytes.size() != 4) return {};
    return ReadRawDirectory(file, RawValue(it->second.bytes, 0, 4, bigEndian));
}

// The value of an entry with every element in little-endian order, so entries
// of files in either order compare (rationals are two 4-byte elements).
inline Bytes LittleEndianValue(const RawEntry& e, bool bigEndian) {
    Bytes out = e.bytes;
    if (!bigEndian) return out;
    std::size_t element = RawTypeBytes(e.type);
    if (e.type == 5 || e.type == 10) element = 4;
    for (std::size_t at = 0; at + element <= out.size(); at += element) {
        std::reverse(out.begin() + static_cast<std::ptrdiff_t>(at),
                     out.begin() + static_cast<std::ptrdiff_t>(at + element));
    }
    return out;
}

// ---- pixels ---------------------------------------------------------------

// Sample values that encode their position, so a pixel read from the wrong
// place is visible; 16-bit samples use the high byte too.
inline std::uint32_t PatternSample(std::int32_t x, std::int32_t y, int channel, int bits) {
    const std::uint32_t v = static_cast<std::uint32_t>(x * 7 + y * 1000 + channel * 333);
    return bits == 8 ? (v & 0xFF) : ((v * 37u) & 0xFFFF);
}

// Interleaved samples of a width x height image with `samples` channels, in the
// machine's byte order for 16 bits.
inline Bytes PatternPixels(std::int32_t width, std::int32_t height, int samples, int bits) {
    Bytes out;
    out.reserve(static_cast<std::size_t>(width * height * samples * bits / 8));
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            for (int c = 0; c < samples; ++c) {
                const std::uint32_t v = PatternSample(x, y, c, bits);
                if (bits == 8) {
                    out.push_back(static_cast<std::uint8_t>(v));
                } else {
                    const auto s = static_cast<std::uint16_t>(v);
                    std::uint8_t two[2];
                    std::memcpy(two, &s, 2);
                    out.push_back(two[0]);
                    out.push_back(two[1]);
                }
            }
        }
    }
    return out;
}

// A smooth image (JPEG keeps it closely) of 3 or 1 or 4 components.
inline Bytes SmoothPixels(std::int32_t width, std::int32_t height, int components) {
    Bytes out;
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            for (int c = 0; c < components; ++c) {
                out.push_back(static_cast<std::uint8_t>(40 + (x * 150) / std::max(1, width) +
                                                        (y * 50) / std::max(1, height) + c * 10));
            }
        }
    }
    return out;
}

// ---- JPEG -----------------------------------------------------------------

struct Segment {
    int marker = 0;  // 0xE0..0xEF for APPn, 0xDB, ...
    Bytes payload;
};

// Writes a JPEG of the given colour space (1 = gray, 3 = RGB, 4 = CMYK) with the
// given APP or COM segments after the encoder's own headers; `configure` may
// change the compressor's settings (sampling, density, progression) last.
inline bool WriteTestJpeg(const std::string& path, std::int32_t width, std::int32_t height,
                          int components, const Bytes& pixels,
                          const std::vector<Segment>& segments = {}, int quality = 95,
                          const std::function<void(jpeg_compress_struct&)>& configure = {}) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (configure) configure(cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    for (const Segment& s : segments) {
        jpeg_write_marker(&cinfo, s.marker, s.payload.data(),
                          static_cast<unsigned>(s.payload.size()));
    }
    const std::size_t rowBytes = static_cast<std::size_t>(width * components);
    Bytes row(rowBytes);
    for (std::int32_t y = 0; y < height; ++y) {
        std::memcpy(row.data(), pixels.data() + rowBytes * static_cast<std::size_t>(y), rowBytes);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(f) == 0;
}

// The marker segments of a JPEG file from SOI up to and including SOS (the
// payload excludes marker and length), or an empty list for a malformed file.
inline std::vector<Segment> JpegSegments(const Bytes& file) {
    std::vector<Segment> out;
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8) return {};
    std::size_t at = 2;
    while (at + 4 <= file.size()) {
        if (file[at] != 0xFF) return {};
        const int marker = file[at + 1];
        const std::size_t length = static_cast<std::size_t>(file[at + 2] << 8 | file[at + 3]);
        if (length < 2 || at + 2 + length > file.size()) return {};
        out.push_back(
            Segment{marker, Bytes(file.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                  file.begin() + static_cast<std::ptrdiff_t>(at + 2 + length))});
        if (marker == 0xDA) break;
        at += 2 + length;
    }
    return out;
}

// One APP2 ICC chunk payload.
inline Bytes IccChunk(int sequence, int total, const Bytes& share) {
    Bytes p = BytesOf(std::string("ICC_PROFILE", 12));
    p.push_back(static_cast<std::uint8_t>(sequence));
    p.push_back(static_cast<std::uint8_t>(total));
    p.insert(p.end(), share.begin(), share.end());
    return p;
}

// Bytes that differ from position to position, so a misplaced share shows.
inline Bytes CountingBytes(std::size_t n, std::uint32_t seed = 0) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>((i * 131 + seed + (i >> 8)) & 0xFF);
    return b;
}

// A minimal EXIF payload: "Exif\0\0" + TIFF header + IFD0 with Orientation and
// one more entry, in either byte order; `marker` distinguishes blocks.
inline Bytes ExifBlock(bool bigEndian, std::uint16_t orientation, std::uint8_t marker = 0) {
    Bytes b = BytesOf(std::string("Exif\0\0", 6));
    auto u16 = [&](std::uint32_t v) {
        if (bigEndian) {
            b.push_back(static_cast<std::uint8_t>(v >> 8));
            b.push_back(static_cast<std::uint8_t>(v));
        } else {
            PutU16(b, v);
        }
    };
    auto u32 = [&](std::uint32_t v) {
        if (bigEndian) {
            for (int i = 3; i >= 0; --i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        } else {
            PutU32(b, v);
        }
    };
    b.push_back(bigEndian ? 'M' : 'I');
    b.push_back(bigEndian ? 'M' : 'I');
    u16(42);
    u32(8);
    u16(2);
    u16(0x010F);  // Make, 4 ASCII bytes inline
    u16(2);
    u32(4);
    b.insert(b.end(), {'A', 'B', 'C', marker});
    u16(0x0112);
    u16(3);
    u32(1);
    u16(orientation);
    u16(0);
    u32(0);
    return b;
}

}  // namespace quillon::imageio::test
