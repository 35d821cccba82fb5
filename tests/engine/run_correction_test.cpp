#include "engine/run_correction.h"

#include <cstring>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "engine/lens_correction.h"
#include "engine/perspective_canvas.h"
#include "tests/engine/engine_test_support.h"

namespace quillon::engine {
namespace {

using testing::Engine;
using testing::NoisyImage;
using testing::TestImage;

const LensModel kBarrel{0.01f, -0.035f, 0.02f, 1.005f};
constexpr LensState kLensUsable{true, false};

StatusOr<CorrectionPlan> Plan(const ImageBuffer& image, const CorrectionSettings& settings,
                              LensState lensState, SourceUse use, platform::MessageSink& sink) {
    const CorrectionInputs inputs{settings, kBarrel, lensState};
    return PlanCorrection(image, inputs, use, sink);
}

std::uint64_t Fnv1a(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const std::uint8_t byte : bytes) {
        hash ^= byte;
        hash *= 1099511628211ull;
    }
    return hash;
}

TEST(DecideCorrectionsTest, WhatIsActive) {
    CorrectionSettings s;
    EXPECT_FALSE(DecideCorrections(s, kBarrel, LensState{}).Any());
    EXPECT_TRUE(DecideCorrections(s, kBarrel, kLensUsable).distortion);
    EXPECT_FALSE(DecideCorrections(s, LensModel{0, 0, 0, 1}, kLensUsable).distortion);
    s.CorChoice = 7;  // beyond the kinds: neither
    EXPECT_FALSE(DecideCorrections(s, kBarrel, LensState{true, true}).Any());
    s.CorChoice = kCorrectFisheye;
    EXPECT_FALSE(DecideCorrections(s, kBarrel, kLensUsable).Any());
    EXPECT_TRUE(DecideCorrections(s, kBarrel, LensState{false, true}).fisheye);
    s = CorrectionSettings{};
    s.CaBlue = 1;
    s.VigAmount = -1;
    s.PerspectRotate = 2;
    s.PerspectScale = 101;
    const ActiveCorrections a = DecideCorrections(s, kBarrel, LensState{});
    EXPECT_TRUE(a.chromaticAberration && a.vignetting && a.perspective && a.scale);
    EXPECT_FALSE(a.distortion || a.fisheye);
}

// The scratch a plan asks for is what its route writes besides the
// destination: nothing for one step, the vignetted image when a remap must
// read it while writing the destination (unless the source may take it), two
// canvases for perspective and scale.
TEST(PlanCorrectionTest, ScratchFollowsTheRoute) {
    platform::CapturingSink sink;
    const ImageBuffer image = DescribeImage(300, 200, 48, nullptr);
    const std::size_t imageBytes = 300 * 200 * 6;
    const auto canvasBytes = static_cast<std::size_t>(400 * 266 * 6);
    CorrectionSettings s;
    using Bytes = std::array<std::size_t, 2>;
    const auto scratchBytes = [&](LensState lensState, SourceUse use) {
        const StatusOr<CorrectionPlan> plan = Plan(image, s, lensState, use, sink);
        return plan.ok() ? Bytes{plan->scratchBytes[0].value(), plan->scratchBytes[1].value()}
                         : Bytes{9, 9};
    };

    EXPECT_EQ(scratchBytes(kLensUsable, SourceUse::kKeep), (Bytes{0, 0}));
    s.VigAmount = 20;
    EXPECT_EQ(scratchBytes(kLensUsable, SourceUse::kKeep), (Bytes{imageBytes, 0}));
    EXPECT_EQ(scratchBytes(kLensUsable, SourceUse::kSpend), (Bytes{0, 0}));
    EXPECT_EQ(scratchBytes(LensState{}, SourceUse::kKeep), (Bytes{0, 0}));

    s.PerspectScale = 90;
    for (const SourceUse use : {SourceUse::kKeep, SourceUse::kSpend}) {
        EXPECT_EQ(scratchBytes(kLensUsable, use), (Bytes{canvasBytes, canvasBytes}));
        const StatusOr<CorrectionPlan> plan = Plan(image, s, kLensUsable, use, sink);
        ASSERT_TRUE(plan.ok());
        EXPECT_EQ(plan->imageBytes.value(), imageBytes);
        EXPECT_EQ(plan->canvas.width, 400);
        EXPECT_EQ(plan->canvas.height, 266);
        EXPECT_EQ(plan->canvas.pixels, nullptr);
    }
    EXPECT_EQ(sink.Count(), 0u);
}

TEST(PlanCorrectionTest, RefusesWhatTheEngineCannotHandle) {
    platform::CapturingSink sink;
    const CorrectionSettings s;
    EXPECT_EQ(Plan(DescribeImage(40000, 10, 24, nullptr), s, kLensUsable, SourceUse::kKeep, sink)
                  .status()
                  .code(),
              1);
    EXPECT_NE(sink.Last().find("32767"), std::string::npos);
    EXPECT_EQ(sink.Count(), 1u);
    // Faults of the caller, not of a file: no message.
    EXPECT_FALSE(
        Plan(DescribeImage(0, 10, 24, nullptr), s, kLensUsable, SourceUse::kKeep, sink).ok());
    EXPECT_FALSE(
        Plan(DescribeImage(10, 10, 32, nullptr), s, kLensUsable, SourceUse::kKeep, sink).ok());
    ImageBuffer padded = DescribeImage(10, 10, 24, nullptr);
    padded.rowBytes += 3;
    EXPECT_FALSE(Plan(padded, s, kLensUsable, SourceUse::kKeep, sink).ok());
    EXPECT_EQ(sink.Count(), 1u);
}

// What does not fit in a size on a 32-bit build is refused when planned: the
// image itself, or canvases 16/9 of an image that does fit.
TEST(PlanCorrectionTest, RefusesBytesThatDoNotFitInASize) {
    if (sizeof(std::size_t) > 4) GTEST_SKIP() << "every plan fits a 64-bit size";
    platform::CapturingSink sink;
    CorrectionSettings s;
    EXPECT_FALSE(
        Plan(DescribeImage(27000, 27000, 48, nullptr), s, kLensUsable, SourceUse::kKeep, sink)
            .ok());
    EXPECT_EQ(sink.Last(), "Insufficient memory");
    s.PerspectScale = 90;
    EXPECT_FALSE(
        Plan(DescribeImage(21000, 21000, 48, nullptr), s, kLensUsable, SourceUse::kKeep, sink)
            .ok());
    EXPECT_EQ(sink.Last(), "Insufficient memory for Perspective adjustments");
    EXPECT_EQ(sink.Count(), 2u);
}

// Allocation failures on demand: call number failCall fails, or every call
// from failFrom on; counts the calls.
class CountingGate final : public WorkMemoryGate {
  public:
    explicit CountingGate(int failCall = 0, int failFrom = 1 << 30)
        : failCall_(failCall), failFrom_(failFrom) {}
    bool MayAllocate(std::size_t) noexcept override {
        ++calls;
        return calls != failCall_ && calls < failFrom_;
    }
    int calls = 0;

