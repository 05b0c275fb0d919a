// Copying and compacting password database files on real files, including a
// compaction killed at random moments in a child process.
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "data/DataModule.h"
#include "data/DatabaseFiles.h"

namespace {

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& data) {
  QFile f(path);
  if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(data);
}

// Everything the data module reads from the file, as text.
QStringList contents(TDM& dm, const QString& password) {
  dm.DB.setParams({QStringLiteral("CONNECT=;PWD=") + password});
  dm.DB.Open();
  QStringList rows;
  for (TQuery* q : {&dm.qryGroups, &dm.qryOptions}) {
    q->Open();
    for (q->First(); !q->Eof(); q->Next()) {
      QString row;
      for (int i = 0; i < q->FieldCount(); ++i) row += q->Fields()[static_cast<size_t>(i)]->AsString() + '|';
      rows << row;
    }
  }
  dm.qryPasswords.Open();
  for (dm.qryGroups.First(); !dm.qryGroups.Eof(); dm.qryGroups.Next())
    for (dm.qryPasswords.First(); !dm.qryPasswords.Eof(); dm.qryPasswords.Next())
      rows << dm.qryPasswords.FieldByName("Description").AsString() + '|' +
                  dm.qryPasswords.FieldByName("Password").AsString() + '|' +
                  dm.qryPasswords.FieldByName("Notes").AsString();
  dm.DB.Close();
  return rows;
}

void fill(TDM& dm, const QString& password, int accounts) {
  dm.DB.setParams({QStringLiteral("CONNECT=;PWD=") + password});
  dm.DB.Open();
  dm.qryGroups.Open();
  dm.qryPasswords.Open();
  for (int i = 0; i < accounts; ++i) {
    dm.qryPasswords.Append();
    dm.qryPasswords.FieldByName("Description").setAsString(QStringLiteral("Account %1").arg(i, 4, 10, QChar('0')));
    dm.qryPasswords.FieldByName("Password").setAsString(QStringLiteral("pw-%1").arg(i));
    dm.qryPasswords.FieldByName("Notes").setAsString(QString(200, QChar('a' + i % 26)));
    dm.qryPasswords.Post();
  }
  dm.DB.Close();
}

// The child of the crash test: compacts the file again and again until it is
// killed.
int compactForever(const QString& path, const QString& password) {
  for (;;) {
    const QString result = CompactDatabaseFile(path, password);
    if (result.startsWith(QStringLiteral("Error"))) return 2;
  }
}

}  // namespace

class DatabaseFilesTest : public QObject {
  Q_OBJECT

  QTemporaryDir root_;

 private slots:
  void initTestCase() {
    QVERIFY(root_.isValid());
    setenv("KBE_ROOT", root_.path().toUtf8().constData(), 1);
  }

