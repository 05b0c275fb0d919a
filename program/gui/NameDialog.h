// The common frame of the group and description dialogs: one TEdPlus box of
// at most 100 characters with a label, OK and Cancel. Enter typed in the box
// runs OK and is swallowed; Escape closes the dialog without change. On
// creation the box's AutoCase follows "autocase" of section "Options" in
// kh.ini (default on). The dialog is centred on the main window.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "DialogSupport.h"
#include "controls/EdPlus.h"

class TNameDialog : public QDialog {
  Q_OBJECT

 public:
  TDialogMode Mode() const noexcept { return mode_; }

  TEdPlus* const box;
  QPushButton* const cmdOK;
  QPushButton* const cmdCancel;

  // OK: takes the box's text trimmed and hands it to Save; a refusal or a
  // failed step leaves the dialog open.
  void cmdOKClick();

 protected:
  TNameDialog(TDialogMode mode, const QString& caption, const QString& label, const QString& boxName,
              QWidget* mainWindow);

  // Checks and stores `text` (already trimmed); false keeps the dialog open.
  // Errors raised here are shown in an error message box.
  virtual bool Save(const QString& text) = 0;
  // Undoes a half-done Save after an error (cancels pending changes).
  virtual void Abandon() {}

 private:
  TDialogMode mode_;
};
