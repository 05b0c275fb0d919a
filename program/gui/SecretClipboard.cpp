#include "SecretClipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QCryptographicHash>
#include <QMimeData>
#include <QTimer>

#include "data/Settings.h"

namespace SecretClipboard {
namespace {

// The most a delay may be (one day); longer values count as that.
constexpr int kMaxSeconds = 24 * 60 * 60;

struct State {
  QByteArray hash;  // of the secret last copied; empty when none is pending
  QTimer* timer = nullptr;
};

State& state() {
  static State s;
  return s;
}

QByteArray hashOf(const QString& text) {
  return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256);
}

}  // namespace

int ClearDelaySeconds() {
  const int seconds = Settings::ReadInt(QStringLiteral("Options"), QStringLiteral("clipboard"), kDefaultSeconds);
  if (seconds < 0) return kDefaultSeconds;
  return std::min(seconds, kMaxSeconds);
}

void Copy(const QString& text) {
  if (text.isEmpty()) return;
  auto* data = new QMimeData;
  data->setText(text);
  data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
  QGuiApplication::clipboard()->setMimeData(data);

  State& s = state();
  const int seconds = ClearDelaySeconds();
  // With 0 the secret stays until the user replaces it.
  s.hash = seconds > 0 ? hashOf(text) : QByteArray();
  if (!s.timer) {
    s.timer = new QTimer(qApp);
    s.timer->setSingleShot(true);
    QObject::connect(s.timer, &QTimer::timeout, [] { ClearIfStillHeld(); });
    // A secret still held when the program ends goes with it.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { ClearIfStillHeld(); });
  }
  s.timer->stop();
  if (seconds > 0) s.timer->start(seconds * 1000);
}

void ClearIfStillHeld() {
  State& s = state();
  if (s.timer) s.timer->stop();
  if (s.hash.isEmpty()) return;
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (hashOf(clipboard->text()) == s.hash) clipboard->clear();
  s.hash.clear();
}

}  // namespace SecretClipboard
