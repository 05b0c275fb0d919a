#include "SingleInstance.h"

#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace {

const QByteArray kComeForward = QByteArrayLiteral("come-forward\n");

// Where the lock lives: the user's runtime directory, else the temporary one
// (the name carries the user id there).
QString lockDirectory() {
  const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

}  // namespace

TSingleInstance::TSingleInstance(const QString& executableName, QObject* parent)
    : QObject(parent), serverName_(executableName + QStringLiteral("-") + QString::number(::getuid())) {}

TSingleInstance::~TSingleInstance() {
  if (server_) server_->close();
}

bool TSingleInstance::TryLock() {
  lock_ = std::make_unique<QLockFile>(lockDirectory() + QStringLiteral("/") + serverName_ + QStringLiteral(".lock"));
  // A lock left by a copy that died is taken over (the file names its process).
  lock_->setStaleLockTime(0);
  if (lock_->tryLock(0)) return true;
  lock_.reset();
  return false;
}

bool TSingleInstance::AskFirstToComeForward(int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(serverName_);
  if (!socket.waitForConnected(timeoutMs)) return false;
  socket.write(kComeForward);
  socket.flush();
  const bool written = socket.waitForBytesWritten(timeoutMs) || socket.bytesToWrite() == 0;
  socket.disconnectFromServer();
  return written;
}

bool TSingleInstance::Listen() {
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  // A socket file left by a copy that died would block the name.
  QLocalServer::removeServer(serverName_);
  if (!server_->listen(serverName_)) return false;
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (socket->readAll().contains(kComeForward.trimmed())) emit comeForwardRequested();
      });
    }
  });
  return true;
}
