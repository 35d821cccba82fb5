#pragma once

#include <cstdint>

#include "base/processors.h"

// The integer correction values that drive the engine, named like the stored
// settings they persist as, and the radial coefficients of the selected lens.
// The engine converts the integers to physical quantities itself, so every
// caller (main window, quiet mode, plug-in) feeds it the same units.

namespace quillon::engine {

inline constexpr std::int32_t kFisheyeDistortionMin = 50;
inline constexpr std::int32_t kFisheyeDistortionMax = 170;

// Correction kinds selected by CorChoice.
inline constexpr std::int32_t kCorrectDistortion = 0;
inline constexpr std::int32_t kCorrectFisheye = 1;
inline constexpr std::int32_t kCorrectNeither = 2;

struct CorrectionSettings {
    std::int32_t CorChoice = kCorrectDistortion;  // 0..2
    std::int32_t VigAmount = 0;                   // -100..100
    std::int32_t VigMidpoint = 50;                // 0..100
    std::int32_t CaRed = 0;                       // -100..100, 1/10000 of radial scale
    std::int32_t CaBlue = 0;                      // -100..100
    std::int32_t FisheyeDistortion = 140;         // 50..170 degrees along the long side
    std::int32_t FisheyeCrop = 0;                 // 0..50 degrees
    std::int32_t FisheyeRotate = 0;               // -50..50 tenths of a degree
    std::int32_t FisheyeHorz = 0;                 // -50..50 tenths of a degree
    std::int32_t FisheyeVert = 0;                 // -50..50 tenths of a degree
    std::int32_t PerspectVert = 0;                // -100..100 thirds of a degree
    std::int32_t PerspectHorz = 0;                // -100..100 thirds of a degree
    std::int32_t PerspectRotate = 0;              // -100..100 tenths of a degree
    std::int32_t PerspectScale = 100;             // 75..125 percent
    std::int32_t PerspectShiftVert = 0;           // 1/300 of the image height
    std::int32_t PerspectShiftHorz = 0;           // 1/300 of the image width
    std::int32_t Resize = 0;                      // 0, 1
    std::int32_t Processors = 4;                  // 1..64

    friend bool operator==(const CorrectionSettings&, const CorrectionSettings&) = default;
};

// CorChoice values above 2 mean "neither"; negative ones are treated as the
// default rather than indexing past the correction kinds.
std::int32_t ClampCorChoice(std::int32_t value);
// A stored FisheyeDistortion outside 50..170 is brought to the nearer end.
std::int32_t ClampFisheyeDistortion(std::int32_t value);
// The values of a fresh start for a new photo ("Reset All"): everything goes
// back to its default except the correction kind, the fisheye field of view,
// and the processor and resize choices, which belong to the user's setup
// rather than to one photo.
void ResetCorrectionValues(CorrectionSettings& settings);
// Brings every field with a fixed range into it (the crop shifts have none:
// their bound depends on the image and is enforced when cropping).
void ClampToRanges(CorrectionSettings& settings);

// Radial coefficients of the selected lens at the focal length in use: a
// destination radius r maps to the source radius r * (a r^3 + b r^2 + c r + d).
struct LensModel {
    float a = 0.0f;
    float b = 0.0f;
    float c = 0.0f;
    float d = 1.0f;
};

// The two facts about the lens selection the engine needs; the detection and
// the main window own the flags they are derived from.
struct LensState {
    // Distortion correction is enabled for the image, a lens is selected, its
    // coefficients were computed for the focal length in use.
    bool distortionUsable = false;
    // The fisheye conversion is enabled for the image.
    bool fisheyeEnabled = false;
};

// The constant term d for coefficients a, b, c (single precision throughout).
// Without resize, s(1) = 1 keeps the middle of the long edges in place. With
// resize, d makes the largest scale between the long edges and the corners
// exactly 1, so a pincushion correction samples no point outside its own
// radius and leaves no black corners. `inverted` negates a, b, c first (the
// command line's inverted mode). Images with a zero side use the rule without
// resize.
float ComputeConstantTerm(float a, float b, float c, bool resize, std::int32_t width,
                          std::int32_t height, bool inverted = false);

}  // namespace quillon::engine
