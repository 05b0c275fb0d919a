// What the master-password dialogs and the welcome dialog need of the main
// window: the operations on the current file, the master password and the
// access sounds. The main window carries them out; the dialogs see only this.
#pragma once

#include <QString>

class QWidget;
class TDM;

class TShellOperations {
 public:
  virtual QWidget* MainWindow() = 0;
  virtual TDM& DataModule() = 0;

  // Opens the current file with `password`: true on success. A failure is
  // silent here (denied sound, failure line in the access log).
  virtual bool OpenDatabase(const QString& password) = 0;
  // Closes the open database, with its maintenance step (and compaction).
  virtual void CloseDatabase() = 0;
  virtual bool DatabaseOpen() const = 0;

  // The master password of the open file, held in memory only.
  virtual const QString& MasterPassword() const = 0;
  virtual void SetMasterPassword(const QString& password) = 0;
  // The path the New command chose for the new file.
  virtual QString NewFilePath() const = 0;

  // The hidden-in-tray mark; unlocking shows the window and clears it.
  virtual bool HiddenInTray() const = 0;
  virtual void ShowFromTray() = 0;

  // Caption " Keyhaven - " + display name of the current file.
  virtual void SetCaptionShort() = 0;

  // The access sounds (played only when access sounds are on). Denied counts
  // the attempt: DENY for the first three of a prompt, BUZZ up to the
  // thousandth, then silence.
  virtual void AccessGranted() = 0;
  virtual void AccessDenied() = 0;
  virtual void ResetFailedAttempts() = 0;

  // Runs the New command (after the welcome dialog's Yes).
  virtual void NewDatabase() = 0;

 protected:
  ~TShellOperations() = default;
};
