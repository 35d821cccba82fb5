#include "imageio/tiff_file.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <tiffio.h>
#include <unistd.h>

#include "imageio/image_buffers.h"

namespace quillon::imageio {

namespace {

// libtiff reports errors through one process-wide handler; the handler finds the
// sink of the call in progress here, so messages of a read or write reach the
// caller that started it. Each call installs its scope for its whole length.
struct TiffCallContext {
    platform::MessageSink* sink = nullptr;
    int errors = 0;
};
thread_local TiffCallContext* tCurrentCall = nullptr;

void ShowTiffError(const char* module, const char* format, va_list args) {
    char text[1024];
    std::vsnprintf(text, sizeof(text), format, args);
    TiffCallContext* call = tCurrentCall;
    if (call == nullptr || call->sink == nullptr) {
        std::fprintf(stderr, "%s::%s\n", module ? module : "", text);
        return;
    }
    ++call->errors;
    call->sink->Show(std::string(module ? module : "") + "::" + text, "Error");
}

class TiffCallScope {
  public:
    explicit TiffCallScope(platform::MessageSink& sink) : previousCall_(tCurrentCall) {
        context_.sink = &sink;
        tCurrentCall = &context_;
        previousHandler_ = TIFFSetErrorHandler(ShowTiffError);
    }
    ~TiffCallScope() {
        TIFFSetErrorHandler(previousHandler_);
        tCurrentCall = previousCall_;
    }
    TiffCallScope(const TiffCallScope&) = delete;
    TiffCallScope& operator=(const TiffCallScope&) = delete;

    int errors() const { return context_.errors; }

  private:
    TiffCallContext context_;
    TiffCallContext* previousCall_;
    TIFFErrorHandler previousHandler_ = nullptr;
};

// Closes the file on every path out of a read or write.
struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

constexpr int kFailed = kTiffReadFailed;

int Refuse(platform::MessageSink& sink, const char* text) {
    sink.Show(text);
    return kFailed;
}

// Copies a counted block handed out by libtiff. The count is libtiff's own,
// never one derived from the file, so the copy cannot run past its data.
bool CopyCounted(TIFF* tif, ttag_t tag, std::vector<std::uint8_t>& into) {
    std::uint32_t count = 0;
    const void* data = nullptr;
    if (TIFFGetField(tif, tag, &count, &data) != 1 || data == nullptr || count == 0) return true;
    try {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        into.assign(bytes, bytes + count);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

std::string TextField(TIFF* tif, ttag_t tag, std::size_t capacity) {
    const char* text = nullptr;
    if (TIFFGetField(tif, tag, &text) != 1 || text == nullptr) return {};
    return std::string(text, strnlen(text, capacity));
}

float FiniteOrZero(float value) { return std::isfinite(value) ? value : 0.0f; }

// The values of the EXIF directory; the main directory is made current again
// afterwards, whether or not the EXIF directory could be read.
void ReadExifDirectory(TIFF* tif, TiffShotValues& shot) {
    toff_t offset = 0;
    if (TIFFGetField(tif, TIFFTAG_EXIFIFD, &offset) != 1 || offset == 0) return;
    const tdir_t mainDirectory = TIFFCurrentDirectory(tif);
    if (TIFFReadEXIFDirectory(tif, offset)) {
        float value = 0.0f;
        if (TIFFGetField(tif, EXIFTAG_FNUMBER, &value) == 1) shot.fNumber = FiniteOrZero(value);
        if (TIFFGetField(tif, EXIFTAG_FOCALLENGTH, &value) == 1) {
            shot.focalLength = FiniteOrZero(value);
        }
        if (TIFFGetField(tif, EXIFTAG_EXPOSURETIME, &value) == 1) {
            shot.exposureTime = FiniteOrZero(value);
        }
        shot.dateTime = TextField(tif, EXIFTAG_DATETIMEORIGINAL, TiffShotValues::kDateTimeCapacity);
        // Cameras without a clock write this instead of leaving the tag out.
        if (shot.dateTime == "0000:00:00 00:00:00") shot.dateTime.clear();
    }
    TIFFSetDirectory(tif, mainDirectory);
}

bool ReadMetadata(TIFF* tif, ImageMetadata& metadata) {
    if (!CopyCounted(tif, TIFFTAG_RICHTIFFIPTC, metadata.iptc) ||
        !CopyCounted(tif, TIFFTAG_XMLPACKET, metadata.xmp) ||
        !CopyCounted(tif, TIFFTAG_ICCPROFILE, metadata.icc)) {
        return false;
    }
    TiffShotValues& shot = metadata.tiff;
    ReadExifDirectory(tif, shot);

    std::uint16_t unit = 0;
    float x = 0.0f;
    float y = 0.0f;
    // A file that gives a resolution without a unit means inches (the default).
    if (TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit) == 1 && unit >= 1 && unit <= 3 &&
        TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x) == 1 &&
        TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y) == 1 && x > 0.0f && y > 0.0f &&
        std::isfinite(x) && std::isfinite(y)) {
        metadata.hasResolution = true;
        metadata.resolutionUnit = unit;
        metadata.xResolution = x;
        metadata.yResolution = y;
    }

