// A password database on a real file in a temporary directory, opened
// through the engine by the data module as the program opens it, with the
// settings file in a temporary program directory. Shared by the tests of the
// generator, find and expired-accounts windows.
#pragma once

#include <stdlib.h>

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <memory>

#include "test_database.h"
#include "data/DataModule.h"
#include "data/DatabaseFiles.h"
#include "data/Settings.h"

class FeatureFixture {
 public:
  // Points the engine's configuration and the program directory at `root`.
  static void UseRoot(const QTemporaryDir& root) {
    setenv("KBE_ROOT", root.path().toUtf8().constData(), 1);
    setenv("KEYHAVEN_HOME", root.path().toUtf8().constData(), 1);
  }

  // A new file with the four sample groups, opened; no settings file.
  FeatureFixture() {
    QFile::remove(Settings::FilePath());
    file_ = dir_.filePath(QStringLiteral("accounts.pdb"));
    dm = OpenNewSampleDatabase(file_);
    mainWindow.resize(612, 464);
    mainWindow.move(100, 80);
  }

  // Makes the group `group` current, adds an account to it and returns its
  // PasswordID. Null fields stay null.
  int AddAccount(const QString& group, const QString& description, const QVariantMap& fields = {}) {
    SelectGroup(group);
    dm->qryPasswords.Append();
    dm->qryPasswords.FieldByName(QStringLiteral("Description")).setAsString(description);
    for (auto it = fields.begin(); it != fields.end(); ++it)
      dm->qryPasswords.FieldByName(it.key()).setAsVariant(it.value());
    dm->qryPasswords.Post();
    dm->qryPasswords.Refresh();
    dm->qryPasswords.Locate(QStringLiteral("Description"), description);
    return dm->qryPasswords.FieldByName(QStringLiteral("PasswordID")).AsInteger();
  }

  void SelectGroup(const QString& group) {
    dm->qryGroups.Locate(QStringLiteral("Name"), group);
  }

  QString CurrentGroup() const { return dm->qryGroups.FieldByName(QStringLiteral("Name")).AsString(); }
  QString CurrentAccount() const { return dm->qryPasswords.FieldByName(QStringLiteral("Description")).AsString(); }
  QString SelectedGroupOption() const { return dm->qryOptions.FieldByName(QStringLiteral("Group")).AsString(); }

  QTemporaryDir dir_;
  QString file_;
  std::unique_ptr<TDM> dm;
  QWidget mainWindow;
};
