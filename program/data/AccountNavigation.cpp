#include "AccountNavigation.h"

#include "DataModule.h"
#include "Settings.h"

namespace AccountNavigation {

bool GoToAccount(TDM& dm, int groupId, const QString& groupName, int passwordId) {
  dm.qryGroups.Locate(QStringLiteral("GroupID"), groupId);
  dm.StoreSelectedGroup(groupName);
  return dm.qryPasswords.Active() && dm.qryPasswords.Locate(QStringLiteral("PasswordID"), passwordId);
}

bool GoToHit(TDM& dm, TDataSet& hits) {
  if (!hits.Active() || hits.IsEmpty()) return false;
  return GoToAccount(dm, hits.FieldByName(QStringLiteral("GroupID")).AsInteger(),
                     hits.FieldByName(QStringLiteral("Name")).AsString(),
                     hits.FieldByName(QStringLiteral("PasswordID")).AsInteger());
}

QString ExpiredCountText(int count) {
  if (count == 1) return QStringLiteral(" 1 expired password");
  return QLatin1Char(' ') + QString::number(count) + QStringLiteral(" expired passwords");
}

bool ReminderSwitchedOff() {
  return Settings::ReadBool(QStringLiteral("ExpireOptions"), QStringLiteral("remind"), false);
}

void SetReminderSwitchedOff(bool off) {
  Settings::WriteBool(QStringLiteral("ExpireOptions"), QStringLiteral("remind"), off);
}

}  // namespace AccountNavigation
