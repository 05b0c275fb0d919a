// Helpers for driving the program's windows in tests: act on a modal dialog
// once it is on screen, and type into boxes as a user does.
#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QPointer>
#include <QPushButton>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace shelltest {

// Runs `act` on the next modal dialog of type T to appear (within
// `timeoutMs`). Schedule it before the call that opens the dialog.
template <class T>
void whenShown(std::function<void(T*)> act, int timeoutMs = 10000) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  const QDeadlineTimer deadline(timeoutMs);
  QObject::connect(timer, &QTimer::timeout, [timer, act, deadline] {
    if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      act(w);
    } else if (deadline.hasExpired()) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start();
}

// Clears the box and types `text` key by key, as a user would.
inline void typeInto(QLineEdit* box, const QString& text) {
  box->setFocus();
  box->selectAll();
  QTest::keyClick(box, Qt::Key_Delete);
  QTest::keyClicks(box, text);
}

// Picks `path` in an open or save dialog and confirms it.
// The dialog's directory listing fills in the background; until then a
// confirmation may be ignored, so it is repeated until the dialog closes.
inline void chooseFile(QFileDialog* dialog, const QString& path) {
  QPointer<QFileDialog> d(dialog);
  auto* timer = new QTimer;
  timer->setInterval(50);
  const QDeadlineTimer deadline(10000);
  auto seen = std::make_shared<bool>(false);
  QObject::connect(timer, &QTimer::timeout, [timer, d, path, deadline, seen] {
    if (!d || (*seen && !d->isVisible()) || deadline.hasExpired()) {
      timer->stop();
      timer->deleteLater();
      return;
    }
    if (!d->isVisible()) return;
    *seen = true;
    // As a user: the full path typed into the file name box, then Enter.
    if (auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
      name->setText(path);
      QTest::keyClick(name, Qt::Key_Return);
    } else {
      d->selectFile(path);
      QMetaObject::invokeMethod(d, "accept");
    }
  });
  timer->start();
}

}  // namespace shelltest
