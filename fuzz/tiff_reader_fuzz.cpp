// The TIFF reader over arbitrary files: every check, tag copy, the EXIF
// directory and the scanline loop. libtiff opens files by name, so each input
// is handed over as an in-memory file.

#include <cstdint>
#include <cstdlib>

#include "fuzz/image_fuzz_support.h"
#include "imageio/image_file.h"
#include "imageio/tiff_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillon;
    fuzz::SilenceTiffHandlers();
    const fuzz::MemoryFile file(data, size);
    if (!file.complete() || fuzz::TiffDeclaresHugeImage(file.path())) return 0;
    fuzz::DiscardingSink sink;
    CurrentImage image;
    if (imageio::ReadTiffFile(file.path(), image, sink).ok()) {
        const ImageBuffer& in = image.input;
        if (in.pixels == nullptr || (in.bitsPerPixel != 24 && in.bitsPerPixel != 48) ||
            in.rowBytes * in.height != in.dataSize) {
            std::abort();
        }
    }
    return 0;
}
