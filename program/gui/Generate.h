// The password generator dialog: makes a password from the word list or from
// chosen character classes, or takes one typed by hand, and on OK writes it
// into the current account (left in edit state, to be saved with it).
#pragma once

#include <QDialog>
#include <QString>

#include "data/PasswordGenerator.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QToolButton;
class TDM;

class TfrmGenerate : public QDialog {
  Q_OBJECT

 public:
  // `mainWindow` places the dialog and parents it.
  TfrmGenerate(TDM& dm, QWidget* mainWindow);

  QLineEdit* txtPassword;
  QToolButton* cmdCopy;
  QLabel* pnlEasy;
  QPushButton* cmdCreateEasy;
  QGroupBox* RGType;
  QButtonGroup* RGTypeButtons;
  QLabel* pnlHard;
  QPushButton* cmdHard;
  QGroupBox* GBInclude;
  QCheckBox* chkLetter;
  QCheckBox* chkNumber;
  QCheckBox* chkSpecial;
  QGroupBox* RGCase;
  QButtonGroup* RGCaseButtons;
  QSpinBox* txtLength;
  QLabel* lblStrength;
  QPushButton* cmdOK;
  QPushButton* cmdCancel;

  // Indexes of the two radio groups (-1 when none is chosen).
  int TypeIndex() const;
  int CaseIndex() const;

  // The random source of the two Create buttons (the system's secure source
  // unless replaced).
  void setRandomSource(Generator::TRandomSource* source) { random_ = source; }

  // Handlers, public so the main window's tests can reach them.
  void FormActivate();
  void cmdCreateEasyClick();
  void cmdHardClick();
  void cmdCopyClick();
  void cmdOKClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void buildForm();
  void readSettings();
  void saveSettings(int type, int length, int letterCase, const Generator::TCharClasses& classes);
  Generator::TCharClasses classes() const;
  bool writePassword(const QString& text);
  void showStrength();

  TDM& dm_;
  QWidget* mainWindow_;
  Generator::TSystemRandom systemRandom_;
  Generator::TRandomSource* random_ = &systemRandom_;
  QString passwordOnOpening_;
  bool activated_ = false;
  // The last generated password and its entropy from how it was made.
  QString generated_;
  double generatedBits_ = 0;
};

// The "Generate Password" button beside the current account's password:
// opens the generator modally while there is a current account.
void ShowPasswordGenerator(TDM& dm, QWidget* mainWindow);
