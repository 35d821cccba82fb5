#include "imageio/jpeg_file.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
// After jpeglib.h, which it builds on.
#include <jerror.h>

#include "imageio/exif_orientation.h"
#include "imageio/image_sides.h"
#include "imageio/jpeg_markers.h"
#include "text/memory_messages.h"

namespace quillon::imageio {

namespace {

// libjpeg ends a fatal error by calling error_exit, which must not return. It
// jumps back to the setjmp of the one function per call that drives the codec.
// Nothing with a destructor lives in that function's frame, so the jump skips
// no cleanup; the caller destroys the codec and closes the file.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    platform::MessageSink* sink = nullptr;
};

// The library's text for its current message goes to the call's sink, never
// to stderr: a window has no terminal, and a photo refused without a word
// would leave its user guessing.
void ShowLibraryMessage(j_common_ptr cinfo) {
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    reinterpret_cast<JpegErrorManager*>(cinfo->err)->sink->Show(text);
}

[[noreturn]] void JumpOnFatalError(j_common_ptr cinfo) {
    (*cinfo->err->output_message)(cinfo);
    std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}

// Sets up `error` for a codec whose messages go to `sink`.
jpeg_error_mgr* UseErrorManager(JpegErrorManager& error, platform::MessageSink& sink) {
    jpeg_error_mgr* pub = jpeg_std_error(&error.pub);
    error.sink = &sink;
    error.pub.error_exit = JumpOnFatalError;
    error.pub.output_message = ShowLibraryMessage;
    return pub;
}

// Warnings after which the picture is still the one the file holds: bytes
// skipped between two segments, header values the decoder reads past. After
// any other warning the library carries on with invented data (grey rows after
// a premature end, noise after a bad code); such a picture must not be
// corrected and written over the photo, and decoding it to the end could fill
// gigabytes of a declared size that the file never had.
bool IsHarmlessWarning(int code) {
    return code == JWRN_EXTRANEOUS_DATA || code == JWRN_JFIF_MAJOR || code == JWRN_NOT_SEQUENTIAL ||
           code == JWRN_ADOBE_XFORM;
}

// Damaging warnings end the read as fatal errors do, at the first one, with
// their text. Harmless ones and the library's trace notes are not for the
// user.
void StopAtDamagingWarning(j_common_ptr cinfo, int level) {
    if (level < 0 && !IsHarmlessWarning(cinfo->err->msg_code)) (*cinfo->err->error_exit)(cinfo);
}

// The library calls its progress monitor between the steps of reading input,
// after every scan header among them, so a flood of scans is stopped early.
struct ScanLimit {
    jpeg_progress_mgr pub{};
    bool exceeded = false;
};

void StopAfterTooManyScans(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number <= kMaxJpegScans) return;
    reinterpret_cast<ScanLimit*>(cinfo->progress)->exceeded = true;
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
    ScanLimit scanLimit;
    std::FILE* file = nullptr;
    CurrentImage* image = nullptr;
    platform::MessageSink* sink = nullptr;
    ReadScope scope = ReadScope::kWholeImage;
    RowArrival* arrival = nullptr;
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

// What the writer repeats of the input's encoding (read after the header).
void KeepEncoding(const jpeg_decompress_struct& cinfo, JpegCarried& jpeg) {
    if (cinfo.saw_JFIF_marker && cinfo.density_unit <= 2 && cinfo.X_density > 0 &&
        cinfo.Y_density > 0) {
        jpeg.hasDensity = true;
        jpeg.densityUnit = cinfo.density_unit;
        jpeg.xDensity = cinfo.X_density;
        jpeg.yDensity = cinfo.Y_density;
    }
    jpeg.chroma = ChromaSampling::k420;
    if (cinfo.num_components != 3) return;
    const jpeg_component_info& luma = cinfo.comp_info[0];
    const jpeg_component_info& cb = cinfo.comp_info[1];
    const jpeg_component_info& cr = cinfo.comp_info[2];
    if (cb.h_samp_factor != cr.h_samp_factor || cb.v_samp_factor != cr.v_samp_factor) return;
    if (luma.v_samp_factor != cb.v_samp_factor) return;
    if (luma.h_samp_factor == cb.h_samp_factor) {
        jpeg.chroma = ChromaSampling::k444;
    } else if (luma.h_samp_factor == 2 * cb.h_samp_factor) {
        jpeg.chroma = ChromaSampling::k422;
    }
}

Status DecodeJpeg(JpegReadJob& job) {
    jpeg_decompress_struct& cinfo = job.cinfo;
    if (setjmp(job.error.jump)) return StatusCode::kJpegFailed;
    jpeg_create_decompress(&cinfo);
    job.created = true;
    cinfo.progress = &job.scanLimit.pub;
    jpeg_stdio_src(&cinfo, job.file);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, kMaxMarkerBytes);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 13, kMaxMarkerBytes);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 2, kMaxMarkerBytes);
    jpeg_save_markers(&cinfo, JPEG_COM, kMaxMarkerBytes);
    jpeg_read_header(&cinfo, TRUE);
    if (!KeepBlocks(cinfo, job.image->metadata)) {
        ReportImageOutOfMemory(*job.image, *job.sink);
        return StatusCode::kJpegFailed;
    }
    KeepEncoding(cinfo, job.image->metadata.jpeg);
    if (!detail::CheckImageSides(cinfo.image_width, cinfo.image_height, *job.sink)) {
        return StatusCode::kJpegFailed;
    }
    const bool wholeImage = job.scope == ReadScope::kWholeImage;
    if (wholeImage) {
        jpeg_start_decompress(&cinfo);
    } else {
        // The output description start_decompress would give, without reading
        // a single scan.
        jpeg_calc_output_dimensions(&cinfo);
    }
    if (cinfo.output_components != 3) {
        job.sink->Show("Image must be rgb");
        return StatusCode::kJpegFailed;
    }
    if (!wholeImage) return Status::Ok();
    const auto width = static_cast<std::int32_t>(cinfo.output_width);
    const auto height = static_cast<std::int32_t>(cinfo.output_height);
    const Status allocated = job.arrival != nullptr
                                 ? AllocateSourcePixels(*job.image, width, height, 24, *job.sink)
                                 : AllocateImagePixels(*job.image, width, height, 24, *job.sink);
    if (!allocated.ok()) return StatusCode::kJpegFailed;
    if (job.arrival != nullptr) job.arrival->Begun();
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
        if (jpeg_read_scanlines(&cinfo, rows, count) == 0) return StatusCode::kJpegFailed;
        if (job.arrival != nullptr) {
            job.arrival->Arrived(static_cast<std::int32_t>(cinfo.output_scanline));
        }
    }
    jpeg_finish_decompress(&cinfo);
    return Status::Ok();
}

