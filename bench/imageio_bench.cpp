// The file side of correcting one photo: a 24-megapixel JPEG decoded into the
// image buffers and encoded again at quality 90, as LoadImageFile and
// SaveImageFile do it. scripts/bench-jpeg.sh compares this with libjpeg-turbo's
// own djpeg | cjpeg on the same file.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "imageio/image_file.h"
#include "imageio/jpeg_file.h"
#include "platform/message_sink.h"

namespace {

using namespace quillon;

constexpr std::int32_t kWidth = 6000;
constexpr std::int32_t kHeight = 4000;

std::string BenchFolder() {
    const auto dir = std::filesystem::temp_directory_path() / "quillon-imageio-bench";
    std::filesystem::create_directories(dir);
    return dir.string();
}

// Smooth shading with edges and fine texture, so the encoder meets the mix of
// flat and busy blocks a photograph has (a flat or random image would be far
// faster or slower to code than any photo).
bool WritePhotoLikeJpeg(const std::string& path) {
    PixelBlock block;
    if (!block.Allocate(ByteCount::Of(kWidth, kHeight, 3))) return false;
    ImageBuffer image = DescribeImage(kWidth, kHeight, 24, block.data());
    std::uint32_t noise = 12345;
    for (std::int32_t y = 0; y < kHeight; ++y) {
        std::uint8_t* row = image.Row(y);
        for (std::int32_t x = 0; x < kWidth; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const double shade = 0.5 + 0.35 * std::sin(x * 0.0011) * std::cos(y * 0.0017);
            const double texture =
                ((x / 97 + y / 61) % 3 == 0) ? 0.08 * std::sin(x * 0.37 + y * 0.21) : 0.0;
            const double edge = ((x - 2 * y) % 1500 < 40) ? -0.2 : 0.0;
            const int n = static_cast<int>(noise >> 28) - 8;
            for (int c = 0; c < 3; ++c) {
                const double v = 255.0 * (shade + texture + edge) * (0.85 + 0.1 * c) + n;
                row[3 * x + c] = static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    platform::StderrSink sink;
    return imageio::WriteJpegFile(image, ImageMetadata{}, path, 90, sink).ok();
}

// QUILLON_BENCH_JPEG names the file to use; otherwise a photo-like one is made
// once per run.
std::string InputJpeg() {
    if (const char* given = std::getenv("QUILLON_BENCH_JPEG")) return given;
    static const std::string made = [] {
        const std::string path = BenchFolder() + "/photo24mp.jpg";
        return WritePhotoLikeJpeg(path) ? path : std::string();
    }();
    return made;
}

void BM_ImageIo_JpegLoadSave24MP(benchmark::State& state) {
    const std::string input = InputJpeg();
    if (input.empty()) {
        state.SkipWithError("could not make the input JPEG");
        return;
    }
    const std::string output = BenchFolder() + "/photo24mp_out.jpg";
    imageio::ImageFileOptions options;
    options.interactiveMode = false;
    options.jpegQuality = 90;
    platform::StderrSink sink;
    std::int64_t pixels = 0;
    for (auto _ : state) {
        CurrentImage image;
        if (!imageio::LoadImageFile(input, image, sink).ok()) {
            state.SkipWithError("load failed");
            return;
        }
        // Written from the decoded pixels: the correction in between is not
        // part of what is measured.
        image.output = image.input;
        if (!imageio::SaveImageFile(output, image, options, sink).ok()) {
            state.SkipWithError("save failed");
            return;
        }
        pixels += std::int64_t{image.input.width} * image.input.height;
    }
    state.SetItemsProcessed(pixels);
}
BENCHMARK(BM_ImageIo_JpegLoadSave24MP)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ImageIo_JpegLoad24MP(benchmark::State& state) {
    const std::string input = InputJpeg();
    if (input.empty()) {
        state.SkipWithError("could not make the input JPEG");
        return;
    }
    platform::StderrSink sink;
    std::int64_t pixels = 0;
    for (auto _ : state) {
        CurrentImage image;
        if (!imageio::LoadImageFile(input, image, sink).ok()) {
            state.SkipWithError("load failed");
            return;
        }
        pixels += std::int64_t{image.input.width} * image.input.height;
    }
    state.SetItemsProcessed(pixels);
}
BENCHMARK(BM_ImageIo_JpegLoad24MP)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
