#include "NewMasterPassword.h"

#include <QCheckBox>
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

TfrmNewMasterPassword::TfrmNewMasterPassword(TShellOperations& shell)
    : QDialog(shell.MainWindow()), shell_(shell) {
  setObjectName(QStringLiteral("frmNewMasterPassword"));
  lblText = new QLabel(this);
  lblText->setObjectName(QStringLiteral("lblText"));
  lblText->setWordWrap(true);
  lblText->setFixedWidth(340);
  auto* lblPassword = new QLabel(QStringLiteral("Password:"), this);
  txtPassword = new QLineEdit(this);
  txtPassword->setObjectName(QStringLiteral("txtPassword"));
  txtPassword->setMaxLength(14);
  lblPassword->setBuddy(txtPassword);
  auto* lblVerify = new QLabel(QStringLiteral("Verify:"), this);
  txtVerify = new QLineEdit(this);
  txtVerify->setObjectName(QStringLiteral("txtVerify"));
  txtVerify->setMaxLength(14);
  txtVerify->setEchoMode(QLineEdit::Password);
  lblVerify->setBuddy(txtVerify);
  chkSample = new QCheckBox(QStringLiteral("Create Sample Groups"), this);
  chkSample->setObjectName(QStringLiteral("chkSample"));
  chkSample->setChecked(true);

  auto* grid = new QGridLayout(this);
  grid->addWidget(lblText, 0, 0, 1, 2);
  grid->addWidget(lblPassword, 1, 0);
  grid->addWidget(txtPassword, 1, 1);
  grid->addWidget(lblVerify, 2, 0);
  grid->addWidget(txtVerify, 2, 1);
  grid->addWidget(chkSample, 3, 1);
  grid->addLayout(ButtonRow(this, cmdCreateDB, QStringLiteral("Create Database"), "cmdCreateDB", cmdCancel,
                            QStringLiteral("Cancel"), "cmdCancel"),
                  4, 0, 1, 2);
  cmdCancel->setFocusPolicy(Qt::ClickFocus);  // not a tab stop

  connect(cmdCreateDB, &QPushButton::clicked, this, &TfrmNewMasterPassword::cmdCreateDBClick);
  connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

  lblText->setText(QStringLiteral(
      "Plese enter a master key for this password database.\r\nThis is the only password you will need to "
      "remember, so be sure to memorize this key. You (or anyone else) will not be able to access this database "
      "without this key!"));
  setWindowTitle(QStringLiteral("New Password Database - ") + TDM::DisplayName(shell.NewFilePath()));
  setFixedSize(sizeHint());
  CentreOnOwner(*this, shell.MainWindow());
}

TfrmNewMasterPassword::~TfrmNewMasterPassword() {
  txtPassword->clear();
  txtVerify->clear();
}

void TfrmNewMasterPassword::cmdCreateDBClick() {
  const QString password = txtPassword->text();
  if (password.size() < 4) {
    MessageBox::Information(this, QStringLiteral("The password must be at least 4 characters in length. Please try again!"));
    txtPassword->setFocus();
    return;
  }
  if (txtVerify->text() != password) {
    MessageBox::Information(this, QStringLiteral("Sorry, the passwords do not match. Please try again!"));
    txtPassword->setFocus();
    return;
  }
  const QString path = shell_.NewFilePath();
  try {
    if (shell_.DatabaseOpen()) shell_.CloseDatabase();
    CreateDatabaseFile(path, password, chkSample->isChecked());
    TDM::StoreAliasPath(path);
  } catch (const std::exception& e) {
    MessageBox::Error(this, QString::fromUtf8(e.what()));
    return;
  }
  shell_.SetCaptionShort();
  if (!shell_.OpenDatabase(password)) return;
  hide();
  accept();
}
