// Whole-image decoding: the JPEG and TIFF readers on arbitrary files, from the
// first marker or tag to the last row, with the buffers the engine is handed.
// The first bytes choose the reader as a file's name would (a TIFF byte-order
// mark, else JPEG), so the two formats share one corpus and mutations of one
// can become the other.

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/image_fuzz_support.h"
#include "imageio/image_file.h"
#include "imageio/jpeg_file.h"
#include "imageio/tiff_file.h"

namespace {

bool LooksLikeTiff(const std::uint8_t* data, std::size_t size) {
    return size >= 2 && ((data[0] == 'I' && data[1] == 'I') || (data[0] == 'M' && data[1] == 'M'));
}

// What every successful read must hand the engine: the input and the output
// describe the same image in blocks large enough to hold it.
void CheckDecoded(const quillon::CurrentImage& image) {
    const quillon::ImageBuffer& in = image.input;
    const quillon::ImageBuffer& out = image.output;
    const bool valid = in.pixels != nullptr && (in.bitsPerPixel == 24 || in.bitsPerPixel == 48) &&
                       in.width > 0 && in.height > 0 &&
                       in.rowBytes == std::int64_t{in.width} * in.BytesPerPixel() &&
                       in.dataSize == in.rowBytes * in.height &&
                       image.blocks.source.size() >= static_cast<std::size_t>(in.dataSize) &&
                       out.pixels == image.blocks.work.data() && out.width == in.width &&
                       out.height == in.height && out.bitsPerPixel == in.bitsPerPixel &&
                       image.blocks.work.size() >= static_cast<std::size_t>(in.dataSize);
    if (!valid) std::abort();
    // Every decoded byte must be readable (the sanitizer checks the bounds).
    volatile std::uint8_t sink = 0;
    for (std::int64_t i = 0; i < in.dataSize; i += 4096) sink = sink ^ in.pixels[i];
    sink = sink ^ in.pixels[in.dataSize - 1];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillon;
    fuzz::SilenceTiffHandlers();
    const fuzz::MemoryFile file(data, size);
    if (!file.complete()) return 0;
    fuzz::DiscardingSink sink;
    CurrentImage image;
    Status status;
    if (LooksLikeTiff(data, size)) {
        if (fuzz::TiffDeclaresHugeImage(file.path())) return 0;
        status = imageio::ReadTiffFile(file.path(), image, sink);
    } else {
        if (fuzz::JpegDeclaresHugeImage(data, size)) return 0;
        status = imageio::ReadJpegFile(file.path(), image, sink);
    }
    if (status.ok()) CheckDecoded(image);
    return 0;
}
