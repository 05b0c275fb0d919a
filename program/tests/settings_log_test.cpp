// The settings file and the access log, on real files in a temporary
// program directory.
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "data/AccessLog.h"
#include "data/Settings.h"

class SettingsLogTest : public QObject {
  Q_OBJECT

  QTemporaryDir home_;

  QByteArray logBytes() {
    QFile f(AccessLog::FilePath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  void writeLog(const QByteArray& data) {
    QFile f(AccessLog::FilePath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
  }

 private slots:
  void initTestCase() { qputenv("KEYHAVEN_HOME", home_.path().toLocal8Bit()); }
  void init() {
    QFile::remove(Settings::FilePath());
    QFile::remove(AccessLog::FilePath());
  }

  void settingsDefaultsWhenMissing() {
    QCOMPARE(Settings::FilePath(), home_.path() + "/kh.ini");
    QCOMPARE(Settings::ReadBool("Options", "maximized", false), false);
    QCOMPARE(Settings::ReadBool("ExpireOptions", "remind", true), true);
    QCOMPARE(Settings::ReadInt("Generator", "Length", 6), 6);
    QCOMPARE(Settings::ReadText("SearchDir", "dir", "/x"), QString("/x"));
    Settings::LoadSounds();
    QVERIFY(Settings::Sounds().buttons && Settings::Sounds().access);
  }

  void settingsRoundTripAndMarkers() {
    Settings::WriteBool("Options", "autocase", false);
    Settings::WriteInt("Generator", "Length", 12);
    Settings::WriteText("SearchDir", "dir", "/home/ann/caf\u00e9");
    QCOMPARE(Settings::ReadBool("Options", "autocase", true), false);
    QCOMPARE(Settings::ReadInt("Generator", "Length", 6), 12);
    QCOMPARE(Settings::ReadText("SearchDir", "dir", "x"), QString("/home/ann/caf\u00e9"));
    // The marker value reads as absent; a non-number reads as the default.
    Settings::WriteText("PrintOptions", "title", "ERROR");
    QCOMPARE(Settings::ReadText("PrintOptions", "title", "dflt"), QString("dflt"));
    Settings::WriteText("Generator", "Case", "abc");
    QCOMPARE(Settings::ReadInt("Generator", "Case", 0), 0);
    QCOMPARE(Settings::ReadBool("Generator", "Case", true), true);
    QFile ini(Settings::FilePath());
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(ini.readAll().contains("autocase=0\r\n"));
  }

  void settingsUnableToWrite() {
    // A program directory that does not exist cannot take the file.
    const QString missing = home_.path() + "/missing";
    qputenv("KEYHAVEN_HOME", missing.toLocal8Bit());
    bool raised = false;
    try {
      Settings::WriteBool("Options", "maximized", true);
    } catch (const ESettingsError& e) {
      raised = true;
      QCOMPARE(e.message(), "Unable to write to " + missing + "/kh.ini");
    }
    qputenv("KEYHAVEN_HOME", home_.path().toLocal8Bit());
    QVERIFY(raised);
  }

  void logLinesAppendAndMode() {
    QCOMPARE(AccessLog::Line(37061.932, "accounts", true), QString("06/19/2001 10:22 PM ... accounts ... success"));
    AccessLog::Append("accounts", true);
    AccessLog::Append("other", false);
    const QList<QByteArray> lines = logBytes().split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[0].endsWith(" ... accounts ... success\r"));
    QVERIFY(lines[1].endsWith(" ... other ... failed\r"));
    struct stat st {};
    QCOMPARE(stat(QFile::encodeName(AccessLog::FilePath()).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0600u);
  }

  void trimAtStartupAbove25000Bytes() {
    // 25001 bytes: 10 oldest lines go; exactly 25000 stays.
    QByteArray line(99, 'x');
    line += "\r\n";  // 101 bytes a line
    QByteArray data = line.repeated(247);  // 24947
    data += QByteArray(52, 'y') + "\r\n";  // 25001
    writeLog(data);
    AccessLog::TrimAtStartup();
    QCOMPARE(logBytes().size(), 25001 - 10 * 101);
    writeLog(data.left(25000 - 2) + "\r\n");
    AccessLog::TrimAtStartup();
    QCOMPARE(logBytes().size(), 25000);
    // Fewer lines than asked: all go, the file stays.
    writeLog("a\r\nb\r\n");
    AccessLog::Trim(3);
    QVERIFY(QFile::exists(AccessLog::FilePath()));
    QCOMPARE(logBytes(), QByteArray());
  }

  void clearAndCountTexts() {
    AccessLog::Append("a", true);
    AccessLog::Clear();
    QVERIFY(QFile::exists(AccessLog::FilePath()));
    QCOMPARE(logBytes(), QByteArray());
    QCOMPARE(AccessLog::EntryCountText(0), QString(" No entries"));
    QCOMPARE(AccessLog::EntryCountText(1), QString(" 1 log entry"));
    QCOMPARE(AccessLog::EntryCountText(12), QString(" 12 log entries"));
  }
};

QTEST_GUILESS_MAIN(SettingsLogTest)
#include "settings_log_test.moc"
