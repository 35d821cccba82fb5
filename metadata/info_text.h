#pragma once

#include <string>

#include "metadata/shot_info.h"
#include "platform/text_source.h"

namespace quillon::metadata {

// What lens detection decided, as far as the information text needs it.
struct InfoTextContext {
    // The selected camera is a compact with a built-in lens: the metadata lens
    // range says nothing the user does not know.
    bool cameraHasStandardLens = false;
    // A camera and a lens entry are selected (detected or chosen by the user).
    bool cameraAndLensSelected = false;
};

// String number of "No EXIF info. Choose profile.".
inline constexpr int kNoExifInfoText = 20;

// A number as the information box writes it: rounded to tenths, without a
// fraction when it is whole ("50", "3.5").
std::string FormatInfoNumber(double value);

// The text of the information box: make, model, lens, exposure, date, padded
// to six lines, each ending in CR LF, then the "no EXIF" hint when a camera and
// lens are selected but the metadata lack camera or focal length. UTF-8;
// metadata texts that are not valid UTF-8 are taken as Latin-1.
std::string BuildInfoText(const ShotInfo& shot, const InfoTextContext& context,
                          const platform::TextSource& texts);

// `text` as UTF-8: kept when it already is, otherwise read as Latin-1, the
// single-byte encoding older cameras write their names in.
std::string MetadataTextToUtf8(const std::string& text);

}  // namespace quillon::metadata
