// The plug-in's interface with widgets: message boxes, the first-run language
// window, the busy window, the correction dialog and the About box.
//
// The host may be a widget application itself; then its application object
// serves, on the thread the host calls in on. Otherwise the plug-in makes one
// the first time a display can be opened, and keeps it for the host's later
// runs: the toolkit allows only one, and not again once it has gone (the
// plug-in is linked to stay loaded for the same reason).

#include <QApplication>
#include <QThread>
#include <clocale>
#include <memory>
#include <string>

#include "app/display.h"
#include "app/window/about_dialog.h"
#include "app/window/busy_window.h"
#include "app/window/language_window.h"
#include "app/window/main_window.h"
#include "app/window/message_box_sink.h"
#include "plugin/filter_dialog.h"
#include "plugin/plugin_ui.h"

namespace quillon::plugin {

namespace {

// The application object the plug-in made; reachable for as long as the
// process lives, as the toolkit needs it.
QApplication* ownApplication = nullptr;

// Whether widgets can be shown from this thread, making the application
// object when the host has none.
bool WidgetsUsable() {
    if (QCoreApplication* existing = QCoreApplication::instance()) {
        // A host with an application object but without widgets, or one that
        // calls from another thread than its widgets', gets no dialog.
        return qobject_cast<QApplication*>(existing) != nullptr &&
               existing->thread() == QThread::currentThread();
    }
    if (!app::DisplayAvailable()) return false;
    static int argc = 1;
    static char name[] = "Quillon";
    static char* argv[] = {name, nullptr};
    // The toolkit sets the process's locale from the environment; the host's
    // own choice stays in force.
    const char* current = std::setlocale(LC_ALL, nullptr);
    const std::string hostLocale = current != nullptr ? current : "C";
    ownApplication = new QApplication(argc, argv);
    std::setlocale(LC_ALL, hostLocale.c_str());
    // Closing the dialog must not end the host's event loop.
    QApplication::setQuitOnLastWindowClosed(false);
    return true;
}

class QtPluginUi final : public PluginUi {
  public:
    QtPluginUi() : sink_(stderr_) { sink_.SetWindowRunning(true); }

    platform::MessageSink& Sink() override { return sink_; }
    settings::LanguagePrompt& LanguagePrompt() override { return languagePrompt_; }
    app::BusyIndicator& Busy() override { return busy_; }

    DialogAnswer RunDialog(DialogRequest& request) override {
        return RunFilterDialog(request, busy_, prompts_, sink_);
    }

    // The box writes its heading itself, for the build it is part of.
    void ShowAbout(std::string_view, std::uintptr_t) override {
        app::ShowAboutDialog(nullptr, app::AboutVariant::kPlugin);
    }

    void OnHostThread(const std::function<void()>& call) override {
        QCoreApplication* application = QCoreApplication::instance();
        if (QThread::currentThread() == application->thread()) {
            call();
            return;
        }
        // The host's thread runs the busy window's event loop meanwhile.
        QMetaObject::invokeMethod(
            application, [&call] { call(); }, Qt::BlockingQueuedConnection);
    }

  private:
    platform::StderrSink stderr_;
    app::WindowMessageSink sink_;
    app::QtLanguagePrompt languagePrompt_;
    app::QtBusyIndicator busy_;
    app::WindowPrompts prompts_;
};

}  // namespace

std::unique_ptr<PluginUi> CreatePluginUi() {
    if (!WidgetsUsable()) return CreateTextUi();
    return std::make_unique<QtPluginUi>();
}

}  // namespace quillon::plugin
