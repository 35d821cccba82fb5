#include "tests/plugin/dialog/dialog_driver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>

namespace quillon::plugin_test {

namespace {

constexpr int kTickMs = 10;
constexpr int kPatienceTicks = 200;

// Starts the ticks with the application object, whoever makes it.
void StartTicking() {
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, [] { DialogDriver::Instance().Tick(); });
    timer->start(kTickMs);
}
Q_COREAPP_STARTUP_FUNCTION(StartTicking)

bool ImageShown(QWidget& dialog) {
    // The information box is filled once the document is shown.
    auto* info = DialogDriver::Find<QPlainTextEdit>(dialog, "InfoBox");
    return info != nullptr && !info->toPlainText().isEmpty();
}

}  // namespace

DialogDriver& DialogDriver::Instance() {
    static DialogDriver driver;
    return driver;
}

void DialogDriver::Arm(DialogScript* script) {
    Reset();
    script_ = script;
    acting_ = nullptr;
}

void DialogDriver::Reset() {
    unexpectedDialogs = 0;
    boxes.clear();
    abouts.clear();
}

void DialogDriver::Type(QWidget& dialog, const char* name, const QString& text) {
    auto* edit = Find<QLineEdit>(dialog, name);
    if (edit == nullptr) return;
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

void DialogDriver::Tick() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (!widget->isVisible()) continue;
        // Message boxes and the About box: noted and closed.
        if (auto* box = qobject_cast<QMessageBox*>(widget)) {
            boxes.push_back(box->text().toStdString());
            box->done(QMessageBox::Ok);
            continue;
        }
        auto* dialog = qobject_cast<QDialog*>(widget);
        // The first-run language question: its Cancel keeps English.
        if (dialog != nullptr && widget->objectName() == QStringLiteral("LANG")) {
            dialog->reject();
            continue;
        }
        if (dialog != nullptr && widget->objectName() == QStringLiteral("ABOUT")) {
            if (auto* heading = Find<QLabel>(*dialog, "AboutHeading")) {
                abouts.push_back(heading->text().toStdString());
            }
            dialog->accept();
            continue;
        }
        if (dialog != nullptr && widget->objectName() == QStringLiteral("OPTIONS")) {
            if (acting_ != nullptr && acting_->options) {
                acting_->options(*dialog);
                dialog->accept();
            } else {
                dialog->reject();
            }
            continue;
        }
        if (widget->objectName() != QStringLiteral("MAINDIALOG") || widget == handled_) continue;
        // Once the document is shown; a dialog that cannot show it is
        // answered after a while all the same.
        if (widget != waiting_) {
            waiting_ = widget;
            waitedTicks_ = 0;
        }
        if (!ImageShown(*widget) && ++waitedTicks_ < kPatienceTicks) continue;
        handled_ = widget;
        DialogScript* script = script_;
        script_ = nullptr;
        acting_ = script;
        const char* button = "Cancel";
        if (script == nullptr) {
            ++unexpectedDialogs;
        } else {
            ++script->appearances;
            script->title = widget->windowTitle();
            script->openedSize = widget->size();
            script->openedMaximized = widget->isMaximized();
            if (script->act) {
                // The act may open a modal dialog (Options); the ticking
                // timer is not fired again inside its own slot, so one of
                // the act's own answers that dialog.
                QTimer nested;
                QObject::connect(&nested, &QTimer::timeout, [this] { Tick(); });
                nested.start(kTickMs);
                script->act(*widget);
            }
            if (auto* info = Find<QPlainTextEdit>(*widget, "InfoBox")) {
                script->infoText = info->toPlainText();
            }
            if (auto* make = Find<QComboBox>(*widget, "MakeMenu")) {
                script->make = make->currentText();
            }
            if (auto* area = Find<QWidget>(*widget, "PreviewArea")) {
                script->preview = area->grab().toImage();
            }
            auto* ok = Find<QAbstractButton>(*widget, "PluginOk");
            script->okEnabled = ok != nullptr && ok->isEnabled();
            if (script->press == Press::kOk) button = "PluginOk";
            if (script->press == Press::kCloseWindow) {
                QMetaObject::invokeMethod(widget, "close", Qt::QueuedConnection);
                return;
            }
        }
        // The press comes after this tick, so the dialog's work (the busy
        // window's loop among it) does not run inside it.
        if (auto* target = Find<QAbstractButton>(*widget, button)) {
            QMetaObject::invokeMethod(target, "click", Qt::QueuedConnection);
        }
        return;
    }
}

}  // namespace quillon::plugin_test

// The application object the plug-in makes lives until the process ends, and
// with it the font library's cache, which the leak checker cannot see held.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