    shot.make = TextField(tif, TIFFTAG_MAKE, TiffShotValues::kMakeCapacity);
    shot.model = TextField(tif, TIFFTAG_MODEL, TiffShotValues::kModelCapacity);
    if (shot.dateTime.empty()) {
        shot.dateTime = TextField(tif, TIFFTAG_DATETIME, TiffShotValues::kDateTimeCapacity);
    }

    float* lens = nullptr;
    if (TIFFGetField(tif, TIFFTAG_LENSINFO, &lens) == 1 && lens != nullptr) {
        metadata.hasLensInfo = true;
        for (std::size_t i = 0; i < 4; ++i) shot.lensInfo[i] = FiniteOrZero(lens[i]);
    }

    std::uint16_t orientation = 0;
    if (TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation) == 1) {
        shot.orientation = orientation;
        shot.orientationFound = true;
    }
    return true;
}

// Drops the fourth sample of every pixel. Rows are contiguous and every pixel
// moves to a lower or equal address, so a forward pass is safe in place.
void PackToRgb(std::uint8_t* pixels, std::size_t pixelCount, std::size_t sampleBytes) {
    const std::size_t in = 4 * sampleBytes;
    const std::size_t out = 3 * sampleBytes;
    for (std::size_t i = 0; i < pixelCount; ++i) {
        std::memmove(pixels + i * out, pixels + i * in, out);
    }
}

