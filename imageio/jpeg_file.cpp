#include "imageio/jpeg_file.h"

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "imageio/image_buffers.h"
#include "imageio/jpeg_markers.h"

namespace quillon::imageio {

namespace {

// libjpeg ends a fatal error by calling error_exit, which must not return. It
// jumps back to the setjmp of the one function per call that drives the codec.
// Nothing with a destructor lives in that function's frame, so the jump skips
// no cleanup; the caller destroys the codec and closes the file.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void JumpOnFatalError(j_common_ptr cinfo) {
    // The library's own text goes to stderr, as for every libjpeg program; the
    // user sees no box for corrupt data.
    (*cinfo->err->output_message)(cinfo);
    std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}

// Rows handed to libjpeg in one call (the decoder itself asks for 1 to 4).
constexpr int kMaxRowsPerCall = 16;
constexpr unsigned kMaxMarkerBytes = 0xFFFF;
// The payload of one marker segment: its 16-bit length counts itself.
constexpr std::size_t kMaxPayloadBytes = 65533;

struct JpegReadJob {
    jpeg_decompress_struct cinfo;
    JpegErrorManager error;
    std::FILE* file = nullptr;
    CurrentImage* image = nullptr;
    platform::MessageSink* sink = nullptr;
    bool created = false;
};

// Hands libjpeg's saved markers to the selection rules.
bool KeepBlocks(jpeg_decompress_struct& cinfo, ImageMetadata& metadata) {
    std::vector<SavedMarker> markers;
    try {
        for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next) {
            if (m->data == nullptr) continue;
            markers.push_back(SavedMarker{m->marker, {m->data, m->data_length}});
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return PickJpegBlocks(markers, metadata);
}

int DecodeJpeg(JpegReadJob& job) {
    jpeg_decompress_struct& cinfo = job.cinfo;
    if (setjmp(job.error.jump)) return kJpegFailed;
    jpeg_create_decompress(&cinfo);
    job.created = true;
    jpeg_stdio_src(&cinfo, job.file);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, kMaxMarkerBytes);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 13, kMaxMarkerBytes);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 2, kMaxMarkerBytes);
    jpeg_read_header(&cinfo, TRUE);
    if (!KeepBlocks(cinfo, job.image->metadata)) {
        detail::ReportOutOfMemory(*job.image, *job.sink);
        return kJpegFailed;
    }
    if (!detail::CheckImageSides(cinfo.image_width, cinfo.image_height, *job.sink)) {
        return kJpegFailed;
    }
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3) {
        job.sink->Show("Image must be rgb");
        return kJpegFailed;
    }
    if (!detail::AllocateImageBuffers(*job.image, static_cast<std::int32_t>(cinfo.output_width),
                                      static_cast<std::int32_t>(cinfo.output_height), 24,
                                      *job.sink)) {
        return kJpegFailed;
    }
    const ImageBuffer& input = job.image->input;
    const int perCall = cinfo.rec_outbuf_height < 1                 ? 1
                        : cinfo.rec_outbuf_height > kMaxRowsPerCall ? kMaxRowsPerCall
                                                                    : cinfo.rec_outbuf_height;
    JSAMPROW rows[kMaxRowsPerCall];
    // Rows are decoded straight into the image, no copy.
    while (cinfo.output_scanline < cinfo.output_height) {
        const JDIMENSION first = cinfo.output_scanline;
        JDIMENSION count = 0;
        for (; count < static_cast<JDIMENSION>(perCall) && first + count < cinfo.output_height;
             ++count) {
            rows[count] = input.Row(static_cast<std::int32_t>(first + count));
        }
        if (jpeg_read_scanlines(&cinfo, rows, count) == 0) return kJpegFailed;
    }
    jpeg_finish_decompress(&cinfo);
    return 0;
}

struct JpegWriteJob {
    jpeg_compress_struct cinfo;
    JpegErrorManager error;
    std::FILE* file = nullptr;
    const ImageBuffer* image = nullptr;
    const ImageMetadata* metadata = nullptr;
    int quality = 90;
    bool created = false;
};

// Blocks too long for one segment cannot have come from a JPEG; they are left
// out rather than failing the whole write.
void WriteBlock(jpeg_compress_struct& cinfo, int marker, const std::vector<std::uint8_t>& block) {
    if (block.empty() || block.size() > kMaxPayloadBytes) return;
    jpeg_write_marker(&cinfo, marker, block.data(), static_cast<unsigned>(block.size()));
}

void WriteIccProfile(jpeg_compress_struct& cinfo, const std::vector<std::uint8_t>& profile) {
    const std::size_t count = IccChunkCount(profile.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t begin = i * kIccChunkBytes;
        const std::size_t length =
            profile.size() - begin < kIccChunkBytes ? profile.size() - begin : kIccChunkBytes;
        jpeg_write_m_header(&cinfo, JPEG_APP0 + 2, static_cast<unsigned>(kIccHeaderBytes + length));
        for (std::size_t k = 0; k < kIccIdentifierBytes; ++k) {
            jpeg_write_m_byte(&cinfo, static_cast<unsigned char>(kIccIdentifier[k]));
        }
        jpeg_write_m_byte(&cinfo, static_cast<int>(i + 1));
        jpeg_write_m_byte(&cinfo, static_cast<int>(count));
        for (std::size_t k = 0; k < length; ++k) jpeg_write_m_byte(&cinfo, profile[begin + k]);
    }
}