struct JpegWriteJob {
    jpeg_compress_struct cinfo;
    JpegErrorManager error;
    std::FILE* file = nullptr;
    // The new file, whose writing to disk is started as it grows.
    const platform::FileReplacement* replacement = nullptr;
    const ImageBuffer* image = nullptr;
    RowFeed* rows = nullptr;
    const ImageMetadata* metadata = nullptr;
    // metadata.exif, or its upright copy.
    const std::vector<std::uint8_t>* exif = nullptr;
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

// The defaults sample chroma at 4:2:0 and give no density; a photo that had
// more colour resolution or a print size keeps them.
void UseInputEncoding(jpeg_compress_struct& cinfo, const JpegCarried& jpeg) {
    if (jpeg.hasDensity) {
        cinfo.density_unit = jpeg.densityUnit;
        cinfo.X_density = jpeg.xDensity;
        cinfo.Y_density = jpeg.yDensity;
    }
    jpeg_component_info& luma = cinfo.comp_info[0];
    if (jpeg.chroma == ChromaSampling::k444) {
        luma.h_samp_factor = 1;
        luma.v_samp_factor = 1;
    } else if (jpeg.chroma == ChromaSampling::k422) {
        luma.h_samp_factor = 2;
        luma.v_samp_factor = 1;
    }
}

Status EncodeJpeg(JpegWriteJob& job) {
    jpeg_compress_struct& cinfo = job.cinfo;
    if (setjmp(job.error.jump)) return StatusCode::kJpegFailed;
    jpeg_create_compress(&cinfo);
    job.created = true;
    jpeg_stdio_dest(&cinfo, job.file);
    const ImageBuffer& image = *job.image;
    cinfo.image_width = static_cast<JDIMENSION>(image.width);
    cinfo.image_height = static_cast<JDIMENSION>(image.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);  // includes the JFIF APP0 segment
    const ImageMetadata& metadata = *job.metadata;
    UseInputEncoding(cinfo, metadata.jpeg);
    jpeg_set_quality(&cinfo, job.quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    WriteBlock(cinfo, JPEG_APP0 + 1, *job.exif);
    WriteBlock(cinfo, JPEG_APP0 + 13, metadata.iptc);
    WriteIccProfile(cinfo, metadata.icc);
    WriteBlock(cinfo, JPEG_APP0 + 1, metadata.xmp);
    for (const JpegSegment& segment : metadata.jpeg.trailingSegments) {
        WriteBlock(cinfo, segment.marker, segment.payload);
    }
    // Rows are handed over straight from the feed, several to a call: the
    // compressor only reads them, so a copy of each would be wasted work.
    JSAMPROW rows[kMaxRowsPerCall];
    // The file is synced before it replaces the photo; what stdio has handed
    // over by then goes to disk every so many rows meanwhile.
    constexpr JDIMENSION kWritebackRows = 1024;
    while (cinfo.next_scanline < cinfo.image_height) {
        const JDIMENSION first = cinfo.next_scanline;
        if (job.replacement != nullptr && first > 0 && first % kWritebackRows == 0) {
            job.replacement->StartWriteback();
        }
        const JDIMENSION count = std::min<JDIMENSION>(kMaxRowsPerCall, cinfo.image_height - first);
        const std::uint8_t* fed =
            job.rows->Rows(static_cast<std::int32_t>(first), static_cast<std::int32_t>(count));
        if (fed == nullptr) return StatusCode::kJpegFailed;
        for (JDIMENSION k = 0; k < count; ++k) {
            rows[k] = const_cast<JSAMPROW>(fed + static_cast<std::size_t>(image.rowBytes) * k);
        }
        // A destination that suspends accepts no row; offer them again a few
        // times.
        int attempts = 0;
        while (jpeg_write_scanlines(&cinfo, rows, count) == 0) {
            if (++attempts == 8) return StatusCode::kJpegFailed;
        }
    }
    jpeg_finish_compress(&cinfo);
    return Status::Ok();
}

void ShowWithSystemError(platform::MessageSink& sink, const std::string& text, int error) {
    sink.Show(text);
    sink.Show(std::strerror(error));
}

}  // namespace

Status ReadJpegStream(std::FILE* file, CurrentImage& image, platform::MessageSink& sink,
                      ReadScope scope, RowArrival* arrival) {
    JpegReadJob job;
    job.cinfo.err = UseErrorManager(job.error, sink);
    job.error.pub.emit_message = StopAtDamagingWarning;
    job.scanLimit.pub.progress_monitor = StopAfterTooManyScans;
    job.file = file;
    job.image = &image;
    job.sink = &sink;
    job.scope = scope;
    job.arrival = arrival;
    image.metadata.Clear();
    const Status status = DecodeJpeg(job);
    if (job.created) jpeg_destroy_decompress(&job.cinfo);
    if (job.scanLimit.exceeded) {
        sink.Show("JPEG file has too many scans (more than " + std::to_string(kMaxJpegScans) + ")");
    }
    return status;
}

Status ReadJpegFile(const std::string& path, CurrentImage& image, platform::MessageSink& sink,
                    ReadScope scope, RowArrival* arrival) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        const int error = errno;
        ShowWithSystemError(sink, "Can't open " + path + " for reading", error);
        return StatusCode::kJpegFailed;
    }
    const Status status = ReadJpegStream(file, image, sink, scope, arrival);
    std::fclose(file);
    return status;
}