int ReadOpenTiff(TIFF* tif, CurrentImage& image, platform::MessageSink& sink) {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) != 1 || width == 0) {
        return Refuse(sink, "No image width specified in file (code: T002)");
    }
    if (TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height) != 1 || height == 0) {
        return Refuse(sink, "No image height specified in file (code: T003)");
    }
    std::uint16_t samples = 0;
    if (TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples) != 1) samples = 1;
    if (samples == 1) return Refuse(sink, "Grayscale images are not supported");
    if (samples != 3 && samples != 4) {
        return Refuse(sink, "Only RGB images are supported (code: T004)");
    }
    std::uint16_t bits = 0;
    if (TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits) != 1 || (bits != 8 && bits != 16)) {
        return Refuse(sink, "Only 8-bit or 16-bit images are supported (code: T005)");
    }
    std::uint16_t planar = 0;
    if (TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &planar) != 1 || planar != PLANARCONFIG_CONTIG) {
        return Refuse(sink, "Per Channel format not supported (code: T009)");
    }
    std::uint32_t rowsPerStrip = 0;
    if (TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip) != 1 || rowsPerStrip == 0 ||
        rowsPerStrip == 0xFFFFFFFFu || rowsPerStrip > height) {
        return Refuse(sink, "Image format not supported (code: T008)");
    }
    std::uint16_t photometric = 0;
    if (TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) != 1 ||
        photometric != PHOTOMETRIC_RGB) {
        return Refuse(sink, "Only RGB images are supported (code: T007)");
    }
    std::uint16_t compression = 0;
    if (TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression) != 1 ||
        (compression != COMPRESSION_NONE && compression != COMPRESSION_LZW &&
         compression != COMPRESSION_ADOBE_DEFLATE && compression != COMPRESSION_DEFLATE)) {
        return Refuse(sink, "Compression method not supported. Try LZW or Zip.");
    }
    if (!detail::CheckImageSides(width, height, sink)) return kFailed;

    if (!ReadMetadata(tif, image.metadata)) {
        detail::ReportOutOfMemory(image, sink);
        return kFailed;
    }

    const int bitsPerPixel = bits * samples;
    if (!detail::AllocateImageBuffers(image, static_cast<std::int32_t>(width),
                                      static_cast<std::int32_t>(height), bitsPerPixel, sink)) {
        return kFailed;
    }
    // Every check above pins the scanline to exactly rowBytes (contiguous RGB(A)
    // samples of 8 or 16 bits), so libtiff writes each row within its place.
    for (std::uint32_t row = 0; row < height; ++row) {
        if (TIFFReadScanline(tif, image.input.Row(static_cast<std::int32_t>(row)), row, 0) < 0) {
            return Refuse(sink, "Unable to read scanlines (code: T008)");
        }
    }
    if (samples == 4) {
        PackToRgb(image.input.pixels, std::size_t{width} * height, bits / 8u);
        const ImageBuffer rgb =
            DescribeImage(image.input.width, image.input.height, 3 * bits, image.input.pixels);
        image.input = rgb;
        image.output = rgb;
        image.output.pixels = image.blocks.work.data();
    }
    return 0;
}

// Every field the output carries, in the order the files have always had them.
bool SetOutputFields(TIFF* tif, const ImageBuffer& output, const ImageMetadata& metadata) {
    const auto bitsPerSample = static_cast<std::uint16_t>(output.bitsPerPixel / 3);
    bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(output.width)) &&
              TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(output.height)) &&
              TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3) &&
              TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bitsPerSample) &&
              TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
              TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              // The pixels are always written upright.
              TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(tif, TIFFTAG_COMPRESSION,
                           bitsPerSample == 8 ? COMPRESSION_LZW : COMPRESSION_NONE);
    if (ok && metadata.hasResolution) {
        ok = TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, metadata.resolutionUnit) &&
             TIFFSetField(tif, TIFFTAG_XRESOLUTION, metadata.xResolution) &&
             TIFFSetField(tif, TIFFTAG_YRESOLUTION, metadata.yResolution);
    }
    const TiffShotValues& shot = metadata.tiff;
    if (ok && !shot.make.empty()) ok = TIFFSetField(tif, TIFFTAG_MAKE, shot.make.c_str());
    if (ok && !shot.model.empty()) ok = TIFFSetField(tif, TIFFTAG_MODEL, shot.model.c_str());
    if (ok && !shot.dateTime.empty()) {
        ok = TIFFSetField(tif, TIFFTAG_DATETIME, shot.dateTime.c_str());
    }
    if (ok && metadata.hasLensInfo) {
        float lens[4] = {shot.lensInfo[0], shot.lensInfo[1], shot.lensInfo[2], shot.lensInfo[3]};
        ok = TIFFSetField(tif, TIFFTAG_LENSINFO, lens);
    }
    const auto setCounted = [&](ttag_t tag, const std::vector<std::uint8_t>& block) {
        if (!ok || block.empty()) return;
        ok = TIFFSetField(tif, tag, static_cast<std::uint32_t>(block.size()), block.data());
    };
    setCounted(TIFFTAG_RICHTIFFIPTC, metadata.iptc);
    setCounted(TIFFTAG_XMLPACKET, metadata.xmp);
    setCounted(TIFFTAG_ICCPROFILE, metadata.icc);
    // The library's default can exceed the height of a short image, and such a
    // file would then be refused by our own reader: no strip is taller than the
    // image.
    const std::uint32_t height = static_cast<std::uint32_t>(output.height);
    std::uint32_t rowsPerStrip = TIFFDefaultStripSize(tif, 0);
    if (rowsPerStrip == 0 || rowsPerStrip > height) rowsPerStrip = height;
    return ok && TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
}

