#include "app/window/message_box_sink.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace quillon::app {

namespace {

void ShowBox(const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

}  // namespace

void WindowMessageSink::Show(std::string_view text, std::string_view caption) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!windowRunning_ || app == nullptr) {
        withoutWindow_.Show(text, caption);
        return;
    }
    const QString boxText = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const QString boxCaption =
        QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
    if (QThread::currentThread() == app->thread()) {
        ShowBox(boxText, boxCaption);
        return;
    }
    // The caller (a correction's thread) waits until the box is answered, so
    // that messages keep their order and the work does not run on past them.
    QMetaObject::invokeMethod(
        app, [&] { ShowBox(boxText, boxCaption); }, Qt::BlockingQueuedConnection);
}

}  // namespace quillon::app
