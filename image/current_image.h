#pragma once

#include <cstdint>

#include "base/image_buffer.h"
#include "base/pixel_block.h"
#include "base/status.h"
#include "image/image_metadata.h"
#include "platform/message_sink.h"

// The image being corrected, as plain data that every part of the system can
// hold without the file formats' libraries: the readers fill it, the engine
// corrects it, the preview shows it and the plug-in takes it from its host.

namespace quillon {

// The pixel blocks behind one image (full size or preview), owned by the
// program state: `source` holds the image as read, `work` the corrected image
// that RunCorrection writes. The memory a correction works in besides these is
// the caller's CorrectionScratch (engine/run_correction.h).
struct ImageBlocks {
    PixelBlock source;
    PixelBlock work;
};

// The current image of the program: the decoded input, the output the correction
// writes into, and the metadata read with it. Everything is replaced by the
// next load.
struct CurrentImage {
    CurrentImage() = default;
    // An image whose pixel blocks take their memory from `allocator`, which
    // must outlive it; releasing and loading again keep it.
    explicit CurrentImage(BlockAllocator& allocator)
        : blocks{PixelBlock(allocator), PixelBlock(allocator)} {}

    ImageBuffer input;   // pixels point into blocks.source
    ImageBuffer output;  // same geometry as input; pixels point into blocks.work
    ImageBlocks blocks;
    ImageMetadata metadata;  // metadata.fileKind is the kind of the file read
    // Raised when one of the image's allocations failed; cleared by a load
    // and again once the two image blocks are allocated.
    bool outOfMemory = false;

    // Frees every block and forgets the metadata.
    void Release();
};

// Describes image.input as width x height at bitsPerPixel and allocates the
// source and work blocks of its size through their allocators; the output
// description is a copy of the input's that points at the work block. A
// failure (also a size that does not fit in memory's address range) leaves
// both blocks empty and the image described as nothing, and reports as
// ReportImageOutOfMemory does (status 1).
Status AllocateImagePixels(CurrentImage& image, std::int32_t width, std::int32_t height,
                           std::int32_t bitsPerPixel, platform::MessageSink& sink);

// The first half of AllocateImagePixels: describes image.input and allocates
// the source block only (image.output is empty), for a reader whose rows are
// corrected and written as they come.
Status AllocateSourcePixels(CurrentImage& image, std::int32_t width, std::int32_t height,
                            std::int32_t bitsPerPixel, platform::MessageSink& sink);

// The second half: the work block for image.input, described by image.output.
// A failure releases the source block too and reports as AllocateImagePixels.
Status AllocateOutputPixels(CurrentImage& image, platform::MessageSink& sink);

// Raises image.outOfMemory and shows the out-of-memory message of image data.
void ReportImageOutOfMemory(CurrentImage& image, platform::MessageSink& sink);

}  // namespace quillon
