// The TIFF reader over arbitrary files: every check, tag copy, the EXIF
// directory and the scanline loop. libtiff opens files by name, so each input
// is handed over as an in-memory file.

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <sys/mman.h>
#include <tiffio.h>
#include <unistd.h>

#include "imageio/image_file.h"
#include "imageio/tiff_file.h"
#include "platform/message_sink.h"

namespace {

class DiscardingSink final : public quillon::platform::MessageSink {
  public:
    using MessageSink::Show;
    void Show(std::string_view, std::string_view) override {}
};

void Quiet(const char*, const char*, va_list) {}

// Declared sizes up to the program's limit are legal but only measure the
// allocator; the fuzzer keeps to images that fit its memory limit.
bool DeclaresHugeImage(const std::string& path) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (tif == nullptr) return false;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFClose(tif);
    return std::uint64_t{width} * height > 4'000'000;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillon::imageio;
    TIFFSetWarningHandler(Quiet);
    const int fd = memfd_create("tiff_reader_fuzz", 0);
    if (fd < 0) return 0;
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, data + written, size - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (written == size && !DeclaresHugeImage(path)) {
        DiscardingSink sink;
        CurrentImage image;
        if (ReadTiffFile(path, image, sink) == 0) {
            const quillon::ImageBuffer& in = image.input;
            if (in.pixels == nullptr || (in.bitsPerPixel != 24 && in.bitsPerPixel != 48) ||
                in.rowBytes * in.height != in.dataSize) {
                std::abort();
            }
        }
    }
    close(fd);
    return 0;
}
