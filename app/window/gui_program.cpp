#include "app/window/gui_program.h"

#include <QApplication>
#include <QEventLoop>
#include <clocale>
#include <memory>

#include "app/startup.h"
#include "app/window/busy_window.h"
#include "app/window/display_profile.h"
#include "app/window/language_window.h"
#include "app/window/main_window.h"
#include "app/window/message_box_sink.h"
#include "app/window/single_instance.h"
#include "app/window/window_flows.h"
#include "settings/dump_settings.h"

namespace quillon::app {

namespace {

struct WindowServices {
    WindowMessageSink& sink;
    QtBusyIndicator& busy;
    WindowPrompts& prompts;
    SingleInstance& instance;
    platform::SettingsStore& userStore;
};

int RunMainWindow(AppState& state, WindowServices& services) {
    // A second start of the folder browser hands over to the first one's
    // window. A start with files does not (the quiet mode's fallback to the
    // editor, or files opened from a file manager): its photos are still to
    // be corrected, and ending as if they had been would drop the user's
    // request and tell the caller a falsehood.
    if (state.start.interactiveMode &&
        services.instance.ClaimOrHandOver() == SingleInstance::Claim::kHandedOver) {
        return 0;
    }
    const WindowVariant variant =
        state.start.interactiveMode ? WindowVariant::kBrowser : WindowVariant::kEditor;
    WindowSession session(state, services.sink);
    session.preview().displayProfile = DisplayIccProfile();
    session.SetSettingsActions(
        {[&state, &services] {
             // A failed save has shown its message; the values stay in use.
             (void)SavePreferences(state, services.userStore, services.sink);
         },
         [&services] { (void)settings::DumpSettings(services.userStore, services.sink); }});
    std::unique_ptr<WindowFlow> flow;
    if (variant == WindowVariant::kEditor) {
        flow = std::make_unique<EditorFlow>();
    } else {
        flow = std::make_unique<BrowserFlow>();
    }
    MainWindow window(session, variant, std::move(flow), services.busy, services.prompts);
    services.instance.SetWindow(&window);
    services.sink.SetWindowRunning(true);
    services.busy.SetOwner(&window);

    QEventLoop loop;
    QObject::connect(&window, &MainWindow::finished, &loop, &QEventLoop::quit);
    window.ShowPlaced();
    loop.exec();

    services.busy.SetOwner(nullptr);
    services.sink.SetWindowRunning(false);
    services.instance.SetWindow(nullptr);
    return window.Result();
}

}  // namespace

int RunWithWindows(int& argc, char** argv, std::span<const std::string> args,
                   platform::MessageSink& withoutWindow, platform::SettingsStore& userStore,
                   const platform::SettingsStore& machineStore) {
    QApplication application(argc, argv);
    // The toolkit takes the user's locale for the C library too; numbers in
    // settings and texts are written with a point whatever the language.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setQuitOnLastWindowClosed(false);

    WindowMessageSink sink(withoutWindow);
    QtLanguagePrompt languagePrompt;
    QtBusyIndicator busy;
    WindowPrompts prompts;
    SingleInstance instance;
    WindowServices services{sink, busy, prompts, instance, userStore};
    const ProgramEnvironment env{
        sink,         userStore,
        machineStore, languagePrompt,
        busy,         [&services](AppState& state) {
                                     return RunMainWindow(state, services); }};
    return RunProgram(args, env);
}

}  // namespace quillon::app
