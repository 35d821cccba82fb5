#include "preview/colour_management.h"

#include <array>
#include <limits>
#include <vector>

#include <lcms2.h>

#include "metadata/xmp_reader.h"

namespace quillon::preview {

namespace {

// The published definitions of the four colour spaces: white point and
// primaries as CIE xy chromaticities, and the tone curve.
struct ColourSpaceDefinition {
    cmsCIExyY white;
    cmsCIExyYTRIPLE primaries;
    double gamma;    // a pure power curve, or
    bool srgbCurve;  // the piecewise sRGB curve (linear toe, exponent 2.4)
};

constexpr cmsCIExyY kD65{0.3127, 0.3290, 1.0};
constexpr cmsCIExyY kD50{0.3457, 0.3585, 1.0};

constexpr std::array<ColourSpaceDefinition, kBuiltInProfileCount> kDefinitions = {{
    {kD65, {{0.6400, 0.3300, 1.0}, {0.3000, 0.6000, 1.0}, {0.1500, 0.0600, 1.0}}, 2.4, true},
    {kD65,
     {{0.6400, 0.3300, 1.0}, {0.2100, 0.7100, 1.0}, {0.1500, 0.0600, 1.0}},
     563.0 / 256.0,
     false},
    {kD50, {{0.6300, 0.3400, 1.0}, {0.2950, 0.6050, 1.0}, {0.1500, 0.0750, 1.0}}, 1.8, false},
    {kD50, {{0.7347, 0.2653, 1.0}, {0.1596, 0.8404, 1.0}, {0.0366, 0.0001, 1.0}}, 1.8, false},
}};

std::vector<std::uint8_t> MakeProfile(int index) {
    const ColourSpaceDefinition& definition = kDefinitions[static_cast<std::size_t>(index)];
    cmsToneCurve* curve = nullptr;
    if (definition.srgbCurve) {
        const cmsFloat64Number parameters[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92,
                                                0.04045};
        curve = cmsBuildParametricToneCurve(nullptr, 4, parameters);
    } else {
        curve = cmsBuildGamma(nullptr, definition.gamma);
    }
    std::vector<std::uint8_t> bytes;
    if (curve == nullptr) return bytes;
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&definition.white, &definition.primaries, curves);
    cmsFreeToneCurve(curve);
    if (profile == nullptr) return bytes;

    const std::string name(BuiltInProfileName(index));
    if (cmsMLU* description = cmsMLUalloc(nullptr, 1)) {
        if (cmsMLUsetASCII(description, "en", "US", name.c_str())) {
            (void)cmsWriteTag(profile, cmsSigProfileDescriptionTag, description);
        }
        cmsMLUfree(description);
    }
    cmsUInt32Number size = 0;
    if (cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
        bytes.resize(size);
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) bytes.clear();
    }
    cmsCloseProfile(profile);
    return bytes;
}

// Made once; the bytes never change afterwards, so any thread may read them.
const std::array<std::vector<std::uint8_t>, kBuiltInProfileCount>& Profiles() {
    static const std::array<std::vector<std::uint8_t>, kBuiltInProfileCount> profiles = [] {
        std::array<std::vector<std::uint8_t>, kBuiltInProfileCount> made;
        for (int i = 0; i < kBuiltInProfileCount; ++i) {
            made[static_cast<std::size_t>(i)] = MakeProfile(i);
        }
        return made;
    }();
    return profiles;
}

// An RGB profile opened from memory, or null.
cmsHPROFILE OpenRgbProfile(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<cmsUInt32Number>::max()) {
        return nullptr;
    }
    cmsHPROFILE profile =
        cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
    if (profile != nullptr && cmsGetColorSpace(profile) != cmsSigRgbData) {
        cmsCloseProfile(profile);
        profile = nullptr;
    }
    return profile;
}

cmsHTRANSFORM CreatePerceptual(cmsHPROFILE source, cmsHPROFILE destination) {
    return cmsCreateTransform(source, TYPE_RGB_8, destination, TYPE_RGB_8, INTENT_PERCEPTUAL,
                              cmsFLAGS_HIGHRESPRECALC);
}

}  // namespace

std::string_view BuiltInProfileName(int index) {
    if (index < 0 || index >= kBuiltInProfileCount) return {};
    return metadata::kNamedColourSpaces[static_cast<std::size_t>(index)];
}

std::span<const std::uint8_t> BuiltInProfile(int index) {
    if (index < 0 || index >= kBuiltInProfileCount) return {};
    return Profiles()[static_cast<std::size_t>(index)];
}

SourceProfileChoice ChooseSourceProfile(bool hasEmbeddedProfile, std::string_view fileName,
                                        std::int32_t colourSpaceIndex) {
    using Kind = SourceProfileChoice::Kind;
    if (hasEmbeddedProfile) return {Kind::kEmbedded, -1};
    if (fileName.starts_with('_') && colourSpaceIndex == -1) {
        return {Kind::kBuiltIn, kProfileAdobeRgb};
    }
    if (colourSpaceIndex > 0 && colourSpaceIndex < kBuiltInProfileCount) {
        return {Kind::kBuiltIn, colourSpaceIndex};
    }
    return {};
}

struct DisplayTransform::Handle {
    cmsHTRANSFORM transform = nullptr;
    ~Handle() {
        if (transform != nullptr) cmsDeleteTransform(transform);
    }
};

DisplayTransform::DisplayTransform() = default;
DisplayTransform::~DisplayTransform() = default;
DisplayTransform::DisplayTransform(DisplayTransform&&) noexcept = default;
DisplayTransform& DisplayTransform::operator=(DisplayTransform&&) noexcept = default;

bool DisplayTransform::Create(std::span<const std::uint8_t> sourceProfile,
                              std::span<const std::uint8_t> displayProfile) {
    Reset();
    cmsHPROFILE source = OpenRgbProfile(sourceProfile);
    if (source == nullptr) return false;
    cmsHTRANSFORM transform = nullptr;
    // A display profile that does not open or does not combine with the
    // source is passed over silently: sRGB is what most displays are near.
    if (cmsHPROFILE display = OpenRgbProfile(displayProfile)) {
        transform = CreatePerceptual(source, display);
        cmsCloseProfile(display);
    }
    if (transform == nullptr) {
        if (cmsHPROFILE srgb = OpenRgbProfile(BuiltInProfile(kProfileSrgb))) {
            transform = CreatePerceptual(source, srgb);
            cmsCloseProfile(srgb);
        }
    }
    cmsCloseProfile(source);
    if (transform == nullptr) return false;
    handle_ = std::make_unique<Handle>();
    handle_->transform = transform;
    return true;
}

void DisplayTransform::Reset() { handle_.reset(); }

bool DisplayTransform::Active() const { return handle_ != nullptr; }

void DisplayTransform::Apply(DisplayImage& image) const {
    if (image.empty()) return;
    ApplyRows(image.data(), image.width(), image.height(), image.stride());
}

void DisplayTransform::ApplyRows(std::uint8_t* pixels, std::int32_t width, std::int32_t height,
                                 std::int64_t stride) const {
    if (handle_ == nullptr || width <= 0 || height <= 0) return;
    cmsDoTransformLineStride(
        handle_->transform, pixels, pixels, static_cast<cmsUInt32Number>(width),
        static_cast<cmsUInt32Number>(height), static_cast<cmsUInt32Number>(stride),
        static_cast<cmsUInt32Number>(stride), 0, 0);
}

}  // namespace quillon::preview
