#include "EnterMasterPassword.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "DialogPlacement.h"
#include "ShellOperations.h"
#include "data/AccessLog.h"
#include "data/DataModule.h"

QString TfrmEnterMasterPassword::CaptionFor(const QString& aliasPath) {
  return QStringLiteral("Keyhaven - ") + TDM::DisplayName(aliasPath);
}

TfrmEnterMasterPassword::TfrmEnterMasterPassword(TShellOperations& shell)
    : QDialog(shell.MainWindow(), Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), shell_(shell) {
  setObjectName(QStringLiteral("frmEnterMasterPassword"));
  setAttribute(Qt::WA_DeleteOnClose, false);
  auto* label = new QLabel(QStringLiteral("Enter Key"), this);
  txtPassword = new QLineEdit(this);
  txtPassword->setObjectName(QStringLiteral("txtPassword"));
  txtPassword->setMaxLength(14);
  txtPassword->setEchoMode(QLineEdit::Password);
  txtPassword->setMinimumWidth(180);
  label->setBuddy(txtPassword);
  auto* grid = new QGridLayout(this);
  grid->addWidget(label, 0, 0);
  grid->addWidget(txtPassword, 0, 1);
  grid->addLayout(ButtonRow(this, cmdOK, QStringLiteral("OK"), "cmdOK", cmdCancel, QStringLiteral("Cancel"), "cmdCancel"),
                  1, 0, 1, 2);
  setFixedSize(sizeHint());

  connect(cmdOK, &QPushButton::clicked, this, &TfrmEnterMasterPassword::cmdOKClick);
  connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

  CentreOnOwner(*this, shell.MainWindow());
  setWindowTitle(CaptionFor(TDM::ReadAliasPath()));
  shell_.ResetFailedAttempts();
}

TfrmEnterMasterPassword::~TfrmEnterMasterPassword() {
  // The typed key goes with the dialog.
  txtPassword->clear();
}

void TfrmEnterMasterPassword::cmdOKClick() {
  const QString typed = txtPassword->text();
  if (shell_.HiddenInTray()) {
    // Unlocking: the database stays connected; only the key is compared.
    const QString name = TDM::DisplayName(TDM::ReadAliasPath());
    if (typed != shell_.MasterPassword()) {
      shell_.AccessDenied();
      AccessLog::Append(name, false);
      txtPassword->clear();
      txtPassword->setFocus();
      return;
    }
    shell_.AccessGranted();
    AccessLog::Append(name, true);
    shell_.ShowFromTray();
    txtPassword->clear();
    accept();
    return;
  }
  if (shell_.OpenDatabase(typed)) {
    txtPassword->clear();
    accept();
    return;
  }
  txtPassword->clear();
  txtPassword->setFocus();
}
