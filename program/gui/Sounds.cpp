// Sounds through Qt Multimedia; one effect object per sound, made on first use.
#include "Sounds.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

#include "Resources.h"

namespace {

QStringList& requested() {
  static QStringList list;
  return list;
}

bool audioOutputExists() {
  static const bool exists = !QMediaDevices::audioOutputs().isEmpty();
  return exists;
}

}  // namespace

namespace Sounds {

void Play(const QString& name) {
  requested().append(name);
  const QString resource = Resources::SoundPath(name);
  if (!QFile::exists(resource) || !audioOutputExists()) return;
  static QHash<QString, QSoundEffect*> effects;
  QSoundEffect*& effect = effects[name];
  if (!effect) {
    effect = new QSoundEffect(QCoreApplication::instance());
    effect->setSource(Resources::SoundUrl(name));
  }
  effect->play();
}

const QStringList& Requested() { return requested(); }

void ClearRequested() { requested().clear(); }

}  // namespace Sounds
