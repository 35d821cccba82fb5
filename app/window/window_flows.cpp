#include "app/window/window_flows.h"

namespace quillon::app {

namespace {

// The window's result when the editor could not write a file: the caller (a
// script, a file manager) must not take the run for a success.
constexpr int kWriteFailed = 1;

}  // namespace

void EditorFlow::Start(MainWindow& window) { window.OpenNextFile(); }

void EditorFlow::Ok(MainWindow& window) {
    WindowSession& session = window.session();
    const settings::SettingsValues& values = session.state().stored.values;
    imageio::ImageFileOptions options;
    options.interactiveMode = false;  // the file is written over itself
    options.suffix = values.suffix;
    options.jpegQuality = values.jpegQuality;
    if (window.CorrectAndWrite(options) != 0) {
        window.Finish(kWriteFailed);
        return;
    }
    if (session.AtLastFile()) {
        window.Finish(0);
        return;
    }
    window.OpenNextFile();
}

void EditorFlow::Cancel(MainWindow& window) {
    if (window.session().AtLastFile() ||
        !window.prompts().AskYesNo(&window, kQuestionCaption, kContinueQuestion)) {
        window.Finish(0);
        return;
    }
    window.OpenNextFile();
}

void BrowserFlow::Ok(MainWindow& window) {
    // Apply corrects the files selected in the list, which the folder browser
    // fills; without it no image is shown and Apply stays disabled.
    (void)window;
}

void BrowserFlow::Cancel(MainWindow& window) { window.Finish(0); }

}  // namespace quillon::app
