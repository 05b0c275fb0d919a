#include "ChangePassword.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "DialogPlacement.h"
#include "MessageBox.h"
#include "ShellOperations.h"
#include "data/DataModule.h"
#include "data/DatabaseFiles.h"

TfrmChangePassword::TfrmChangePassword(TShellOperations& shell) : QDialog(shell.MainWindow()), shell_(shell) {
  setObjectName(QStringLiteral("frmChangePassword"));
  setWindowTitle(QStringLiteral("Change Master Password"));
  auto box = [this](const char* name, bool masked) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMaxLength(14);
    if (masked) edit->setEchoMode(QLineEdit::Password);
    edit->setMinimumWidth(160);
    return edit;
  };
  txtCurrent = box("txtCurrent", true);
  txtNew = box("txtNew", false);
  txtVerify = box("txtVerify", true);

  auto* grid = new QGridLayout(this);
  int row = 0;
  for (auto [text, edit] : {std::pair{"Current Password", txtCurrent}, std::pair{"New Password", txtNew},
                            std::pair{"Verify", txtVerify}}) {
    auto* label = new QLabel(QString::fromLatin1(text), this);
    label->setBuddy(edit);
    grid->addWidget(label, row, 0);
    grid->addWidget(edit, row++, 1);
  }
  grid->addLayout(ButtonRow(this, cmdOK, QStringLiteral("OK"), "cmdOK", cmdCancel, QStringLiteral("Cancel"), "cmdCancel"),
                  row, 0, 1, 2);
  setFixedSize(sizeHint());

  connect(cmdOK, &QPushButton::clicked, this, &TfrmChangePassword::cmdOKClick);
  connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
  CentreOnOwner(*this, shell.MainWindow());
}

TfrmChangePassword::~TfrmChangePassword() {
  txtCurrent->clear();
  txtNew->clear();
  txtVerify->clear();
}

void TfrmChangePassword::cmdOKClick() {
  // Any failure leaves the dialog open and the master password as it was,
  // without a message.
  try {
    if (txtCurrent->text() != shell_.MasterPassword()) {
      MessageBox::Information(this, QStringLiteral("Sorry, the value entered for the current password is incorrect.\r\n"
                                                   "Remember, the master password is case-sensitive."));
      txtCurrent->setFocus();
      return;
    }
    if (txtNew->text().size() < 4) {
      MessageBox::Information(
          this, QStringLiteral("Sorry, the password must be at least 4 characters long.\r\nPlease try again."));
      txtNew->setFocus();
      return;
    }
    if (txtVerify->text() != txtNew->text()) {
      MessageBox::Information(this, QStringLiteral("Sorry, the new password value could not be verified. \r\n"
                                                   "Please verify the password again."));
      txtVerify->setFocus();
      return;
    }
    ChangeDatabasePassword(shell_.DataModule().DB, txtCurrent->text(), txtNew->text());
    shell_.SetMasterPassword(txtNew->text());
    MessageBox::Plain(this, QStringLiteral("Master Password Changed!"));
    accept();
  } catch (...) {
  }
}
