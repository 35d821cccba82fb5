#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "preview/display_image.h"

// Display colour management. A photo is shown through a transform from its own
// colour space into the display's (sRGB unless the display publishes a profile
// of its own), so wide-gamut photos do not look dull and oversaturated ones do
// not look garish. The four built-in profiles are made from the published
// primaries, white points and tone curves of their colour spaces.

namespace quillon::preview {

inline constexpr int kBuiltInProfileCount = 4;
inline constexpr int kProfileSrgb = 0;
inline constexpr int kProfileAdobeRgb = 1;
inline constexpr int kProfileColorMatchRgb = 2;
inline constexpr int kProfileProPhotoRgb = 3;

// The name of built-in profile `index` (0 .. 3): "sRGB IEC61966-2.1", "Adobe
// RGB (1998)", "ColorMatch RGB", "ProPhoto RGB"; the names XMP packets give.
std::string_view BuiltInProfileName(int index);

// The ICC bytes of built-in profile `index`, made on first use; empty for an
// index outside 0 .. 3 or when the profile could not be made.
std::span<const std::uint8_t> BuiltInProfile(int index);

// Which profile a photo's pixels are in, for display.
struct SourceProfileChoice {
    enum class Kind { kNone, kEmbedded, kBuiltIn };
    Kind kind = Kind::kNone;
    int builtInIndex = -1;  // for kBuiltIn

    friend bool operator==(const SourceProfileChoice&, const SourceProfileChoice&) = default;
};

// The photo's embedded ICC profile if it has one; else Adobe RGB when the file
// name begins with '_' (how cameras name Adobe RGB shots) and the XMP packet
// named no colour space (colourSpaceIndex -1); else the built-in profile the
// XMP packet named, if not sRGB; else none (the pixels are sRGB already).
SourceProfileChoice ChooseSourceProfile(bool hasEmbeddedProfile, std::string_view fileName,
                                        std::int32_t colourSpaceIndex);

// A perceptual transform of 8-bit RGB into the display's colour space.
class DisplayTransform {
  public:
    DisplayTransform();
    ~DisplayTransform();
    DisplayTransform(DisplayTransform&&) noexcept;
    DisplayTransform& operator=(DisplayTransform&&) noexcept;

    // Builds the transform from `sourceProfile` into `displayProfile`, or
    // into the built-in sRGB profile when `displayProfile` is empty or does
    // not open as an RGB profile. False (and no transform) when the source
    // profile does not open as an RGB profile: the pixels are then shown as
    // they are.
    bool Create(std::span<const std::uint8_t> sourceProfile,
                std::span<const std::uint8_t> displayProfile = {});
    void Reset();

    bool Active() const;
    // Translates the display image in place (nothing without a transform).
    void Apply(DisplayImage& image) const;
    // The same for `height` rows of `width` pixels, `stride` bytes apart.
    void ApplyRows(std::uint8_t* pixels, std::int32_t width, std::int32_t height,
                   std::int64_t stride) const;

  private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
};

}  // namespace quillon::preview