int EncodeJpeg(JpegWriteJob& job) {
    jpeg_compress_struct& cinfo = job.cinfo;
    if (setjmp(job.error.jump)) return kJpegFailed;
    jpeg_create_compress(&cinfo);
    job.created = true;
    jpeg_stdio_dest(&cinfo, job.file);
    const ImageBuffer& image = *job.image;
    cinfo.image_width = static_cast<JDIMENSION>(image.width);
    cinfo.image_height = static_cast<JDIMENSION>(image.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);  // includes the JFIF APP0 segment
    jpeg_set_quality(&cinfo, job.quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const ImageMetadata& metadata = *job.metadata;
    WriteBlock(cinfo, JPEG_APP0 + 1, metadata.exif);
    WriteBlock(cinfo, JPEG_APP0 + 13, metadata.iptc);
    WriteIccProfile(cinfo, metadata.icc);
    WriteBlock(cinfo, JPEG_APP0 + 1, metadata.xmp);
    // Rows are handed over straight from the image, several to a call: the
    // compressor only reads them, so a copy of each would be wasted work.
    JSAMPROW rows[kMaxRowsPerCall];
    while (cinfo.next_scanline < cinfo.image_height) {
        const JDIMENSION first = cinfo.next_scanline;
        JDIMENSION count = 0;
        for (;
             count < static_cast<JDIMENSION>(kMaxRowsPerCall) && first + count < cinfo.image_height;
             ++count) {
            rows[count] = image.Row(static_cast<std::int32_t>(first + count));
        }
        // A destination that suspends accepts no row; offer them again a few
        // times.
        int attempts = 0;
        while (jpeg_write_scanlines(&cinfo, rows, count) == 0) {
            if (++attempts == 8) return kJpegFailed;
        }
    }
    jpeg_finish_compress(&cinfo);
    return 0;
}

void ShowWithSystemError(platform::MessageSink& sink, const std::string& text, int error) {
    sink.Show(text);
    sink.Show(std::strerror(error));
}

bool IsWritableRgb(const ImageBuffer& output) {
    return output.pixels != nullptr && output.width > 0 && output.height > 0 &&
           output.width <= kMaxImageSide && output.height <= kMaxImageSide &&
           output.rowBytes >= std::int64_t{output.width} * 3;
}

}  // namespace

int ReadJpegStream(std::FILE* file, CurrentImage& image, platform::MessageSink& sink) {
    JpegReadJob job;
    job.cinfo.err = jpeg_std_error(&job.error.pub);
    job.error.pub.error_exit = JumpOnFatalError;
    job.file = file;
    job.image = &image;
    job.sink = &sink;
    image.metadata.Clear();
    const int status = DecodeJpeg(job);
    if (job.created) jpeg_destroy_decompress(&job.cinfo);
    return status;
}

int ReadJpegFile(const std::string& path, CurrentImage& image, platform::MessageSink& sink) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        const int error = errno;
        ShowWithSystemError(sink, "Can't open " + path + " for reading", error);
        return kJpegFailed;
    }
    const int status = ReadJpegStream(file, image, sink);
    std::fclose(file);
    return status;
}

int WriteJpegFile(const ImageBuffer& output, const ImageMetadata& metadata, const std::string& path,
                  int quality, platform::MessageSink& sink,
                  const platform::RenameFunction& rename) {
    if (output.bitsPerPixel != 24 || !IsWritableRgb(output)) {
        sink.Show("Image must be rgb");
        return kJpegFailed;
    }
    errno = 0;
    platform::FileReplacement replacement;
    const int openError = replacement.Open(path);
    std::FILE* file = openError == 0 ? replacement.Stream() : nullptr;
    if (file == nullptr) {
        ShowWithSystemError(sink, "Can't open " + path + " for writing",
                            openError != 0 ? openError : errno);
        return kJpegFailed;
    }
    JpegWriteJob job;
    job.cinfo.err = jpeg_std_error(&job.error.pub);
    job.error.pub.error_exit = JumpOnFatalError;
    job.file = file;
    job.image = &output;
    job.metadata = &metadata;
    job.quality = quality < 1 ? 1 : quality > 100 ? 100 : quality;
    int status = EncodeJpeg(job);
    if (job.created) jpeg_destroy_compress(&job.cinfo);
    // Data still buffered by stdio reaches the disk only here; a failure now
    // (a full disk) must not let the truncated file replace the target.
    if (status == 0 && (std::fflush(file) != 0 || std::ferror(file) != 0)) {
        const int error = errno != 0 ? errno : EIO;
        ShowWithSystemError(sink, "Can't write " + path, error);
        status = kJpegFailed;
    }
    // An unfinished replacement is discarded with the object.
    if (status != 0) return status;
    if (const int error = replacement.Commit(rename); error != 0) {
        ShowWithSystemError(sink, "Can't replace " + path, error);
        return kJpegFailed;
    }
    return 0;
}

}  // namespace quillon::imageio
