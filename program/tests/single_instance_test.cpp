// One running copy: a second copy asks the first to come forward and ends.
#include <stdlib.h>
#include <unistd.h>

#include <QProcess>
#include <QSysInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "gui/SingleInstance.h"

class SingleInstanceTest : public QObject {
  Q_OBJECT

  QTemporaryDir runtime_;

 private slots:
  void initTestCase() {
    QVERIFY(runtime_.isValid());
    setenv("XDG_RUNTIME_DIR", runtime_.path().toUtf8().constData(), 1);
  }

  void secondCopyAsksTheFirstToComeForward() {
    const QString name = QStringLiteral("single-instance-test-%1").arg(::getpid());
    TSingleInstance first(name);
    QVERIFY(first.TryLock());
    QVERIFY(first.Listen());
    QSignalSpy spy(&first, &TSingleInstance::comeForwardRequested);

    TSingleInstance second(name);
    QVERIFY(!second.TryLock());
    QVERIFY(second.AskFirstToComeForward());
    QTRY_COMPARE(spy.count(), 1);

    // Another program name is another program.
    TSingleInstance other(name + QStringLiteral("-other"));
    QVERIFY(other.TryLock());
  }

  void aLockLeftByADeadCopyIsTakenOver() {
    const QString name = QStringLiteral("single-instance-dead-%1").arg(::getpid());
    {
      QFile stale(runtime_.filePath(name + QStringLiteral("-") + QString::number(::getuid()) + QStringLiteral(".lock")));
      QVERIFY(stale.open(QIODevice::WriteOnly));
      stale.write("999999\nkeyhaven\n" + QSysInfo::machineHostName().toUtf8() + "\n");  // a process that does not run
    }
    TSingleInstance copy(name);
    QVERIFY(copy.TryLock());
  }

  void secondProgramEndsWhileTheFirstRuns() {
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KEYHAVEN_HOME", home.path());
    env.insert("KBE_ROOT", home.path());
    env.insert("XDG_RUNTIME_DIR", runtime_.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess first, second;
    for (QProcess* p : {&first, &second}) p->setProcessEnvironment(env);
    first.start(QStringLiteral(KEYHAVEN_EXE), {});
    QVERIFY(first.waitForStarted());
    // The first copy is up once its socket answers.
    TSingleInstance probe(QStringLiteral("keyhaven"));
    QTRY_VERIFY_WITH_TIMEOUT(probe.AskFirstToComeForward(200), 15000);
    second.start(QStringLiteral(KEYHAVEN_EXE), {});
    QVERIFY(second.waitForFinished(15000));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished();
  }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"
