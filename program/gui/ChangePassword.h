// Gives the open file a new master password.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class TShellOperations;

class TfrmChangePassword : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmChangePassword(TShellOperations& shell);
  ~TfrmChangePassword() override;

  QLineEdit* txtCurrent;
  QLineEdit* txtNew;
  QLineEdit* txtVerify;
  QPushButton* cmdOK;
  QPushButton* cmdCancel;

 private:
  void cmdOKClick();
  TShellOperations& shell_;
};
