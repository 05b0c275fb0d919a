#include "EditGroup.h"

#include "MessageBox.h"
#include "data/AccountRules.h"

TfrmEditGroup::TfrmEditGroup(TDM& dm, TDialogMode mode, QWidget* mainWindow)
    : TNameDialog(mode, mode == TDialogMode::New ? QStringLiteral(" New Group") : QStringLiteral(" Edit Group"),
                  QStringLiteral("Group name:"), QStringLiteral("txtGroup"), mainWindow),
      dm_(dm) {
  setObjectName(QStringLiteral("frmEditGroup"));
  if (mode == TDialogMode::Edit) {
    startName_ = dm_.qryGroups.FieldByName(QStringLiteral("Name")).AsString();
    box->setText(startName_);
  }
}

bool TfrmEditGroup::Save(const QString& text) {
  if (text.isEmpty()) {
    MessageBox::Information(this, QStringLiteral("Please enter a group name!"));
    return false;
  }
  if (const QString problem = AccountRules::NameProblem(text, AccountRules::kGroupNameLength, QStringLiteral("group name"));
      !problem.isEmpty()) {
    MessageBox::Information(this, problem);
    return false;
  }
  // A change of letter case alone needs no check; a new name always does.
  if (text.compare(startName_, Qt::CaseInsensitive) != 0) {
    TQuery& check = dm_.qryTemp;
    check.Close();
    check.setSQL(QString::fromLatin1(AccountRules::kGroupExistsSQL));
    check.ParamByName(QStringLiteral("Name")).setAsString(text);
    check.Open();
    const bool taken = !check.IsEmpty();
    check.Close();
    if (taken) {
      MessageBox::Information(this, QStringLiteral("Sorry, there is already a group with that name."));
      return false;
    }
  }
  if (Mode() == TDialogMode::New) {
    dm_.qryGroups.Append();
    dm_.qryGroups.FieldByName(QStringLiteral("Name")).setAsString(text);
    dm_.qryGroups.Post();
    // Opened again so that the list is sorted again.
    dm_.qryGroups.Close();
    dm_.qryGroups.Open();
  } else {
    dm_.qryGroups.Edit();
    dm_.qryGroups.FieldByName(QStringLiteral("Name")).setAsString(text);
    dm_.qryGroups.Post();
  }
  // The selected-group rule makes the group current.
  dm_.StoreSelectedGroup(text);
  return true;
}

void TfrmEditGroup::Abandon() {
  // The options row is left alone: it may hold the user's other pending
  // choices.
  dm_.qryGroups.Cancel();
}
