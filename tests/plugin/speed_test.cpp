// The cost of running the correction as a plug-in: a 24-megapixel 8-bit
// document through the reference host against the in-memory correction of the
// same image with the same values. Disabled in ordinary runs (it measures);
// run it with --gtest_also_run_disabled_tests on an optimised build:
//   build/release/plugin/quillon_plugin_tests --gtest_filter='*Speed*'
//       --gtest_also_run_disabled_tests

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

#include "app/app_state.h"
#include "app/photo_detection.h"
#include "app/startup.h"
#include "engine/run_correction.h"
#include "settings/language_dialog.h"
#include "tests/plugin/plugin_run.h"

namespace quillon::plugin_test {
namespace {

constexpr int kRuns = 5;

// The Nikon D40 sample scaled up 2 x 2 to 6016 x 4000, keeping its EXIF block,
// so camera and lens are found as in the original.
host::Document LargeDocument(const host::Document& photo) {
    host::Document large = photo;
    large.width = photo.width * 2;
    large.height = photo.height * 2;
    const auto w = static_cast<std::size_t>(photo.width);
    for (std::size_t k = 0; k < 3; ++k) {
        const auto height = static_cast<std::size_t>(large.height);
        large.planes[k].assign(2 * w * height, 0);
        for (std::size_t y = 0; y < height; ++y) {
            for (std::size_t x = 0; x < 2 * w; ++x) {
                large.planes[k][y * 2 * w + x] = photo.planes[k][(y / 2) * w + x / 2];
            }
        }
    }
    return large;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

TEST_F(PluginTest, DISABLED_SpeedOfTwentyFourMegapixels) {
    // A lens history picks one of the three 18-55 mm lenses that fit the D40.
    StoreSettings({"\"Processors\"=dword:00000002", "\"Hist\"=dword:00000001",
                   "\"Hist.00.menuMake\"=\"Nikon\"", "\"Hist.00.menuModel\"=\"D40\"",
                   "\"Hist.00.menuLens\"=\"Nikkor AF-S 18-55mm f/3.5-5.6G DX VR\"",
                   "\"Hist.00.group\"=\"Nikon F DX\"", "\"Hist.00.minFlen\"=dword:41900000",
                   "\"Hist.00.maxFlen\"=dword:425c0000", "\"Hist.00.signature\"=dword:00000335"});
    const host::Document photo = Open("mdx_Nikon_D40.jpg");
    const host::Document large = LargeDocument(photo);

    // The host keeps its memory between runs, as an editor does; the
    // in-memory correction below reuses its blocks as well.
    host::HostMemory hostMemory;
    host::HostOptions options;
    options.memory = &hostMemory;
    std::vector<double> pluginSeconds;
    for (int i = 0; i < kRuns; ++i) {
        host::Document document = large;
        const PluginRun run = Run(document, options);
        ASSERT_EQ(run.report.result, 0) << run.messages;
        ASSERT_NE(document.planes, large.planes);
        pluginSeconds.push_back(run.report.startSeconds);
    }

    // The same correction in memory, set up as the program's quiet mode does.
    platform::CapturingSink sink;
    platform::FileSettingsStore user(SettingsPath());
    const platform::MemorySettingsStore machine(
        {platform::StoredValue::String("Root", QUILLON_TEST_ROOT_DIR)});
    settings::NoDisplayLanguagePrompt prompt;
    app::StderrBusyIndicator busy;
    const app::ProgramEnvironment env{sink, user, machine, prompt, busy, {}};
    app::AppState state;
    ASSERT_TRUE(app::LoadRunData(state, env).ok());
    ASSERT_TRUE(
        engine::CreateWorkerPool(state.pool, state.stored.correction.Processors, sink).ok());
    CurrentImage& image = state.current.image;
    image.metadata = photo.fileMetadata;
    image.input = DescribeImage(large.width, large.height, 24, nullptr);
    const std::optional<ByteCount> bytes = ImageByteCount(image.input);
    ASSERT_TRUE(image.blocks.source.Allocate(bytes));
    ASSERT_TRUE(image.blocks.work.Allocate(bytes));
    image.input.pixels = image.blocks.source.data();
    image.output = image.input;
    image.output.pixels = image.blocks.work.data();
    app::ReadShotInfo(state);
    const app::PhotoMatch match(state, false, false);
    ASSERT_TRUE(lensdb::DetectForQuietCorrection(match.context(), state.current.selection));

    for (std::size_t k = 0; k < 3; ++k) {
        for (std::size_t p = 0; p < large.planes[k].size(); ++p) {
            image.input.pixels[3 * p + k] = large.planes[k][p];
        }
    }
    const engine::CorrectionInputs inputs{
        state.stored.correction, state.current.selection.lensModel,
        app::LensStateOf(state.current.selection, state.stored.correction)};
    engine::EngineContext context{state.pool, sink};
    const StatusOr<engine::CorrectionPlan> plan =
        engine::PlanCorrection(image.input, inputs, engine::SourceUse::kKeep, sink);
    ASSERT_TRUE(plan.ok());
    engine::CorrectionScratch scratch;
    ASSERT_TRUE(engine::ReadyCorrectionScratch(*plan, scratch, context).ok());
    std::vector<double> memorySeconds;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(engine::RunCorrection(*plan, image.input, image.output, scratch, context).ok());
        memorySeconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    engine::StopWorkerPool(state.pool);

    const double plugin = Median(pluginSeconds);
    const double memory = Median(memorySeconds);
    std::printf("%d-bit build, 6016 x 4000 8-bit, 2 processors, median of %d\n",
                static_cast<int>(sizeof(void*) * 8), kRuns);
    std::printf("in-memory correction   %8.0f ms\n", memory * 1000.0);
    std::printf("plug-in start selector %8.0f ms\n", plugin * 1000.0);
    std::printf("ratio                  %8.2f\n", plugin / memory);
    EXPECT_LE(plugin / memory, 1.3);
}

}  // namespace
}  // namespace quillon::plugin_test
