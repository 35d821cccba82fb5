#pragma once

#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>

#include "app/startup.h"

// The busy window: a small modal window with a text and a progress bar, shown
// while a full image is corrected and written. The work runs on a thread of
// its own, so the windows keep drawing, and the bar follows the bands of the
// remap and the vignetting as they finish.

namespace quillon::app {

class BusyWindow : public QDialog {
    Q_OBJECT

  public:
    BusyWindow(const QString& text, QWidget* owner);
    void SetFraction(double fraction);

  protected:
    // The work cannot be interrupted: the window only goes when it is done.
    void reject() override {}
    void closeEvent(QCloseEvent* event) override;

  private:
    QProgressBar* bar_;
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

  private:
    QPointer<QWidget> owner_;
    bool running_ = false;
};

}  // namespace quillon::app
