#include "imageio/tiff_file.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <tiffio.h>
#include <unistd.h>

#include "imageio/image_sides.h"
#include "text/memory_messages.h"

namespace quillon::imageio {

namespace {

// libtiff's messages about one file go to handlers of that file's handle,
// never through the process-wide ones, which belong to whoever else in the
// process uses libtiff (a host, for the plug-in). Errors reach the sink of the
// call and are counted; warnings (unknown tags, odd but readable values) are
// not for the user and are dropped.
struct TiffMessages {
    platform::MessageSink* sink = nullptr;
    int errors = 0;
};

int ShowTiffError(TIFF*, void* user, const char* module, const char* format, va_list args) {
    char text[1024];
    std::vsnprintf(text, sizeof(text), format, args);
    auto& messages = *static_cast<TiffMessages*>(user);
    ++messages.errors;
    messages.sink->Show(std::string(module ? module : "") + "::" + text, "Error");
    return 1;  // handled: the process-wide handlers are not called
}

int DropTiffWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// Opens a file (by `path`, or by `fd` when it is not negative, `path` then
// naming it in messages) with its messages going to `messages`, which must
// outlive the handle.
TIFF* OpenTiff(const std::string& path, int fd, const char* mode, TiffMessages& messages) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options, ShowTiffError, &messages);
    TIFFOpenOptionsSetWarningHandlerExtR(options, DropTiffWarning, nullptr);
    TIFF* tif = fd < 0 ? TIFFOpenExt(path.c_str(), mode, options)
                       : TIFFFdOpenExt(fd, path.c_str(), mode, options);
    TIFFOpenOptionsFree(options);
    return tif;
}

// Closes the file on every path out of a read or write.
struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

// A read fails with the image released: kUnusable.
constexpr StatusCode kReadFailed = StatusCode::kUnusable;

Status Refuse(platform::MessageSink& sink, const char* text) {
    sink.Show(text);
    return kReadFailed;
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

constexpr std::size_t kWholeText = SIZE_MAX;

std::string TextField(TIFF* tif, ttag_t tag, std::size_t capacity) {
    const char* text = nullptr;
    if (TIFFGetField(tif, tag, &text) != 1 || text == nullptr) return {};
    return std::string(text, strnlen(text, capacity));
}

float FiniteOrZero(float value) { return std::isfinite(value) ? value : 0.0f; }

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The field type that an entry of the current directory has in the file
// itself, which libtiff does not tell: the directory is read again from its
// offset. Nothing when the file or the entry cannot be read.
std::optional<std::uint16_t> EntryTypeInFile(TIFF* tif, const std::string& path,
                                             std::uint32_t tag) {
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::nullopt;
    const bool bigTiff = TIFFIsBigTIFF(tif) != 0;
    const bool bigEndian = TIFFIsBigEndian(tif) != 0;
    const auto value = [bigEndian](const std::uint8_t* bytes, std::size_t size) {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < size; ++i) {
            v = v << 8 | bytes[bigEndian ? i : size - 1 - i];
        }
        return v;
    };
    const std::uint64_t offset = TIFFCurrentDirOffset(tif);
    if (offset > static_cast<std::uint64_t>(INT64_MAX) ||
        fseeko(file.get(), static_cast<off_t>(offset), SEEK_SET) != 0) {
        return std::nullopt;
    }
    const std::size_t countBytes = bigTiff ? 8 : 2;
    const std::size_t entryBytes = bigTiff ? 20 : 12;
    std::uint8_t buffer[20];
    if (std::fread(buffer, 1, countBytes, file.get()) != countBytes) return std::nullopt;
    // libtiff reads no more entries than this either.
    const std::uint64_t count = std::min<std::uint64_t>(value(buffer, countBytes), 65535);
    for (std::uint64_t i = 0; i < count; ++i) {
        if (std::fread(buffer, 1, entryBytes, file.get()) != entryBytes) return std::nullopt;
        if (value(buffer, 2) == tag) return static_cast<std::uint16_t>(value(buffer + 2, 2));
    }
    return std::nullopt;
}

