// quillon-batch-driver: the folder browser's Apply on every photo of a folder,
// as the window runs it (each photo shown into a preview of a window's size,
// then corrected and written beside it with the suffix), without the window's
// widgets; for scripts/bench-batch.sh.
//
//   quillon-batch-driver FOLDER
//
// Reads the user's settings and the lens database as the program does. Prints
// the batch's wall time in milliseconds; the exit code is 0 when every photo
// was written.

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "app/startup.h"
#include "app/window_core/file_browser.h"
#include "app/window_core/window_session.h"
#include "platform/message_sink.h"
#include "platform/settings_store.h"
#include "settings/language_dialog.h"
#include "settings/settings_location.h"

namespace {

using namespace quillon;

// The window's thread and the batch's are one here.
class SameThreadHost final : public app::BatchHost {
  public:
    void OnWindowThread(const std::function<void()>& task) override { task(); }
    bool StopRequested() const override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillon-batch-driver FOLDER\n");
        return 2;
    }
    platform::StderrSink sink;
    // The script gives the driver a settings folder of its own.
    const std::optional<std::string> userPath = settings::UserSettingsPath();
    if (!userPath) {
        std::fprintf(stderr, "quillon-batch-driver: no folder for the settings\n");
        return 2;
    }
    platform::FileSettingsStore userStore(*userPath);
    const platform::FileSettingsStore machineStore(settings::MachineSettingsPath());
    settings::NoDisplayLanguagePrompt languagePrompt;
    app::StderrBusyIndicator busy;
    const app::ProgramEnvironment env{sink, userStore, machineStore, languagePrompt, busy, {}};
    app::AppState state;
    state.start.interactiveMode = true;
    if (!app::LoadRunData(state, env).ok()) return 1;
    if (!engine::CreateWorkerPool(state.pool, state.stored.correction.Processors, sink).ok()) {
        return 1;
    }

    app::WindowSession session(state, sink);
    // The preview area of the browser's window at its designed size.
    session.SetArea(600, 440);
    app::FileBrowser browser(session);
    browser.ChooseFolder(argv[1]);
    std::vector<int> rows(browser.Names().size());
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<int>(i);

    const auto start = std::chrono::steady_clock::now();
    browser.Select(rows);
    const std::vector<std::string> names = browser.BatchNames();
    session.SetBusy(true);
    app::BatchProgress progress(static_cast<int>(names.size()));
    SameThreadHost host;
    const app::BatchResult result = browser.RunBatch(names, browser.BatchOptions(), host, progress);
    session.SetBusy(false);
    browser.FinishBatch(result);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    engine::StopWorkerPool(state.pool);
    std::printf("%lld\n", static_cast<long long>(ms));
    std::fprintf(stderr, "written: %d of %d\n", result.written, result.count);
    return result.written == result.count && result.count > 0 ? 0 : 1;
}
