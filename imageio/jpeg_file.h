#pragma once

#include <cstdio>
#include <string>

#include "base/image_buffer.h"
#include "imageio/image_file.h"
#include "imageio/image_metadata.h"
#include "platform/atomic_file.h"
#include "platform/message_sink.h"

// Baseline and progressive RGB JPEG files with their carried APP segments.

namespace quillon::imageio {

inline constexpr int kJpegFailed = -1;

// Reads a colour JPEG into image.input (YCbCr comes out as RGB, 24 bits per
// pixel) with its EXIF, XMP, IPTC and ICC blocks, and allocates the output and
// work buffers. 0 on success, kJpegFailed on failure. Corrupt data fails without
// a message; the other refusals show one.
int ReadJpegFile(const std::string& path, CurrentImage& image, platform::MessageSink& sink);

// The same from an open stream, which stays open (used where the bytes are not
// in a named file).
int ReadJpegStream(std::FILE* file, CurrentImage& image, platform::MessageSink& sink);

// Writes `output` (24 bits per pixel) as a JFIF JPEG of the given quality
// (clamped to 1..100), followed by the carried blocks in the order EXIF, IPTC,
// ICC profile chunks, XMP. The target is replaced only once the new file is
// complete. 0 on success, kJpegFailed on failure.
int WriteJpegFile(const ImageBuffer& output, const ImageMetadata& metadata, const std::string& path,
                  int quality, platform::MessageSink& sink,
                  const platform::RenameFunction& rename = {});

}  // namespace quillon::imageio
