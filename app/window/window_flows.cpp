#include "app/window/window_flows.h"

#include <QApplication>

#include "app/window_core/viewer.h"
#include "platform/paths.h"

namespace quillon::app {

namespace {

// The window's result when the editor could not write a file: the caller (a
// script, a file manager) must not take the run for a success.
constexpr int kWriteFailed = 1;

constexpr int kTextCorrectingImage = 0;

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

void BrowserFlow::Start(MainWindow& window) {
    browser_ = std::make_unique<FileBrowser>(window.session());
    window.SyncArea();
    browser_->Fill();
    ShowBrowser(window);
    window.FocusFileList();
}

void BrowserFlow::ShowBrowser(MainWindow& window) {
    window.ShowFileNames(browser_->Names());
    window.SelectRows(browser_->Selected(), false);
    window.SetStatusText(QString::fromStdString(browser_->StatusText()));
    window.RefreshAll();
}

void BrowserFlow::Ok(MainWindow& window) {
    if (!browser_) return;
    WindowSession& session = window.session();
    const std::vector<std::string> names = browser_->BatchNames();
    if (names.empty() || session.Busy()) return;
    session.SetBusy(true);
    window.RefreshAll();
    BatchProgress progress(static_cast<int>(names.size()));
    // What a step on the window's thread changed (the photo shown, the status
    // bar) is shown before the batch goes on.
    class ShowingHost final : public BatchHost {
      public:
        ShowingHost(BatchHost& host, MainWindow& window, FileBrowser& browser)
            : host_(host), window_(window), browser_(browser) {}
        void OnWindowThread(const std::function<void()>& task) override {
            host_.OnWindowThread([&] {
                task();
                window_.SetStatusText(QString::fromStdString(browser_.StatusText()));
                window_.RefreshAll();
            });
        }
        bool StopRequested() const override { return host_.StopRequested(); }

      private:
        BatchHost& host_;
        MainWindow& window_;
        FileBrowser& browser_;
    };
    const imageio::ImageFileOptions options = browser_->BatchOptions();
    const BatchResult result = window.busy().RunBatch(
        window.Text(kTextCorrectingImage).toStdString(), progress, [&](BatchHost& host) {
            ShowingHost showing(host, window, *browser_);
            return browser_->RunBatch(names, options, showing, progress);
        });
    session.SetBusy(false);
    if (result.written > 0) window.setWindowTitle(QString::fromStdString(WindowTitle()));
    browser_->FinishBatch(result);
    ShowBrowser(window);
    window.FocusFileList();
}

void BrowserFlow::Cancel(MainWindow& window) { window.Finish(0); }

void BrowserFlow::ChooseDirectory(MainWindow& window) {
    if (!browser_) return;
    WindowSession& session = window.session();
    // Alt with the button writes the diagnostic dump instead.
    if (QApplication::keyboardModifiers().testFlag(Qt::AltModifier)) {
        session.DumpSettings();
        return;
    }
    const auto chosen =
        window.prompts().ChooseFolder(&window, QString::fromStdString(browser_->Folder()));
    if (!chosen) return;
    browser_->ChooseFolder(chosen->toStdString());
    ShowBrowser(window);
}

void BrowserFlow::SelectionChanged(MainWindow& window) {
    if (!browser_ || window.session().Busy()) return;
    const WaitCursor waiting;
    window.SyncArea();
    browser_->Select(window.SelectedRows());
    window.SetStatusText(QString::fromStdString(browser_->StatusText()));
    window.RefreshAll();
}

void BrowserFlow::SelectAll(MainWindow& window) {
    if (!browser_) return;
    std::vector<int> rows(browser_->Names().size());
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<int>(i);
    window.SelectRows(rows, true);
}

void BrowserFlow::Refresh(MainWindow& window) {
    if (!browser_) return;
    browser_->Refresh();
    ShowBrowser(window);
}

void BrowserFlow::DeleteSelected(MainWindow& window) {
    if (!browser_) return;
    const QString question = window.Text(kTextDeleteQuestion);
    if (!window.prompts().AskOkCancel(&window, kQuestionCaption, question)) return;
    // Into the trash, never unlinked: the desktop can bring them back.
    (void)browser_->DeleteSelected([&window](const std::string& path) {
        return window.prompts().MoveToTrash(QString::fromStdString(path));
    });
    ShowBrowser(window);
}

void BrowserFlow::OpenInViewer(MainWindow& window) {
    if (!browser_ || browser_->Selected().empty()) return;
    WindowSession& session = window.session();
    settings::SettingsValues& values = session.state().stored.values;
    // Until a viewer that exists is chosen, or the user leaves it unset.
    while (!platform::FileExists(values.viewerPath)) {
        values.viewerPath.clear();
        session.sink().Show(session.state().session.strings.Text(kTextSelectViewer));
        window.EditOptions();
        if (values.viewerPath.empty()) return;
    }
    const std::string& name =
        browser_->Names()[static_cast<std::size_t>(browser_->Selected().front())];
    const auto launch = ViewerLaunchFor(values.viewerPath, browser_->PathOf(name));
    if (!launch) return;
    QStringList arguments;
    for (const std::string& argument : launch->arguments) {
        arguments << QString::fromStdString(argument);
    }
    // A viewer that cannot be started says nothing.
    (void)window.prompts().StartDetached(QString::fromStdString(launch->program), arguments,
                                         QString::fromStdString(launch->folder));
}

}  // namespace quillon::app
