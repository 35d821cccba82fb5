#include "app/window/busy_window.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>
#include <thread>

namespace quillon::app {

namespace {

constexpr int kBarSteps = 1000;
constexpr int kPollMs = 50;

}  // namespace

BusyWindow::BusyWindow(const QString& text, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      bar_(new QProgressBar(this)) {
    setWindowTitle(QStringLiteral("Quillon"));
    setWindowModality(Qt::ApplicationModal);
    auto* label = new QLabel(text, this);
    label->setObjectName(QStringLiteral("BusyText"));
    label->setAccessibleName(text);
    bar_->setObjectName(QStringLiteral("BusyProgress"));
    bar_->setAccessibleName(text);
    bar_->setRange(0, kBarSteps);
    bar_->setTextVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(bar_);
    setMinimumWidth(320);
}

void BusyWindow::SetFraction(double fraction) {
    const int value = static_cast<int>(fraction * kBarSteps);
    // The expected number of stages is an estimate: never step back.
    if (value > bar_->value()) bar_->setValue(value);
}

void BusyWindow::closeEvent(QCloseEvent* event) { event->ignore(); }

int QtBusyIndicator::Run(std::string_view text,
                         const std::function<int(engine::WorkProgress&)>& work) {
    if (running_) return 1;
    running_ = true;
    BusyWindow window(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                      owner_.data());
    engine::WorkProgress progress;
    QEventLoop loop;
    int result = 1;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            result = work(progress);
        } catch (...) {
            // Handed to the window's thread, which reports it like any other.
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &window,
                     [&] { window.SetFraction(progress.OverallFraction()); });
    poll.start(kPollMs);
    window.show();
    loop.exec();
    worker.join();
    poll.stop();
    window.hide();
    if (owner_) owner_->activateWindow();
    running_ = false;
    if (failure) std::rethrow_exception(failure);
    return result;
}

}  // namespace quillon::app
