#pragma once

#include <array>
#include <cstddef>

#include "base/byte_count.h"
#include "base/image_buffer.h"
#include "base/pixel_block.h"
#include "base/status.h"
#include "engine/correction_settings.h"
#include "engine/perspective_canvas.h"
#include "engine/worker_pool.h"
#include "platform/message_sink.h"

// All corrections of one image in their fixed order: vignetting, then lens
// correction or fisheye conversion, then perspective, scale and crop shift on
// canvases 4/3 the image's sides. The same steps serve the preview, the full
// image, batch correction and the plug-in.
//
// A correction is planned, then run. PlanCorrection decides from the settings
// and the image's geometry what will run and how much scratch memory that
// takes, and changes nothing. RunCorrection reads the source, writes the
// destination and works in scratch memory that the caller owns and keeps
// between runs: a preview corrected at every slider move allocates nothing
// once its scratch is large enough, and a host can supply the memory. Neither
// step writes the settings: where the crop shifts had to be limited to the
// canvas, the plan says so and the caller decides whether to adopt them.

namespace quillon::engine {

// The values a correction is planned from.
struct CorrectionInputs {
    const CorrectionSettings& settings;
    const LensModel& lens;
    LensState lensState;
};

// What a correction will do for its inputs.
struct ActiveCorrections {
    bool distortion = false;
    bool chromaticAberration = false;
    bool fisheye = false;
    bool vignetting = false;
    bool perspective = false;
    bool scale = false;

    bool Any() const {
        return distortion || chromaticAberration || fisheye || vignetting || perspective || scale;
    }
    // Lens correction or fisheye conversion: a remap of the whole image.
    bool Geometric() const { return fisheye || distortion || chromaticAberration; }
    // Perspective or scale: the steps that work on canvases.
    bool Canvas() const { return perspective || scale; }
};
ActiveCorrections DecideCorrections(const CorrectionSettings& settings, const LensModel& lens,
                                    LensState lensState);

// Whether the caller needs the source again after the correction.
enum class SourceUse {
    // The source is only read (the window, the preview, anything corrected
    // again).
    kKeep,
    // The caller is done with the source (a photo read once and written
    // once): the correction may change its pixels and release its block as
    // soon as it has read them, and so needs less memory of its own.
    kSpend,
};

// What RunCorrection will do, as data.
struct CorrectionPlan {
    ActiveCorrections steps;
    // The values the steps use, as they were when planning.
    CorrectionSettings settings;
    LensModel lens;
    SourceUse sourceUse = SourceUse::kKeep;
    // The geometry planned for (no pixels): the source and the destination
    // have it. The canvas is that of perspective and scale (0 x 0 without).
    ImageBuffer image;
    ImageBuffer canvas;
    // The bytes of the planned image, and those each scratch block must hold
    // (0: the block is not used).
    ByteCount imageBytes;
    std::array<ByteCount, 2> scratchBytes{};
    // Where the window is cut out of the canvas. crop.limited says that a
    // shift setting would have left the canvas; crop.shifts are then the
    // limited settings, which a window adopts (AdoptCropShifts) so that its
    // controls show where the window really is.
    CropWindow crop;
    // Perspective without scale, after a lens correction or none: the image
    // is corrected straight onto one canvas and only the window is
    // re-projected, into the destination. The scale step needs the second
    // canvas (the whole re-projected one) and keeps it.
    bool oneCanvas = false;
};

// Plans the correction of an image of `image`'s geometry (the pixels are not
// read). Fails (status 1) for a geometry the engine cannot handle (see
// CheckImageGeometry), after "Insufficient memory" for one whose bytes do not
// fit in memory's address range (a 32-bit build), and for a canvas whose
// sides would exceed kMaxImageSide or whose bytes do not fit, after
// "Insufficient memory for Perspective adjustments": such canvases run to
// gigabytes.
StatusOr<CorrectionPlan> PlanCorrection(const ImageBuffer& image, const CorrectionInputs& inputs,
                                        SourceUse sourceUse, platform::MessageSink& sink);

// The memory a correction works in, owned by the caller and kept between
// runs. ReadyCorrectionScratch grows it to what a plan needs and never
// shrinks it; Release gives it back.
struct CorrectionScratch {
    std::array<PixelBlock, 2> blocks;
    // What the first block holds besides work in progress: all zero as
    // allocated, or the black margin of a one-canvas run's canvas of these
    // sides and depth, which the next such run need not blacken again.
    bool firstZero = false;
    std::array<std::int32_t, 3> blackMargin{};

    std::size_t Bytes() const { return blocks[0].size() + blocks[1].size(); }
    void Release() {
        blocks[0].Release();
        blocks[1].Release();
        firstZero = false;
        blackMargin = {};
    }
};

// Makes `scratch` hold what `plan` needs. Only a block smaller than needed is
// allocated again, after asking the context's memory gate; the others are
// kept as they are. Status 1 after "Insufficient memory for Perspective
// adjustments" (the first canvas block), "Insufficient memory for perspective
// adjustments" (the second) or "Insufficient memory" (an image-sized block).
Status ReadyCorrectionScratch(const CorrectionPlan& plan, CorrectionScratch& scratch,
                              const EngineContext& context);

// Runs a plan of SourceUse::kKeep from `source` into `destination`, both of
// the planned geometry and apart, working in `scratch` (readied for the plan).
// The source is only read. Returns the status of the first failing step,
// which skips the rest; the destination is then undefined.
Status RunCorrection(const CorrectionPlan& plan, const ImageBuffer& source,
                     const ImageBuffer& destination, CorrectionScratch& scratch,
                     EngineContext& context);

// Runs a plan of SourceUse::kSpend: the source is the planned image at the
// start of `sourceBlock`, which may be changed or released (empty) afterwards.
Status RunCorrection(const CorrectionPlan& plan, PixelBlock& sourceBlock,
                     const ImageBuffer& destination, CorrectionScratch& scratch,
                     EngineContext& context);

// Writes the plan's crop shifts into `settings` when they had to be limited.
void AdoptCropShifts(const CorrectionPlan& plan, CorrectionSettings& settings);

}  // namespace quillon::engine
