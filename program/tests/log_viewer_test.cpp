// The access log viewer over a real log file in a temporary program
// directory.
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QtTest>

#include "data/AccessLog.h"
#include "gui/Log.h"
#include "gui/MessageBox.h"
#include "screenshot_support.h"

class LogViewerTest : public QObject {
  Q_OBJECT

  QTemporaryDir home_;

  static QByteArray lines(int count, const QByteArray& name = "accounts") {
    QByteArray data;
    for (int i = 0; i < count; ++i)
      data += QByteArray("06/19/2001 10:") + QByteArray::number(10 + i % 50) + " PM ... " + name +
              (i % 3 == 2 ? " ... failed\r\n" : " ... success\r\n");
    return data;
  }
  static void writeLog(const QByteArray& data) {
    QFile f(AccessLog::FilePath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
  }
  static QByteArray logBytes() {
    QFile f(AccessLog::FilePath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
  }
  // The colour of the character at `position` of the viewer's text.
  static QColor colourAt(const TfrmLog& viewer, int position) {
    QTextCursor cursor(viewer.MemoLog->document());
    cursor.setPosition(position + 1);  // the format of the character before the cursor
    return cursor.charFormat().foreground().color();
  }

 private slots:
  void initTestCase() { qputenv("KEYHAVEN_HOME", home_.path().toLocal8Bit()); }
  void init() { QFile::remove(AccessLog::FilePath()); }

  void missingFileIsSaidInTheText() {
    TfrmLog viewer;
    QCOMPARE(viewer.windowTitle(), QString("Log"));
    QCOMPARE(viewer.MemoLog->toPlainText(), QString("Could not find Log file"));
    QCOMPARE(viewer.lblCount->text(), QString());
    QVERIFY(!QFile::exists(AccessLog::FilePath()));
  }

  void entryCountTexts_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << 0 << " No entries";
    QTest::newRow("one") << 1 << " 1 log entry";
    QTest::newRow("twelve") << 12 << " 12 log entries";
  }
  void entryCountTexts() {
    QFETCH(int, count);
    QFETCH(QString, text);
    writeLog(lines(count));
    TfrmLog viewer;
    QCOMPARE(viewer.LineCount(), count);
    QCOMPARE(viewer.lblCount->text(), text);
  }

  void outcomesAreColouredAlsoInsideWords() {
    writeLog("06/19/2001 10:22 PM ... unsuccessful ... failed\r\n"
             "06/19/2001 10:23 PM ... accounts ... SUCCESS\r\n");
    TfrmLog viewer;
    const QString text = viewer.MemoLog->toPlainText();
    const QColor green(0, 128, 0), red(255, 0, 0);
    const int inWord = text.indexOf("success");
    QCOMPARE(colourAt(viewer, inWord), green);
    QCOMPARE(colourAt(viewer, inWord + 6), green);
    QVERIFY(colourAt(viewer, inWord + 7) != green);  // the "ful" after it
    QVERIFY(colourAt(viewer, inWord - 1) != green);  // the "un" before it
    const int failed = text.indexOf("failed");
    QCOMPARE(colourAt(viewer, failed), red);
    QCOMPARE(colourAt(viewer, failed + 5), red);
    QCOMPARE(colourAt(viewer, text.indexOf("SUCCESS")), green);
    QVERIFY(colourAt(viewer, 0) != green && colourAt(viewer, 0) != red);
    // The caret rests at the start of the text.
    QCOMPARE(viewer.MemoLog->textCursor().position(), 0);
  }

  void opensScrolledToTheNewestLines() {
    writeLog(lines(200));
    TfrmLog viewer;
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    const QScrollBar* bar = viewer.MemoLog->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    // Both scroll bars, no word wrap, no tab stop, tooltip yellow.
    QCOMPARE(viewer.MemoLog->lineWrapMode(), QTextEdit::NoWrap);
    QCOMPARE(viewer.MemoLog->focusPolicy(), Qt::NoFocus);
    QCOMPARE(viewer.MemoLog->palette().color(QPalette::Base), QColor(0xff, 0xff, 0xe1));
  }

  void clearLogAsksFirst() {
    writeLog(lines(4));
    MessageBox::Script script;
    TfrmLog viewer;
    viewer.show();
    script.Answer({QMessageBox::Cancel});
    QTest::mouseClick(viewer.Button1, Qt::LeftButton);
    QCOMPARE(script.LastText(), QString("Clear the Log?"));
    QCOMPARE(script.Boxes().back().buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(logBytes(), lines(4));
    QCOMPARE(viewer.lblCount->text(), QString(" 4 log entries"));

    script.Answer({QMessageBox::Ok});
    QTest::mouseClick(viewer.Button1, Qt::LeftButton);
    QVERIFY(QFile::exists(AccessLog::FilePath()));
    QCOMPARE(logBytes(), QByteArray());
    QCOMPARE(viewer.MemoLog->toPlainText(), QString());
    QCOMPARE(viewer.lblCount->text(), QString(" No entries"));
  }

  void clickOnTheToolbarTrimsThreeLines() {
    writeLog(lines(6));
    TfrmLog viewer;
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    // A click on a button is not a click on the toolbar.
    MessageBox::Script script;
    QTest::mouseClick(viewer.Button1, Qt::LeftButton);
    QCOMPARE(logBytes(), lines(6));
    // Beside the buttons: the three oldest lines go.
    QTest::mouseClick(viewer.pnlToolbar, Qt::LeftButton, {}, QPoint(viewer.pnlToolbar->width() - 10, 8));
    QCOMPARE(logBytes(), lines(6).mid(lines(3).size()));
    QCOMPARE(viewer.lblCount->text(), QString(" 3 log entries"));
    QCOMPARE(colourAt(viewer, viewer.MemoLog->toPlainText().indexOf("failed")), QColor(255, 0, 0));
    // Twice more: nothing is left, the file stays.
    QTest::mouseClick(viewer.pnlToolbar, Qt::LeftButton, {}, QPoint(viewer.pnlToolbar->width() - 10, 8));
    QCOMPARE(logBytes(), QByteArray());
    QCOMPARE(viewer.lblCount->text(), QString(" No entries"));
  }

  void escapeAndCloseShutTheViewer() {
    writeLog(lines(2));
    {
      TfrmLog viewer;
      viewer.show();
      QVERIFY(QTest::qWaitForWindowExposed(&viewer));
      QTest::keyClick(&viewer, Qt::Key_Escape);
      QVERIFY(!viewer.isVisible());
    }
    {
      TfrmLog viewer;
      viewer.show();
      QVERIFY(QTest::qWaitForWindowExposed(&viewer));
      QTest::keyClick(viewer.MemoLog, Qt::Key_Escape);
      QVERIFY(!viewer.isVisible());
    }
    TfrmLog viewer;
    viewer.show();
    QCOMPARE(viewer.cmdClose->text(), QString("C&lose"));
    QTest::mouseClick(viewer.cmdClose, Qt::LeftButton);
    QVERIFY(!viewer.isVisible());
  }

  void showLogRestoresTheCursor() {
    writeLog(lines(1));
    QWidget main;
    main.show();
    QTimer::singleShot(0, [&] {
      QCOMPARE(main.cursor().shape(), Qt::WaitCursor);
      if (auto* viewer = main.findChild<TfrmLog*>()) viewer->reject();
    });
    ShowLog(&main);
    QCOMPARE(main.cursor().shape(), Qt::ArrowCursor);
  }

  void screenshot() {
    if (ScreenshotDir().isEmpty()) QSKIP("KH_SCREENSHOTS not set");
    writeLog(lines(30, "accounts") + "06/20/2001 08:02 AM ... family ... failed\r\n" +
             "06/20/2001 08:03 AM ... family ... success\r\n");
    TfrmLog viewer;
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    SaveScreenshot(viewer, "log");
  }
};

QTEST_MAIN(LogViewerTest)
#include "log_viewer_test.moc"
