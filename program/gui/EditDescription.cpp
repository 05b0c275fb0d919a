#include "EditDescription.h"

#include "MessageBox.h"
#include "data/AccountRules.h"

TfrmEditDescription::TfrmEditDescription(TDM& dm, TDialogMode mode, QWidget* mainWindow)
    : TNameDialog(mode,
                  mode == TDialogMode::New ? QStringLiteral(" New Password - Add Description")
                                           : QStringLiteral(" Edit Description"),
                  QStringLiteral("Description:"), QStringLiteral("txtDescription"), mainWindow),
      dm_(dm) {
  setObjectName(QStringLiteral("frmEditDescription"));
  if (mode == TDialogMode::Edit) box->setText(dm_.qryPasswords.FieldByName(QStringLiteral("Description")).AsString());
}

bool TfrmEditDescription::Save(const QString& text) {
  if (text.isEmpty()) {
    MessageBox::Information(this, QStringLiteral("Please enter a description!"));
    return false;
  }
  if (const QString problem =
          AccountRules::NameProblem(text, AccountRules::kDescriptionLength, QStringLiteral("description"));
      !problem.isEmpty()) {
    MessageBox::Information(this, problem);
    return false;
  }
  TQuery& accounts = dm_.qryPasswords;
  if (Mode() == TDialogMode::New) {
    // The after-insert rule gives the record the current group.
    accounts.Append();
    accounts.FieldByName(QStringLiteral("Description")).setAsString(text);
    accounts.FieldByName(QStringLiteral("AssignDate")).setAsDateTime(QDateTime::currentDateTime());
    accounts.Post();
    const QVariantList key{accounts.FieldByName(QStringLiteral("PasswordID")).AsInteger(),
                           accounts.FieldByName(QStringLiteral("GroupID")).AsInteger()};
    // Opened again so that the list is sorted again, then back on the new one.
    accounts.Close();
    accounts.Open();
    accounts.Locate(QStringLiteral("PasswordID;GroupID"), key);
  } else {
    accounts.Edit();
    accounts.FieldByName(QStringLiteral("Description")).setAsString(text);
    accounts.Post();
  }
  return true;
}

void TfrmEditDescription::Abandon() {
  dm_.qryPasswords.Cancel();
}
