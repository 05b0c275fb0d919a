// TfrmEditDescription: asks for an account's description, for a new account
// in the current group or to rename the current account.
#pragma once

#include "NameDialog.h"
#include "data/DataModule.h"

class TfrmEditDescription : public TNameDialog {
  Q_OBJECT

 public:
  // Edit mode fills the box with the current account's description.
  TfrmEditDescription(TDM& dm, TDialogMode mode, QWidget* mainWindow);

  TEdPlus* txtDescription() const noexcept { return box; }

 protected:
  bool Save(const QString& text) override;
  void Abandon() override;

 private:
  TDM& dm_;
};
