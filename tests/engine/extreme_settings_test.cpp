// Correction values reach the engine unchecked from the plug-in's recorded
// parameters, so every int32 must be safe: no arithmetic overflow (the
// sanitizer builds turn one into a failure), no read or write outside the
// blocks, and a failure always says why.

#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "engine/run_correction.h"
#include "tests/engine/correction_fixture.h"

namespace quillon::engine {
namespace {

using testing::Correct;
using testing::FillPattern;
using testing::TestEngine;
using testing::TestImage;

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::array<std::int32_t, 8> kExtremes = {kMin, kMin + 1, -1000000, -181,
                                                   181,  1000000,  kMax - 1, kMax};

struct Field {
    const char* name;
    std::int32_t CorrectionSettings::*member;
};

constexpr std::array<Field, 16> kFields = {{
    {"CorChoice", &CorrectionSettings::CorChoice},
    {"VigAmount", &CorrectionSettings::VigAmount},
    {"VigMidpoint", &CorrectionSettings::VigMidpoint},
    {"CaRed", &CorrectionSettings::CaRed},
    {"CaBlue", &CorrectionSettings::CaBlue},
    {"FisheyeDistortion", &CorrectionSettings::FisheyeDistortion},
    {"FisheyeCrop", &CorrectionSettings::FisheyeCrop},
    {"FisheyeRotate", &CorrectionSettings::FisheyeRotate},
    {"FisheyeHorz", &CorrectionSettings::FisheyeHorz},
    {"FisheyeVert", &CorrectionSettings::FisheyeVert},
    {"PerspectVert", &CorrectionSettings::PerspectVert},
    {"PerspectHorz", &CorrectionSettings::PerspectHorz},
    {"PerspectRotate", &CorrectionSettings::PerspectRotate},
    {"PerspectScale", &CorrectionSettings::PerspectScale},
    {"PerspectShiftHorz", &CorrectionSettings::PerspectShiftHorz},
    {"PerspectShiftVert", &CorrectionSettings::PerspectShiftVert},
}};

// One correction of a small patterned image, both by a caller that keeps its
// source and by one that spends it; answers whether either failed without a
// message (which the user would see as an unexplained exit).
bool FailsSilently(const CorrectionSettings& settings, std::int32_t bits) {
    TestEngine engine(2);
    EXPECT_TRUE(engine.started);
    TestImage source(21, 14, bits);
    FillPattern(source.buffer());
    TestImage destination(21, 14, bits);
    const LensModel barrel{0.01f, -0.035f, 0.02f, 1.005f};
    const CorrectionInputs inputs{settings, barrel, LensState{true, true}};
    CorrectionScratch scratch;
    bool silent =
        !Correct(source.buffer(), destination.buffer(), inputs, scratch, engine.context).ok() &&
        engine.sink.Count() == 0;

    engine.sink.Clear();
    const StatusOr<CorrectionPlan> plan =
        PlanCorrection(source.buffer(), inputs, SourceUse::kSpend, engine.sink);
    Status spent = plan.status();
    if (plan.ok()) spent = ReadyCorrectionScratch(*plan, scratch, engine.context);
    PixelBlock block;
    if (spent.ok() && block.Allocate(ByteCount::Of(source.bytes().size()))) {
        std::memcpy(block.data(), source.data(), source.bytes().size());
        spent = RunCorrection(*plan, block, destination.buffer(), scratch, engine.context);
    }
    return silent || (!spent.ok() && engine.sink.Count() == 0);
}

TEST(ExtremeSettingsTest, EveryFieldAtEveryExtremeUnderEachCorrectionKind) {
    for (const std::int32_t kind : {kCorrectDistortion, kCorrectFisheye, kCorrectNeither}) {
        for (const Field& field : kFields) {
            for (const std::int32_t value : kExtremes) {
                SCOPED_TRACE(std::string(field.name) + " = " + std::to_string(value) + ", kind " +
                             std::to_string(kind));
                CorrectionSettings s;
                s.CorChoice = kind;
                // Every stage that can run does, so each sees the extreme value.
                s.VigAmount = 30;
                s.CaRed = 20;
                s.PerspectVert = 10;
                s.PerspectScale = 110;
                s.*field.member = value;
                EXPECT_FALSE(FailsSilently(s, 24));
            }
        }
    }
}

TEST(ExtremeSettingsTest, EveryFieldAtItsExtremesTogetherInBothDepths) {
    for (const std::int32_t value : {kMin, kMax}) {
        for (const std::int32_t kind : {kCorrectDistortion, kCorrectFisheye}) {
            SCOPED_TRACE(std::to_string(value) + ", kind " + std::to_string(kind));
            CorrectionSettings s;
            for (const Field& field : kFields) s.*field.member = value;
            s.CorChoice = kind;
            EXPECT_FALSE(FailsSilently(s, 24));
            EXPECT_FALSE(FailsSilently(s, 48));
        }
    }
}

}  // namespace
}  // namespace quillon::engine
