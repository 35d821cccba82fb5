#pragma once

#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <atomic>

#include "app/startup.h"
#include "app/window_core/file_browser.h"

// The busy window: a small modal window with a text and a progress bar, shown
// while a full image is corrected and written. The work runs on a thread of
// its own, so the windows keep drawing, and the bar follows the bands of the
// remap and the vignetting as they finish. A batch of files adds the file
// counter and a Stop button, which ends the batch after the file being
// written.

namespace quillon::app {

class BusyWindow : public QDialog {
    Q_OBJECT

  public:
    BusyWindow(const QString& text, QWidget* owner);
    void SetFraction(double fraction);
    // Shows "%03d/%03d" for file `index` (1-based) of `count` and the Stop
    // button, which sets `stop`.
    void ShowBatch(int index, int count, std::atomic<bool>* stop);

  protected:
    // The work cannot be interrupted: the window only goes when it is done.
    void reject() override {}
    void closeEvent(QCloseEvent* event) override;

  private:
    QProgressBar* bar_;
    QLabel* counter_;
    QPushButton* stop_;
};

class QtBusyIndicator final : public BusyIndicator {
  public:
    // The window the busy window belongs to (it is centred on it and gives
    // the focus back to it); none for the quiet mode.
    void SetOwner(QWidget* owner) { owner_ = owner; }
    bool Running() const { return running_; }

    // Shows the busy window and runs `work` on a thread of its own until it
    // ends; events are handled meanwhile. A second call while one runs
    // answers 1 without running anything: one correction at a time.
    int Run(std::string_view text, const std::function<int(engine::WorkProgress&)>& work) override;

    // The same for a batch of several files: the window counts the files and
    // has a Stop button; `work` runs on its own thread and reaches the
    // window's thread through the host it is handed.
    BatchResult RunBatch(std::string_view text, BatchProgress& progress,
                         const std::function<BatchResult(BatchHost&)>& work);

  private:
    // Runs `work` on a thread of its own with `window` shown until it ends,
    // updating the window from `poll` meanwhile.
    void RunShown(BusyWindow& window, const std::function<void()>& work,
                  const std::function<void()>& poll);

    QPointer<QWidget> owner_;
    bool running_ = false;
};

}  // namespace quillon::app