// The IPTC tag holds a byte stream, but most writers declare it as LONGs, and
// libtiff then swaps every four bytes of a file whose byte order is not the
// machine's. The bytes are put back as the file has them: that stream is what
// every reader of the block expects, and what the writer stores.
void KeepIptcAsStored(TIFF* tif, const std::string& path, std::vector<std::uint8_t>& iptc) {
    if (iptc.empty() || iptc.size() % 4 != 0 || !TIFFIsByteSwapped(tif)) return;
    if (EntryTypeInFile(tif, path, TIFFTAG_RICHTIFFIPTC) != TIFF_LONG) return;
    for (std::size_t i = 0; i < iptc.size(); i += 4) {
        std::swap(iptc[i], iptc[i + 3]);
        std::swap(iptc[i + 1], iptc[i + 2]);
    }
}

// Pointers to other directories would point into the input file.
bool IsDirectoryPointer(std::uint32_t tag, TIFFDataType type) {
    constexpr std::uint32_t kInteroperabilityDirectory = 40965;
    return type == TIFF_IFD || type == TIFF_IFD8 || tag == TIFFTAG_EXIFIFD ||
           tag == TIFFTAG_GPSIFD || tag == TIFFTAG_SUBIFD || tag == kInteroperabilityDirectory;
}

// One entry of the current directory in libtiff's in-memory form, or nothing
// for a pointer or a form this reader does not know.
std::optional<TiffEntry> CopyEntry(TIFF* tif, std::uint32_t tag) {
    const TIFFField* field = TIFFFindField(tif, tag, TIFF_ANY);
    if (field == nullptr) return std::nullopt;
    const TIFFDataType type = TIFFFieldDataType(field);
    const int elementBytes = TIFFFieldSetGetSize(field);
    if (IsDirectoryPointer(tag, type) || elementBytes < 1 || elementBytes > 8) return std::nullopt;
    const void* data = nullptr;
    std::uint64_t count = 0;
    alignas(8) std::uint8_t single[8] = {};
    const int readCount = TIFFFieldReadCount(field);
    if (TIFFFieldPassCount(field)) {
        if (TIFFFieldSetGetCountSize(field) == 4) {
            std::uint32_t n = 0;
            if (TIFFGetField(tif, tag, &n, &data) != 1) return std::nullopt;
            count = n;
        } else {
            std::uint16_t n = 0;
            if (TIFFGetField(tif, tag, &n, &data) != 1) return std::nullopt;
            count = n;
        }
    } else if (type == TIFF_ASCII) {
        // libtiff ends every text it keeps with a NUL.
        const char* text = nullptr;
        if (TIFFGetField(tif, tag, &text) != 1 || text == nullptr) return std::nullopt;
        data = text;
        count = std::strlen(text) + 1;
    } else if (readCount == 1) {
        // A single value is written into the caller's storage, in its own size.
        if (TIFFGetField(tif, tag, single) != 1) return std::nullopt;
        data = single;
        count = 1;
    } else if (readCount > 1) {
        if (TIFFGetField(tif, tag, &data) != 1) return std::nullopt;
        count = static_cast<std::uint64_t>(readCount);
    }
    if (data == nullptr || count == 0 || count > UINT32_MAX) return std::nullopt;
    TiffEntry entry;
    entry.tag = tag;
    entry.type = static_cast<std::uint16_t>(type);
    entry.count = static_cast<std::uint32_t>(count);
    entry.elementBytes = static_cast<std::uint32_t>(elementBytes);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    entry.values.assign(bytes, bytes + count * entry.elementBytes);
    return entry;
}

// Every entry of the current directory that can be written back, in tag order.
void CopyEntries(TIFF* tif, std::vector<TiffEntry>& into) {
    const int count = TIFFGetTagListCount(tif);
    for (int i = 0; i < count; ++i) {
        if (auto entry = CopyEntry(tif, TIFFGetTagListEntry(tif, i))) {
            into.push_back(std::move(*entry));
        }
    }
    std::sort(into.begin(), into.end(),
              [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; });
}

// Makes the directory that `pointerTag` points at current, copies its entries
// and lets `visit` read more of it; the main directory is made current again
// afterwards, whether or not that directory could be read.
template <typename Visit>
void ReadSubDirectory(TIFF* tif, ttag_t pointerTag, int (*read)(TIFF*, toff_t),
                      std::vector<TiffEntry>& entries, Visit visit) {
    toff_t offset = 0;
    if (TIFFGetField(tif, pointerTag, &offset) != 1 || offset == 0) return;
    const tdir_t mainDirectory = TIFFCurrentDirectory(tif);
    if (read(tif, offset)) {
        CopyEntries(tif, entries);
        visit();
    }
    TIFFSetDirectory(tif, mainDirectory);
}

