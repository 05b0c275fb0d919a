// The main window as the user first sees it.
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>

#include "data/DataModule.h"
#include "gui/Main.h"

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir home_;
  TDM dm_;

 private slots:
  void initTestCase() {
    QVERIFY(home_.isValid());
    qputenv("KBE_ROOT", home_.path().toLocal8Bit());
    qputenv("KEYHAVEN_HOME", home_.path().toLocal8Bit());
  }

  void captionAndSize() {
    TfrmMain w(dm_);
    QCOMPARE(w.windowTitle(), QString(" Keyhaven"));
    QCOMPARE(w.size(), QSize(612, 464));
  }

  void isCentredAndClosesCleanly() {
    TfrmMain w(dm_);
    w.centreOnScreen();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QRect area = w.screen()->availableGeometry();
    QVERIFY(std::abs(w.frameGeometry().center().x() - area.center().x()) <= 4);  // the frame is not known before showing
    QVERIFY(std::abs(w.frameGeometry().center().y() - area.center().y()) <= 4);  // the frame is not known before showing
    QVERIFY(w.close());
    QVERIFY(!w.isVisible());
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
