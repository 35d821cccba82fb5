#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/lens_correction.h"
#include "engine/remap.h"
#include "engine/worker_pool.h"
#include "platform/message_sink.h"

namespace quillon::engine {
namespace {

constexpr std::int32_t kWidth = 6000;
constexpr std::int32_t kHeight = 4000;

// A photo-like source: smooth gradients with fine texture, so the kernel sees
// varied neighbourhoods and no branch is trivially predictable.
template <class T>
std::vector<T> MakeSource(std::int32_t maxValue) {
    std::vector<T> pixels(static_cast<std::size_t>(kWidth) * kHeight * 3);
    std::uint32_t noise = 12345;
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        noise = noise * 1664525u + 1013904223u;
        const std::size_t pixel = i / 3;
        const double gradient = static_cast<double>(pixel % kWidth) / kWidth * 0.6 +
                                static_cast<double>(pixel / kWidth) / kHeight * 0.3;
        const double value = gradient * maxValue + (noise >> 24) / 255.0 * 0.1 * maxValue;
        pixels[i] = static_cast<T>(std::min<double>(value, maxValue));
    }
    return pixels;
}

template <class T>
void RemapBench(benchmark::State& state, std::int32_t bitsPerPixel, std::int32_t maxValue,
                bool wide = true) {
    platform::CapturingSink sink;
    WorkerPool pool;
    std::int32_t processors = static_cast<std::int32_t>(state.range(0));
    if (!CreateWorkerPool(pool, processors, sink).ok()) {
        state.SkipWithError("worker pool");
        return;
    }
    EngineContext context{pool, sink};
    context.allowWideVectors = wide;

    std::vector<T> input = MakeSource<T>(maxValue);
    std::vector<T> output(input.size());
    const ImageBuffer source =
        DescribeImage(kWidth, kHeight, bitsPerPixel, reinterpret_cast<std::uint8_t*>(input.data()));
    const ImageBuffer destination = DescribeImage(kWidth, kHeight, bitsPerPixel,
                                                  reinterpret_cast<std::uint8_t*>(output.data()));

    PassStack distortion;
    BuildDistortionStack(0.01f, -0.035f, 0.02f, kWidth, kHeight, distortion);
    const TransformStack& stack = distortion.stack;

    // The first run gives the reference every timed run must reproduce.
    if (!RemapImage(source, destination, stack, ChannelPass::kAll, context).ok()) {
        state.SkipWithError("remap failed");
        return;
    }
    const std::vector<T> expected = output;
    // Comparing all 72 MB would add a tenth to the time measured; every 97th
    // row and a spoiled sample in the middle show a remap that went wrong.
    const std::size_t rowSamples = static_cast<std::size_t>(kWidth) * 3;
    auto unchanged = [&] {
        for (std::size_t row = 0; row < static_cast<std::size_t>(kHeight); row += 97) {
            if (!std::equal(output.begin() + static_cast<std::ptrdiff_t>(row * rowSamples),
                            output.begin() + static_cast<std::ptrdiff_t>((row + 1) * rowSamples),
                            expected.begin() + static_cast<std::ptrdiff_t>(row * rowSamples))) {
                return false;
            }
        }
        return output[output.size() / 2] == expected[output.size() / 2];
    };
    for (auto _ : state) {
        output[output.size() / 2] = static_cast<T>(~output[output.size() / 2]);
        if (!RemapImage(source, destination, stack, ChannelPass::kAll, context).ok() ||
            !unchanged()) {
            state.SkipWithError("remap result changed");
            break;
        }
        benchmark::DoNotOptimize(output.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void BM_Engine_Remap8(benchmark::State& state) { RemapBench<std::uint8_t>(state, 24, 255); }
void BM_Engine_Remap16(benchmark::State& state) { RemapBench<std::uint16_t>(state, 48, 65535); }
// The 128-bit form that every x86-64 runs, for comparison.
void BM_Engine_Remap8Portable(benchmark::State& state) {
    RemapBench<std::uint8_t>(state, 24, 255, false);
}

BENCHMARK(BM_Engine_Remap8)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Engine_Remap16)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Engine_Remap8Portable)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace quillon::engine

namespace quillon::engine {
namespace {

// The coordinate side of a remap alone: exact evaluations and filling.
void BM_Engine_SourceRows(benchmark::State& state) {
    PassStack distortion;
    BuildDistortionStack(0.01f, -0.035f, 0.02f, kWidth, kHeight, distortion);
    const TransformStack& stack = distortion.stack;
    const RemapGeometry g{kWidth, kHeight, kWidth, kHeight};
    std::vector<double> xs(static_cast<std::size_t>(SourceRowCapacity(kWidth))), ys(xs.size());
    std::vector<std::uint8_t> valid(xs.size());
    for (auto _ : state) {
        for (std::int32_t row = 0; row < kHeight; ++row) {
            ComputeSourceRow(stack, g, row, xs.data(), ys.data(), valid.data());
        }
        if (!(std::fabs(xs[kWidth / 2] - kWidth / 2) < 1.0)) state.SkipWithError("centre moved");
        benchmark::DoNotOptimize(xs.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_Engine_SourceRows)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillon::engine
