#include "metadata/parse_metadata.h"

#include "metadata/xmp_reader.h"

namespace quillon::metadata {
namespace {

// Lens ranges and apertures from metadata are compared with this slack: they
// are written rounded to tenths.
constexpr double kTolerance = 0.1;
constexpr char kEmptyDate[] = "0000:00:00 00:00:00";

void TrimTrailingBlanks(std::string& text) {
    const std::size_t last = text.find_last_not_of(' ');
    text.erase(last == std::string::npos ? 0 : last + 1);
}

void ClearLensRange(ShotInfo& shot) {
    shot.minFlen = 0.0;
    shot.maxFlen = 0.0;
    shot.minFlenMaxAper = 0.0;
    shot.maxFlenMaxAper = 0.0;
}

}  // namespace

void ApplyTiffShotValues(const TiffShotValues& tiff, ShotInfo& shot) {
    shot.make = tiff.make.substr(0, kMaxMakeChars);
    shot.model = tiff.model.substr(0, kMaxModelChars);
    // The reader already fell back from an empty original date to DateTime.
    shot.dateTimeOriginal = tiff.dateTime.substr(0, kMaxDateChars);
    if (shot.dateTimeOriginal == kEmptyDate) shot.dateTimeOriginal.clear();
    shot.fNumber = tiff.fNumber;
    shot.focalLength = tiff.focalLength;
    shot.exposureTime = tiff.exposureTime;
    // Absent LensInfo values are 0, which is what the cleared record holds.
    shot.minFlen = tiff.lensInfo[0];
    shot.maxFlen = tiff.lensInfo[1];
    shot.minFlenMaxAper = tiff.lensInfo[2];
    shot.maxFlenMaxAper = tiff.lensInfo[3];
    if (tiff.orientationFound) shot.orientation = tiff.orientation;
    shot.lensNames.exifLensMake = tiff.lensMake.substr(0, kMaxLensNameChars);
    shot.lensNames.exifLensModel = tiff.lensModel.substr(0, kMaxLensNameChars);
}

void CompleteShotInfo(ShotInfo& shot, const DetectSwitches& detect) {
    TrimTrailingBlanks(shot.make);
    TrimTrailingBlanks(shot.model);
    // Some cameras pad the lens name to its field's size with blanks.
    LensNames& names = shot.lensNames;
    for (std::string* name : {&names.exifLensMake, &names.exifLensModel, &names.makerNoteModel,
                              &names.xmpLensModel, &names.xmpLens}) {
        TrimTrailingBlanks(*name);
    }

    // A lens range that does not hold the shot's focal length belongs to some
    // other lens (or the focal length is unknown): matching on it would
    // exclude the right lens.
    if (shot.minFlen != 0.0 && shot.maxFlen != 0.0) {
        const double lo = shot.minFlen - kTolerance;
        if (shot.maxFlen < lo || shot.focalLength < lo ||
            shot.focalLength > shot.maxFlen + kTolerance) {
            ClearLensRange(shot);
        }
    }
    if (shot.minFlenMaxAper != 0.0 && shot.maxFlenMaxAper != 0.0 &&
        shot.maxFlenMaxAper < shot.minFlenMaxAper - kTolerance) {
        // No lens opens wider at its long end than at its short end.
        shot.minFlenMaxAper = 0.0;
        shot.maxFlenMaxAper = 0.0;
    }

    shot.originalFocalLength = shot.focalLength;
    shot.originalMinFlen = shot.minFlen;
    shot.originalMaxFlen = shot.maxFlen;

    if (!detect.detectCamera) {
        shot.make.clear();
        shot.model.clear();
    }
    if (!detect.detectLens) {
        ClearLensRange(shot);
        shot.originalMinFlen = 0.0;
        shot.originalMaxFlen = 0.0;
        shot.fNumber = 0.0;
        shot.exposureTime = 0.0;
        names = LensNames{};
    }
    if (!detect.detectFlen) {
        shot.focalLength = 0.0;
        shot.originalFocalLength = 0.0;
    }
}

ShotInfo ParseMetadata(const MetadataBlocks& blocks, const DetectSwitches& detect) {
    ShotInfo shot;
    if (blocks.tiff) ApplyTiffShotValues(*blocks.tiff, shot);
    if (!blocks.exif.empty()) ParseExifBlock(blocks.exif, shot, blocks.exifForm);
    if (!blocks.xmp.empty()) ParseXmp(blocks.xmp, shot);
    CompleteShotInfo(shot, detect);
    return shot;
}

ShotInfo ParseImageMetadata(const ImageMetadata& metadata, const DetectSwitches& detect) {
    MetadataBlocks blocks;
    blocks.exif = metadata.exif;
    blocks.xmp = metadata.xmp;
    if (metadata.fileKind == FileKind::kTiff) blocks.tiff = &metadata.tiff;
    return ParseMetadata(blocks, detect);
}

}  // namespace quillon::metadata
