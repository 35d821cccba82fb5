#include <cstdint>
#include <cstring>

#include <benchmark/benchmark.h>

#include "engine/correction_settings.h"
#include "engine/run_correction.h"
#include "engine/worker_pool.h"
#include "image/current_image.h"
#include "platform/message_sink.h"

// Full corrections of a 6000 x 4000 8-bit photograph with two threads, the
// way Apply runs them: the source kept, the scratch readied once and reused.

namespace quillon::engine {
namespace {

constexpr std::int32_t kWidth = 6000;
constexpr std::int32_t kHeight = 4000;

struct Photo {
    ImageBlocks blocks;
    ImageBuffer source;
    ImageBuffer destination;
    bool ok = false;

    Photo() {
        source = DescribeImage(kWidth, kHeight, 24, nullptr);
        const std::optional<ByteCount> size = ImageByteCount(source);
        ok = blocks.source.Allocate(size) && blocks.work.Allocate(size);
        if (!ok) return;
        source.pixels = blocks.source.data();
        destination = DescribeImage(kWidth, kHeight, 24, blocks.work.data());
        // Smooth content with some texture, so the resampler does real work.
        for (std::int32_t y = 0; y < kHeight; ++y) {
            std::uint8_t* row = source.Row(y);
            for (std::int32_t x = 0; x < kWidth; ++x) {
                row[3 * x] = static_cast<std::uint8_t>((x / 8 + y / 16) & 0xff);
                row[3 * x + 1] = static_cast<std::uint8_t>((x * 3 + y) >> 5);
                row[3 * x + 2] = static_cast<std::uint8_t>(((x ^ y) & 0x3f) + 64);
            }
        }
    }
};

void RunBenchmark(benchmark::State& state, const CorrectionSettings& base, LensState lensState) {
    platform::StderrSink sink;
    WorkerPool pool;
    std::int32_t processors = 2;
    if (!CreateWorkerPool(pool, processors, sink).ok()) {
        state.SkipWithError("no worker pool");
        return;
    }
    EngineContext context{pool, sink};
    Photo photo;
    if (!photo.ok) {
        state.SkipWithError("out of memory");
        return;
    }
    const std::uint8_t firstSample = photo.source.pixels[0];
    const CorrectionSettings settings = base;
    const LensModel lens;
    const CorrectionInputs inputs{settings, lens, lensState};
    const StatusOr<CorrectionPlan> plan =
        PlanCorrection(photo.source, inputs, SourceUse::kKeep, sink);
    // The scratch is readied and first touched once per image; keep that out
    // of the timing.
    CorrectionScratch scratch;
    if (!plan.ok() || !ReadyCorrectionScratch(*plan, scratch, context).ok() ||
        !RunCorrection(*plan, photo.source, photo.destination, scratch, context).ok()) {
        state.SkipWithError("correction failed");
        return;
    }
    for (auto _ : state) {
        const Status status =
            RunCorrection(*plan, photo.source, photo.destination, scratch, context);
        if (!status.ok() || photo.source.pixels[0] != firstSample) {
            state.SkipWithError("correction failed or the source was changed");
            break;
        }
        benchmark::DoNotOptimize(photo.destination.pixels[photo.destination.dataSize / 2]);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void BM_Engine_Vignetting(benchmark::State& state) {
    CorrectionSettings settings;
    settings.CorChoice = kCorrectNeither;
    settings.VigAmount = 60;
    RunBenchmark(state, settings, LensState{});
}
BENCHMARK(BM_Engine_Vignetting)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Engine_Perspective(benchmark::State& state) {
    CorrectionSettings settings;
    settings.CorChoice = kCorrectNeither;
    settings.PerspectVert = 30;
    RunBenchmark(state, settings, LensState{});
}
BENCHMARK(BM_Engine_Perspective)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Engine_Fisheye(benchmark::State& state) {
    CorrectionSettings settings;
    settings.CorChoice = kCorrectFisheye;
    settings.FisheyeDistortion = 140;
    LensState lensState;
    lensState.fisheyeEnabled = true;
    RunBenchmark(state, settings, lensState);
}
BENCHMARK(BM_Engine_Fisheye)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace quillon::engine
