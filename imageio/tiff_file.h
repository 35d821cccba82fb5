#pragma once

#include <string>

#include "base/image_buffer.h"
#include "image/image_metadata.h"
#include "imageio/image_file.h"
#include "platform/atomic_file.h"
#include "platform/message_sink.h"

// 8- and 16-bit RGB(A) TIFF files with their carried tags.

namespace quillon::imageio {

inline constexpr int kTiffReadFailed = 2;
inline constexpr int kTiffWriteFailed = 1;

// Reads an RGB or RGBA TIFF of unsigned 8- or 16-bit samples (an alpha channel
// is dropped) into image.input and its metadata into image.metadata, and
// allocates the output and work buffers; with ReadScope::kMetadataOnly it stops
// after the tags. 0 on success, kTiffReadFailed after one message.
int ReadTiffFile(const std::string& path, CurrentImage& image, platform::MessageSink& sink,
                 ReadScope scope = ReadScope::kWholeImage);

// Writes `output` (24 or 48 bits per pixel) as an RGB TIFF: LZW for 8 bits,
// uncompressed for 16, with the carried tags of `metadata` and its EXIF and GPS
// directories. The orientation is the input's, or 1 when the pixels were turned
// upright. The target is replaced only once the new file is complete. 0 on
// success, kTiffWriteFailed after one message.
int WriteTiffFile(const ImageBuffer& output, const ImageMetadata& metadata, const std::string& path,
                  platform::MessageSink& sink, const platform::RenameFunction& rename = {});

}  // namespace quillon::imageio
