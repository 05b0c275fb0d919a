// Making an account of any group the current one, and the expired-accounts
// logic the reminder and the list share.
#pragma once

#include <QString>

class TDM;
class TDataSet;

namespace AccountNavigation {

// Makes the group `groupId` current, stores `groupName` as the selected group
// in the Options row (which the main window's group selector follows), then
// makes the account `passwordId` current. Answers whether the account was
// found. Errors of the data sets are raised to the caller.
bool GoToAccount(TDM& dm, int groupId, const QString& groupName, int passwordId);
// The same for the current row of a result with the columns GroupID, Name
// (the group's) and PasswordID; nothing happens when it is closed or empty.
bool GoToHit(TDM& dm, TDataSet& hits);

// " 1 expired password", or a blank, the count and " expired passwords".
QString ExpiredCountText(int count);

// The setting "ExpireOptions"/"remind": true when the expired accounts are
// not shown as a database opens.
bool ReminderSwitchedOff();
void SetReminderSwitchedOff(bool off);

}  // namespace AccountNavigation