// The values of the EXIF directory that the metadata module reads.
void ReadExifValues(TIFF* tif, TiffShotValues& shot) {
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
    shot.lensMake = TextField(tif, EXIFTAG_LENSMAKE, TiffShotValues::kLensNameCapacity);
    shot.lensModel = TextField(tif, EXIFTAG_LENSMODEL, TiffShotValues::kLensNameCapacity);
}

bool ReadMetadata(TIFF* tif, const std::string& path, ImageMetadata& metadata) {
    TiffCarriedTags& carried = metadata.tiffTags;
    if (!CopyCounted(tif, TIFFTAG_RICHTIFFIPTC, metadata.iptc) ||
        !CopyCounted(tif, TIFFTAG_XMLPACKET, metadata.xmp) ||
        !CopyCounted(tif, TIFFTAG_ICCPROFILE, metadata.icc) ||
        !CopyCounted(tif, TIFFTAG_PHOTOSHOP, carried.imageResources)) {
        return false;
    }
    KeepIptcAsStored(tif, path, metadata.iptc);
    TiffShotValues& shot = metadata.tiff;
    try {
        ReadSubDirectory(tif, TIFFTAG_EXIFIFD, TIFFReadEXIFDirectory, carried.exifDirectory,
                         [&] { ReadExifValues(tif, shot); });
        ReadSubDirectory(tif, TIFFTAG_GPSIFD, TIFFReadGPSDirectory, carried.gpsDirectory, [] {});
    } catch (const std::bad_alloc&) {
        return false;
    }
    carried.imageDescription = TextField(tif, TIFFTAG_IMAGEDESCRIPTION, kWholeText);
    carried.artist = TextField(tif, TIFFTAG_ARTIST, kWholeText);
    carried.copyright = TextField(tif, TIFFTAG_COPYRIGHT, kWholeText);

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

Status ReadOpenTiff(TIFF* tif, const std::string& path, CurrentImage& image,
                    platform::MessageSink& sink, ReadScope scope, RowArrival* arrival) {
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
    // Signed and floating-point samples would be read as unsigned and come out
    // as noise.
    std::uint16_t sampleFormat = 0;
    if (TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &sampleFormat) != 1 ||
        sampleFormat != SAMPLEFORMAT_UINT) {
        return Refuse(sink, "Only RGB images are supported (code: T010)");
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
    if (!detail::CheckImageSides(width, height, sink)) return kReadFailed;

    if (!ReadMetadata(tif, path, image.metadata)) {
        ReportImageOutOfMemory(image, sink);
        return kReadFailed;
    }
    if (scope == ReadScope::kMetadataOnly) return Status::Ok();

    const int bitsPerPixel = bits * samples;
    const auto w = static_cast<std::int32_t>(width);
    const auto h = static_cast<std::int32_t>(height);
    const Status allocated = arrival != nullptr
                                 ? AllocateSourcePixels(image, w, h, bitsPerPixel, sink)
                                 : AllocateImagePixels(image, w, h, bitsPerPixel, sink);
    if (!allocated.ok()) return kReadFailed;
    // Rows of RGBA files are repacked, and so announced, only at the end.
    const bool rowsAsRead = arrival != nullptr && samples == 3;
    if (rowsAsRead) arrival->Begun();
    // Every check above pins the scanline to exactly rowBytes (contiguous RGB(A)
    // samples of 8 or 16 bits), so libtiff writes each row within its place.
    for (std::uint32_t row = 0; row < height; ++row) {
        if (TIFFReadScanline(tif, image.input.Row(static_cast<std::int32_t>(row)), row, 0) < 0) {
            return Refuse(sink, "Unable to read scanlines (code: T008)");
        }
        if (rowsAsRead) arrival->Arrived(static_cast<std::int32_t>(row) + 1);
    }
    if (samples == 4) {
        PackToRgb(image.input.pixels, std::size_t{width} * height, bits / 8u);
        const ImageBuffer rgb =
            DescribeImage(image.input.width, image.input.height, 3 * bits, image.input.pixels);
        image.input = rgb;
        if (arrival == nullptr) {
            image.output = rgb;
            image.output.pixels = image.blocks.work.data();
        } else {
            arrival->Begun();
            arrival->Arrived(image.input.height);
        }
    }
    return Status::Ok();
}

// Sets one carried entry in the current directory. A tag libtiff does not know
// is declared as libtiff declares the unknown tags it reads. False, before
// libtiff could complain, for an entry whose form the field does not have.
bool SetEntry(TIFF* tif, const TiffEntry& entry) {
    const TIFFField* field = TIFFFindField(tif, entry.tag, TIFF_ANY);
    if (field == nullptr) {
        static char name[] = "CarriedTag";
        const TIFFFieldInfo info{entry.tag,
                                 TIFF_VARIABLE2,
                                 TIFF_VARIABLE2,
                                 static_cast<TIFFDataType>(entry.type),
                                 FIELD_CUSTOM,
                                 1,
                                 1,
                                 name};
        if (TIFFMergeFieldInfo(tif, &info, 1) != 0) return false;
        field = TIFFFindField(tif, entry.tag, TIFF_ANY);
        if (field == nullptr) return false;
    }
    if (TIFFFieldDataType(field) != entry.type ||
        TIFFFieldSetGetSize(field) != static_cast<int>(entry.elementBytes) || entry.count == 0 ||
        entry.values.size() != std::size_t{entry.count} * entry.elementBytes) {
        return false;
    }
    const std::uint8_t* data = entry.values.data();
    if (TIFFFieldPassCount(field)) {
        if (TIFFFieldSetGetCountSize(field) == 4) {
            return TIFFSetField(tif, entry.tag, entry.count, data) == 1;
        }
        if (entry.count > 0xFFFF) return false;
        return TIFFSetField(tif, entry.tag, static_cast<int>(entry.count), data) == 1;
    }
    if (entry.type == TIFF_ASCII) {
        if (entry.values.back() != 0) return false;
        return TIFFSetField(tif, entry.tag, reinterpret_cast<const char*>(data)) == 1;
    }
    const int writeCount = TIFFFieldWriteCount(field);
    if (writeCount > 1) {
        if (entry.count != static_cast<std::uint32_t>(writeCount)) return false;
        return TIFFSetField(tif, entry.tag, data) == 1;
    }
    if (writeCount != 1 || entry.count != 1) return false;
    // A single value goes by value, promoted as a variadic argument is.
    const auto load = [data]<typename T>(T) {
        T v;
        std::memcpy(&v, data, sizeof v);
        return v;
    };
    switch (entry.type) {
        case TIFF_BYTE:
        case TIFF_UNDEFINED:
            return TIFFSetField(tif, entry.tag, int{load(std::uint8_t{})}) == 1;
        case TIFF_SBYTE:
            return TIFFSetField(tif, entry.tag, int{load(std::int8_t{})}) == 1;
        case TIFF_SHORT:
            return TIFFSetField(tif, entry.tag, int{load(std::uint16_t{})}) == 1;
        case TIFF_SSHORT:
            return TIFFSetField(tif, entry.tag, int{load(std::int16_t{})}) == 1;
        case TIFF_LONG:
            return TIFFSetField(tif, entry.tag, load(std::uint32_t{})) == 1;
        case TIFF_SLONG:
            return TIFFSetField(tif, entry.tag, load(std::int32_t{})) == 1;
        case TIFF_LONG8:
            return TIFFSetField(tif, entry.tag, load(std::uint64_t{})) == 1;
        case TIFF_SLONG8:
            return TIFFSetField(tif, entry.tag, load(std::int64_t{})) == 1;
        case TIFF_RATIONAL:
        case TIFF_SRATIONAL:
        case TIFF_FLOAT:
        case TIFF_DOUBLE: {
            const double v =
                entry.elementBytes == 8 ? load(double{}) : static_cast<double>(load(float{}));
            return TIFFSetField(tif, entry.tag, v) == 1;
        }
        default:
            return false;
    }
}

// Writes the entries as a directory of their own (EXIF or GPS) ahead of the
// image's directory, which will point at it; answers its offset, 0 when there
// was nothing to write.
bool WriteSubDirectory(TIFF* tif, int (*create)(TIFF*), const std::vector<TiffEntry>& entries,
                       std::uint64_t& offset) {
    offset = 0;
    if (entries.empty()) return true;
    if (create(tif) != 0) return false;
    bool any = false;
    for (const TiffEntry& entry : entries) any = SetEntry(tif, entry) || any;
    if (any && !TIFFWriteCustomDirectory(tif, &offset)) return false;
    // Back to an empty image directory for the fields that follow; unlike the
    // writing of an image directory, that of a custom one keeps its fields.
    TIFFFreeDirectory(tif);
    TIFFCreateDirectory(tif);
    return true;
}

// The orientation the written pixels still need.
std::uint16_t OutputOrientation(const ImageMetadata& metadata) {
    const TiffShotValues& shot = metadata.tiff;
    if (metadata.pixelsTurnedUpright || !shot.orientationFound ||
        shot.orientation < ORIENTATION_TOPLEFT || shot.orientation > ORIENTATION_LEFTBOT) {
        return ORIENTATION_TOPLEFT;
    }
    return shot.orientation;
}

// Every field the output carries, in the order the files have always had them,
// then those added since.
bool SetOutputFields(TIFF* tif, const ImageBuffer& output, const ImageMetadata& metadata,
                     std::uint64_t exifOffset, std::uint64_t gpsOffset) {
    const auto bitsPerSample = static_cast<std::uint16_t>(output.bitsPerPixel / 3);
    bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(output.width)) &&
              TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(output.height)) &&
              TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3) &&
              TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bitsPerSample) &&
              TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
              TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tif, TIFFTAG_ORIENTATION, OutputOrientation(metadata)) &&
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
    const TiffCarriedTags& carried = metadata.tiffTags;
    const auto setText = [&](ttag_t tag, const std::string& text) {
        if (ok && !text.empty()) ok = TIFFSetField(tif, tag, text.c_str());
    };
    setText(TIFFTAG_IMAGEDESCRIPTION, carried.imageDescription);
    setText(TIFFTAG_ARTIST, carried.artist);
    setText(TIFFTAG_COPYRIGHT, carried.copyright);
    setCounted(TIFFTAG_PHOTOSHOP, carried.imageResources);
    if (ok && exifOffset != 0) ok = TIFFSetField(tif, TIFFTAG_EXIFIFD, exifOffset);
    if (ok && gpsOffset != 0) ok = TIFFSetField(tif, TIFFTAG_GPSIFD, gpsOffset);
    // The library's default can exceed the height of a short image, and such a
    // file would then be refused by our own reader: no strip is taller than the
    // image.
    const std::uint32_t height = static_cast<std::uint32_t>(output.height);
    std::uint32_t rowsPerStrip = TIFFDefaultStripSize(tif, 0);
    if (rowsPerStrip == 0 || rowsPerStrip > height) rowsPerStrip = height;
    return ok && TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
}

