// The new-database dialog: chooses the master password of a new file,
// creates the file and opens it.
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TShellOperations;

class TfrmNewMasterPassword : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmNewMasterPassword(TShellOperations& shell);
  ~TfrmNewMasterPassword() override;

  QLabel* lblText;
  QLineEdit* txtPassword;
  QLineEdit* txtVerify;
  QCheckBox* chkSample;
  QPushButton* cmdCreateDB;
  QPushButton* cmdCancel;

 private:
  void cmdCreateDBClick();
  TShellOperations& shell_;
};