Status WriteJpegFile(const ImageBuffer& output, const ImageMetadata& metadata,
                     const std::string& path, int quality, platform::MessageSink& sink,
                     const platform::RenameFunction& rename) {
    if (output.bitsPerPixel != 24 || !IsUsableImage(output)) {
        sink.Show("Image must be rgb");
        return StatusCode::kJpegFailed;
    }
    ImageRowFeed rows(output);
    return WriteJpegRows(output, rows, metadata, path, quality, sink, rename);
}

Status WriteJpegRows(const ImageBuffer& output, RowFeed& rows, const ImageMetadata& metadata,
                     const std::string& path, int quality, platform::MessageSink& sink,
                     const platform::RenameFunction& rename) {
    if (output.bitsPerPixel != 24 || !IsUsableGeometry(output)) {
        sink.Show("Image must be rgb");
        return StatusCode::kJpegFailed;
    }
    // The carried block is the input's; the upright value goes into a copy.
    std::vector<std::uint8_t> uprightExif;
    if (metadata.pixelsTurnedUpright && !metadata.exif.empty()) {
        try {
            uprightExif = metadata.exif;
        } catch (const std::bad_alloc&) {
            sink.Show(text::kAllocMemError2);
            return StatusCode::kJpegFailed;
        }
        SetExifOrientationUpright(uprightExif);
    }
    errno = 0;
    platform::FileReplacement replacement;
    const int openError = replacement.Open(path);
    std::FILE* file = openError == 0 ? replacement.Stream() : nullptr;
    if (file == nullptr) {
        ShowWithSystemError(sink, "Can't open " + path + " for writing",
                            openError != 0 ? openError : errno);
        return StatusCode::kJpegFailed;
    }
    JpegWriteJob job;
    job.cinfo.err = UseErrorManager(job.error, sink);
    job.file = file;
    job.replacement = &replacement;
    job.image = &output;
    job.rows = &rows;
    job.metadata = &metadata;
    job.exif = uprightExif.empty() ? &metadata.exif : &uprightExif;
    job.quality = quality < 1 ? 1 : quality > 100 ? 100 : quality;
    Status status = EncodeJpeg(job);
    if (job.created) jpeg_destroy_compress(&job.cinfo);
    // Data still buffered by stdio reaches the disk only here; a failure now
    // (a full disk) must not let the truncated file replace the target.
    if (status.ok() && (std::fflush(file) != 0 || std::ferror(file) != 0)) {
        const int error = errno != 0 ? errno : EIO;
        ShowWithSystemError(sink, "Can't write " + path, error);
        status = StatusCode::kJpegFailed;
    }
    // An unfinished replacement is discarded with the object.
    if (!status.ok()) return status;
    if (const int error = replacement.Commit(rename); error != 0) {
        ShowWithSystemError(sink, "Can't replace " + path, error);
        return StatusCode::kJpegFailed;
    }
    return Status::Ok();
}

}  // namespace quillon::imageio
