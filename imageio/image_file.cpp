#include "imageio/image_file.h"

#include <algorithm>
#include <string>

#include "imageio/image_sides.h"
#include "imageio/jpeg_file.h"
#include "imageio/tiff_file.h"
#include "platform/paths.h"

namespace quillon::imageio {

namespace {

Status Load(const std::string& path, CurrentImage& image, platform::MessageSink& sink,
            ReadScope scope, RowArrival* arrival = nullptr) {
    image.outOfMemory = false;
    // The previous image is released first so that two full images never have
    // to fit in memory together.
    image.Release();
    const FileKind kind = FileKindOf(path);
    const Status status = kind == FileKind::kTiff ? ReadTiffFile(path, image, sink, scope, arrival)
                                                  : ReadJpegFile(path, image, sink, scope, arrival);
    if (!status.ok()) {
        // Whoever hears of the rows may still be reading the image.
        if (arrival == nullptr) image.Release();
        return StatusCode::kUnusable;
    }
    return Status::Ok();
}

}  // namespace

FileKind FileKindOf(std::string_view path) {
    const std::string_view suffix = platform::SuffixOf(path);
    if (!suffix.empty() && (suffix.front() == 't' || suffix.front() == 'T')) return FileKind::kTiff;
    return FileKind::kJpeg;
}

std::string OutputPathFor(std::string_view inputPath, const ImageFileOptions& options) {
    if (!options.interactiveMode) return std::string(inputPath);
    // The dot must belong to the file name: "photos.2024/scan" has no extension.
    const std::string_view name = platform::FileNameOf(inputPath);
    const std::size_t dot = name.rfind('.');
    std::string out(inputPath);
    if (dot == std::string_view::npos) return out + options.suffix;
    const std::size_t at = inputPath.size() - name.size() + dot;
    out.insert(at, options.suffix);
    return out;
}

Status LoadImageFile(const std::string& path, CurrentImage& image, platform::MessageSink& sink) {
    return Load(path, image, sink, ReadScope::kWholeImage);
}

Status LoadImageRows(const std::string& path, CurrentImage& image, platform::MessageSink& sink,
                     RowArrival& arrival) {
    return Load(path, image, sink, ReadScope::kWholeImage, &arrival);
}

Status LoadImageMetadata(const std::string& path, CurrentImage& image,
                         platform::MessageSink& sink) {
    return Load(path, image, sink, ReadScope::kMetadataOnly);
}

Status SaveImageFile(const std::string& inputPath, const CurrentImage& image,
                     const ImageFileOptions& options, platform::MessageSink& sink,
                     const platform::RenameFunction& rename) {
    const std::string outputPath = OutputPathFor(inputPath, options);
    if (image.metadata.fileKind == FileKind::kTiff) {
        return WriteTiffFile(image.output, image.metadata, outputPath, sink, rename);
    }
    const int quality = std::clamp(options.jpegQuality, 1, 100);
    return WriteJpegFile(image.output, image.metadata, outputPath, quality, sink, rename);
}

Status SaveImageRows(const std::string& inputPath, const ImageBuffer& geometry, RowFeed& rows,
                     const ImageMetadata& metadata, const ImageFileOptions& options,
                     platform::MessageSink& sink, const platform::RenameFunction& rename) {
    const std::string outputPath = OutputPathFor(inputPath, options);
    if (metadata.fileKind == FileKind::kTiff) {
        return WriteTiffRows(geometry, rows, metadata, outputPath, sink, rename);
    }
    const int quality = std::clamp(options.jpegQuality, 1, 100);
    return WriteJpegRows(geometry, rows, metadata, outputPath, quality, sink, rename);
}

namespace detail {

bool CheckImageSides(std::uint64_t width, std::uint64_t height, platform::MessageSink& sink) {
    if (width == 0 || height == 0 || width > static_cast<std::uint64_t>(kMaxImageSide) ||
        height > static_cast<std::uint64_t>(kMaxImageSide)) {
        sink.Show("Image too large: " + std::to_string(width) + " x " + std::to_string(height) +
                  " pixels (at most " + std::to_string(kMaxImageSide) + " per side)");
        return false;
    }
    return true;
}

}  // namespace detail

}  // namespace quillon::imageio
