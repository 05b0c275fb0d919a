// The master-password prompt: opens the current file, or unlocks the main
// window when it comes back from the system tray.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class TShellOperations;

class TfrmEnterMasterPassword : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmEnterMasterPassword(TShellOperations& shell);
  ~TfrmEnterMasterPassword() override;

  QLineEdit* txtPassword;
  QPushButton* cmdOK;
  QPushButton* cmdCancel;

  // The caption a prompt for the current file carries.
  static QString CaptionFor(const QString& aliasPath);

 private:
  void cmdOKClick();
  TShellOperations& shell_;
};
