// The find dialog: searches every group for accounts whose fields contain a
// text, lists the hits by group and description, and makes the chosen one the
// current account of the main window.
#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class TDBGrid;
class TDM;

class TfrmFind : public QDialog {
  Q_OBJECT

 public:
  TfrmFind(TDM& dm, QWidget* mainWindow);

  QLineEdit* txtFind;
  QComboBox* cboWhere;
  QPushButton* cmdFind;
  TDBGrid* DBGridFind;
  QStatusBar* SB;
  QLabel* SBPanel;
  QPushButton* cmdOK;
  QPushButton* cmdCancel;

  void cmdFindClick();
  void cmdOKClick();

  // Writes the scope to the settings on every way of closing.
  void done(int result) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildForm();
  bool txtFindKeyPress(QKeyEvent* event);
  bool DBGridFindKeyPress(QKeyEvent* event);

  TDM& dm_;
};

// Edit menu "&Find...", Ctrl+F and the toolbar button "Find": opens the find
// dialog modally while a database is open.
void ShowFind(TDM& dm, QWidget* mainWindow);