  private:
    int failCall_;
    int failFrom_;
};

TEST(ReadyCorrectionScratchTest, EachBlockHasItsOwnMessage) {
    CorrectionSettings s;
    s.PerspectVert = 4;
    s.PerspectScale = 110;  // the route on two canvases
    struct Case {
        int failCall;
        const char* message;
    };
    for (const Case& c : {Case{1, "Insufficient memory for Perspective adjustments"},
                          Case{2, "Insufficient memory for perspective adjustments"}}) {
        Engine engine(1);
        EngineContext context = engine.Context();
        CountingGate gate(c.failCall);
        context.memoryGate = &gate;
        const StatusOr<CorrectionPlan> plan =
            Plan(DescribeImage(30, 20, 24, nullptr), s, LensState{}, SourceUse::kKeep, engine.sink);
        ASSERT_TRUE(plan.ok());
        CorrectionScratch scratch;
        EXPECT_EQ(ReadyCorrectionScratch(*plan, scratch, context).code(), 1);
        EXPECT_EQ(engine.sink.Last(), c.message);
        EXPECT_EQ(engine.sink.Count(), 1u);
        // Nothing is left half-readied that a run could take for ready.
        TestImage source(30, 20, 24);
        TestImage destination(30, 20, 24);
        EXPECT_FALSE(
            RunCorrection(*plan, source.buffer(), destination.buffer(), scratch, context).ok());
    }

    Engine engine(1);
    EngineContext context = engine.Context();
    CountingGate gate(1);
    context.memoryGate = &gate;
    s = CorrectionSettings{};
    s.VigAmount = 10;
    const StatusOr<CorrectionPlan> plan =
        Plan(DescribeImage(30, 20, 24, nullptr), s, kLensUsable, SourceUse::kKeep, engine.sink);
    CorrectionScratch scratch;
    EXPECT_EQ(ReadyCorrectionScratch(*plan, scratch, context).code(), 1);
    EXPECT_EQ(engine.sink.Last(), "Insufficient memory");
}

// A preview is corrected at every slider move: once readied, the scratch is
// reused as it is, without asking for memory, as long as the image does not
// grow.
TEST(ReadyCorrectionScratchTest, BlocksLargeEnoughAreKept) {
    Engine engine(1);
    EngineContext context = engine.Context();
    CountingGate gate;
    context.memoryGate = &gate;
    CorrectionSettings s;
    s.PerspectRotate = 12;
    s.PerspectScale = 105;  // two canvases
    const ImageBuffer image = DescribeImage(64, 48, 24, nullptr);
    CorrectionScratch scratch;
    ASSERT_TRUE(ReadyCorrectionScratch(*Plan(image, s, LensState{}, SourceUse::kKeep, engine.sink),
                                       scratch, context)
                    .ok());
    EXPECT_EQ(gate.calls, 2);
    const std::uint8_t* first = scratch.blocks[0].data();
    const std::uint8_t* second = scratch.blocks[1].data();

    s.PerspectRotate = -40;  // another slider position
    ASSERT_TRUE(ReadyCorrectionScratch(*Plan(image, s, LensState{}, SourceUse::kKeep, engine.sink),
                                       scratch, context)
                    .ok());
    s.VigAmount = 30;  // routes needing less
    s.PerspectScale = 100;
    ASSERT_TRUE(ReadyCorrectionScratch(*Plan(image, s, kLensUsable, SourceUse::kKeep, engine.sink),
                                       scratch, context)
                    .ok());
    s.PerspectRotate = 0;
    ASSERT_TRUE(ReadyCorrectionScratch(*Plan(image, s, kLensUsable, SourceUse::kKeep, engine.sink),
                                       scratch, context)
                    .ok());
    EXPECT_EQ(gate.calls, 2);
    EXPECT_EQ(scratch.blocks[0].data(), first);
    EXPECT_EQ(scratch.blocks[1].data(), second);

    s.PerspectRotate = 12;  // a larger image needs larger canvases
    s.PerspectScale = 105;
    const ImageBuffer larger = DescribeImage(65, 48, 24, nullptr);
    ASSERT_TRUE(ReadyCorrectionScratch(*Plan(larger, s, LensState{}, SourceUse::kKeep, engine.sink),
                                       scratch, context)
                    .ok());
    EXPECT_EQ(gate.calls, 4);
    EXPECT_GE(scratch.blocks[0].size(), static_cast<std::size_t>(86 * 64 * 3));
}

// One image as a caller holds it: source and destination apart, a scratch
// kept between runs.
struct Held {
    Held(std::int32_t width, std::int32_t height, std::int32_t bits, std::uint32_t seed)
        : source(NoisyImage(width, height, bits, seed)),
          destination(width, height, bits),
          original(source.bytes()) {
        destination.Fill([](std::int32_t, std::int32_t, int) { return 0xA5u; });
    }
    Status Correct(const CorrectionSettings& settings, LensState lensState,
                   EngineContext& context) {
        const StatusOr<CorrectionPlan> plan =
            Plan(source.buffer(), settings, lensState, SourceUse::kKeep, context.sink);
        if (!plan.ok()) return plan.status();
        QUILLON_RETURN_IF_ERROR(ReadyCorrectionScratch(*plan, scratch, context));
        return RunCorrection(*plan, source.buffer(), destination.buffer(), scratch, context);
    }

