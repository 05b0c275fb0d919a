// The data module on a password database file made by the program itself,
// reached through the engine as the program reaches it.
#include <stdlib.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "data/DataModule.h"
#include "data/DatabaseFiles.h"

class DataModuleTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir root_;
  std::unique_ptr<QTemporaryDir> dir_;
  QString file_;
  std::unique_ptr<TDM> dm_;

  void openDatabase(const QString& password) {
    dm_->DB.setParams({QStringLiteral("CONNECT=;PWD=") + password});
    dm_->DB.Open();
    dm_->qryGroups.Open();
    dm_->qryPasswords.Open();
    dm_->qryOptions.Open();
  }

  void addAccount(const QString& description, const QDateTime& expires = {}) {
    dm_->qryPasswords.Append();
    dm_->qryPasswords.FieldByName("Description").setAsString(description);
    if (expires.isValid()) dm_->qryPasswords.FieldByName("ExpireDate").setAsDateTime(expires);
    dm_->qryPasswords.Post();
  }

 private slots:
  void initTestCase() {
    QVERIFY(root_.isValid());
    setenv("KBE_ROOT", root_.path().toUtf8().constData(), 1);
  }

  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    file_ = dir_->filePath("accounts.pdb");
    CreateDatabaseFile(file_, "master", true);
    dm_ = std::make_unique<TDM>();
    dm_->DMCreate({file_});
  }

  void cleanup() {
    dm_.reset();
    dir_.reset();
  }

  void aliasPathRoundTripsThroughTheRegistry() {
    QCOMPARE(TDM::ReadAliasPath(), file_);
    QVERIFY(TDM::CurrentFileExists());
    QCOMPARE(TDM::DisplayName(file_), QStringLiteral("accounts"));
    TDM::StoreAliasPath(dir_->filePath("missing.pdb"));
    QVERIFY(!TDM::CurrentFileExists());
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, TDM::StoreAliasPath(QStringLiteral("/tmp/\u4e2d.pdb")));
  }

  void connectsAndAccountsFollowTheCurrentGroup() {
    openDatabase("master");
    QCOMPARE(dm_->qryGroups.FieldByName("Name").AsString(), QStringLiteral("Email Accounts"));
    QCOMPARE(dm_->qryOptions.FieldByName("dbmaintcount").AsInteger(), 100);
    addAccount("Mail one");
    addAccount("Mail two");
    dm_->qryGroups.Next();  // Misc Accounts
    QVERIFY(dm_->qryPasswords.IsEmpty());
    addAccount("Misc one");
    // The after-insert rule gave the new account the current group.
    QCOMPARE(dm_->qryPasswords.FieldByName("GroupID").AsInteger(), dm_->qryGroups.FieldByName("GroupID").AsInteger());
    dm_->qryGroups.First();
    QCOMPARE(dm_->qryPasswords.RecordCount(), 2);
    QCOMPARE(dm_->qryPasswords.FieldByName("Description").AsString(), QStringLiteral("Mail one"));
  }

  void beforePostDropsTheTimeOfDay() {
    openDatabase("master");
    addAccount("Bank", QDateTime(QDate(2002, 3, 15), QTime(14, 30)));
    addAccount("No expiry");
    dm_->qryPasswords.Refresh();
    QVERIFY(dm_->qryPasswords.Locate("Description", "bank", TLocateOptions(loCaseInsensitive)));
    QCOMPARE(dm_->qryPasswords.FieldByName("ExpireDate").AsDateTime(), QDateTime(QDate(2002, 3, 15), QTime(0, 0)));
    QCOMPARE(dm_->qryPasswords.FieldByName("ExpireDate").DisplayText(), QStringLiteral("03/15/2002"));
    QVERIFY(dm_->qryPasswords.Locate("Description", "No expiry"));
    QVERIFY(dm_->qryPasswords.FieldByName("ExpireDate").IsNull());
  }

  void wrongPasswordRaisesTheEngineError() {
    dm_->DB.setParams({QStringLiteral("CONNECT=;PWD=wrong")});
    try {
      dm_->DB.Open();
      QFAIL("a wrong password opened the file");
    } catch (const EDBEngineError& e) {
      QCOMPARE(e.errorCode(), kbe::DBIResult(0x271E));
    }
    QVERIFY(!dm_->DB.Connected());
    openDatabase("master");
    QVERIFY(dm_->DB.Connected());
  }

  void detailControlsAndDropDownRules() {
    QCOMPARE(TDM::DropDownRows(0), 1);
    QCOMPARE(TDM::DropDownRows(3), 3);
    QCOMPARE(TDM::DropDownRows(25), 10);
    QSignalSpy editing(dm_.get(), &TDM::passwordsEditStateChanged);
    QSignalSpy details(dm_.get(), &TDM::accountDetailsEnabledChanged);
    QSignalSpy rows(dm_.get(), &TDM::groupDropDownRowsChanged);
    openDatabase("master");
    QVERIFY(!rows.isEmpty());
    QCOMPARE(rows.last().at(0).toInt(), 4);
    // An empty group: details off, save off.
    QVERIFY(!details.isEmpty());
    QCOMPARE(details.last().at(0).toBool(), false);
    addAccount("Mail one");
    QCOMPARE(details.last().at(0).toBool(), true);
    dm_->qryPasswords.Edit();
    QCOMPARE(editing.last().at(0).toBool(), true);
    dm_->qryPasswords.Cancel();
    QCOMPARE(editing.last().at(0).toBool(), false);
    dm_->qryPasswords.Append();
    QCOMPARE(editing.last().at(0).toBool(), false);  // inserting is not editing
    dm_->qryPasswords.Cancel();
  }

  void deletingAGroupRemovesItsAccounts() {
    openDatabase("master");
    addAccount("Mail one");
    addAccount("Mail two");
    dm_->qryGroups.Delete();
    QCOMPARE(dm_->qryGroups.RecordCount(), 3);
    dm_->qryTemp.setSQL("select count(*) as n from passwords");
    dm_->qryTemp.Open();
    QCOMPARE(dm_->qryTemp.FieldByName("n").AsInteger(), 0);
  }
};

QTEST_MAIN(DataModuleTest)
#include "datamodule_test.moc"
