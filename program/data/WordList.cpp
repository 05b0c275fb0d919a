#include "WordList.h"

#include <QFile>

// The list is compiled into this static library; make sure its resource is
// registered before the first read.
static void registerWordResource() {
  static const bool registered = [] {
    Q_INIT_RESOURCE(words);
    return true;
  }();
  (void)registered;
}

namespace WordList {

QByteArray Raw() {
  registerWordResource();
  QFile file(QStringLiteral(":/words/TXTWORDS"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

namespace {

QStringList split(const QByteArray& raw) {
  QStringList words;
  words.reserve(raw.count('\n'));
  qsizetype start = 0;
  while (start < raw.size()) {
    qsizetype end = raw.indexOf('\n', start);
    if (end < 0) end = raw.size();
    qsizetype stop = end;
    if (stop > start && raw.at(stop - 1) == '\r') --stop;
    words.append(QString::fromLatin1(raw.constData() + start, stop - start));
    start = end + 1;
  }
  return words;
}

}  // namespace

const QStringList& Load() {
  static const QStringList words = split(Raw());
  return words;
}

}  // namespace WordList