// Writes the whole file into `file`, naming it `path` in libtiff's messages;
// false after the message has been shown or libtiff has reported an error.
bool WriteTiffTo(platform::FileReplacement& file, const std::string& path,
                 const ImageBuffer& output, RowFeed& rows, const ImageMetadata& metadata,
                 platform::MessageSink& sink) {
    TiffMessages messages{&sink};
    // libtiff closes the descriptor it is given; the replacement needs its own.
    const int fd = file.DuplicateDescriptor();
    TIFF* raw = fd < 0 ? nullptr : OpenTiff(path, fd, "w", messages);
    if (raw == nullptr) {
        if (fd >= 0) ::close(fd);
        sink.Show("Error: TIFFOpen");
        return false;
    }
    TiffHandle tif(raw);
    std::uint64_t exifOffset = 0;
    std::uint64_t gpsOffset = 0;
    if (!WriteSubDirectory(raw, TIFFCreateEXIFDirectory, metadata.tiffTags.exifDirectory,
                           exifOffset) ||
        !WriteSubDirectory(raw, TIFFCreateGPSDirectory, metadata.tiffTags.gpsDirectory,
                           gpsOffset) ||
        !SetOutputFields(raw, output, metadata, exifOffset, gpsOffset)) {
        return false;
    }
    // Strips go to libtiff straight from the rows. It changes the data it is
    // given only to swap bytes or reverse bits for a file whose order is not
    // the machine's, which ours never is; should it be, a strip at a time is
    // copied for it to change.
    std::uint32_t rowsPerStrip = 0;
    if (TIFFGetFieldDefaulted(raw, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip) != 1) rowsPerStrip = 0;
    const bool changesData = TIFFIsByteSwapped(raw) != 0 || TIFFIsMSB2LSB(raw) == 0;
    std::vector<std::uint8_t> strip;
    const std::optional<ByteCount> stripBytes =
        ByteCount::Of(static_cast<std::size_t>(output.rowBytes), rowsPerStrip);
    if (changesData) {
        try {
            if (stripBytes) strip.resize(stripBytes->value());
        } catch (const std::bad_alloc&) {
        }
    }
    if (rowsPerStrip == 0 || !stripBytes || (changesData && strip.empty())) {
        sink.Show(text::kAllocMemError2);
        return false;
    }
    // The file is synced before it replaces the photo; what is written goes
    // to disk every few megabytes meanwhile, while later rows are still being
    // made, instead of all at once in that sync.
    constexpr std::size_t kWritebackBytes = std::size_t{16} << 20;
    std::size_t unsent = 0;
    for (std::int32_t y = 0; y < output.height; y += static_cast<std::int32_t>(rowsPerStrip)) {
        const std::int32_t count =
            std::min(static_cast<std::int32_t>(rowsPerStrip), output.height - y);
        if (unsent >= kWritebackBytes) {
            file.StartWriteback();
            unsent = 0;
        }
        const std::uint8_t* data = rows.Rows(y, count);
        if (data == nullptr) return false;
        const std::size_t bytes =
            static_cast<std::size_t>(output.rowBytes) * static_cast<std::size_t>(count);
        if (changesData) {
            data = static_cast<const std::uint8_t*>(std::memcpy(strip.data(), data, bytes));
        }
        const std::uint32_t index = TIFFComputeStrip(raw, static_cast<std::uint32_t>(y), 0);
        if (TIFFWriteEncodedStrip(raw, index, const_cast<std::uint8_t*>(data),
                                  static_cast<tmsize_t>(bytes)) < 0) {
            sink.Show("Error TIFFWriteScanLine (code U002)");
            return false;
        }
        unsent += bytes;
    }
    tif.reset();  // flushes the last strip and the directory
    return messages.errors == 0;
}

}  // namespace

