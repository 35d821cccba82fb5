#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include "app/app_state.h"
#include "app/photo_detection.h"
#include "app/startup.h"
#include "engine/run_correction.h"
#include "platform/message_sink.h"
#include "platform/settings_store.h"
#include "preview/preview_state.h"
#include "settings/language_dialog.h"
#include "tools/host/document.h"
#include "tools/host/filter_host.h"
#include "tools/host/plugin_library.h"

// What the correction costs as a plug-in: a 24-megapixel 8-bit document run
// through the reference host (every selector, the transfer both ways, the
// run's start-up and settings) against the in-memory correction of the same
// image with the same values. Compare the two times; the plug-in should take
// at most 1.3 times as long.

namespace quillon::host {
namespace {

// Stored values both benchmarks use: two threads, and a lens history that
// picks one of the three 18-55 mm lenses that fit the D40.
constexpr const char* kSettings =
    "[Software\\Velmora\\Quillon]\n"
    "\"Language\"=\"English\"\n"
    "\"Processors\"=dword:00000002\n"
    "\"Hist\"=dword:00000001\n"
    "\"Hist.00.menuMake\"=\"Nikon\"\n"
    "\"Hist.00.menuModel\"=\"D40\"\n"
    "\"Hist.00.menuLens\"=\"Nikkor AF-S 18-55mm f/3.5-5.6G DX VR\"\n"
    "\"Hist.00.group\"=\"Nikon F DX\"\n"
    "\"Hist.00.minFlen\"=dword:41900000\n"
    "\"Hist.00.maxFlen\"=dword:425c0000\n"
    "\"Hist.00.signature\"=dword:00000335\n";

// A settings folder of its own, whose file is written afresh for every run:
// the plug-in saves its settings, and both benchmarks must start alike.
class BenchSettings {
  public:
    BenchSettings() : dir_(std::filesystem::temp_directory_path() / "quillon_bench_plugin") {
        std::filesystem::create_directories(dir_ / "Velmora");
        ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
        // The plug-in must not open a window nobody answers.
        ::unsetenv("DISPLAY");
        ::unsetenv("QT_QPA_PLATFORM");
    }
    ~BenchSettings() { std::filesystem::remove_all(dir_); }
    std::string Path() const { return (dir_ / "Velmora" / "Quillon.reg").string(); }
    bool Write() const {
        std::ofstream out(Path(), std::ios::binary | std::ios::trunc);
        out << kSettings;
        return static_cast<bool>(out);
    }

