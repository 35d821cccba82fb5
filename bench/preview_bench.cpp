#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/correction_settings.h"
#include "engine/worker_pool.h"
#include "imageio/image_file.h"
#include "lensdb/lens_database.h"
#include "platform/message_sink.h"
#include "preview/colour_management.h"
#include "preview/fitted_size.h"
#include "preview/preview_renderer.h"
#include "preview/show_image.h"
#include "preview/zoom_view.h"
#include "settings/languages.h"
#include "text/string_table.h"

// What the window does while the user works: one render of the fitted view
// per slider step, one ShowImage per photo opened, one region correction per
// step of a chromatic-aberration slider in the zoom view. A 6000 x 4000
// photo in a 1200 x 800 area, two threads.

namespace quillon::preview {
namespace {

constexpr std::int32_t kWidth = 6000;
constexpr std::int32_t kHeight = 4000;
constexpr std::int32_t kAreaWidth = 1202;  // 1200 x 800 inside the frame
constexpr std::int32_t kAreaHeight = 802;

// Smooth content with some texture, so the resampler does real work.
void Fill(const ImageBuffer& image) {
    for (std::int32_t y = 0; y < image.height; ++y) {
        std::uint8_t* row = image.Row(y);
        for (std::int32_t x = 0; x < image.width; ++x) {
            row[3 * x] = static_cast<std::uint8_t>((x / 8 + y / 16) & 0xff);
            row[3 * x + 1] = static_cast<std::uint8_t>((x * 3 + y) >> 5);
            row[3 * x + 2] = static_cast<std::uint8_t>(((x ^ y) & 0x3f) + 64);
        }
    }
}

struct Pool {
    platform::StderrSink sink;
    engine::WorkerPool pool;
    engine::EngineContext context{pool, sink};
    bool ok = false;
    Pool() {
        std::int32_t processors = 2;
        ok = engine::CreateWorkerPool(pool, processors, sink).ok();
    }
};

void BM_Preview_Render(benchmark::State& state) {
    Pool pool;
    PixelBlock block;
    if (!pool.ok || !block.Allocate(ByteCount::Of(kWidth, kHeight, 3))) {
        state.SkipWithError("no pool or memory");
        return;
    }
    const ImageBuffer photo = DescribeImage(kWidth, kHeight, 24, block.data());
    Fill(photo);
    const PreviewPlacement placement = FittedPreviewSize(kAreaWidth, kAreaHeight, kWidth, kHeight);
    PreviewRenderer renderer;
    if (!renderer.Prepare(photo, placement.width, placement.height, pool.context).ok()) {
        state.SkipWithError("no preview");
        return;
    }
    engine::CorrectionSettings settings;
    settings.VigAmount = 30;
    settings.PerspectVert = 20;
    engine::LensModel lens{0.01f, -0.03f, 0.0f, 1.02f};
    engine::LensState lensState;
    lensState.distortionUsable = true;
    const DisplayTransform noTransform;
    for (auto _ : state) {
        // A slider step changes a value every time.
        settings.VigAmount = settings.VigAmount == 30 ? 31 : 30;
        const Status status =
            renderer.Render(settings, lens, lensState, {}, noTransform, pool.context);
        if (!status.ok() || renderer.Display().width() != 1200) {
            state.SkipWithError("render failed");
            break;
        }
        benchmark::DoNotOptimize(renderer.Display().Row(400)[1800]);
    }
    state.SetItemsProcessed(state.iterations() * placement.width * placement.height);
}
BENCHMARK(BM_Preview_Render)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// A 24-megapixel JPEG taken upright-turned (EXIF orientation 6) by a camera
// the database knows, with an Adobe RGB profile embedded.
std::string MakePhoto(const std::string& path, platform::MessageSink& sink) {
    CurrentImage camera;
    if (!imageio::LoadImageFile(QUILLON_SOURCE_DIR "/testdata/photos/mdx_Canon_EOS_1000D.jpg",
                                camera, sink)
             .ok()) {
        return {};
    }
    CurrentImage photo;
    photo.metadata = camera.metadata;
    photo.metadata.icc.assign(BuiltInProfile(kProfileAdobeRgb).begin(),
                              BuiltInProfile(kProfileAdobeRgb).end());
    if (!photo.blocks.work.Allocate(ByteCount::Of(kWidth, kHeight, 3))) return {};
    photo.output = DescribeImage(kWidth, kHeight, 24, photo.blocks.work.data());
    Fill(photo.output);
    imageio::ImageFileOptions options;
    options.interactiveMode = false;
    if (!imageio::SaveImageFile(path, photo, options, sink).ok()) return {};
    return path;
}

void BM_Preview_ShowImage(benchmark::State& state) {
    Pool pool;
    text::StringTable strings;
    text::LoadStrings(strings, text::kEnglishLangId, pool.sink);
    lensdb::LensDatabase database;
    const std::string path =
        (std::filesystem::temp_directory_path() / "quillon_bench_show_image.jpg").string();
    if (!pool.ok ||
        !lensdb::LoadDatabase(QUILLON_BENCH_ROOT_DIR, database, strings, pool.sink).ok() ||
        MakePhoto(path, pool.sink).empty()) {
        state.SkipWithError("no pool, database or photo");
        return;
    }
    settings::SettingsValues values;
    engine::CorrectionSettings correction;
    lensdb::LensHistory history;
    CurrentImage image;
    metadata::ShotInfo shot;
    lensdb::LensSelection selection;
    PreviewState preview;
    preview.areaWidth = kAreaWidth;
    preview.areaHeight = kAreaHeight;
    ShowImageParts parts{values, correction, history,   database, strings,
                         image,  shot,       selection, preview,  pool.context};
    for (auto _ : state) {
        const int result = ShowImage(parts, path, ShowMode::kReadFile);
        if (result == kShowFailed || image.input.width != kHeight || !preview.transform.Active()) {
            state.SkipWithError("the photo was not shown as expected");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    std::filesystem::remove(path);
}
BENCHMARK(BM_Preview_ShowImage)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

void BM_Preview_ZoomRegion(benchmark::State& state) {
    Pool pool;
    PixelBlock block;
    if (!pool.ok || !block.Allocate(ByteCount::Of(kWidth, kHeight, 3))) {
        state.SkipWithError("no pool or memory");
        return;
    }
    ImageBuffer bitmap = DescribeImage(kWidth, kHeight, 24, block.data());
    Fill(bitmap);
    ZoomView view;
    view.SetImage(kWidth, kHeight);
    if (!view.SetArea(1200, 800)) {
        state.SkipWithError("no region buffers");
        return;
    }
    view.SetStep(1, bitmap, pool.sink);                             // 100 %
    view.ScrollTo(ZoomAxis::kHorizontal, 4500, bitmap, pool.sink);  // towards a corner
    std::int32_t caRed = 50;
    for (auto _ : state) {
        caRed = caRed == 50 ? 51 : 50;
        const Status status =
            view.CorrectRegion({true, caRed, -40, ChannelView::kAll}, bitmap, pool.context);
        if (!status.ok()) {
            state.SkipWithError("region correction failed");
            break;
        }
        benchmark::DoNotOptimize(bitmap.Row(2000)[3 * 5000]);
    }
    state.SetItemsProcessed(state.iterations() * view.region().width * view.region().height);
}
BENCHMARK(BM_Preview_ZoomRegion)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace
}  // namespace quillon::preview
