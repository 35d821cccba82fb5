#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "metadata/shot_info.h"

// The lens's own name as a photo gives it, cut into the words that lens names
// are compared by. How the words of two names are weighed against each other
// is the lens matching's business (lensdb/lens_name_match.h).

namespace quillon::metadata {

// Where the photo's lens name was taken from.
enum class LensNameSource {
    kNone,
    kExifLensModel,
    kMakerNote,
    kXmpLensModel,
    kXmpLens,
};

struct PhotoLensName {
    std::string_view text;  // points into the LensNames it was taken from
    LensNameSource source = LensNameSource::kNone;
};

// The name the photo's lens is compared by: the first of EXIF LensModel, the
// maker note's lens model, XMP exifEX:LensModel and XMP aux:Lens that holds a
// number. The camera's own texts come first; the XMP ones are usually copies
// made by software. A text without any number ("----", "Unknown") names no
// lens (every lens name gives its focal length) and must not hide a later
// source that does.
PhotoLensName PhotoLensNameOf(const LensNames& names);

// The words of a lens name. A word is a run of ASCII letters, lowered, or a
// decimal number written without leading zeros and trailing fractional zeros
// ("18.0" and "018" are "18"). Every other byte separates words, so
// "EF-S18-55mm" gives the words of "EF-S 18-55mm".
//
// Left out: "f" and "mm", which only mark apertures and focal lengths (also
// glued together, as in "XF18-55mmF2.8"), and a number followed by ':', the
// "1:" of the "1:2.8" way of writing an aperture.
//
// Numbers are of two kinds. Those written as focal lengths or apertures (a
// number or hyphenated range followed by "mm", or following "f", "f/", "F" or
// "1:") describe the lens; others are product codes and the like ("| C 016",
// "A036"), or focal lengths written without their unit ("14-42/F3.5"), and are
// words like any other.
struct LensNameWords {
    std::vector<std::string> words;               // sorted, each once
    std::vector<std::string> focalsAndApertures;  // of the words, sorted, each once
};
LensNameWords SplitLensName(std::string_view text);

// True for the words of SplitLensName that are numbers.
inline bool IsNumberWord(std::string_view word) {
    return !word.empty() && word.front() >= '0' && word.front() <= '9';
}

}  // namespace quillon::metadata
