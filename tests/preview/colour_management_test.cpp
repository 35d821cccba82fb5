// Display colour management: the built-in profiles, the choice of a photo's
// source profile, and transforms that change what must change and nothing else.

#include "preview/colour_management.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <lcms2.h>

namespace quillon::preview {
namespace {

using Kind = SourceProfileChoice::Kind;

// The profile description as lcms reads it back from the bytes.
std::string DescriptionOf(std::span<const std::uint8_t> bytes) {
    cmsHPROFILE profile =
        cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
    if (profile == nullptr) return "(does not open)";
    char text[128] = {};
    cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text, sizeof text);
    cmsCloseProfile(profile);
    return text;
}

TEST(BuiltInProfilesTest, FourRgbProfilesInOrderWithTheirNames) {
    const char* names[] = {"sRGB IEC61966-2.1", "Adobe RGB (1998)", "ColorMatch RGB",
                           "ProPhoto RGB"};
    for (int i = 0; i < kBuiltInProfileCount; ++i) {
        EXPECT_EQ(BuiltInProfileName(i), names[i]);
        EXPECT_EQ(DescriptionOf(BuiltInProfile(i)), names[i]);
    }
    EXPECT_TRUE(BuiltInProfile(4).empty());
    EXPECT_TRUE(BuiltInProfile(-1).empty());
    EXPECT_TRUE(BuiltInProfileName(4).empty());
}

// The sRGB profile must agree with lcms's own, independently made sRGB
// profile: wrong primaries or a wrong tone curve would shift colours here.
TEST(BuiltInProfilesTest, SrgbAgreesWithAnIndependentSrgbProfile) {
    const std::span<const std::uint8_t> ours = BuiltInProfile(kProfileSrgb);
    cmsHPROFILE source =
        cmsOpenProfileFromMem(ours.data(), static_cast<cmsUInt32Number>(ours.size()));
    cmsHPROFILE reference = cmsCreate_sRGBProfile();
    ASSERT_NE(source, nullptr);
    cmsHTRANSFORM transform = cmsCreateTransform(source, TYPE_RGB_8, reference, TYPE_RGB_8,
                                                 INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    ASSERT_NE(transform, nullptr);
    int worst = 0;
    for (int r = 0; r < 256; r += 15) {
        for (int g = 0; g < 256; g += 15) {
            for (int b = 0; b < 256; b += 15) {
                const std::uint8_t in[3] = {static_cast<std::uint8_t>(r),
                                            static_cast<std::uint8_t>(g),
                                            static_cast<std::uint8_t>(b)};
                std::uint8_t out[3];
                cmsDoTransform(transform, in, out, 1);
                for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(out[c] - in[c]));
            }
        }
    }
    EXPECT_LE(worst, 1);
    cmsDeleteTransform(transform);
    cmsCloseProfile(source);
    cmsCloseProfile(reference);
}

TEST(ChooseSourceProfileTest, EmbeddedThenUnderscoreNameThenXmpColourSpace) {
    // An embedded profile always wins.
    EXPECT_EQ(ChooseSourceProfile(true, "_DSC0001.JPG", -1),
              (SourceProfileChoice{Kind::kEmbedded, -1}));
    // Cameras name Adobe RGB shots with a leading '_'.
    EXPECT_EQ(ChooseSourceProfile(false, "_DSC0001.JPG", -1),
              (SourceProfileChoice{Kind::kBuiltIn, kProfileAdobeRgb}));
    EXPECT_EQ(ChooseSourceProfile(false, "DSC0001.JPG", -1), SourceProfileChoice{});
    // An XMP packet that names sRGB overrides the name rule.
    EXPECT_EQ(ChooseSourceProfile(false, "_DSC0001.JPG", 0), SourceProfileChoice{});
    EXPECT_EQ(ChooseSourceProfile(false, "DSC0001.JPG", kProfileProPhotoRgb),
              (SourceProfileChoice{Kind::kBuiltIn, kProfileProPhotoRgb}));
    EXPECT_EQ(ChooseSourceProfile(false, "_DSC0001.JPG", kProfileColorMatchRgb),
              (SourceProfileChoice{Kind::kBuiltIn, kProfileColorMatchRgb}));
    // An index no built-in profile has is no colour space at all.
    EXPECT_EQ(ChooseSourceProfile(false, "DSC0001.JPG", 7), SourceProfileChoice{});
}

DisplayImage Patch(std::vector<Rgb> colours) {
    DisplayImage image;
    EXPECT_TRUE(image.Allocate(static_cast<std::int32_t>(colours.size()), 2));
    for (std::int32_t y = 0; y < 2; ++y) {
        for (std::size_t i = 0; i < colours.size(); ++i) {
            image.Row(y)[3 * i] = colours[i].r;
            image.Row(y)[3 * i + 1] = colours[i].g;
            image.Row(y)[3 * i + 2] = colours[i].b;
        }
    }
    return image;
}

Rgb At(const DisplayImage& image, std::int32_t x, std::int32_t y) {
    const std::uint8_t* p = image.Row(y) + 3 * x;
    return {p[0], p[1], p[2]};
}

int Spread(Rgb c) { return std::max({c.r, c.g, c.b}) - std::min({c.r, c.g, c.b}); }

TEST(DisplayTransformTest, AdobeRgbPixelsBecomeMoreSaturatedInSrgb) {
    DisplayTransform transform;
    ASSERT_TRUE(transform.Create(BuiltInProfile(kProfileAdobeRgb)));
    ASSERT_TRUE(transform.Active());
    // Width 5 pads every row by one byte: rows must be found by the stride.
    DisplayImage image =
        Patch({{60, 140, 60}, {128, 128, 128}, {180, 90, 40}, {40, 60, 150}, {200, 200, 200}});
    transform.Apply(image);
    for (std::int32_t y = 0; y < 2; ++y) {
        // Shown unconverted, Adobe RGB looks dull: converted, colours spread.
        EXPECT_GT(Spread(At(image, 0, y)), Spread({60, 140, 60}) + 10);
        EXPECT_GT(Spread(At(image, 2, y)), Spread({180, 90, 40}) + 10);
        // Greys stay grey.
        EXPECT_LE(Spread(At(image, 1, y)), 2);
        EXPECT_LE(Spread(At(image, 4, y)), 2);
        EXPECT_NEAR(At(image, 4, y).g, 200, 3);
    }
    EXPECT_EQ(image.Row(0)[15], 0) << "the padding byte is not a pixel";
}

TEST(DisplayTransformTest, SrgbIntoSrgbLeavesPixelsAlone) {
    DisplayTransform transform;
    ASSERT_TRUE(transform.Create(BuiltInProfile(kProfileSrgb)));
    DisplayImage image = Patch({{60, 140, 60}, {255, 0, 0}, {0, 0, 255}, {17, 200, 99}});
    const DisplayImage* before = &image;
    std::vector<Rgb> original;
    for (std::int32_t x = 0; x < 4; ++x) original.push_back(At(*before, x, 0));
    transform.Apply(image);
    for (std::int32_t x = 0; x < 4; ++x) {
        const Rgb c = At(image, x, 1);
        EXPECT_NEAR(c.r, original[static_cast<std::size_t>(x)].r, 1);
        EXPECT_NEAR(c.g, original[static_cast<std::size_t>(x)].g, 1);
        EXPECT_NEAR(c.b, original[static_cast<std::size_t>(x)].b, 1);
    }
}

TEST(DisplayTransformTest, ADisplayProfileIsUsedAndABrokenOneFallsBackToSrgb) {
    const DisplayImage start = Patch({{60, 140, 60}});
    auto convert = [&](std::span<const std::uint8_t> display) {
        DisplayTransform transform;
        EXPECT_TRUE(transform.Create(BuiltInProfile(kProfileSrgb), display));
        DisplayImage image = Patch({At(start, 0, 0)});
        transform.Apply(image);
        return At(image, 0, 0);
    };
    const Rgb intoSrgb = convert({});
    // A wide-gamut display needs less saturated values for the same colour.
    const Rgb intoWide = convert(BuiltInProfile(kProfileProPhotoRgb));
    EXPECT_LT(Spread(intoWide), Spread(intoSrgb) - 10);
    const std::vector<std::uint8_t> garbage(500, 0x5a);
    EXPECT_EQ(convert(garbage), intoSrgb);
}

TEST(DisplayTransformTest, ASourceProfileThatDoesNotOpenGivesNoTransform) {
    DisplayTransform transform;
    const std::vector<std::uint8_t> truncated(BuiltInProfile(kProfileAdobeRgb).begin(),
                                              BuiltInProfile(kProfileAdobeRgb).begin() + 100);
    EXPECT_FALSE(transform.Create(truncated));
    EXPECT_FALSE(transform.Active());
    DisplayImage image = Patch({{60, 140, 60}});
    transform.Apply(image);  // nothing to do, and no crash
    EXPECT_EQ(At(image, 0, 0), (Rgb{60, 140, 60}));
}

}  // namespace
}  // namespace quillon::preview
