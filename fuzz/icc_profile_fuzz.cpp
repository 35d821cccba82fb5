// Fuzzes the display transform with ICC profiles from outside: a photo's
// embedded profile as the source, and a display's profile as the destination.

#include <cstddef>
#include <cstdint>
#include <span>

#include "preview/colour_management.h"
#include "preview/display_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillon::preview;
    const std::span<const std::uint8_t> bytes(data, size);
    DisplayImage image;
    if (!image.Allocate(7, 3)) return 0;
    for (std::int32_t y = 0; y < 3; ++y) {
        for (std::int32_t i = 0; i < 21; ++i) image.Row(y)[i] = static_cast<std::uint8_t>(i * 12);
    }
    DisplayTransform fromPhoto;
    if (fromPhoto.Create(bytes)) fromPhoto.Apply(image);
    DisplayTransform toDisplay;
    if (toDisplay.Create(BuiltInProfile(kProfileAdobeRgb), bytes)) toDisplay.Apply(image);
    return 0;
}
