#include "preview/show_image.h"

#include "engine/image_ops.h"
#include "imageio/image_file.h"
#include "lensdb/lens_matching.h"
#include "metadata/parse_metadata.h"
#include "platform/paths.h"
#include "preview/upright.h"

namespace quillon::preview {

namespace {

int OrientationOf(ShowMode mode) {
    switch (mode) {
        case ShowMode::kTurn180:
            return kTurn180;
        case ShowMode::kTurnClockwise:
            return kTurnClockwise;
        case ShowMode::kTurnCounterClockwise:
            return kTurnCounterClockwise;
        default:
            return 0;
    }
}

// Leaves the preview without an image: the window shows the empty area.
int Fail(PreviewState& preview) {
    preview.ReleaseImage();
    preview.imageState = kImageNone;
    return kShowFailed;
}

// Steps of a new image: its metadata. A photo without a focal length keeps
// 0, so matching offers every lens of the camera and a window lets the user
// choose one and type the focal length.
void ReadShot(ShowImageParts& parts, ShowMode mode) {
    const settings::SettingsValues& values = parts.values;
    if (mode == ShowMode::kImageInMemory && parts.readMetadata) {
        parts.shot = parts.readMetadata(parts.image.metadata);
        return;
    }
    parts.shot = metadata::ParseImageMetadata(
        parts.image.metadata,
        {values.detectCamera != 0, values.detectLens != 0, values.detectFlen != 0});
}

// The lens chosen for a photo without a focal length is corrected at a focal
// length nobody measured, unless its calibration has only one.
bool FocalLengthGuessed(const ShowImageParts& parts) {
    if (parts.shot.focalLength != 0.0 || !parts.selection.IsRealLensSelected()) return false;
    const auto points = parts.database.PointsOf(*parts.selection.selectedLens);
    return points.size() > 1 && points.front().focal != points.back().focal;
}

void BuildTransform(ShowImageParts& parts) {
    PreviewState& preview = parts.preview;
    const std::vector<std::uint8_t>& embedded = parts.image.metadata.icc;
    const std::string_view name = platform::FileNameOf(preview.path);
    const std::int32_t xmpIndex = parts.shot.colourSpaceIndex;
    SourceProfileChoice choice = ChooseSourceProfile(!embedded.empty(), name, xmpIndex);
    if (choice.kind == SourceProfileChoice::Kind::kEmbedded) {
        if (preview.transform.Create(embedded, preview.displayProfile)) return;
        // A profile that does not open (or is not RGB) says nothing; the
        // photo's other hints still do.
        choice = ChooseSourceProfile(false, name, xmpIndex);
    }
    if (choice.kind == SourceProfileChoice::Kind::kBuiltIn) {
        (void)preview.transform.Create(BuiltInProfile(choice.builtInIndex), preview.displayProfile);
    } else {
        preview.transform.Reset();
    }
}

// Camera and lens of a new image; true when the choice is complete.
bool DetectLens(ShowImageParts& parts) {
    lensdb::MatchSettings settings{parts.values.converterDetected, parts.values.flen,
                                   parts.invertMode};
    const lensdb::MatchContext context{parts.database,
                                       parts.history,
                                       parts.shot,
                                       parts.correction,
                                       settings,
                                       parts.texts,
                                       /*withWindow=*/true,
                                       parts.image.input.width,
                                       parts.image.input.height};
    const bool detected = lensdb::Detect(context, parts.selection);
    if (parts.selection.IsRealLensSelected()) {
        // A lens whose calibration does not reach the focal length stays
        // chosen; the detection text tells the user.
        (void)lensdb::ComputeCoefficients(context, parts.selection);
    }
    parts.values.flen = settings.flen;
    return detected;
}

}  // namespace

int ShowImage(ShowImageParts& parts, const std::string& path, ShowMode mode) {
    PreviewState& preview = parts.preview;
    CurrentImage& image = parts.image;
    platform::MessageSink& sink = parts.engine.sink;
    const bool fromFile = mode == ShowMode::kReadFile || mode == ShowMode::kReadByCaller;
    const bool newImage = fromFile || mode == ShowMode::kImageInMemory;
    const bool rebuild = mode == ShowMode::kRebuild;
    const bool busy = preview.imageState == kImageBusy;

    if (rebuild) {
        if (image.input.pixels == nullptr) return Fail(preview);
        // The region's saved pixels go back before the area changes its size.
        preview.zoom.WriteBack(preview.fullSize.Image(), sink);
    } else {
        if (parts.values.resetAlways != 0 && !busy) {
            engine::ResetCorrectionValues(parts.correction);
        }
        lensdb::RecordChoice(parts.history, parts.selection, parts.shot, parts.correction.CorChoice,
                             preview.imageState != kImageNone);
        const bool turned = preview.turned && !newImage;
        preview.ReleaseImage();
        preview.turned = turned;
    }

    int orientation = OrientationOf(mode);
    if (mode == ShowMode::kReadFile) {
        if (!imageio::LoadImageFile(path, image, sink).ok()) return Fail(preview);
    } else if (mode == ShowMode::kImageInMemory) {
        if (!engine::CheckImage(image.input, sink).ok()) return Fail(preview);
    } else if (mode == ShowMode::kReadByCaller && image.input.pixels == nullptr) {
        return Fail(preview);
    }
    if (newImage) {
        preview.path = path;
        ReadShot(parts, mode);
        // The host hands its document over as it shows it.
        if (fromFile) orientation = parts.shot.orientation;
    }
    if (TurnsPixels(orientation) && TurnImage(image, orientation)) {
        // The writers then say "upright" in the saved file, in the EXIF
        // block's own byte order, so viewers do not turn it a second time.
        image.metadata.pixelsTurnedUpright = true;
        preview.turned = true;
    }

    preview.imageState = kImageNone;
    const ImageBuffer& input = image.input;
    preview.placement =
        FittedPreviewSize(preview.areaWidth, preview.areaHeight, input.width, input.height);
    if (preview.placement.Empty()) return Fail(preview);
    if (!rebuild) preview.zoom.SetImage(input.width, input.height);
    if (!preview.zoom.SetArea(preview.areaWidth, preview.areaHeight)) {
        sink.Show("Insufficient memory: failure to CreateDIBSection");
        return Fail(preview);
    }

    // The reduced preview is made from 8-bit pixels; a 16-bit photo's 8-bit
    // copy is the zoom view's bitmap as well. An 8-bit photo's bitmap is made
    // when the zoom view is first switched on.
    const ImageBuffer* source8 = &input;
    if (input.bitsPerPixel == 48) {
        if (!preview.fullSize.Make(input, sink)) return Fail(preview);
        source8 = &preview.fullSize.Image();
    }
    if (!preview.renderer
             .Prepare(*source8, preview.placement.width, preview.placement.height, parts.engine)
             .ok()) {
        return Fail(preview);
    }
    BuildTransform(parts);
    if (rebuild && preview.zoom.Active()) {
        preview.zoom.PlaceAgain(preview.fullSize.Image(), sink);
    }

    preview.imageState = busy ? kImageBusy : kImageShown;
    if (!newImage) return kShownWithLens;
    preview.grid = 16;
    const bool detected = DetectLens(parts) && !FocalLengthGuessed(parts);
    return !detected && parts.correction.CorChoice == engine::kCorrectDistortion ? kShownWithoutLens
                                                                                 : kShownWithLens;
}

}  // namespace quillon::preview
