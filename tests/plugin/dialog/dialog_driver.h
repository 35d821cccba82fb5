#pragma once

// Answers the plug-in's windows from inside its event loops. The plug-in runs
// its dialog in a loop of its own on the test's thread, and may make the
// application object itself; the driver starts with that object (or with the
// test's own) and looks at the screen every few milliseconds: it closes
// message boxes and About boxes, noting their texts, and does to the
// correction dialog what the armed script says. A dialog nobody armed a
// script for is cancelled and counted, so a test never hangs on it.

#include <QDialog>
#include <QImage>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

namespace quillon::plugin_test {

enum class Press { kOk, kCancel, kCloseWindow };

struct DialogScript {
    // Runs first, on the dialog as it opened (resize it, type values, ...).
    std::function<void(QWidget& dialog)> act;
    // Runs on the Options dialog when `act` opens it, which is then closed
    // with OK (without it, with Cancel).
    std::function<void(QDialog& options)> options;
    Press press = Press::kCancel;

    // What was seen.
    int appearances = 0;
    QString title;
    QSize openedSize;
    bool openedMaximized = false;
    QString infoText;
    QString make;    // the Make menu's line
    QImage preview;  // the preview area as drawn
    bool okEnabled = false;
};

class DialogDriver {
  public:
    // The driver of this test binary; starts with the first application object.
    static DialogDriver& Instance();

    // The script for the next dialog; it must outlive the run.
    void Arm(DialogScript* script);
    void Disarm() { script_ = acting_ = nullptr; }
    // Dialogs that appeared without a script, the texts of the message boxes
    // and the headings of the About boxes closed, since the last Arm or Reset.
    int unexpectedDialogs = 0;
    std::vector<std::string> boxes;
    std::vector<std::string> abouts;
    void Reset();

    // The control of the dialog with this identifier's name.
    template <class T>
    static T* Find(QWidget& dialog, const char* name) {
        return dialog.findChild<T*>(QString::fromLatin1(name));
    }
    // Types `text` into the edit named `name` and leaves it with Enter.
    static void Type(QWidget& dialog, const char* name, const QString& text);

    void Tick();

  private:
    DialogScript* script_ = nullptr;
    DialogScript* acting_ = nullptr;  // the script whose dialog is open
    // Guarded: the next run's dialog may be made where the last one was.
    QPointer<QWidget> handled_;
    QPointer<QWidget> waiting_;
    int waitedTicks_ = 0;
};

}  // namespace quillon::plugin_test