  void copyFileAnswersEachResultText() {
    QTemporaryDir dir;
    const QString source = dir.filePath("source.pdb");
    writeFile(source, QByteArray(5000, 'x'));
    ::chmod(QFile::encodeName(source).constData(), 0640);
    struct {
      QString source, target, text;
    } const cases[] = {
        {source, source, "Error - Source is same as Target"},
        {dir.filePath("absent.pdb"), dir.filePath("t.pdb"), "Error - Source File not found"},
        {dir.path(), dir.filePath("t.pdb"), "Error - Source File not found"},
        {source, dir.filePath("no/such/t.pdb"), "Error - Target Directory not found"},
    };
    for (const auto& c : cases) QCOMPARE(CopyFile(c.source, c.target), c.text);

    if (::geteuid() != 0) {  // root reads and writes whatever the bits say
      const QString locked = dir.filePath("locked.pdb");
      writeFile(locked, "secret");
      ::chmod(QFile::encodeName(locked).constData(), 0);
      QCOMPARE(CopyFile(locked, dir.filePath("t.pdb")), QString("Error - Source file is in use. It cannot be opened"));
      const QString readOnly = dir.filePath("readonly.pdb");
      writeFile(readOnly, "old");
      ::chmod(QFile::encodeName(readOnly).constData(), 0400);
      QCOMPARE(CopyFile(source, readOnly),
               QString("Error - Target file is in use or is read-only. It cannot be overwritten"));
      QCOMPARE(readAll(readOnly), QByteArray("old"));
    }
    // A target that is a directory cannot be created either.
    QVERIFY(QDir(dir.path()).mkdir("adir"));
    QCOMPARE(CopyFile(source, dir.filePath("adir")),
             QString("Error - Target file is in use or is read-only. It cannot be overwritten"));

    // Success: a byte copy with the source's time and permission bits, over
    // an existing longer file.
    const QString target = dir.filePath("target.pdb");
    writeFile(target, QByteArray(9000, 'y'));
    QCOMPARE(CopyFile(source, target), QString("5000 bytes copied"));
    QCOMPARE(readAll(target), readAll(source));
    struct stat s {}, t {};
    ::stat(QFile::encodeName(source).constData(), &s);
    ::stat(QFile::encodeName(target).constData(), &t);
    QCOMPARE(t.st_mtim.tv_sec, s.st_mtim.tv_sec);
    QCOMPARE(t.st_mode & 07777, 0640u);
  }

  void compactionKeepsEveryRowAndThePassword() {
    QTemporaryDir dir;
    const QString file = dir.filePath("accounts.pdb");
    CreateDatabaseFile(file, "Master#1", true);
    TDM dm;
    TDM::StoreAliasPath(file);
    fill(dm, "Master#1", 30);
    const QStringList before = contents(dm, "Master#1");
    writeFile(CompactionTemporaryPath(file), "left over");
    const QString result = CompactDatabaseFile(file, "Master#1");
    QVERIFY2(result.endsWith(" bytes copied"), qPrintable(result));
    QCOMPARE(result, QString::number(QFileInfo(file).size()) + " bytes copied");
    QVERIFY(!QFile::exists(CompactionTemporaryPath(file)));
    QCOMPARE(contents(dm, "Master#1"), before);
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, contents(dm, "master#1"));
    QVERIFY(!readAll(file).startsWith("SQLite format 3"));
  }

  void compactionOfAMissingFileRaisesAndTouchesNothing() {
    QTemporaryDir dir;
    QVERIFY_THROWS_EXCEPTION(std::exception, CompactDatabaseFile(dir.filePath("absent.pdb"), "x"));
    QVERIFY(!QFile::exists(CompactionTemporaryPath(dir.filePath("absent.pdb"))));
  }

  void killedCompactionLeavesAFileThatOpensWithEverything() {
    QTemporaryDir dir;
    const QString file = dir.filePath("accounts.pdb");
    CreateDatabaseFile(file, "Master#1", true);
    TDM dm;
    TDM::StoreAliasPath(file);
    fill(dm, "Master#1", 150);
    const QStringList before = contents(dm, "Master#1");

    // How long one compaction takes here, so the kills land all through it.
    QElapsedTimer clock;
    clock.start();
    CompactDatabaseFile(file, "Master#1");
    const qint64 cycle = std::max<qint64>(clock.elapsed(), 20);

    for (int round = 0; round < 8; ++round) {
      QProcess child;
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      child.setProcessEnvironment(env);
      child.start(QCoreApplication::applicationFilePath(), {"--compact-forever", file, "Master#1"});
      QVERIFY(child.waitForStarted());
      QTest::qSleep(int(cycle / 2 + QRandomGenerator::global()->bounded(cycle * 2)));
      QCOMPARE(child.state(), QProcess::Running);
      ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
      QVERIFY(child.waitForFinished());
      QCOMPARE(contents(dm, "Master#1"), before);
    }
  }
};

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  if (argc == 4 && QByteArray(argv[1]) == "--compact-forever")
    return compactForever(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
  DatabaseFilesTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "database_files_test.moc"
