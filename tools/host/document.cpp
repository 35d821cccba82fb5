#include "tools/host/document.h"

#include <cstring>
#include <optional>

#include "imageio/jpeg_file.h"
#include "imageio/tiff_file.h"
#include "tools/host/exif_block.h"

namespace quillon::host {

std::uint16_t FileToHost16(std::uint16_t v) {
    return static_cast<std::uint16_t>((std::uint32_t{v} * kHostMaxSample16 + 32767u) / 65535u);
}

std::uint16_t HostToFile16(std::uint16_t v) {
    const std::uint32_t wide = (std::uint32_t{v} * 65535u + 16384u) >> 15;
    return static_cast<std::uint16_t>(wide > 65535u ? 65535u : wide);
}

Document DocumentFromImage(const ImageBuffer& image) {
    Document document;
    document.width = image.width;
    document.height = image.height;
    document.depth = image.bitsPerPixel == 48 ? 16 : 8;
    const auto width = static_cast<std::size_t>(image.width);
    const auto samples = width * static_cast<std::size_t>(image.height);
    document.planes.assign(
        3, std::vector<std::uint8_t>(samples * static_cast<std::size_t>(document.SampleBytes())));
    for (std::size_t k = 0; k < 3; ++k) {
        std::uint8_t* plane = document.planes[k].data();
        for (std::int32_t y = 0; y < image.height; ++y) {
            const std::uint8_t* row = image.Row(y);
            const std::size_t base = static_cast<std::size_t>(y) * width;
            if (document.depth == 8) {
                for (std::size_t x = 0; x < width; ++x) plane[base + x] = row[3 * x + k];
            } else {
                const auto* row16 = reinterpret_cast<const std::uint16_t*>(row);
                auto* plane16 = reinterpret_cast<std::uint16_t*>(plane);
                for (std::size_t x = 0; x < width; ++x) {
                    plane16[base + x] = FileToHost16(row16[3 * x + k]);
                }
            }
        }
    }
    return document;
}

bool DocumentToImage(const Document& document, CurrentImage& image) {
    image.input =
        DescribeImage(document.width, document.height, document.depth == 16 ? 48 : 24, nullptr);
    if (!image.blocks.work.Allocate(ImageByteCount(image.input))) return false;
    image.output = image.input;
    image.output.pixels = image.blocks.work.data();
    const auto width = static_cast<std::size_t>(document.width);
    for (std::size_t k = 0; k < 3; ++k) {
        const std::uint8_t* plane = document.planes[k].data();
        for (std::int32_t y = 0; y < document.height; ++y) {
            std::uint8_t* row = image.output.Row(y);
            const std::size_t base = static_cast<std::size_t>(y) * width;
            if (document.depth == 8) {
                for (std::size_t x = 0; x < width; ++x) row[3 * x + k] = plane[base + x];
            } else {
                auto* row16 = reinterpret_cast<std::uint16_t*>(row);
                const auto* plane16 = reinterpret_cast<const std::uint16_t*>(plane);
                for (std::size_t x = 0; x < width; ++x) {
                    row16[3 * x + k] = HostToFile16(plane16[base + x]);
                }
            }
        }
    }
    return true;
}

bool OpenDocument(const std::string& path, Document& document, platform::MessageSink& sink) {
    CurrentImage image;
    if (!imageio::LoadImageFile(path, image, sink).ok()) return false;
    document = DocumentFromImage(image.input);
    document.exif = ExifBlockOf(image.metadata);
    document.xmp = image.metadata.xmp;
    document.icc = image.metadata.icc;
    document.fileMetadata = std::move(image.metadata);
    return true;
}

bool SaveDocument(const Document& document, const std::string& path, int jpegQuality,
                  platform::MessageSink& sink) {
    const FileKind kind = imageio::FileKindOf(path);
    if (kind == FileKind::kJpeg && document.depth == 16) {
        sink.Show("quillon-host: a 16-bit document is written as TIFF, not as " + path);
        return false;
    }
    CurrentImage image;
    if (!DocumentToImage(document, image)) {
        sink.Show("quillon-host: out of memory");
        return false;
    }
    if (kind == FileKind::kTiff) {
        return imageio::WriteTiffFile(image.output, document.fileMetadata, path, sink).ok();
    }
    return imageio::WriteJpegFile(image.output, document.fileMetadata, path, jpegQuality, sink)
        .ok();
}

}  // namespace quillon::host
