// The options dialog, and the two operations that apply a database's Options
// row to the main window: the background picture of the account page and the
// mask of the password box.
//
// The dialog edits two places: the settings file "kh.ini" (written only by
// OK) and the Options row of the open database (through qryOptions: the
// bound boxes and the style list write into the row at once, OK posts it; on
// Cancel those edits stay pending and reach the file with the row's next
// post).
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>

class TDM;
class TBackgroundPanel;
class TDBCheckBox;
class TDBComboBox;

class TfrmOptions : public QDialog {
  Q_OBJECT

 public:
  // `background` and `password` are the main window's account page picture
  // and password box; either may be null (nothing is applied to it then).
  TfrmOptions(TDM& dm, TBackgroundPanel* background, QLineEdit* password, QWidget* parent = nullptr);

  QTabWidget* pages;
  // "General"
  QComboBox* cboStyle;
  TDBCheckBox* chkPrompt;
  QCheckBox* chkMaximize;
  QCheckBox* chkAutoCase;
  // "Security"
  TDBCheckBox* cboRestorePermission;
  QCheckBox* chkRemind;
  QComboBox* cboViewPassword;
  // "Sounds"
  QCheckBox* chkButtonSound;
  QCheckBox* chkAccess;
  // "Advanced"
  TDBComboBox* cboDBMaintenance;

  QPushButton* cmdOK;
  QPushButton* cmdCancel;

  // OK: posts the Options row, applies the mask and the background, writes
  // the settings file and the sound switches, then closes. A failure is shown
  // in an error message box and leaves the dialog open.
  void cmdOKClick();

 private:
  void cboStyleChange(int index);

  TDM& dm_;
  QPointer<TBackgroundPanel> background_;
  QPointer<QLineEdit> password_;
};

// mnuEditOptionsClick: shows the options dialog modally over `parent`.
void ShowOptions(TDM& dm, TBackgroundPanel* background, QLineEdit* password, QWidget* parent);

// Shows `style` on the picture: hidden for "None", else visible with that
// fill style.
void ShowBackgroundStyle(TBackgroundPanel& background, const QString& style);

// Apply background style: the picture follows the `style` field of the
// Options row (used when a database opens and by OK).
void ApplyBackgroundStyle(TDM& dm, TBackgroundPanel& background);

// Masks the password box with '*' or shows it plain.
void SetPasswordMasked(QLineEdit& password, bool masked);

// Apply password mask: when qryPasswords is open and holds an account, the
// password box follows `showpassword` (0 plain, 1 and 2 masked, any other
// value changes nothing). The account is put into edit state for the change
// and posted at once, unless it was already being edited.
void ApplyPasswordMask(TDM& dm, QLineEdit& password);
