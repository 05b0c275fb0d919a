// The main window as the user first sees it.
#include <QApplication>
#include <QTest>

#include <cstdlib>

#include "gui/Main.h"

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void captionAndSize() {
    TfrmMain w;
    QCOMPARE(w.windowTitle(), QString(" Keyhaven"));
    QCOMPARE(w.size(), QSize(612, 464));
  }

  void isCentredAndClosesCleanly() {
    TfrmMain w;
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
