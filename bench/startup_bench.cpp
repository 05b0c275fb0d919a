// How quickly keyhaven asks for the master password, and how quickly the
// accounts appear after OK.
//
// The bench starts itself again as a child process, once as the program
// (main window, data module, master-password prompt over a real file of 200
// accounts) and once as a bare Qt program that only shows an empty window:
// the reference for what any Qt Widgets program pays to start here. The parent
// takes the time from starting the child to the child's report that its
// window (the prompt, or the empty window) is on screen; the program child
// then presses OK itself and reports the time until the first group's rows
// are in the list and painted.
//
//   startup_bench [rounds]   (default 5; prints medians, the ratio last)
#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "data/DataModule.h"
#include "data/DatabaseFiles.h"
#include "gui/EnterMasterPassword.h"
#include "gui/Main.h"
#include "gui/controls/AccountList.h"
#include "gui/controls/DBControls.h"

namespace {

constexpr const char* kPassword = "Bench#Key1";

void report(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

// The program as main() runs it, with the prompt answered by the bench.
int runProgram(int argc, char* argv[]) {
  QApplication app(argc, argv);
  app.setApplicationName(QStringLiteral("Keyhaven"));
  TDM dm;
  TfrmMain frmMain(dm);
  frmMain.centreOnScreen();
  frmMain.show();
  dm.DMCreate(app.arguments().mid(1, 1));

  // The prompt reports itself once shown, then the bench presses OK.
  auto* poll = new QTimer(&app);
  poll->setInterval(1);
  QObject::connect(poll, &QTimer::timeout, [&] {
    auto* prompt = qobject_cast<TfrmEnterMasterPassword*>(QApplication::activeModalWidget());
    if (!prompt || !prompt->isVisible()) return;
    poll->stop();
    report("SHOWN");
    prompt->txtPassword->setText(QString::fromLatin1(kPassword));
    QElapsedTimer clock;
    clock.start();
    prompt->cmdOK->click();
    if (frmMain.AccountList()->model()->rowCount() == 0) {
      report("ERROR no rows");
      return;
    }
    frmMain.AccountList()->viewport()->repaint();
    std::printf("ROWS %lld\n", static_cast<long long>(clock.nsecsElapsed() / 1000));
    std::fflush(stdout);
    QTimer::singleShot(0, &app, [&] {
      frmMain.close();
      app.quit();
    });
  });
  poll->start();
  QTimer::singleShot(0, &frmMain, &TfrmMain::StartUp);
  return app.exec();
}

// The reference: a Qt Widgets program that shows one empty window.
int runBare(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QWidget w;
  w.resize(612, 464);
  w.show();
  QTimer::singleShot(0, &app, [&] {
    w.repaint();
    report("SHOWN");
    app.quit();
  });
  return app.exec();
}

struct Run {
  double shownMs = -1;
  double rowsMs = -1;
};

Run runChild(const QString& mode, const QString& file, const QProcessEnvironment& env) {
  QProcess child;
  child.setProcessEnvironment(env);
  QElapsedTimer clock;
  clock.start();
  child.start(QCoreApplication::applicationFilePath(), {mode, file});
  Run run;
  QByteArray out;
  while (child.state() != QProcess::NotRunning || child.bytesAvailable()) {
    child.waitForReadyRead(50);
    out += child.readAllStandardOutput();
    if (run.shownMs < 0 && out.contains("SHOWN")) run.shownMs = clock.nsecsElapsed() / 1e6;
    if (child.state() == QProcess::NotRunning) break;
  }
  child.waitForFinished();
  out += child.readAllStandardOutput();
  const int at = out.indexOf("ROWS ");
  if (at >= 0) run.rowsMs = out.mid(at + 5).split('\n').first().toDouble() / 1000.0;
  if (out.contains("ERROR")) std::fprintf(stderr, "child: %s\n", out.constData());
  return run;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc >= 2 && QByteArray(argv[1]) == "--program") {
    // The program sees the file as its only argument.
    argv[1] = argv[2];
    argc = 2;
    return runProgram(argc, argv);
  }
  if (argc >= 2 && QByteArray(argv[1]) == "--bare") return runBare(1, argv);

  QCoreApplication app(argc, argv);
  const int rounds = argc >= 2 ? std::max(1, atoi(argv[1])) : 5;
  QTemporaryDir home;
  qputenv("KBE_ROOT", home.path().toLocal8Bit());
  qputenv("KEYHAVEN_HOME", home.path().toLocal8Bit());
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  if (!env.contains("QT_QPA_PLATFORM") && !env.contains("DISPLAY")) env.insert("QT_QPA_PLATFORM", "offscreen");

  // A file with four groups and 200 accounts in the first.
  const QString file = home.filePath("bench.pdb");
  CreateDatabaseFile(file, QString::fromLatin1(kPassword), true);
  {
    TDM dm;
    TDM::StoreAliasPath(file);
    dm.DB.setParams({QStringLiteral("CONNECT=;PWD=") + QString::fromLatin1(kPassword)});
    dm.DB.Open();
    dm.qryGroups.Open();
    dm.qryPasswords.Open();
    for (int i = 0; i < 200; ++i) {
      dm.qryPasswords.Append();
      dm.qryPasswords.FieldByName("Description").setAsString(QStringLiteral("Account %1").arg(i, 3, 10, QChar('0')));
      dm.qryPasswords.FieldByName("Password").setAsString(QStringLiteral("pw%1").arg(i));
      dm.qryPasswords.Post();
    }
    dm.DB.Close();
  }

  std::vector<double> bare, prompt, rows;
  for (int r = 0; r < rounds; ++r) {
    bare.push_back(runChild(QStringLiteral("--bare"), file, env).shownMs);
    const Run p = runChild(QStringLiteral("--program"), file, env);
    prompt.push_back(p.shownMs);
    rows.push_back(p.rowsMs);
  }
  std::printf("rounds: %d (medians)\n", rounds);
  std::printf("bare Qt window shown:            %8.1f ms\n", median(bare));
  std::printf("process start to prompt shown:   %8.1f ms\n", median(prompt));
  std::printf("OK to first rows shown:          %8.1f ms\n", median(rows));
  std::printf("prompt / bare window:            %8.2f\n", median(prompt) / median(bare));
  return 0;
}