  private:
    std::filesystem::path dir_;
};

// The Nikon D40 sample scaled up 2 x 2 to 6016 x 4000, keeping its EXIF
// block, so that camera and lens are found as in the original.
bool LargeDocument(Document& large) {
    platform::StderrSink sink;
    Document photo;
    if (!OpenDocument(std::string(QUILLON_SOURCE_DIR) + "/testdata/photos/mdx_Nikon_D40.jpg", photo,
                      sink)) {
        return false;
    }
    large = photo;
    large.width = photo.width * 2;
    large.height = photo.height * 2;
    const auto w = static_cast<std::size_t>(photo.width);
    const auto height = static_cast<std::size_t>(large.height);
    for (std::size_t k = 0; k < 3; ++k) {
        large.planes[k].assign(2 * w * height, 0);
        for (std::size_t y = 0; y < height; ++y) {
            for (std::size_t x = 0; x < 2 * w; ++x) {
                large.planes[k][y * 2 * w + x] = photo.planes[k][(y / 2) * w + x / 2];
            }
        }
    }
    return true;
}

// The plug-in notes what it does on stderr; not while it is measured.
class QuietStderr {
  public:
    QuietStderr() : saved_(::dup(2)) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2);
        ::close(null);
    }
    ~QuietStderr() {
        ::dup2(saved_, 2);
        ::close(saved_);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

  private:
    int saved_;
};

void BM_Plugin_Run24MP(benchmark::State& state) {
    const BenchSettings settings;
    PluginLibrary plugin;
    std::string error;
    Document document;
    if (!settings.Write() || !plugin.Load(QUILLON_PLUGIN_PATH, error) || !LargeDocument(document)) {
        state.SkipWithError(("no settings, plug-in or document: " + error).c_str());
        return;
    }
    // The host keeps its memory between runs, as an editor does. The
    // document is corrected again each time, which is the same work.
    HostMemory memory;
    HostOptions options;
    options.memory = &memory;
    const QuietStderr quiet;
    for (auto _ : state) {
        state.PauseTiming();
        const bool written = settings.Write();
        state.ResumeTiming();
        const HostReport report = RunFilter(plugin, document, options);
        // One tile of the whole document, three planes in and three out.
        if (!written || report.result != 0 || report.requests.size() != 6 ||
            report.buffersHeld != 0) {
            state.SkipWithError("the filter did not correct the document");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * document.width * document.height);
}
BENCHMARK(BM_Plugin_Run24MP)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Plugin_InMemoryCorrection24MP(benchmark::State& state) {
    const BenchSettings settings;
    Document large;
    if (!settings.Write() || !LargeDocument(large)) {
        state.SkipWithError("no settings or document");
        return;
    }
    // Set up as the program's quiet mode does, from the same stored values.
    platform::StderrSink sink;
    platform::FileSettingsStore user(settings.Path());
    const platform::MemorySettingsStore machine(
        {platform::StoredValue::String("Root", QUILLON_BENCH_ROOT_DIR)});
    settings::NoDisplayLanguagePrompt prompt;
    app::StderrBusyIndicator busy;
    const app::ProgramEnvironment env{sink, user, machine, prompt, busy, {}};
    app::AppState app;
    if (!app::LoadRunData(app, env).ok() ||
        !engine::CreateWorkerPool(app.pool, app.stored.correction.Processors, sink).ok()) {
        state.SkipWithError("no run data or workers");
        return;
    }
    CurrentImage& image = app.current.image;
    image.metadata = large.fileMetadata;
    image.input = DescribeImage(large.width, large.height, 24, nullptr);
    const std::optional<ByteCount> bytes = ImageByteCount(image.input);
    if (!image.blocks.source.Allocate(bytes) || !image.blocks.work.Allocate(bytes)) {
        state.SkipWithError("out of memory");
        return;
    }
    image.input.pixels = image.blocks.source.data();
    image.output = image.input;
    image.output.pixels = image.blocks.work.data();
    for (std::size_t k = 0; k < 3; ++k) {
        for (std::size_t p = 0; p < large.planes[k].size(); ++p) {
            image.input.pixels[3 * p + k] = large.planes[k][p];
        }
    }
    app::ReadShotInfo(app);
    const app::PhotoMatch match(app, false, false);
    if (!lensdb::DetectForQuietCorrection(match.context(), app.current.selection)) {
        state.SkipWithError("camera and lens not recognised");
        return;
    }
    const engine::CorrectionInputs inputs{
        app.stored.correction, app.current.selection.lensModel,
        preview::LensStateOf(app.current.selection, app.stored.correction)};
    engine::EngineContext context{app.pool, sink};
    const StatusOr<engine::CorrectionPlan> plan =
        engine::PlanCorrection(image.input, inputs, engine::SourceUse::kKeep, sink);
    engine::CorrectionScratch scratch;
    if (!plan.ok() || !plan->steps.distortion ||
        !engine::ReadyCorrectionScratch(*plan, scratch, context).ok()) {
        state.SkipWithError("no plan");
        return;
    }
    for (auto _ : state) {
        if (!engine::RunCorrection(*plan, image.input, image.output, scratch, context).ok()) {
            state.SkipWithError("the correction failed");
            break;
        }
        benchmark::DoNotOptimize(image.output.pixels[image.output.dataSize / 2]);
    }
    engine::StopWorkerPool(app.pool);
    state.SetItemsProcessed(state.iterations() * large.width * large.height);
}
BENCHMARK(BM_Plugin_InMemoryCorrection24MP)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace quillon::host
