// TfrmEditGroup: asks for a group name, for a new group or to rename the
// current one; OK stores it and makes that group the selected one.
#pragma once

#include "NameDialog.h"
#include "data/DataModule.h"

class TfrmEditGroup : public TNameDialog {
  Q_OBJECT

 public:
  // Edit mode fills the box with the current group's name.
  TfrmEditGroup(TDM& dm, TDialogMode mode, QWidget* mainWindow);

  TEdPlus* txtGroup() const noexcept { return box; }

 protected:
  bool Save(const QString& text) override;
  void Abandon() override;

 private:
  TDM& dm_;
  QString startName_;
};
