#pragma once

#include <string>

#include "base/image_buffer.h"
#include "base/status.h"
#include "image/image_metadata.h"
#include "imageio/image_file.h"
#include "platform/atomic_file.h"
#include "platform/message_sink.h"

// 8- and 16-bit RGB(A) TIFF files with their carried tags.

namespace quillon::imageio {

// Reads an RGB or RGBA TIFF of unsigned 8- or 16-bit samples (an alpha channel
// is dropped) into image.input and its metadata into image.metadata, and
// allocates the output and work buffers; with ReadScope::kMetadataOnly it stops
// after the tags. Fails with StatusCode::kUnusable after one message.
// With `arrival`, only the source block is allocated and `arrival` hears of
// the rows as they are read (LoadImageRows); an RGBA file's rows all arrive
// at the end, once its alpha samples are dropped.
Status ReadTiffFile(const std::string& path, CurrentImage& image, platform::MessageSink& sink,
                    ReadScope scope = ReadScope::kWholeImage, RowArrival* arrival = nullptr);

// Writes `output` (24 or 48 bits per pixel) as an RGB TIFF: LZW for 8 bits,
// uncompressed for 16, with the carried tags of `metadata` and its EXIF and GPS
// directories. The orientation is the input's, or 1 when the pixels were turned
// upright. The target is replaced only once the new file is complete. Fails
// with StatusCode::kFailed after one message.
Status WriteTiffFile(const ImageBuffer& output, const ImageMetadata& metadata,
                     const std::string& path, platform::MessageSink& sink,
                     const platform::RenameFunction& rename = {});

// The same for an image of `geometry` (its pixels are not read) whose rows
// come from `rows` a strip at a time.
Status WriteTiffRows(const ImageBuffer& geometry, RowFeed& rows, const ImageMetadata& metadata,
                     const std::string& path, platform::MessageSink& sink,
                     const platform::RenameFunction& rename = {});

}  // namespace quillon::imageio
