// The program directory and the help directory.
#include "ProgramDirs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>

#include "platform/dirs.h"

namespace ProgramDirs {
namespace {

QString executableDirectory() {
  // programDirectory() gives $KEYHAVEN_HOME first; read the executable's own
  // (once: the running program cannot move).
  static const QString dir = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath();
  return dir;
}

QString userDirectory() {
  const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
  const QString base = xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : QString::fromLocal8Bit(xdg);
  return base + QStringLiteral("/keyhaven");
}

}  // namespace

QString ProgramDirectory() {
  const QByteArray home = qgetenv("KEYHAVEN_HOME");
  if (!home.isEmpty()) return QString::fromStdString(kh::win::programDirectory());
  const QString exeDir = executableDirectory();
  if (access(QFile::encodeName(exeDir).constData(), W_OK) == 0) return exeDir;
  const QString dir = userDirectory();
  kh::win::createDirectories(QFile::encodeName(dir).toStdString(), 0700);
  return dir;
}

QString HelpDirectory() {
  QStringList candidates;
  const QByteArray home = qgetenv("KEYHAVEN_HOME");
  if (!home.isEmpty()) candidates << QString::fromLocal8Bit(home) + QStringLiteral("/help");
  const QString exeDir = executableDirectory();
  candidates << exeDir + QStringLiteral("/help");
  candidates << QDir::cleanPath(exeDir + QStringLiteral("/../share/keyhaven/help"));
  for (const QString& dir : candidates)
    if (QFileInfo(dir).isDir()) return dir;
  return candidates.last();
}

}  // namespace ProgramDirs