Status ReadTiffFile(const std::string& path, CurrentImage& image, platform::MessageSink& sink,
                    ReadScope scope, RowArrival* arrival) {
    TiffMessages messages{&sink};
    image.metadata.Clear();
    // Set before any row is announced: from then on the reader changes only
    // pixels.
    image.metadata.fileKind = FileKind::kTiff;
    // Read, not mapped: a mapped file is held beside the decoded pixels, and
    // a file cut short by someone else while it is read would end the
    // program with a bus error instead of a message.
    TIFF* raw = OpenTiff(path, -1, "rm", messages);
    if (raw == nullptr) return Refuse(sink, "Unable to open file (code: T001)");
    TiffHandle tif(raw);
    return ReadOpenTiff(raw, path, image, sink, scope, arrival);
}

Status WriteTiffFile(const ImageBuffer& output, const ImageMetadata& metadata,
                     const std::string& path, platform::MessageSink& sink,
                     const platform::RenameFunction& rename) {
    if (!IsUsableImage(output)) {
        sink.Show("Error: no RGB image to write");
        return StatusCode::kFailed;
    }
    ImageRowFeed rows(output);
    return WriteTiffRows(output, rows, metadata, path, sink, rename);
}

Status WriteTiffRows(const ImageBuffer& geometry, RowFeed& rows, const ImageMetadata& metadata,
                     const std::string& path, platform::MessageSink& sink,
                     const platform::RenameFunction& rename) {
    if (!IsUsableGeometry(geometry)) {
        sink.Show("Error: no RGB image to write");
        return StatusCode::kFailed;
    }
    platform::FileReplacement replacement;
    if (replacement.Open(path) != 0) {
        sink.Show("Error: TIFFOpen");
        return StatusCode::kFailed;
    }
    // An unfinished replacement is discarded with the object.
    if (!WriteTiffTo(replacement, path, geometry, rows, metadata, sink)) return StatusCode::kFailed;
    if (replacement.Commit(rename) != 0) {
        sink.Show("Error: unable to replace " + path);
        return StatusCode::kFailed;
    }
    return Status::Ok();
}

}  // namespace quillon::imageio
