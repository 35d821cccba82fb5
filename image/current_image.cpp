#include "image/current_image.h"

#include <optional>

#include "text/memory_messages.h"

namespace quillon {

void CurrentImage::Release() {
    input = ImageBuffer{};
    output = ImageBuffer{};
    blocks.source.Release();
    blocks.work.Release();
    metadata.Clear();
}

Status AllocateImagePixels(CurrentImage& image, std::int32_t width, std::int32_t height,
                           std::int32_t bitsPerPixel, platform::MessageSink& sink) {
    QUILLON_RETURN_IF_ERROR(AllocateSourcePixels(image, width, height, bitsPerPixel, sink));
    return AllocateOutputPixels(image, sink);
}

Status AllocateSourcePixels(CurrentImage& image, std::int32_t width, std::int32_t height,
                            std::int32_t bitsPerPixel, platform::MessageSink& sink) {
    image.input = DescribeImage(width, height, bitsPerPixel, nullptr);
    image.output = ImageBuffer{};
    if (!image.blocks.source.Allocate(ImageByteCount(image.input))) {
        image.input = ImageBuffer{};
        ReportImageOutOfMemory(image, sink);
        return StatusCode::kFailed;
    }
    image.input.pixels = image.blocks.source.data();
    image.outOfMemory = false;
    return Status::Ok();
}

Status AllocateOutputPixels(CurrentImage& image, platform::MessageSink& sink) {
    if (!image.blocks.work.Allocate(ImageByteCount(image.input))) {
        image.blocks.source.Release();
        image.input = ImageBuffer{};
        image.output = ImageBuffer{};
        ReportImageOutOfMemory(image, sink);
        return StatusCode::kFailed;
    }
    image.output = image.input;
    image.output.pixels = image.blocks.work.data();
    image.outOfMemory = false;
    return Status::Ok();
}

void ReportImageOutOfMemory(CurrentImage& image, platform::MessageSink& sink) {
    image.outOfMemory = true;
    sink.Show(text::kAllocMemError2);
}

}  // namespace quillon
