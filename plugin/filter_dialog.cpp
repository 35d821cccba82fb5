#include "plugin/filter_dialog.h"

#include <QEventLoop>
#include <memory>

#include "app/window/display_profile.h"

namespace quillon::plugin {

void FilterDialogFlow::Start(app::MainWindow& window) {
    window.SyncArea();
    // The host's document has no file name that could hint at its colour
    // space; its metadata and the host's profile speak for it.
    (void)window.session().ShowImageInMemory(std::string(), request_.readMetadata);
    window.RefreshAll();
}

void FilterDialogFlow::Ok(app::MainWindow& window) {
    // A failure has shown its message and set the host's result; the
    // dialog closes either way, as the program's editor does.
    (void)window.WhileBusy([this] { return request_.correctAndWrite() ? 0 : 1; });
    answer_ = DialogAnswer::kOk;
    window.Finish(0);
}

void FilterDialogFlow::Cancel(app::MainWindow& window) {
    answer_ = DialogAnswer::kCancel;
    window.Finish(0);
}

DialogAnswer RunFilterDialog(DialogRequest& request, app::QtBusyIndicator& busy,
                             app::WindowPrompts& prompts, platform::MessageSink& sink) {
    DialogAnswer answer = DialogAnswer::kCancel;
    app::WindowSession session(request.state, sink);
    session.preview().displayProfile = app::DisplayIccProfile();
    // The dialog has no Directory button, whose Alt-click writes the dump.
    session.SetSettingsActions({request.savePreferences, {}});
    app::MainWindow window(session, app::WindowVariant::kFilterDialog,
                           std::make_unique<FilterDialogFlow>(request, answer), busy, prompts);
    busy.SetOwner(&window);
    QEventLoop loop;
    QObject::connect(&window, &app::MainWindow::finished, &loop, &QEventLoop::quit);
    window.ShowPlaced();
    loop.exec();
    busy.SetOwner(nullptr);
    return answer;
}

}  // namespace quillon::plugin
