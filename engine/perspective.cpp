#include "engine/perspective.h"

#include <cstring>

#include "engine/image_ops.h"
#include "engine/remap.h"
#include "engine/transform_stack.h"

namespace quillon::engine {

Point PerspectiveHomography(Point p, const void* params) {
    return PerspectiveHomographyPoint(*static_cast<const PerspectiveParams*>(params), p);
}

Status RunPerspective(const ImageBuffer& source, const ImageBuffer& destination,
                      const CorrectionSettings& settings, EngineContext& context) {
    QUILLON_RETURN_IF_ERROR(CheckImage(source, context.sink));
    QUILLON_RETURN_IF_ERROR(CheckImage(destination, context.sink));
    if (source.bitsPerPixel != destination.bitsPerPixel) return Status(1);
    const PerspectiveParams params = MakePerspectiveParams(
        source.width, PerspectiveAnglesFromSettings(settings.PerspectVert, settings.PerspectHorz,
                                                    settings.PerspectRotate));
    TransformStack stack;
    if (!stack.Add(PerspectiveHomography, &params)) return Status(1);
    return RemapImage(source, destination, stack, ChannelPass::kAll, context);
}

std::size_t EnlargedBlockSize(std::int64_t dataSize) {
    return static_cast<std::size_t>(static_cast<double>(dataSize) * kCanvasAreaFactor + 0.5);
}

namespace {

// The failure exit: the work block is had again at the image's own size so the
// image stays usable without perspective.
bool AllocateBlock(PixelBlock& block, std::size_t size, const EngineContext& context) {
    if (!context.MayAllocate(size)) {
        block.Release();
        return false;
    }
    return block.Allocate(size);
}

Status RestoreWorkBlock(ImageBlocks& blocks, ImageBuffer& destination, std::size_t imageSize,
                        const EngineContext& context) {
    if (blocks.work.size() < imageSize && !AllocateBlock(blocks.work, imageSize, context)) {
        destination.pixels = nullptr;
        return Status(2);
    }
    destination.pixels = blocks.work.data();
    return Status(1);
}

}  // namespace

Status EnlargeForPerspective(ImageBlocks& blocks, ImageBuffer& source, ImageBuffer& destination,
                             EngineContext& context) {
    platform::MessageSink& sink = context.sink;
    const auto imageSize = static_cast<std::size_t>(source.dataSize);
    const std::size_t enlarged = EnlargedBlockSize(source.dataSize);

    blocks.work.Release();
    PixelBlock newSource;
    if (!AllocateBlock(newSource, enlarged, context)) {
        sink.Show("Insufficient memory for Perspective adjustments");
        return RestoreWorkBlock(blocks, destination, imageSize, context);
    }
    std::memcpy(newSource.data(), source.pixels, imageSize);
    blocks.source = std::move(newSource);
    source.pixels = blocks.source.data();

    if (!AllocateBlock(blocks.work, enlarged, context)) {
        sink.Show("Insufficient memory for perspective adjustments");
        return RestoreWorkBlock(blocks, destination, imageSize, context);
    }
    destination.pixels = blocks.work.data();

    // The backup only ever holds the image's own pixels; when the larger block
    // cannot be had, the one already there still serves the restore.
    PixelBlock newBackup;
    if (AllocateBlock(newBackup, enlarged, context)) blocks.backup = std::move(newBackup);

    blocks.enlarged = true;
    return Status::Ok();
}

bool CanvasFitsLimits(const ImageBuffer& image) {
    return CanvasSide(image.width) <= kMaxImageSide && CanvasSide(image.height) <= kMaxImageSide;
}

Status PrepareCanvasBlocks(ImageBlocks& blocks, ImageBuffer& source, ImageBuffer& destination,
                           EngineContext& context) {
    if (!CanvasFitsLimits(source)) {
        context.sink.Show("Insufficient memory for Perspective adjustments");
        return Status(1);
    }
    const auto canvasSize = static_cast<std::size_t>(DescribeCanvas(source, nullptr).dataSize);
    const bool fits = blocks.enlarged && source.pixels == blocks.source.data() &&
                      destination.pixels == blocks.work.data() &&
                      blocks.source.size() >= canvasSize && blocks.work.size() >= canvasSize;
    if (fits) return Status::Ok();
    return EnlargeForPerspective(blocks, source, destination, context);
}

Status CorrectOnCanvas(const ImageBuffer& result, std::uint8_t* otherPixels,
                       const ImageBuffer& destination, bool perspective, bool scale,
                       CorrectionSettings& settings, const LensModel& lens,
                       EngineContext& context) {
    const ImageBuffer first = DescribeCanvas(result, result.pixels);
    const ImageBuffer second = DescribeCanvas(result, otherPixels);
    PlaceOnCanvas(first, result);
    const ImageBuffer* cropFrom = &second;
    if (perspective) {
        QUILLON_RETURN_IF_ERROR(RunPerspective(first, second, settings, context));
        if (scale) {
            QUILLON_RETURN_IF_ERROR(
                RunLensCorrection(first, second, false, false, true, settings, lens, context));
            cropFrom = &first;
        }
    } else if (scale) {
        QUILLON_RETURN_IF_ERROR(
            RunLensCorrection(second, first, false, false, true, settings, lens, context));
    } else {
        cropFrom = &first;
    }
    CropToImage(destination, *cropFrom, settings.PerspectShiftHorz, settings.PerspectShiftVert);
    return Status::Ok();
}

}  // namespace quillon::engine
