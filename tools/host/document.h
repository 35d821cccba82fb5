#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imageio/image_file.h"
#include "platform/message_sink.h"

// The host's document: an RGB image kept plane by plane, as image editors keep
// their channels, with 16-bit samples in the host's range 0..32768, and the
// metadata the host offers its filters.

namespace quillon::host {

inline constexpr std::uint32_t kHostMaxSample16 = 32768;

struct Document {
    std::int32_t width = 0;
    std::int32_t height = 0;
    int depth = 8;                                  // bits per sample: 8 or 16
    std::vector<std::vector<std::uint8_t>> planes;  // red, green, blue; rows without gaps

    std::vector<std::uint8_t> exif;  // a TIFF structure; empty when the photo has none
    std::vector<std::uint8_t> xmp;
    std::vector<std::uint8_t> icc;
    ImageMetadata fileMetadata;  // written back with the result

    int SampleBytes() const { return depth == 16 ? 2 : 1; }
    std::int64_t PlaneRowBytes() const { return std::int64_t{width} * SampleBytes(); }
};

// The conversions between a file's 16-bit range and the host's.
std::uint16_t FileToHost16(std::uint16_t v);
std::uint16_t HostToFile16(std::uint16_t v);

// The document of an interleaved RGB image (24 or 48 bits per pixel).
Document DocumentFromImage(const ImageBuffer& image);

// Opens a JPEG or TIFF as a document with its metadata. False after a message.
bool OpenDocument(const std::string& path, Document& document, platform::MessageSink& sink);

// Writes the document in the format of `path`'s suffix with the metadata it
// was opened with. False after a message.
bool SaveDocument(const Document& document, const std::string& path, int jpegQuality,
                  platform::MessageSink& sink);

// The document as an interleaved image of the file's range, in `image`
// (blocks and descriptions replaced).
bool DocumentToImage(const Document& document, CurrentImage& image);

}  // namespace quillon::host
