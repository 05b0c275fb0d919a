// The main window for the tests of the group and account commands, and the
// way they open the test's database.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "gui/AccountCommands.h"
#include "gui/Main.h"
#include "gui/NameDialog.h"

// The real main window, with its account commands and the widgets they act
// on within reach of the tests.
class TAccountTestHost : public TfrmMain {
 public:
  explicit TAccountTestHost(TDM& dm) : TfrmMain(dm), w(Accounts().Widgets()), commands(&Accounts()) {}

  TAccountWidgets w;
  TAccountCommands* commands;
};

// Opens the data module's database through the main window, as the
// master-password prompt does.
inline void OpenTestDatabase(TfrmMain& window, const QString& password) {
  QVERIFY2(window.OpenDatabase(password), "the test database did not open");
}

// Runs `act` on the next modal name dialog once it shows (the command that
// opens it is running its modal loop meanwhile). `act` must close it.
inline void WhenDialogShows(std::function<void(TNameDialog*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    auto* dialog = qobject_cast<TNameDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(dialog);
  });
  timer->start();
}