bool IsWritable(const ImageBuffer& output) {
    return output.pixels != nullptr && output.width > 0 && output.height > 0 &&
           output.width <= kMaxImageSide && output.height <= kMaxImageSide &&
           (output.bitsPerPixel == 24 || output.bitsPerPixel == 48) &&
           output.rowBytes >= std::int64_t{output.width} * output.BytesPerPixel();
}

// Writes the whole file into `file`, naming it `path` in libtiff's messages;
// false after the message has been shown or libtiff has reported an error.
bool WriteTiffTo(platform::FileReplacement& file, const std::string& path,
                 const ImageBuffer& output, const ImageMetadata& metadata,
                 platform::MessageSink& sink, const TiffCallScope& scope) {
    // libtiff closes the descriptor it is given; the replacement needs its own.
    const int fd = file.DuplicateDescriptor();
    TIFF* raw = fd < 0 ? nullptr : TIFFFdOpen(fd, path.c_str(), "w");
    if (raw == nullptr) {
        if (fd >= 0) ::close(fd);
        sink.Show("Error: TIFFOpen");
        return false;
    }
    TiffHandle tif(raw);
    if (!SetOutputFields(raw, output, metadata)) return false;
    // libtiff may work on the row it is given (byte swapping, predictors), and the
    // output image is not ours to change.
    std::vector<std::uint8_t> row;
    try {
        row.resize(static_cast<std::size_t>(output.width) *
                   static_cast<std::size_t>(output.BytesPerPixel()));
    } catch (const std::bad_alloc&) {
        sink.Show("allocMem error 2: out of memory");
        return false;
    }
    for (std::int32_t y = 0; y < output.height; ++y) {
        std::memcpy(row.data(), output.Row(y), row.size());
        if (TIFFWriteScanline(raw, row.data(), static_cast<std::uint32_t>(y), 0) < 0) {
            sink.Show("Error TIFFWriteScanLine (code U002)");
            return false;
        }
    }
    tif.reset();  // flushes the last strip and the directory
    return scope.errors() == 0;
}

}  // namespace

int ReadTiffFile(const std::string& path, CurrentImage& image, platform::MessageSink& sink) {
    TiffCallScope scope(sink);
    image.metadata.Clear();
    TIFF* raw = TIFFOpen(path.c_str(), "r");
    if (raw == nullptr) return Refuse(sink, "Unable to open file (code: T001)");
    TiffHandle tif(raw);
    return ReadOpenTiff(raw, image, sink);
}

int WriteTiffFile(const ImageBuffer& output, const ImageMetadata& metadata, const std::string& path,
                  platform::MessageSink& sink, const platform::RenameFunction& rename) {
    if (!IsWritable(output)) {
        sink.Show("Error: no RGB image to write");
        return kTiffWriteFailed;
    }
    TiffCallScope scope(sink);
    platform::FileReplacement replacement;
    if (replacement.Open(path) != 0) {
        sink.Show("Error: TIFFOpen");
        return kTiffWriteFailed;
    }
    // An unfinished replacement is discarded with the object.
    if (!WriteTiffTo(replacement, path, output, metadata, sink, scope)) return kTiffWriteFailed;
    if (replacement.Commit(rename) != 0) {
        sink.Show("Error: unable to replace " + path);
        return kTiffWriteFailed;
    }
    return 0;
}

}  // namespace quillon::imageio
