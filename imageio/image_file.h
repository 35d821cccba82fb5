#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/image_buffer.h"
#include "base/status.h"
#include "image/current_image.h"
#include "image/image_metadata.h"
#include "platform/atomic_file.h"
#include "platform/message_sink.h"

// Reading and writing the photo being corrected. The format follows the file
// name (the character after the last '.': 't' or 'T' is TIFF, anything else
// JPEG) and the output always has the input's format and metadata blocks.
//
// Writing never destroys a photo: the new file is written completely beside its
// target and renamed over it only after it was closed without error. In the edit
// and quiet modes the target is the user's original, so a failed write must
// leave it exactly as it was.

namespace quillon::imageio {

// The settings and start mode that decide how a corrected image is written.
struct ImageFileOptions {
    // True in the folder browser: outputs get `suffix` before the last '.' and sit
    // next to their input. False in the editor and the quiet mode, which
    // overwrite the input.
    bool interactiveMode = true;
    std::string suffix = "_lc";
    int jpegQuality = 90;  // 1..100; values outside are clamped
};

// Where a writer takes the rows of the image it writes: asked from the top
// down, no range starting before the one before it. Whoever produces them may
// still be working on later rows.
class RowFeed {
  public:
    virtual ~RowFeed() = default;
    // Rows [first, first + count) of the image, each the image's rowBytes after
    // the one before, valid until the next call. Null when they cannot be had,
    // after the feed has shown why.
    virtual const std::uint8_t* Rows(std::int32_t first, std::int32_t count) = 0;
};

// The feed of an image that is complete in memory: its own rows, no copy.
class ImageRowFeed final : public RowFeed {
  public:
    explicit ImageRowFeed(const ImageBuffer& image) : image_(image) {}
    const std::uint8_t* Rows(std::int32_t first, std::int32_t) override {
        return image_.Row(first);
    }

  private:
    const ImageBuffer& image_;
};

// What a reader tells, from its own thread, whoever works on the rows as they
// come.
class RowArrival {
  public:
    virtual ~RowArrival() = default;
    // The header and metadata are read and image.input describes the
    // allocated source block; from here on the reader writes only pixels.
    virtual void Begun() = 0;
    // Rows [0, rows) of image.input are in place.
    virtual void Arrived(std::int32_t rows) = 0;
};

// How much of a file a reader takes: everything, or only what the metadata
// module and the diagnostics need (header, metadata blocks and tags), which
// never allocates or decodes pixels.
enum class ReadScope { kWholeImage, kMetadataOnly };

// The kind of file a path names by its suffix letter.
FileKind FileKindOf(std::string_view path);

// Where SaveImageFile writes the output of `inputPath`: the input itself when
// not in interactive mode, else the suffix inserted before the last '.' of the
// path (photo.jpg -> photo_lc.jpg; a name without '.' gets the suffix appended).
std::string OutputPathFor(std::string_view inputPath, const ImageFileOptions& options);

// Reads `path` into image.input (releasing whatever image was there), with its
// metadata blocks, and allocates the output and work buffers through the
// allocator of the image's blocks. Fails with StatusCode::kUnusable (2), the
// image released, after the message has been shown through `sink`.
Status LoadImageFile(const std::string& path, CurrentImage& image, platform::MessageSink& sink);

// LoadImageFile for a caller that works on the rows while they are decoded,
// on another thread: only the source block is allocated (image.output stays
// empty), `arrival` hears of the image and of its rows, and a failure leaves
// the image as it is for the caller to release once it has stopped reading it.
Status LoadImageRows(const std::string& path, CurrentImage& image, platform::MessageSink& sink,
                     RowArrival& arrival);

// Reads only the metadata of `path` into image.metadata, with the same checks
// and messages as LoadImageFile but without decoding or allocating pixels
// (image.input stays empty). Fails as LoadImageFile does.
Status LoadImageMetadata(const std::string& path, CurrentImage& image, platform::MessageSink& sink);

// SaveImageFile for an image of `geometry` whose rows come from `rows`.
Status SaveImageRows(const std::string& inputPath, const ImageBuffer& geometry, RowFeed& rows,
                     const ImageMetadata& metadata, const ImageFileOptions& options,
                     platform::MessageSink& sink, const platform::RenameFunction& rename = {});

// Writes image.output in the format of the file that was read, carrying
// image.metadata over, to OutputPathFor(inputPath, options). Fails (message
// shown, no file changed) with the writer's code: StatusCode::kFailed for
// TIFF, StatusCode::kJpegFailed for JPEG. `rename` replaces the final rename
// in tests.
Status SaveImageFile(const std::string& inputPath, const CurrentImage& image,
                     const ImageFileOptions& options, platform::MessageSink& sink,
                     const platform::RenameFunction& rename = {});

}  // namespace quillon::imageio