    TestImage source;
    TestImage destination;
    CorrectionScratch scratch;
    std::vector<std::uint8_t> original;
};

// All at defaults with CorChoice 2: the destination is a byte copy.
TEST(RunCorrectionTest, NothingActiveCopies) {
    Engine engine;
    EngineContext context = engine.Context();
    Held image(17, 15, 24, 1);
    CorrectionSettings settings;
    settings.CorChoice = kCorrectNeither;
    ASSERT_TRUE(image.Correct(settings, kLensUsable, context).ok());
    EXPECT_EQ(image.destination.bytes(), image.original);
    EXPECT_EQ(image.source.bytes(), image.original);
}

// Distortion with chromatic aberration gives what the lens correction gives.
TEST(RunCorrectionTest, DistortionAndChromaticAberration) {
    Engine engine(3);
    EngineContext context = engine.Context();
    for (const std::int32_t bits : {24, 48}) {
        Held image(61, 40, bits, 2);
        CorrectionSettings settings;
        settings.CaRed = 40;
        ASSERT_TRUE(image.Correct(settings, kLensUsable, context).ok());
        EXPECT_EQ(image.source.bytes(), image.original);

        TestImage expected(61, 40, bits);
        ASSERT_TRUE(RunLensCorrection(expected.buffer(), image.source.buffer(), true, true, false,
                                      settings, kBarrel, context)
                        .ok());
        EXPECT_EQ(image.destination.bytes(), expected.bytes());
        EXPECT_NE(image.destination.bytes(), image.original);
    }
}

// Refuses every allocation of band work memory.
class NoBandMemory final : public WorkMemoryGate {
  public:
    bool MayAllocate(std::size_t bytes) noexcept override {
        return bytes != (61 + 20) * (2 * sizeof(double) + 1);
    }
};

// A failing step: its status comes back and the source is as it was.
TEST(RunCorrectionTest, FailureLeavesTheSourceUnchanged) {
    Engine engine(2);
    EngineContext context = engine.Context();
    NoBandMemory gate;
    context.memoryGate = &gate;
    Held image(61, 40, 24, 3);
    CorrectionSettings settings;
    settings.VigAmount = 80;
    EXPECT_FALSE(image.Correct(settings, kLensUsable, context).ok());
    EXPECT_EQ(image.source.bytes(), image.original);
    EXPECT_EQ(engine.sink.Last(), "Insufficient memory");
}

// A run must not write where it was not told to: images of another geometry,
// a destination over the source or inside the scratch, a scratch not readied
// for the plan and a plan made for the other use of the source are refused
// before anything is written.
TEST(RunCorrectionTest, RefusesWhatDoesNotFitThePlan) {
    Engine engine;
    EngineContext context = engine.Context();
    CorrectionSettings settings;
    settings.VigAmount = 40;
    settings.PerspectScale = 95;
    Held image(20, 10, 24, 5);
    const StatusOr<CorrectionPlan> plan =
        Plan(image.source.buffer(), settings, kLensUsable, SourceUse::kKeep, engine.sink);
    ASSERT_TRUE(plan.ok());
    CorrectionScratch& scratch = image.scratch;
    const std::vector<std::uint8_t> untouched = image.destination.bytes();
    EXPECT_FALSE(
        RunCorrection(*plan, image.source.buffer(), image.destination.buffer(), scratch, context)
            .ok());  // not readied
    ASSERT_TRUE(ReadyCorrectionScratch(*plan, scratch, context).ok());

    TestImage smaller(19, 10, 24);
    EXPECT_FALSE(
        RunCorrection(*plan, image.source.buffer(), smaller.buffer(), scratch, context).ok());
    TestImage deeper(20, 10, 48);
    EXPECT_FALSE(
        RunCorrection(*plan, image.source.buffer(), deeper.buffer(), scratch, context).ok());
    EXPECT_FALSE(
        RunCorrection(*plan, image.source.buffer(), image.source.buffer(), scratch, context).ok());
    ImageBuffer intoScratch = image.destination.buffer();
    intoScratch.pixels = scratch.blocks[1].data();
    EXPECT_FALSE(RunCorrection(*plan, image.source.buffer(), intoScratch, scratch, context).ok());
    PixelBlock block;
    ASSERT_TRUE(block.Allocate(ByteCount::Of(image.original.size())));
    EXPECT_FALSE(RunCorrection(*plan, block, image.destination.buffer(), scratch, context).ok());
    EXPECT_EQ(block.size(), image.original.size());

    EXPECT_EQ(image.source.bytes(), image.original);
    EXPECT_EQ(image.destination.bytes(), untouched);
    EXPECT_EQ(engine.sink.Count(), 0u);
}

// Every kind of correction, from one image, as its bytes were before the
// correction stopped changing its inputs (FNV-1a of the destination, taken
// with the 128-bit remap that every x86-64 runs). Each is run twice with the
// same scratch and once spending the source: all three must give these bytes,
// the source must stay as it was and the settings untouched.
struct Kind {
    const char* name;
    std::function<void(CorrectionSettings&, LensState&)> set;
    std::uint64_t hash8;
    std::uint64_t hash16;
};

const Kind kKinds[] = {
    {"copy", [](CorrectionSettings& s, LensState&) { s.CorChoice = kCorrectNeither; },
     0xe00c4da2d680d41eull, 0xda0ec127a5003ec5ull},
    {"distortion", [](CorrectionSettings&, LensState& l) { l.distortionUsable = true; },
     0x595d7c591b93f0ecull, 0x01e5064927a2aa6cull},
    {"distortion and chromatic aberration",
     [](CorrectionSettings& s, LensState& l) {
         l.distortionUsable = true;
         s.CaRed = 40;
         s.CaBlue = -25;
     },
     0x1f9006fcd9909bfeull, 0x36fbdc1de29c7bafull},
    {"chromatic aberration", [](CorrectionSettings& s, LensState&) { s.CaRed = 60; },
     0x66e4bcf5e1ac9689ull, 0x9fae7b14dff7148full},
    {"vignetting",
     [](CorrectionSettings& s, LensState&) {
         s.CorChoice = kCorrectNeither;
         s.VigAmount = -60;
         s.VigMidpoint = 30;
     },
     0xa237a9094e44ccbaull, 0x9b0c60fbc3e01cd4ull},
    {"vignetting and distortion",
     [](CorrectionSettings& s, LensState& l) {
         l.distortionUsable = true;
         s.VigAmount = 45;
     },
     0x87deda5ffa4185e1ull, 0x4f5b0d4e70e8fcedull},
    {"fisheye with chromatic aberration",
     [](CorrectionSettings& s, LensState& l) {
         s.CorChoice = kCorrectFisheye;
         l.fisheyeEnabled = true;
         s.FisheyeDistortion = 150;
         s.FisheyeCrop = 10;
         s.FisheyeRotate = 12;
         s.FisheyeHorz = -20;
         s.FisheyeVert = 7;
         s.CaBlue = -30;
     },
     0xb7d40bfae5cdfcb5ull, 0x7071a9363f41c987ull},
    {"perspective",
     [](CorrectionSettings& s, LensState&) {
         s.CorChoice = kCorrectNeither;
         s.PerspectVert = 20;
         s.PerspectHorz = -12;
         s.PerspectRotate = 15;
     },
     0xa93e3a28f403630bull, 0x95565deb5d4aed0cull},
    {"scale",
     [](CorrectionSettings& s, LensState&) {
         s.CorChoice = kCorrectNeither;
         s.PerspectScale = 115;
     },
     0x7bb249b6fbb51acfull, 0xb4612ab1507a86aeull},
    {"vignetting and scale",
     [](CorrectionSettings& s, LensState&) {
         s.CorChoice = kCorrectNeither;
         s.VigAmount = 70;
         s.PerspectScale = 85;
     },
     0xfc68251515ca98bcull, 0xa16997a18402a5b8ull},
    {"everything with shifts",
     [](CorrectionSettings& s, LensState& l) {
         l.distortionUsable = true;
         s.VigAmount = 50;
         s.CaRed = 30;
         s.PerspectVert = -25;
         s.PerspectRotate = 8;
         s.PerspectScale = 90;
         s.PerspectShiftHorz = 10;
         s.PerspectShiftVert = -20;
     },
     0xa20b21334ec6c6e0ull, 0x338667f72e1dac3dull},
    {"fisheye, vignetting, perspective and scale",
     [](CorrectionSettings& s, LensState& l) {
         s.CorChoice = kCorrectFisheye;
         l.fisheyeEnabled = true;
         s.VigAmount = -30;
         s.PerspectHorz = 18;
         s.PerspectScale = 110;
     },
     0xdbeb9c1a70b48c5full, 0x7881554f40aa5b52ull},
    {"vignetting, lens and perspective with shifts",
     [](CorrectionSettings& s, LensState& l) {
         l.distortionUsable = true;
         s.VigAmount = 35;
         s.CaBlue = -20;
         s.PerspectVert = 22;
         s.PerspectHorz = -9;
         s.PerspectShiftHorz = -15;
         s.PerspectShiftVert = 25;
     },
     0x5d55d0ec387df203ull, 0x2b1e49336573fbe0ull},
    {"vignetting and perspective",
     [](CorrectionSettings& s, LensState&) {
         s.CorChoice = kCorrectNeither;
         s.VigAmount = 25;
         s.PerspectRotate = -30;
     },
     0x56d45d8b70b92182ull, 0x6180792cbf8e130bull},
    {"shifts past their limit",
     [](CorrectionSettings& s, LensState&) {
         s.CorChoice = kCorrectNeither;
         s.PerspectVert = 10;
         s.PerspectShiftHorz = 1000;
         s.PerspectShiftVert = -400;
     },
     0xf2df5293961c9a02ull, 0xf781b7cf5a49fc94ull},
};

TEST(RunCorrectionTest, EveryKindTwiceGivesTheSameBytesAsBefore) {
    Engine engine(3);
    EngineContext context = engine.Context();
    context.allowWideVectors = false;
    for (const std::int32_t bits : {24, 48}) {
        // Odd sides: the vignetting's centre lines and the canvas's uneven
        // margins are part of every route.
        Held image(97, 61, bits, 11);
        for (const Kind& kind : kKinds) {
            SCOPED_TRACE(::testing::Message() << kind.name << ", " << bits << " bits");
            const std::uint64_t golden = bits == 24 ? kind.hash8 : kind.hash16;
            CorrectionSettings settings;
            LensState lensState;
            kind.set(settings, lensState);
            const CorrectionSettings asSet = settings;

            ASSERT_TRUE(image.Correct(settings, lensState, context).ok());
            const std::vector<std::uint8_t> first = image.destination.bytes();
            image.destination.Fill([](std::int32_t, std::int32_t, int) { return 0x5Au; });
            ASSERT_TRUE(image.Correct(settings, lensState, context).ok());
            EXPECT_EQ(image.destination.bytes(), first);
            EXPECT_EQ(Fnv1a(first), golden);
            EXPECT_EQ(image.source.bytes(), image.original);

            const StatusOr<CorrectionPlan> plan =
                Plan(image.source.buffer(), settings, lensState, SourceUse::kSpend, engine.sink);
            ASSERT_TRUE(plan.ok());
            PixelBlock spent;
            ASSERT_TRUE(spent.Allocate(ByteCount::Of(image.original.size())));
            std::memcpy(spent.data(), image.original.data(), image.original.size());
            CorrectionScratch scratch;
            ASSERT_TRUE(ReadyCorrectionScratch(*plan, scratch, context).ok());
            TestImage destination(97, 61, bits);
            ASSERT_TRUE(RunCorrection(*plan, spent, destination.buffer(), scratch, context).ok());
            EXPECT_EQ(Fnv1a(destination.bytes()), golden);
            // Spent by the canvases, which then need all the memory there is.
            EXPECT_EQ(spent.empty(), plan->steps.Canvas());

            EXPECT_TRUE(settings == asSet);
        }
    }
}

// The limited shifts are reported, not written. Adopting them, as the quiet
// mode does, gives the next run what writing them back used to give it.
TEST(RunCorrectionTest, LimitedShiftsAreReportedAndCanBeAdopted) {
    Engine engine(3);
    EngineContext context = engine.Context();
    context.allowWideVectors = false;
    const Kind& kind = kKinds[std::size(kKinds) - 1];
    for (const auto& [bits, secondHash] :
         {std::pair{24, 0xa4e763f37f6daea3ull}, std::pair{48, 0x29f3cff4b221ce96ull}}) {
        Held image(97, 61, bits, 11);
        CorrectionSettings settings;
        LensState lensState;
        kind.set(settings, lensState);
        const StatusOr<CorrectionPlan> plan =
            Plan(image.source.buffer(), settings, lensState, SourceUse::kKeep, engine.sink);
        ASSERT_TRUE(plan.ok());
        // Canvas 129 x 81 for 97 x 61: the window is cut at the margins of 16
        // and 10 pixels; the limited settings, truncated, name 15 and 9, so the
        // run after adopting them differs from this one by a pixel.
        EXPECT_TRUE(plan->crop.limited);
        EXPECT_EQ(plan->crop.shiftX, 16);
        EXPECT_EQ(plan->crop.shiftY, -10);
        EXPECT_EQ(plan->crop.shifts, (CropShifts{49, -49}));
        EXPECT_EQ(settings.PerspectShiftHorz, 1000);
        EXPECT_EQ(settings.PerspectShiftVert, -400);

        AdoptCropShifts(*plan, settings);
        EXPECT_EQ(settings.PerspectShiftHorz, 49);
        EXPECT_EQ(settings.PerspectShiftVert, -49);
        ASSERT_TRUE(image.Correct(settings, lensState, context).ok());
        EXPECT_EQ(Fnv1a(image.destination.bytes()), secondHash);
    }
}

// A progress display follows the stages of a correction: vignetting and the
// lens remap each count all their rows, from every band, and the same bytes
// come out as without anybody watching.
TEST(RunCorrectionTest, ReportsEveryRowOfEachStage) {
    Engine engine(3);
    CorrectionSettings settings;
    settings.VigAmount = 40;
    const TestImage source = NoisyImage(64, 45, 24, 8);
    const StatusOr<CorrectionPlan> plan =
        Plan(source.buffer(), settings, kLensUsable, SourceUse::kKeep, engine.sink);
    ASSERT_TRUE(plan.ok());
    CorrectionScratch scratch;
    EngineContext context = engine.Context();
    ASSERT_TRUE(ReadyCorrectionScratch(*plan, scratch, context).ok());

    WorkProgress progress;
    context.progress = &progress;
    TestImage watched(64, 45, 24);
    ASSERT_TRUE(RunCorrection(*plan, source.buffer(), watched.buffer(), scratch, context).ok());
    EXPECT_EQ(progress.Stages(), 2);  // vignetting, then the distortion remap
    EXPECT_DOUBLE_EQ(progress.StageFraction(), 1.0);

    TestImage plain(64, 45, 24);
    EngineContext unwatched = engine.Context();
    ASSERT_TRUE(RunCorrection(*plan, source.buffer(), plain.buffer(), scratch, unwatched).ok());
    EXPECT_EQ(watched.bytes(), plain.bytes());
}

TEST(WorkProgressTest, FractionOfTheLatestStageStaysWithinOne) {
    WorkProgress progress;
    EXPECT_EQ(progress.Stages(), 0);
    EXPECT_DOUBLE_EQ(progress.StageFraction(), 0.0);
    progress.BeginStage(100);
    progress.AddRows(25);
    EXPECT_DOUBLE_EQ(progress.StageFraction(), 0.25);
    // Rows reported a little ahead (in groups) never show more than done.
    progress.AddRows(90);
    EXPECT_DOUBLE_EQ(progress.StageFraction(), 1.0);
    progress.BeginStage(10);
    EXPECT_EQ(progress.Stages(), 2);
    EXPECT_DOUBLE_EQ(progress.StageFraction(), 0.0);
}

TEST(WorkProgressTest, OverallFractionCountsStagesBeyondTheEstimate) {
    WorkProgress progress;
    progress.ExpectStages(4);
    EXPECT_DOUBLE_EQ(progress.OverallFraction(), 0.0);
    progress.BeginStage(10);
    progress.AddRows(5);
    EXPECT_DOUBLE_EQ(progress.OverallFraction(), 0.5 / 4);
    progress.BeginStage(10);
    EXPECT_DOUBLE_EQ(progress.OverallFraction(), 1.0 / 4);
    // A correction that runs more stages than expected ends at 1, not beyond.
    progress.ExpectStages(1);
    progress.AddRows(10);
    EXPECT_DOUBLE_EQ(progress.OverallFraction(), 1.0);
}

}  // namespace
}  // namespace quillon::engine
