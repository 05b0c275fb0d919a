// Appending, trimming and clearing the access log. Writes go through a
// sibling file renamed over the log, so a failure never leaves half a log.
#include "AccessLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "DataSetSupport.h"
#include "ProgramDirs.h"
#include "platform/oledate.h"

namespace AccessLog {
namespace {

[[noreturn]] void fail(const QString& what) {
  throw EAccessLogError(QStringLiteral("%1 %2: %3").arg(what, FilePath(), QString::fromLocal8Bit(std::strerror(errno))));
}

void writeAll(int fd, const QByteArray& data) {
  qsizetype done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.constData() + done, static_cast<size_t>(data.size() - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      errno = err;
      fail(QStringLiteral("Unable to write to"));
    }
    done += n;
  }
}

// Replaces the log with `data` through a synced sibling file.
void replaceWith(const QByteArray& data) {
  const QByteArray path = QFile::encodeName(FilePath());
  const QByteArray tmp = path + ".tmp";
  const int fd = ::open(tmp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) fail(QStringLiteral("Unable to write to"));
  writeAll(fd, data);
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    ::unlink(tmp.constData());
    fail(QStringLiteral("Unable to write to"));
  }
  if (::rename(tmp.constData(), path.constData()) != 0) {
    const int err = errno;
    ::unlink(tmp.constData());
    errno = err;
    fail(QStringLiteral("Unable to write to"));
  }
}

}  // namespace

QString FilePath() { return ProgramDirs::ProgramDirectory() + QStringLiteral("/log.txt"); }

QString Line(double when, const QString& displayName, bool success) {
  return QString::fromStdString(kh::formatLocalDateTime(when)) + QStringLiteral(" ... ") + displayName +
         (success ? QStringLiteral(" ... success") : QStringLiteral(" ... failed"));
}

void Append(const QString& displayName, bool success) {
  const QString text = Line(kh::oleDateNow(), displayName, success);
  std::string line;
  // A display name comes from a path the program accepted, so it is held in
  // Windows-1252; anything else is written as '?' rather than lost.
  if (!keyhaven::data::toAnsi(text, line)) line = text.toLatin1().toStdString();
  line += "\r\n";
  const QByteArray path = QFile::encodeName(FilePath());
  const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) fail(QStringLiteral("Unable to write to"));
  writeAll(fd, QByteArray::fromStdString(line));
  if (::close(fd) != 0) fail(QStringLiteral("Unable to write to"));
}

void Trim(int lines) {
  QFile file(FilePath());
  if (!file.exists()) return;
  if (!file.open(QIODevice::ReadOnly)) fail(QStringLiteral("Unable to read"));
  const QByteArray data = file.readAll();
  file.close();
  // Lines end in CR LF (a bare LF is taken as a line end too).
  qsizetype pos = 0;
  for (int i = 0; i < lines && pos < data.size(); ++i) {
    const qsizetype lf = data.indexOf('\n', pos);
    pos = lf < 0 ? data.size() : lf + 1;
  }
  QByteArray rest = data.mid(pos);
  // Every remaining line is written back ended by CR LF.
  if (!rest.isEmpty() && !rest.endsWith('\n')) rest += "\r\n";
  replaceWith(rest);
}

void TrimAtStartup() {
  const QFileInfo info(FilePath());
  if (info.exists() && info.size() > kStartupTrimSize) Trim(kStartupTrimLines);
}

void Clear() { replaceWith(QByteArray()); }

QString ReadText() {
  QFile file(FilePath());
  if (!file.open(QIODevice::ReadOnly)) fail(QStringLiteral("Unable to read"));
  return keyhaven::data::fromAnsi(file.readAll().toStdString());
}

QString EntryCountText(int lines) {
  if (lines < 1) return QStringLiteral(" No entries");
  if (lines == 1) return QStringLiteral(" 1 log entry");
  return QStringLiteral(" %1 log entries").arg(lines);
}

}  // namespace AccessLog
