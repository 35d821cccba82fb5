#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

// One window of the program per user: the first start holds a lock in the
// user's runtime folder and listens on a local socket beside it; a second
// start finds the lock taken, asks the first to bring its window forward and
// ends. A lock left by a program that crashed is taken over.

namespace quillon::app {

class SingleInstance : public QObject {
    Q_OBJECT

  public:
    enum class Claim {
        kFirst,       // this start holds the lock and answers later starts
        kHandedOver,  // another start raised its window: this one ends
        kAlone,       // another start holds the lock but shows no window: go on
    };

    // `folder` is where the lock and the socket live; empty means the user's
    // runtime folder.
    explicit SingleInstance(const QString& folder = {});
    ~SingleInstance() override;

    Claim ClaimOrHandOver();
    // The window raised when a later start asks; none while no window is open.
    void SetWindow(QWidget* window) { window_ = window; }

  private:
    void Answer();

    QString socketPath_;
    QLockFile lock_;
    QLocalServer server_;
    QPointer<QWidget> window_;
};

}  // namespace quillon::app
