// The data-access layer against the real engine, on password database files
// made with CreateDatabaseFile in a temporary directory (KBE_ROOT is a
// temporary directory too, so the alias "kh" lives in a registry of its own).
#include "data/DataAccess.h"

#include <stdlib.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <memory>

#include "gui/controls/DBControls.h"
#include "binding/Bde.h"
#include "data/DatabaseFiles.h"
#include "platform/registry.h"

namespace {

constexpr kbe::DBIResult kUnknownDatabase = 0x271E;
constexpr std::uint32_t kPropLiveObjects = 0x00010002;
const QString kGroupsSql = QStringLiteral("select * from groups order by Name");
const QString kPasswordsSql = QStringLiteral("select * from passwords where GroupId = :GroupId order by Description");
const QStringList kSampleGroups = {"Email Accounts", "Misc Accounts", "Web Discussion Boards", "Web Subscriptions"};

// Records `path` as the file of the alias "kh", as the program does.
bool storeAliasPath(const QString& path) {
  namespace win = kh::win;
  win::HKEY key = nullptr;
  if (win::RegCreateKeyExA(win::HKEY_LOCAL_MACHINE, "Software\\Corvane\\Keelbase\\Configuration\\Aliases\\kh", 0,
                           nullptr, win::REG_OPTION_NON_VOLATILE, win::KEY_ALL_ACCESS, nullptr, &key,
                           nullptr) != win::ERROR_SUCCESS)
    return false;
  const std::string file = path.toStdString();
  bool ok = win::RegSetValueExA(key, "Path", 0, win::REG_SZ, reinterpret_cast<const win::BYTE*>(file.c_str()),
                                static_cast<win::DWORD>(file.size() + 1)) == win::ERROR_SUCCESS;
  ok = ok && win::RegSetValueExA(key, "Exclusive", 0, win::REG_SZ, reinterpret_cast<const win::BYTE*>("True"), 5) ==
                 win::ERROR_SUCCESS;
  win::RegCloseKey(key);
  return ok;
}

bool aliasDefinedForSession() { return Bde::DbiCfgPosition(nullptr, "\\DATABASES\\kh\\DB OPEN") == 0; }

// Runs `f` and answers the EDatabaseError it raised (an empty message when
// it raised none).
template <class F>
QString refusal(F&& f) {
  try {
    f();
  } catch (const EDatabaseError& e) {
    return e.message();
  }
  return {};
}

}  // namespace

class DataSetTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir root_;
  std::unique_ptr<QTemporaryDir> dir_;
  QString file_;
  std::unique_ptr<TDatabase> db_;
  int liveObjects_ = -1;

  void connect(const QString& password = QStringLiteral("secret")) {
    db_->setParams({QStringLiteral("CONNECT=;PWD=") + password});
    db_->Open();
  }

  // The values of `field` over the records of `ds`, from the first; the data
  // set is left on its last record.
  static QStringList column(TDataSet& ds, const QString& field) {
    QStringList out;
    for (ds.First(); !ds.Eof(); ds.Next()) out << ds.FieldByName(field).AsString();
    return out;
  }

  // A fresh read-only query's column.
  QStringList select(const QString& sql, const QString& field) {
    TQuery q(db_.get());
    q.setSQL(sql);
    q.Open();
    return column(q, field);
  }

  static int liveObjects() {
    std::uint32_t live = 0;
    if (Bde::DbiGetProp(nullptr, kPropLiveObjects, &live, 4, nullptr) != 0) return -1;
    return static_cast<int>(live);
  }

  static void openLive(TQuery& q, const QString& sql) {
    q.setSQL(sql);
    q.setRequestLive(true);
    q.Open();
  }

 private slots:
  void initTestCase() {
    QVERIFY(root_.isValid());
    qputenv("KBE_ROOT", root_.path().toUtf8());
    // The engine is found beside this program (current directory first).
    QVERIFY(QDir::setCurrent(QCoreApplication::applicationDirPath()));
    init();
    QVERIFY(!refusal([&] { connect("wrong"); }).isEmpty());
    connect();
    db_.reset();
    liveObjects_ = liveObjects();
  }

  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    file_ = dir_->filePath(QStringLiteral("keyhaven.pdb"));
    CreateDatabaseFile(file_, QStringLiteral("secret"), true);
    QVERIFY(storeAliasPath(file_));
    db_ = std::make_unique<TDatabase>(QStringLiteral("kh"));
  }

  // Everything a test opened is released again: the engine's count of live
  // DAO objects comes back to what a connect, a failure and a disconnect
  // leave behind (the session's workspace, the cached error list).
  void cleanup() {
    db_.reset();
    QCOMPARE(liveObjects(), liveObjects_);
  }

  void cleanupTestCase() { TSession::Instance().Close(); }

  // ---- connecting -------------------------------------------------------------

  void connectsAndOpensTheProgramsQueries() {
    connect();
    QVERIFY(db_->Connected());
    QVERIFY(aliasDefinedForSession());
    TQuery groups(db_.get()), passwords(db_.get()), options(db_.get());
    TDataSource dsGroups(&groups);
    openLive(groups, kGroupsSql);
    passwords.setDataSource(&dsGroups);
    openLive(passwords, kPasswordsSql);
    openLive(options, QStringLiteral("select * from options"));
    QVERIFY(groups.CanModify() && passwords.CanModify() && options.CanModify());

    QCOMPARE(groups.RecordCount(), 4);
    QCOMPARE(column(groups, "name"), kSampleGroups);
    QCOMPARE(groups.FieldByName("Name").Size(), 50);
    QCOMPARE(groups.FieldByName("GroupID").DataType(), TFieldType::ftInteger);
    QCOMPARE(passwords.FieldCount(), 11);
    QCOMPARE(passwords.FieldByName("Notes").DataType(), TFieldType::ftMemo);
    QCOMPARE(passwords.FieldByName("ExpireDate").DataType(), TFieldType::ftDateTime);
    QCOMPARE(passwords.FieldByName("ShowAccount").DataType(), TFieldType::ftBoolean);
    QVERIFY(passwords.IsEmpty() && passwords.Bof() && passwords.Eof());
    QVERIFY(passwords.FieldByName("Description").IsNull());  // an empty list reads null

    QCOMPARE(options.RecordCount(), 1);
    QCOMPARE(options.FieldByName("Group").AsString(), QString("Email Accounts"));
    QCOMPARE(options.FieldByName("style").AsString(), QString("None"));
    QCOMPARE(options.FieldByName("pwdsystray").AsBoolean(), true);
    QCOMPARE(options.FieldByName("dbmaintcount").AsInteger(), 100);
    QCOMPARE(options.FieldByName("dbmaintfreq").AsInteger(), 100);
    QCOMPARE(options.FieldByName("showpassword").AsInteger(), 1);
    QCOMPARE(options.FieldByName("promptpassword").AsString(), QString("True"));

    // Closing the database closes every data set on it.
    db_->Close();
    QVERIFY(!groups.Active() && !passwords.Active() && !options.Active());
    QVERIFY(groups.FieldByName("Name").IsNull());
  }

  void wrongPasswordRaisesTheEngineErrorAndDropsTheAlias() {
    connect();  // the right one first: the session's alias then holds it
    db_->Close();
    for (const QString& password : {QStringLiteral("wrong"), QString()}) {
      db_->setParams({QStringLiteral("CONNECT=;PWD=") + password});
      try {
        db_->Open();
        QFAIL("the open succeeded");
      } catch (const EDBEngineError& e) {
        QCOMPARE(e.errorCode(), kUnknownDatabase);
        QVERIFY(!e.messages().isEmpty() && !e.messages().first().isEmpty());
        QCOMPARE(e.message(), e.messages().join('\n'));
      }
      QVERIFY(!db_->Connected());
      QVERIFY(!aliasDefinedForSession());
    }
    connect();
    QVERIFY(db_->Connected());
  }

  void connectionParametersTheEngineCannotReadAreRefused() {
    QCOMPARE(TDatabase::AliasParameterString({"CONNECT=;PWD=se:cr=et", "", "PATH=/a b"}),
             std::string("CONNECT:\";PWD=se:cr=et\";PATH:\"/a b\""));
    for (const QStringList& params : {QStringList{"CONNECT=;PWD=a\"b"}, QStringList{"CONNECT=;PWD=\u4E2D"},
                                      QStringList{"CON:NECT=x"}, QStringList{"=x"}}) {
      const QString message = refusal([&] { TDatabase::AliasParameterString(params); });
      QVERIFY2(!message.isEmpty(), qPrintable(params.join(',')));
      QVERIFY2(!message.contains("a\"b") && !message.contains(QChar(0x4E2D)), qPrintable(message));  // no secret shown
    }
    // A password the engine could never receive makes no file.
    const QString other = dir_->filePath("other.pdb");
    QVERIFY(!refusal([&] { CreateDatabaseFile(other, "a\"b", false); }).isEmpty());
    QVERIFY(!refusal([&] { CreateDatabaseFile(other, "\u4E2D\u6587", false); }).isEmpty());
    QVERIFY(!QFile::exists(other));
  }

  // ---- moving ---------------------------------------------------------------

  void navigationBofEofAndMoveBy() {
    connect();
    TQuery groups(db_.get());
    groups.setSQL(kGroupsSql);
    groups.Open();
    QVERIFY(!groups.CanModify());  // not asked to be live
    QVERIFY(!refusal([&] { groups.Edit(); }).isEmpty());
    TField& name = groups.FieldByName("NAME");
    QVERIFY(groups.Bof() && !groups.Eof());
    QCOMPARE(name.AsString(), kSampleGroups[0]);
    groups.Prior();
    QVERIFY(groups.Bof());
    QCOMPARE(groups.RecNo(), 0);
    groups.Last();
    QVERIFY(groups.Eof() && !groups.Bof());
    QCOMPARE(name.AsString(), kSampleGroups[3]);
    groups.Next();
    QVERIFY(groups.Eof());
    QCOMPARE(groups.RecNo(), 3);
    QCOMPARE(groups.MoveBy(-2), -2);
    QCOMPARE(name.AsString(), kSampleGroups[1]);
    QVERIFY(!groups.Bof() && !groups.Eof());
    QCOMPARE(groups.MoveBy(-5), -1);
    QVERIFY(groups.Bof());
    QCOMPARE(groups.MoveBy(10), 3);
    QVERIFY(groups.Eof());
    groups.setRecNo(2);
    QCOMPARE(name.AsString(), kSampleGroups[2]);
    QCOMPARE(groups.DisplayTextAt(1, name), kSampleGroups[1]);  // without moving
    QCOMPARE(groups.RecNo(), 2);
    QVERIFY(!groups.ValueAt(4, name).isValid());
  }

  // The result is read as it was opened: other changes show once the query
  // runs again.
  void movingReadsTheResultRefreshRunsItAgain() {
    connect();
    TQuery groups(db_.get());
    openLive(groups, kGroupsSql);
    groups.Last();
    TQuery other(db_.get());
    other.setSQL("insert into groups (Name) values ('Airlines')");
    other.ExecSQL();
    QCOMPARE(column(groups, "Name"), kSampleGroups);
    QCOMPARE(groups.RecordCount(), 4);
    groups.Refresh();
    QCOMPARE(groups.RecordCount(), 5);
    QCOMPARE(groups.FieldByName("Name").AsString(), kSampleGroups[3]);  // still the record it was on
    groups.First();
    QCOMPARE(groups.FieldByName("Name").AsString(), QString("Airlines"));
  }

  // More records than the buffer window: records that left it are read again
  // through their bookmarks, and nothing re-runs the statement.
  void recordsBeyondTheBufferWindowReadBack() {
    connect();
    TQuery insert(db_.get());
    insert.setSQL("insert into groups (Name) values (:Name)");
    const int count = 3 * TDataSet::kBufferWindow;
    for (int i = 0; i < count; ++i) {
      insert.ParamByName("name").setAsString(QStringLiteral("G%1").arg(i, 4, 10, QChar('0')));
      insert.ExecSQL();
      QCOMPARE(insert.RowsAffected(), 1);
    }
    TQuery groups(db_.get());
    openLive(groups, "select * from groups where Name like 'G*' order by Name");
    TField& name = groups.FieldByName("Name");
    groups.Last();
    QCOMPARE(name.AsString(), QString("G%1").arg(count - 1, 4, 10, QChar('0')));
    QCOMPARE(groups.RecordCount(), count);
    for (int row : {0, count / 2, 5, count - 1, 1}) {
      groups.setRecNo(row);
      QCOMPARE(name.AsString(), QString("G%1").arg(row, 4, 10, QChar('0')));
      QCOMPARE(groups.DisplayTextAt(count - 1 - row, name), QString("G%1").arg(count - 1 - row, 4, 10, QChar('0')));
    }
    groups.setRecNo(3);
    groups.Edit();
    name.setAsString("G0003 renamed");
    groups.Post();
    QCOMPARE(name.AsString(), QString("G0003 renamed"));
    groups.First();
    QCOMPARE(groups.MoveBy(count - 1), count - 1);
    QCOMPARE(groups.MoveBy(-(count - 4)), -(count - 4));
    QCOMPARE(name.AsString(), QString("G0003 renamed"));
    // A delete moves the rows after it up; near and far rows still read back.
    groups.Delete();
    QCOMPARE(name.AsString(), QString("G0004"));
    for (int row : {count - 2, 2, count / 2, 3}) {
      groups.setRecNo(row);
      QCOMPARE(name.AsString(), QString("G%1").arg(row < 3 ? row : row + 1, 4, 10, QChar('0')));
    }
  }

  // ---- changes ----------------------------------------------------------------

  void groupsAppendEditDeleteRoundTrip() {
    connect();
    TQuery groups(db_.get());
    TDataSource ds(&groups);
    QSignalSpy states(&ds, &TDataSource::stateChange);
    openLive(groups, kGroupsSql);
    groups.Append();
    QCOMPARE(groups.State(), TDataSetState::dsInsert);
    QVERIFY(groups.FieldByName("GroupID").IsNull());
    groups.FieldByName("Name").setAsString("Banks");
    QVERIFY(groups.Modified());
    groups.Post();
    QCOMPARE(groups.State(), TDataSetState::dsBrowse);
    // The new record stays current (at the end, until the query runs again).
    QCOMPARE(groups.FieldByName("Name").AsString(), QString("Banks"));
    const int id = groups.FieldByName("GroupID").AsInteger();
    QVERIFY(id > 4);
    QCOMPARE(groups.RecordCount(), 5);
    QCOMPARE(select("select * from groups where GroupID = " + QString::number(id), "Name"), QStringList{"Banks"});

    QVERIFY(groups.Locate("Name", "misc accounts", loCaseInsensitive));
    groups.Edit();
    QCOMPARE(groups.State(), TDataSetState::dsEdit);
    groups.FieldByName("Name").setAsString("Miscellaneous");
    groups.Cancel();
    QCOMPARE(groups.FieldByName("Name").AsString(), QString("Misc Accounts"));
    groups.Edit();
    groups.FieldByName("Name").setAsString("Miscellaneous");
    groups.Post();
    QCOMPARE(groups.FieldByName("Name").AsString(), QString("Miscellaneous"));
    QVERIFY(groups.Locate("Name", "Web Subscriptions"));
    groups.Delete();
    QCOMPARE(groups.RecordCount(), 4);
    QCOMPARE(groups.FieldByName("Name").AsString(), QString("Banks"));  // the one after the deleted
    groups.Refresh();
    QCOMPARE(groups.FieldByName("Name").AsString(), QString("Banks"));  // the same record, sorted now
    QCOMPARE(column(groups, "Name"),
             (QStringList{"Banks", "Email Accounts", "Miscellaneous", "Web Discussion Boards"}));
    QCOMPARE(select(kGroupsSql, "Name"),
             (QStringList{"Banks", "Email Accounts", "Miscellaneous", "Web Discussion Boards"}));
    QVERIFY(states.count() >= 6);  // insert, browse, edit, browse, edit, browse
    // An untouched insert is dropped by the next move; Delete in insert state cancels.
    groups.Append();
    groups.First();
    QCOMPARE(groups.State(), TDataSetState::dsBrowse);
    QCOMPARE(groups.RecordCount(), 4);
    groups.Append();
    groups.Delete();
    QCOMPARE(groups.RecordCount(), 4);
  }

  void accountsWithNotesDatesAndWindows1252Text() {
    connect();
    TQuery groups(db_.get()), passwords(db_.get());
    TDataSource dsGroups(&groups);
    openLive(groups, kGroupsSql);
    passwords.setDataSource(&dsGroups);
    openLive(passwords, kPasswordsSql);
    // The data module's rules: a new account joins the current group; dates
    // lose their time of day.
    passwords.AfterInsert = [&](TDataSet& ds) {
      ds.FieldByName("GroupID").setAsInteger(groups.FieldByName("GroupID").AsInteger());
    };
    passwords.BeforePost = [](TDataSet& ds) {
      for (const char* name : {"ExpireDate", "AssignDate"}) {
        TField& f = ds.FieldByName(name);
        if (!f.IsNull()) f.setAsDateTime(QDateTime(f.AsDateTime().date(), QTime(0, 0)));
      }
    };
    const QString notes = QStringLiteral("caf\u00E9 \u20AC5\r\nsecond line");
    passwords.Append();
    QCOMPARE(passwords.FieldByName("GroupID").AsInteger(), groups.FieldByName("GroupID").AsInteger());
    QVERIFY(passwords.FieldByName("Notes").IsNull());
    passwords.FieldByName("Description").setAsString(QStringLiteral("Caf\u00E9 mail"));
    passwords.FieldByName("ID").setAsString("jo");
    passwords.FieldByName("Notes").setAsString(notes);
    passwords.FieldByName("ExpireDate").setAsDateTime(QDateTime(QDate(2002, 3, 15), QTime(14, 30)));
    passwords.FieldByName("ShowAccount").setAsBoolean(true);
    QCOMPARE(passwords.FieldByName("Notes").AsString(), notes);  // pending, read back before the post
    passwords.Post();
    QCOMPARE(passwords.FieldByName("Notes").AsString(), notes);
    QCOMPARE(passwords.FieldByName("ExpireDate").AsDateTime(), QDateTime(QDate(2002, 3, 15), QTime(0, 0)));
    QCOMPARE(passwords.FieldByName("ExpireDate").AsString(), QString("03/15/2002"));
    QVERIFY(passwords.FieldByName("AssignDate").IsNull());
    QVERIFY(passwords.FieldByName("Password").IsNull());
    QVERIFY(passwords.FieldByName("ShowAccount").AsBoolean());
    const int id = passwords.FieldByName("PasswordID").AsInteger();

    // Characters outside Windows-1252 are refused, naming the field; the
    // record keeps its state and values.
    passwords.Edit();
    for (const char* name : {"Notes", "Description"}) {
      const QString message = refusal([&] { passwords.FieldByName(name).setAsString(QStringLiteral("x\u4E2Dy")); });
      QVERIFY2(message.contains(name) && message.contains("Windows-1252") && message.contains(QChar(0x4E2D)),
               qPrintable(message));
      QCOMPARE(passwords.State(), TDataSetState::dsEdit);
    }
    QCOMPARE(passwords.FieldByName("Notes").AsString(), notes);
    QVERIFY(!refusal([&] { passwords.FieldByName("ID").setAsString(QString(101, 'x')); }).isEmpty());
    passwords.FieldByName("Notes").setAsString("changed \u00FCber");
    passwords.FieldByName("ExpireDate").Clear();
    passwords.Post();

    TQuery check(db_.get());
    check.setSQL("select * from passwords where PasswordID = :id");
    check.ParamByName("id").setAsInteger(id);
    check.Open();
    QCOMPARE(check.RecordCount(), 1);
    QCOMPARE(check.FieldByName("Description").AsString(), QStringLiteral("Caf\u00E9 mail"));
    QCOMPARE(check.FieldByName("Notes").AsString(), QStringLiteral("changed \u00FCber"));
    QVERIFY(check.FieldByName("ExpireDate").IsNull());
    QVERIFY(check.FieldByName("ShowAccount").AsBoolean());
    check.Close();

    // Clearing the notes stores no text.
    passwords.Edit();
    passwords.FieldByName("Notes").Clear();
    passwords.Post();
    QVERIFY(passwords.FieldByName("Notes").IsNull());
    check.Open();
    QVERIFY(check.FieldByName("Notes").IsNull());
  }

  void parametersOfEveryType() {
    connect();
    TQuery passwords(db_.get());
    openLive(passwords, "select * from passwords");
    passwords.Append();
    passwords.FieldByName("GroupID").setAsInteger(1);
    passwords.FieldByName("Description").setAsString("It's \"quoted\"");
    passwords.FieldByName("ExpireDate").setAsString("03/15/2002");
    passwords.FieldByName("ShowAccount").setAsBoolean(false);
    passwords.Post();

    struct Case {
      const char* sql;
      std::function<void(TParam&)> set;
      int rows;
    };
    const std::vector<Case> cases = {
        {"select * from passwords where GroupID = :g", [](TParam& p) { p.setAsInteger(1); }, 1},
        {"select * from passwords where GroupID = :g", [](TParam& p) { p.setAsInteger(2); }, 0},
        {"select * from passwords where Description = :g", [](TParam& p) { p.setAsString("It's \"quoted\""); }, 1},
        {"select * from passwords where ExpireDate = :g",
         [](TParam& p) { p.setAsDateTime(QDateTime(QDate(2002, 3, 15), QTime(0, 0))); }, 1},
        {"select * from passwords where ShowAccount = :g", [](TParam& p) { p.setAsBoolean(false); }, 1},
        {"select * from passwords where ShowAccount = :g", [](TParam& p) { p.setAsBoolean(true); }, 0},
        {"select * from passwords where GroupID = :g", [](TParam& p) { p.Clear(); }, 0},
        // Quoted text, "::" and comments hold no parameters.
        {"select * from passwords where Description <> ':x' and GroupID = :g // :y?",
         [](TParam& p) { p.setAsInteger(1); }, 1},
    };
    for (const Case& c : cases) {
      TQuery q(db_.get());
      q.setSQL(c.sql);
      QCOMPARE(int(q.Params().size()), 1);
      c.set(q.ParamByName("G"));
      q.Open();
      QVERIFY2(q.RecordCount() == c.rows, c.sql);
    }
    TQuery q(db_.get());
    q.setSQL("select * from groups where Name = :n and [Na:me] <> 'a:b' and #01/01/2000 10:30# < Now() and 'x::' = :N");
    QCOMPARE(
        q.EngineSQL(),
        QString(
            "select * from groups where Name = ? and [Na:me] <> 'a:b' and #01/01/2000 10:30# < Now() and 'x::' = ?"));
    QCOMPARE(int(q.Params().size()), 1);
    QVERIFY(!refusal([&] { q.Open(); }).isEmpty());  // no value for n
    QVERIFY(!q.Active());
    q.setSQL("select * from groups where Name = :n");
    QVERIFY(!refusal([&] { q.ParamByName("n").setAsString("\u4E2D"), q.Open(); }).isEmpty());
    QVERIFY(!refusal([&] { q.ParamByName("nope"); }).isEmpty());
  }

  // ---- master and detail --------------------------------------------------------

  void accountsFollowTheCurrentGroup() {
    connect();
    TQuery groups(db_.get()), passwords(db_.get());
    TDataSource dsGroups(&groups), dsPasswords(&passwords);
    openLive(groups, kGroupsSql);
    passwords.setDataSource(&dsGroups);
    openLive(passwords, kPasswordsSql);
    passwords.AfterInsert = [&](TDataSet& ds) {
      ds.FieldByName("GroupID").setAsInteger(groups.FieldByName("GroupID").AsInteger());
    };
    // Listeners of the groups see the accounts of the new current group.
    QList<int> counts;
    QObject::connect(&dsGroups, &TDataSource::dataChange, [&](TField* field) {
      if (!field) counts << passwords.RecordCount();
    });
    auto add = [&](const QString& description) {
      passwords.Append();
      passwords.FieldByName("Description").setAsString(description);
      passwords.Post();
    };
    add("Work mail");  // Email Accounts
    add("Home mail");
    groups.Next();  // Misc Accounts
    QCOMPARE(counts.last(), 0);
    add("Bank");
    groups.First();
    QCOMPARE(counts.last(), 2);
    QCOMPARE(column(passwords, "Description"), (QStringList{"Home mail", "Work mail"}));
    QVERIFY(groups.Locate("Name", "misc", loCaseInsensitive | loPartialKey));
    QCOMPARE(column(passwords, "Description"), QStringList{"Bank"});
    QCOMPARE(passwords.FieldByName("GroupID").AsInteger(), groups.FieldByName("GroupID").AsInteger());

    // A change of the current account is posted before the group changes.
    passwords.Edit();
    passwords.FieldByName("Password").setAsString("pin");
    groups.First();
    QCOMPARE(passwords.State(), TDataSetState::dsBrowse);
    QCOMPARE(select("select * from passwords where Description = 'Bank'", "Password"), QStringList{"pin"});

    // Master in insert state: no current group, no accounts; cancelling
    // brings them back.
    groups.Append();
    QVERIFY(passwords.IsEmpty());
    groups.Cancel();
    QCOMPARE(passwords.RecordCount(), 2);

    // Deleting a group deletes its accounts (the relation), and the accounts
    // shown are the next group's.
    QVERIFY(groups.Locate("Name", "Misc Accounts"));
    passwords.Edit();  // a pending change of an account that goes with its group
    passwords.FieldByName("Password").setAsString("gone");
    groups.Delete();
    QCOMPARE(passwords.State(), TDataSetState::dsBrowse);
    QCOMPARE(groups.FieldByName("Name").AsString(), QString("Web Discussion Boards"));
    QVERIFY(passwords.IsEmpty());
    QCOMPARE(select("select * from passwords", "Description"), (QStringList{"Work mail", "Home mail"}));

    // A parameter given a value of its own no longer follows the master.
    passwords.ParamByName("GroupId").setAsInteger(1);  // Email Accounts
    passwords.Refresh();
    groups.Last();
    QCOMPARE(passwords.RecordCount(), 2);
  }

  void locateByKeysAndOptions() {
    connect();
    TQuery passwords(db_.get());
    openLive(passwords, "select * from passwords order by Description");
    for (const char* d : {"alpha", "Beta", "beta two", "Gamma"}) {
      passwords.Append();
      passwords.FieldByName("GroupID").setAsInteger(1);
      passwords.FieldByName("Description").setAsString(d);
      passwords.Post();
    }
    passwords.Refresh();
    struct Case {
      QVariant value;
      TLocateOptions options;
      const char* found;  // null: none, the current record stays
    };
    const std::vector<Case> cases = {
        {"beta", 0, nullptr},
        {"beta", loCaseInsensitive, "Beta"},
        {"BETA T", loCaseInsensitive | loPartialKey, "beta two"},
        {"Gam", loPartialKey, "Gamma"},
        {"gam", loPartialKey, nullptr},
        {QVariant(), 0, nullptr},
    };
    for (const Case& c : cases) {
      passwords.First();
      QCOMPARE(passwords.Locate("Description", c.value, c.options), c.found != nullptr);
      QCOMPARE(passwords.FieldByName("Description").AsString(), QString(c.found ? c.found : "alpha"));
    }
    QVERIFY(passwords.Locate("Description", "Gamma"));
    const int id = passwords.FieldByName("PasswordID").AsInteger();
    passwords.First();
    QVERIFY(passwords.Locate("PasswordID;GroupID", QVariantList{id, 1}));
    QCOMPARE(passwords.FieldByName("Description").AsString(), QString("Gamma"));
    QVERIFY(!passwords.Locate("passwordid;groupid", QVariantList{id, 2}));
    QVERIFY(!refusal([&] { passwords.Locate("PasswordID;GroupID", QVariantList{id}); }).isEmpty());
    QVERIFY(!refusal([&] { passwords.Locate("NoSuchField", 1); }).isEmpty());
  }

  // A post the file refuses raises the engine's error and keeps the record
  // in its edit or insert state, values and all; it can then be mended and
  // posted, or cancelled.
  void failedPostKeepsTheEditState() {
    connect();
    TQuery passwords(db_.get());
    openLive(passwords, "select * from passwords order by Description");
    passwords.Append();
    passwords.FieldByName("GroupID").setAsInteger(1);
    passwords.FieldByName("Description").setAsString("Kept");
    passwords.Post();

    constexpr kbe::DBIResult kForeignKey = 0x2605, kKeyViolation = 0x2601;
    struct Case {
      const char* what;
      bool insert;
      std::function<void(TDataSet&)> breakIt;
      kbe::DBIResult code;
      std::function<void(TDataSet&)> mend;  // null: cancel instead
    };
    const std::vector<Case> cases = {
        {"insert into a group that does not exist", true,
         [](TDataSet& ds) { ds.FieldByName("GroupID").setAsInteger(999); }, kForeignKey,
         [](TDataSet& ds) { ds.FieldByName("GroupID").setAsInteger(2); }},
        {"insert without a group (a null key)", true, [](TDataSet&) {}, kKeyViolation,
         [](TDataSet& ds) { ds.FieldByName("GroupID").setAsInteger(3); }},
        {"move to a group that does not exist", false,
         [](TDataSet& ds) { ds.FieldByName("GroupID").setAsInteger(999); }, kForeignKey,
         [](TDataSet& ds) { ds.FieldByName("GroupID").setAsInteger(4); }},
        {"move to a group that does not exist, cancelled", false,
         [](TDataSet& ds) { ds.FieldByName("GroupID").setAsInteger(998); }, kForeignKey, nullptr},
    };
    for (const Case& c : cases) {
      if (c.insert) {
        passwords.Append();
        passwords.FieldByName("Description").setAsString(c.what);
      } else {
        QVERIFY(passwords.Locate("Description", "Kept"));
        passwords.Edit();
        passwords.FieldByName("Notes").setAsString("notes kept");
      }
      c.breakIt(passwords);
      const TDataSetState state = passwords.State();
      try {
        passwords.Post();
        QFAIL(c.what);
      } catch (const EDBEngineError& e) {
        QCOMPARE(e.errorCode(), c.code);
        QVERIFY2(e.messages().size() >= 2, c.what);  // the code's text and the file's reason
      }
      QCOMPARE(passwords.State(), state);
      QCOMPARE(passwords.FieldByName("Description").AsString(), QString(c.insert ? c.what : "Kept"));
      if (!c.insert) QCOMPARE(passwords.FieldByName("Notes").AsString(), QString("notes kept"));
      if (c.mend) {
        c.mend(passwords);
        passwords.Post();
        QCOMPARE(passwords.State(), TDataSetState::dsBrowse);
      } else {
        passwords.Cancel();
        QCOMPARE(passwords.FieldByName("GroupID").AsInteger(), 4);
        QVERIFY(passwords.FieldByName("Notes").AsString() == "notes kept");
      }
    }
    // The refused change left nothing pending: a change of another record
    // goes to that record alone.
    QVERIFY(passwords.Locate("Description", "insert without a group (a null key)"));
    passwords.Edit();
    passwords.FieldByName("Password").setAsString("other");
    passwords.Post();
    QCOMPARE(select("select * from passwords order by Description", "Description"),
             (QStringList{"insert into a group that does not exist", "insert without a group (a null key)", "Kept"}));
    QCOMPARE(select("select * from passwords order by Description", "Password"), (QStringList{"", "other", ""}));
    QCOMPARE(select("select * from passwords where Description = 'Kept'", "GroupID"), QStringList{"4"});
  }

  // ---- controls -----------------------------------------------------------------

  void gridAndEditBoxFollowTheDataSet() {
    connect();
    TQuery groups(db_.get());
    TDataSource ds(&groups);
    openLive(groups, kGroupsSql);
    TDBGridModel model(&ds, {"Name"});
    QCOMPARE(model.rowCount(), 4);
    QCOMPARE(model.columnCount(), 1);
    QCOMPARE(model.data(model.index(2, 0)).toString(), kSampleGroups[2]);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QString("Name"));
    QCOMPARE(groups.RecNo(), 0);  // reading rows does not move

    TDBEdit edit;
    QStringList errors;
    QObject::connect(&edit, &TDBEdit::dataError, [&](const QString& m) { errors << m; });
    edit.setDataSource(&ds);
    edit.setDataField("Name");
    QCOMPARE(edit.text(), kSampleGroups[0]);
    QCOMPARE(edit.maxLength(), 50);
    groups.Next();
    QCOMPARE(edit.text(), kSampleGroups[1]);

    // Typing puts the record into edit state and writes the field.
    edit.setFocus();
    edit.selectAll();
    QTest::keyClicks(&edit, "Misc");
    QCOMPARE(groups.State(), TDataSetState::dsEdit);
    QCOMPARE(groups.FieldByName("Name").AsString(), QString("Misc"));
    QCOMPARE(model.data(model.index(1, 0)).toString(), QString("Misc"));
    // A character Windows-1252 cannot hold is refused and the text stays.
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar(0x4E2D)));
    QCoreApplication::sendEvent(&edit, &press);
    QCOMPARE(errors.size(), 1);
    QVERIFY(errors.first().contains("Windows-1252"));
    QCOMPARE(edit.text(), QString("Misc"));
    groups.Post();
    QCOMPARE(model.rowCount(), 4);
    QCOMPARE(model.data(model.index(1, 0)).toString(), QString("Misc"));

    TDBGrid grid;
    grid.setDataSource(&ds, {"Name"});
    QCOMPARE(grid.currentIndex().row(), 1);
    grid.setCurrentIndex(grid.model()->index(3, 0));
    QCOMPARE(groups.RecNo(), 3);
    QCOMPARE(edit.text(), kSampleGroups[3]);
    groups.First();
    QCOMPARE(grid.currentIndex().row(), 0);
    groups.Close();
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(edit.text().isEmpty());
    QVERIFY(edit.isReadOnly());
  }

  void fieldControlsShowAndWrite() {
    connect();
    TQuery groups(db_.get()), options(db_.get()), passwords(db_.get());
    TDataSource dsGroups(&groups), dsOptions(&options), dsPasswords(&passwords);
    openLive(groups, kGroupsSql);
    openLive(options, "select * from options");
    openLive(passwords, "select * from passwords");
    passwords.Append();
    passwords.FieldByName("GroupID").setAsInteger(1);
    passwords.FieldByName("Description").setAsString("Mail");
    passwords.FieldByName("Notes").setAsString("one\r\ntwo");
    passwords.Post();

    // The options row: a check box, the group selector, a combo box.
    TDBCheckBox tray;
    tray.setDataSource(&dsOptions);
    tray.setDataField("pwdsystray");
    QVERIFY(tray.isChecked());
    tray.click();
    QCOMPARE(options.State(), TDataSetState::dsEdit);
    QCOMPARE(options.FieldByName("pwdsystray").AsBoolean(), false);

    TDBLookupComboBox selector;
    selector.setDataSource(&dsOptions);
    selector.setDataField("Group");
    selector.setListSource(&dsGroups);
    selector.setKeyField("Name");
    selector.setListField("Name");
    QCOMPARE(selector.count(), 4);
    QCOMPARE(selector.currentText(), QString("Email Accounts"));
    selector.setCurrentIndex(2);
    emit selector.activated(2);
    QCOMPARE(options.FieldByName("Group").AsString(), kSampleGroups[2]);
    options.Post();
    QCOMPARE(select("select * from options", "Group"), QStringList{kSampleGroups[2]});
    QCOMPARE(select("select * from options", "pwdsystray"), QStringList{"False"});

    TDBComboBox style;
    style.addItems({"None", "Marble"});
    style.setDataSource(&dsOptions);
    style.setDataField("style");
    QCOMPARE(style.currentText(), QString("None"));
    emit style.textActivated("Marble");
    QCOMPARE(options.FieldByName("style").AsString(), QString("Marble"));
    options.Cancel();
    QCOMPARE(style.currentText(), QString("None"));

    // The account: notes with Windows line breaks, a date box that can be empty.
    TDBMemo memo;
    memo.setDataSource(&dsPasswords);
    memo.setDataField("Notes");
    QCOMPARE(memo.toPlainText(), QString("one\ntwo"));
    memo.moveCursor(QTextCursor::End);
    QTest::keyClicks(&memo, "!");
    QCOMPARE(passwords.FieldByName("Notes").AsString(), QString("one\r\ntwo!"));
    memo.setMaxLength(8);
    QTest::keyClicks(&memo, "?");
    QCOMPARE(memo.toPlainText(), QString("one\ntwo!"));

    TDBDateEdit expires;
    expires.setDataSource(&dsPasswords);
    expires.setDataField("ExpireDate");
    QVERIFY(expires.isNull());
    expires.setDate(QDate(2024, 2, 29));
    QCOMPARE(passwords.FieldByName("ExpireDate").AsDateTime(), QDateTime(QDate(2024, 2, 29), QTime(0, 0)));
    passwords.Post();
    QCOMPARE(expires.date(), QDate(2024, 2, 29));
    expires.setNull();
    QVERIFY(passwords.FieldByName("ExpireDate").IsNull());
    passwords.Post();
    QCOMPARE(select("select * from passwords", "Notes"), QStringList{"one\r\ntwo!"});
    QCOMPARE(select("select * from passwords", "ExpireDate"), QStringList{""});
  }
};

QTEST_MAIN(DataSetTest)
#include "dataset_test.moc"
