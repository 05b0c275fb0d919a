// The expired-accounts dialog: lists, across all groups, the accounts whose
// expiry date has been reached, oldest first, and makes the chosen one the
// current account of the main window. It opens on demand and as a reminder
// right after a database has been opened.
#pragma once

#include <QDialog>

class QCheckBox;
class QHeaderView;
class QLabel;
class QPushButton;
class QStatusBar;
class TDBGrid;
class TDM;

class TfrmExpired : public QDialog {
  Q_OBJECT

 public:
  // `asReminder` shows "Don't remind me" (not ticked).
  TfrmExpired(TDM& dm, QWidget* mainWindow, bool asReminder = false);

  QHeaderView* HeaderControl1;
  TDBGrid* DBCtrlGridExpired;
  QPushButton* cmdGO;
  QPushButton* cmdClose;
  QCheckBox* chkRemind;
  QStatusBar* SB;
  QLabel* SBPanel;

  void cmdGOClick();

  // Writes "Don't remind me" to the settings on every way of closing.
  void done(int result) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildForm();
  TDM& dm_;
};

// Passwords menu "E&xpired Passwords..." and the toolbar button "Expired":
// reads the expired accounts anew; none gives "No passwords have expired",
// otherwise the list opens modally. Does nothing while no database is open.
void ShowExpiredPasswords(TDM& dm, QWidget* mainWindow);

// The reminder, run right after a database has been opened and its data
// sets are open: unless switched off in the settings, the list opens
// (with "Don't remind me") when any account has expired.
void RemindExpiredPasswords(TDM& dm, QWidget* mainWindow);
