#pragma once

#include <cstdio>
#include <string>

#include "base/image_buffer.h"
#include "base/status.h"
#include "image/image_metadata.h"
#include "imageio/image_file.h"
#include "platform/atomic_file.h"
#include "platform/message_sink.h"

// Baseline and progressive RGB JPEG files with their carried APP segments.

namespace quillon::imageio {

// A file with more scans than this is refused. Each scan of a progressive file
// is a pass over the whole image, and a few bytes make an empty scan, so a
// small file of thousands of scans keeps a processor busy for minutes. Encoders
// write about ten (the library's own progression has ten for colour) and
// optimisers a few dozen; 500 is the limit the JPEG library's project applies
// when it fuzzes its own decoder.
inline constexpr int kMaxJpegScans = 500;

// Reads a colour JPEG into image.input (YCbCr comes out as RGB, 24 bits per
// pixel) with its EXIF, XMP, IPTC and ICC blocks and what the writer keeps of
// its encoding, and allocates the output and work buffers; with
// ReadScope::kMetadataOnly it stops after the header. Fails with
// StatusCode::kJpegFailed. Corrupt data (a fatal library error, or a warning after which the
// library would go on with invented pixels: a premature end, a bad code) fails
// with the library's text as its one message; the library's other warnings
// are not shown.
// With `arrival`, only the source block is allocated and `arrival` hears of
// the rows as they are decoded (LoadImageRows).
Status ReadJpegFile(const std::string& path, CurrentImage& image, platform::MessageSink& sink,
                    ReadScope scope = ReadScope::kWholeImage, RowArrival* arrival = nullptr);

// The same from an open stream, which stays open (used where the bytes are not
// in a named file).
Status ReadJpegStream(std::FILE* file, CurrentImage& image, platform::MessageSink& sink,
                      ReadScope scope = ReadScope::kWholeImage, RowArrival* arrival = nullptr);

// Writes `output` (24 bits per pixel) as a JFIF JPEG of the given quality
// (clamped to 1..100) with the input's JFIF density and chroma sampling,
// followed by the carried blocks in the order EXIF (its orientation set to 1
// when metadata.pixelsTurnedUpright), IPTC, ICC profile chunks, XMP, then the
// COM and extended-XMP segments in their input order. The target is replaced
// only once the new file is complete. Fails with StatusCode::kJpegFailed.
Status WriteJpegFile(const ImageBuffer& output, const ImageMetadata& metadata,
                     const std::string& path, int quality, platform::MessageSink& sink,
                     const platform::RenameFunction& rename = {});

// The same for an image of `geometry` (its pixels are not read) whose rows
// come from `rows`.
Status WriteJpegRows(const ImageBuffer& geometry, RowFeed& rows, const ImageMetadata& metadata,
                     const std::string& path, int quality, platform::MessageSink& sink,
                     const platform::RenameFunction& rename = {});

}  // namespace quillon::imageio
