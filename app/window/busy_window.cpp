#include "app/window/busy_window.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <exception>
#include <thread>

namespace quillon::app {

namespace {

constexpr int kBarSteps = 1000;
constexpr int kPollMs = 50;

// Runs tasks of the batch's thread on the window's thread.
class WindowThreadHost final : public BatchHost {
  public:
    WindowThreadHost(QObject& receiver, const std::atomic<bool>& stop,
                     std::function<void()> afterTask)
        : receiver_(receiver), stop_(stop), afterTask_(std::move(afterTask)) {}

    void OnWindowThread(const std::function<void()>& task) override {
        // The batch waits, so the task sees no change of the state it uses.
        QMetaObject::invokeMethod(
            &receiver_,
            [&] {
                task();
                afterTask_();
            },
            Qt::BlockingQueuedConnection);
    }
    bool StopRequested() const override { return stop_.load(); }

  private:
    QObject& receiver_;
    const std::atomic<bool>& stop_;
    std::function<void()> afterTask_;
};

}  // namespace

BusyWindow::BusyWindow(const QString& text, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      bar_(new QProgressBar(this)),
      counter_(new QLabel(this)),
      stop_(new QPushButton(QStringLiteral("Stop"), this)) {
    setWindowTitle(QStringLiteral("Quillon"));
    setWindowModality(Qt::ApplicationModal);
    auto* label = new QLabel(text, this);
    label->setObjectName(QStringLiteral("BusyText"));
    label->setAccessibleName(text);
    counter_->setObjectName(QStringLiteral("BusyCounter"));
    counter_->hide();
    bar_->setObjectName(QStringLiteral("BusyProgress"));
    bar_->setAccessibleName(text);
    bar_->setRange(0, kBarSteps);
    bar_->setTextVisible(false);
    stop_->setObjectName(QStringLiteral("BusyStop"));
    stop_->setAccessibleName(stop_->text());
    stop_->setAutoDefault(false);
    stop_->hide();
    auto* top = new QHBoxLayout;
    top->addWidget(label, 1);
    top->addWidget(counter_);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(bar_, 1);
    bottom->addWidget(stop_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(bottom);
    setMinimumWidth(320);
}

void BusyWindow::SetFraction(double fraction) {
    const int value = static_cast<int>(fraction * kBarSteps);
    // The expected number of stages is an estimate: never step back.
    if (value > bar_->value()) bar_->setValue(value);
}

void BusyWindow::ShowBatch(int index, int count, std::atomic<bool>* stop) {
    char text[32];
    std::snprintf(text, sizeof text, "%03d/%03d", index, count);
    counter_->setText(QString::fromLatin1(text));
    counter_->show();
    if (stop != nullptr && stop_->isHidden()) {
        stop_->show();
        connect(stop_, &QPushButton::clicked, this, [this, stop] {
            stop->store(true);
            // Pressed once is enough; the file being written is finished.
            stop_->setEnabled(false);
        });
    }
}

void BusyWindow::closeEvent(QCloseEvent* event) { event->ignore(); }

void QtBusyIndicator::RunShown(BusyWindow& window, const std::function<void()>& work,
                               const std::function<void()>& poll) {
    QEventLoop loop;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            // Handed to the window's thread, which reports it like any other.
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &window, poll);
    timer.start(kPollMs);
    window.show();
    loop.exec();
    worker.join();
    timer.stop();
    window.hide();
    if (owner_) owner_->activateWindow();
    if (failure) std::rethrow_exception(failure);
}

int QtBusyIndicator::Run(std::string_view text,
                         const std::function<int(engine::WorkProgress&)>& work) {
    if (running_) return 1;
    running_ = true;
    BusyWindow window(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                      owner_.data());
    engine::WorkProgress progress;
    int result = 1;
    try {
        RunShown(
            window, [&] { result = work(progress); },
            [&] { window.SetFraction(progress.OverallFraction()); });
    } catch (...) {
        running_ = false;
        throw;
    }
    running_ = false;
    return result;
}

BatchResult QtBusyIndicator::RunBatch(std::string_view text, BatchProgress& progress,
                                      const std::function<BatchResult(BatchHost&)>& work) {
    BatchResult result;
    if (running_) return result;
    running_ = true;
    BusyWindow window(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                      owner_.data());
    std::atomic<bool> stop{false};
    const auto showCounter = [&] {
        window.ShowBatch(progress.FileIndex() + 1, progress.Files(), &stop);
    };
    showCounter();
    WindowThreadHost host(window, stop, showCounter);
    try {
        RunShown(
            window, [&] { result = work(host); },
            [&] {
                showCounter();
                window.SetFraction(progress.Fraction());
            });
    } catch (...) {
        running_ = false;
        throw;
    }
    running_ = false;
    return result;
}

}  // namespace quillon::app
