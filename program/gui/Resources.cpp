// Paths and icons of the built-in resources.
#include "Resources.h"

#include <QtGlobal>

// Outside any namespace, as Qt's resource macro needs.
static void initKeyhavenResources() { Q_INIT_RESOURCE(keyhaven); }

namespace Resources {

void Init() {
  static const bool done = (initKeyhavenResources(), true);
  Q_UNUSED(done);
}

QString PicturePath(const QString& component, bool on) {
  Init();
  return QStringLiteral(":/pictures/%1_%2.svg").arg(component, on ? QStringLiteral("on") : QStringLiteral("off"));
}

QIcon Picture(const QString& component, bool on) { return QIcon(PicturePath(component, on)); }

const QStringList& PictureComponents() {
  static const QStringList names = {
      QStringLiteral("cmdAddGroup"), QStringLiteral("cmdEditGroup"), QStringLiteral("cmdDelGroup"),
      QStringLiteral("cmdOpen"),     QStringLiteral("cmdNew"),       QStringLiteral("cmdOptions"),
      QStringLiteral("cmdReport"),   QStringLiteral("cmdFind"),      QStringLiteral("cmdLog"),
      QStringLiteral("cmdExpire"),   QStringLiteral("cmdExit"),      QStringLiteral("cmdAdd"),
      QStringLiteral("cmdEdit"),     QStringLiteral("cmdDelete"),    QStringLiteral("cmdPassword"),
      QStringLiteral("cmdGo"),       QStringLiteral("cmdSaveMemo")};
  return names;
}

QString SoundPath(const QString& name) {
  Init();
  return QStringLiteral(":/sounds/%1.wav").arg(name);
}

QUrl SoundUrl(const QString& name) { return QUrl(QStringLiteral("qrc") + SoundPath(name)); }

const QStringList& SoundNames() {
  static const QStringList names = {QStringLiteral("GRANT"), QStringLiteral("DENY"), QStringLiteral("BUZZ"),
                                    QStringLiteral("MOVE")};
  return names;
}

QIcon AppIcon() {
  Init();
  return QIcon(QStringLiteral(":/icons/keyhaven.svg"));
}

}  // namespace Resources
