#include "app/window/single_instance.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

namespace quillon::app {

namespace {

QString FolderOrRuntime(const QString& folder) {
    if (!folder.isEmpty()) return folder;
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

constexpr int kWaitMs = 2000;
const QByteArray kRaise = "raise\n";
const QByteArray kRaised = "raised\n";
const QByteArray kNoWindow = "none\n";

}  // namespace

SingleInstance::SingleInstance(const QString& folder)
    : socketPath_(QDir(FolderOrRuntime(folder)).filePath(QStringLiteral("quillon.socket"))),
      lock_(QDir(FolderOrRuntime(folder)).filePath(QStringLiteral("quillon.lock"))) {
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::Answer);
}

SingleInstance::~SingleInstance() {
    server_.close();
    if (lock_.isLocked()) lock_.unlock();
}

SingleInstance::Claim SingleInstance::ClaimOrHandOver() {
    if (lock_.tryLock(0)) {
        // The socket of a start that crashed is still there; the lock says
        // nobody listens on it any more.
        QLocalServer::removeServer(socketPath_);
        server_.setSocketOptions(QLocalServer::UserAccessOption);
        (void)server_.listen(socketPath_);
        return Claim::kFirst;
    }
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(kWaitMs)) return Claim::kAlone;
    socket.write(kRaise);
    if (!socket.waitForBytesWritten(kWaitMs)) return Claim::kAlone;
    QByteArray reply;
    while (!reply.endsWith('\n') && socket.waitForReadyRead(kWaitMs)) reply += socket.readAll();
    return reply == kRaised ? Claim::kHandedOver : Claim::kAlone;
}

void SingleInstance::Answer() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            if (!socket->canReadLine()) return;
            if (socket->readLine() != kRaise) {
                socket->disconnectFromServer();
                return;
            }
            if (window_.isNull()) {
                socket->write(kNoWindow);
            } else {
                if (window_->isMinimized()) window_->showNormal();
                window_->raise();
                window_->activateWindow();
                socket->write(kRaised);
            }
            socket->flush();
            socket->disconnectFromServer();
        });
    }
}

}  // namespace quillon::app
