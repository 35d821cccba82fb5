// Fuzzes the XMP key scanner, the lens-name parser it uses and the lens-name
// words.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "metadata/lens_description.h"
#include "metadata/lens_name.h"
#include "metadata/shot_info.h"
#include "metadata/xmp_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillon::metadata;
    ShotInfo empty;
    ParseXmp(std::span<const std::uint8_t>(data, size), empty);
    // With fields already set the scanner takes other paths (kept values,
    // fill-only lens info).
    ShotInfo filled;
    filled.make = "Canon";
    filled.focalLength = 50;
    filled.minFlen = 18;
    filled.iso = 100;
    ParseXmp(std::span<const std::uint8_t>(data, size), filled);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)ParseLensDescription(text);
    (void)SplitLensName(text);
    (void)SplitLensName(PhotoLensNameOf(empty.lensNames).text);
    return 0;
}
