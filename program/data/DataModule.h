// The data module: the program's one database connection, its data sets and
// data sources, and the rules the store applies to account records.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include "DataAccess.h"

class TDM : public QObject {
  Q_OBJECT

 public:
  explicit TDM(QObject* parent = nullptr);
  ~TDM() override;

  // The connection: engine alias "kh", whose path is the current file.
  TDatabase DB{QStringLiteral("kh")};

  TQuery qryGroups{&DB};
  TQuery qryPasswords{&DB};
  TQuery qryOptions{&DB};
  TQuery qryTemp{&DB};
  TQuery qryTransfer{&DB};
  TQuery qryExpired{&DB};
  TQuery qryFind{&DB};
  TQuery qryRptPasswords{&DB};

  TDataSource DSGroups;
  TDataSource DSPasswords;
  TDataSource DSOptions;
  TDataSource DSExpired;
  TDataSource DSFind;
  TDataSource DSReportPasswords;

  // Module creation: a first command-line argument that is not empty becomes
  // the current file (stored as the alias path, opened exclusively).
  void DMCreate(const QStringList& arguments);

  // The current file, as the path of the engine alias "kh" in the
  // HKEY_LOCAL_MACHINE hive. Reading creates the key when it is missing; a
  // missing value, or a registry failure, reads as an empty path.
  static QString ReadAliasPath();
  // Writes "Path" and "Exclusive" = "True"; failures raise EDatabaseError.
  static void StoreAliasPath(const QString& path);
  static bool CurrentFileExists();
  // A file's name without its directory and its last four characters.
  static QString DisplayName(const QString& path);

  // The number of rows the group selector's drop-down shows for a number of
  // groups: at least 1, at most 10.
  static int DropDownRows(int groups);

  // Writes `name` into the Options row's Group (edit, set, post), which is
  // how the selected group is changed from code.
  void StoreSelectedGroup(const QString& name);

 signals:
  // DSPasswords' data change: the save button and Undo follow the edit state;
  // the account detail controls follow whether the account has a description.
  void passwordsEditStateChanged(bool editing);
  void accountDetailsEnabledChanged(bool enabled);
  // DSGroups' data change: the item count is to be refreshed, and the group
  // selector's drop-down shows this many rows.
  void refreshItemCount();
  void groupDropDownRowsChanged(int rows);

 private:
  void qryPasswordsAfterInsert();
  void qryPasswordsBeforePost();
  void DSPasswordsDataChange();
  void DSGroupsDataChange();
};
