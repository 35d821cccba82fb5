#pragma once

#include <string_view>

namespace quillon::metadata {

// A lens's focal range and its largest apertures at both ends, 0 where unknown.
struct LensDescription {
    double minFlen = 0.0;
    double maxFlen = 0.0;
    double minFlenMaxAper = 0.0;
    double maxFlenMaxAper = 0.0;
};

// Reads the numbers out of a lens name such as "EF-S18-55mm f/3.5-5.6 IS"
// (18, 55, 3.5, 5.6) or "EF100mm f/2.8L Macro IS USM" (100, 100, 2.8, 2.8).
// A "<" or a quotation mark ends the text, so that a name cut out of markup
// never takes its numbers from the markup that follows.
LensDescription ParseLensDescription(std::string_view text);

}  // namespace quillon::metadata
