// A stand-in for the main window's account area, for the tests of the group
// and account commands: the group selector, the account list and the detail
// boxes laid out as the main window lays them out, handed to
// TAccountCommands. Also opens the test's database through the data module.
#pragma once

#include <QApplication>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>
#include <functional>
#include <memory>

#include "gui/AccountCommands.h"
#include "gui/NameDialog.h"
#include "gui/controls/AccountList.h"

class TAccountTestHost : public QWidget {
 public:
  explicit TAccountTestHost(TDM& dm) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral(" Keyhaven - accounts"));
    resize(612, 420);
    w.mainWindow = this;
    w.cboGroup = new TDBLookupComboBox(this);
    w.cboGroup->setObjectName(QStringLiteral("cboGroup"));
    w.GridDescription = new TAccountList(this);
    w.txtID = new TDBEdit(this);
    w.txtID->setObjectName(QStringLiteral("txtID"));
    w.txtPassword = new TDBEditMove(this);
    w.txtPassword->setObjectName(QStringLiteral("txtPassword"));
    w.DateExpire = new TDBDateBox(this);
    w.DateExpire->setObjectName(QStringLiteral("DateExpire"));
    w.DateAssign = new TDBDateBox(this);
    w.DateAssign->setObjectName(QStringLiteral("DateAssign"));
    w.txtURL = new TDBEdit(this);
    w.txtURL->setObjectName(QStringLiteral("txtURL"));
    w.MemoNotes = new TDBMemo(this);
    w.MemoNotes->setObjectName(QStringLiteral("MemoNotes"));
    w.cmdPassword = new QPushButton(QStringLiteral("..."), this);
    w.cmdPassword->setObjectName(QStringLiteral("cmdPassword"));
    w.cmdPassword->setToolTip(QStringLiteral("Generate Password"));
    w.cmdGo = new QPushButton(QStringLiteral("Go"), this);
    w.cmdGo->setObjectName(QStringLiteral("cmdGo"));
    w.cmdGo->setToolTip(QStringLiteral("Go to Web Address"));
    for (QAbstractButton* b : {w.cmdPassword, w.cmdGo}) b->setFixedWidth(32);
    w.statusPanel = new QLabel(this);
    w.statusPanel->setObjectName(QStringLiteral("SBPanel0"));
    w.statusPanel->setStyleSheet(QStringLiteral("color: rgb(0, 0, 128)"));
    w.statusPanel->setFixedWidth(290);

    auto* left = new QVBoxLayout;
    auto* groupRow = new QHBoxLayout;
    groupRow->addWidget(new QLabel(QStringLiteral("Group"), this));
    groupRow->addWidget(w.cboGroup, 1);
    left->addLayout(groupRow);
    left->addWidget(new QLabel(QStringLiteral("Passwords"), this));
    left->addWidget(w.GridDescription, 1);

    auto* details = new QFormLayout;
    details->addRow(QStringLiteral("ID"), w.txtID);
    auto* passwordRow = new QHBoxLayout;
    passwordRow->addWidget(w.txtPassword, 1);
    passwordRow->addWidget(w.cmdPassword);
    details->addRow(QStringLiteral("Password"), passwordRow);
    details->addRow(QStringLiteral("Date Expires"), w.DateExpire);
    details->addRow(QStringLiteral("Date Assigned"), w.DateAssign);
    auto* urlRow = new QHBoxLayout;
    urlRow->addWidget(w.txtURL, 1);
    urlRow->addWidget(w.cmdGo);
    details->addRow(QStringLiteral("Web Address"), urlRow);
    details->addRow(QStringLiteral("Notes"), w.MemoNotes);
    auto* right = new QWidget(this);
    right->setFixedWidth(316);
    right->setLayout(details);

    auto* body = new QHBoxLayout;
    body->addLayout(left, 1);
    body->addWidget(right);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(body, 1);
    outer->addWidget(w.statusPanel);

    commands = std::make_unique<TAccountCommands>(dm, w);
  }

  TAccountWidgets w;
  std::unique_ptr<TAccountCommands> commands;
};

// Opens the data module's database the way the program does: connect, then
// the groups, the accounts and the options row.
inline void OpenTestDatabase(TDM& dm, const QString& password) {
  dm.DB.setParams({QStringLiteral("CONNECT=;PWD=") + password});
  dm.DB.Open();
  dm.qryGroups.Open();
  dm.qryPasswords.Open();
  dm.qryOptions.Open();
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
