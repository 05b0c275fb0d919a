// One running copy per user: a lock file held for the life of the first copy
// and a local socket named after the executable's file name, through which a
// second copy asks the first to come to the front before it ends.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QLockFile;

class TSingleInstance : public QObject {
  Q_OBJECT

 public:
  // `executableName`: the executable's file name as started, without its
  // directory.
  explicit TSingleInstance(const QString& executableName, QObject* parent = nullptr);
  ~TSingleInstance() override;

  // Takes the per-user lock; false when another copy holds it.
  bool TryLock();
  // A second copy: asks the first to come to the front. True when the first
  // answered the connection.
  bool AskFirstToComeForward(int timeoutMs = 2000);
  // The first copy: listens for later copies.
  bool Listen();

  const QString& ServerName() const noexcept { return serverName_; }

 signals:
  void comeForwardRequested();

 private:
  QString serverName_;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer* server_ = nullptr;
};
