#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "metadata/shot_info.h"

namespace quillon::metadata {

// The colour spaces an XMP packet may name instead of embedding a profile, in
// the order of ShotInfo::colourSpaceIndex.
inline constexpr std::array<std::string_view, 4> kNamedColourSpaces = {
    "sRGB IEC61966-2.1",
    "Adobe RGB (1998)",
    "ColorMatch RGB",
    "ProPhoto RGB",
};

// Scans the packet text for the camera and lens keys, in attribute form
// (key="value") or element form (key>value<), without parsing XML. Fields
// already set are kept, except the lens range and apertures, which "aux:Lens"
// replaces. The lens-name texts of "aux:Lens" and "exifEX:LensModel" are kept
// in shot.lensNames. A key that is absent, malformed or cut off by the end of the packet
// changes nothing. The packet is only read.
void ParseXmp(std::span<const std::uint8_t> packet, ShotInfo& shot);

}  // namespace quillon::metadata
