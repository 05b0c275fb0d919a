// keyhaven: one running copy, the main window, the data module, then the
// master-password prompt or the welcome dialog.
#include <QApplication>
#include <QFileInfo>
#include <QTimer>

#include "data/DataModule.h"
#include "gui/Main.h"
#include "gui/SingleInstance.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  app.setApplicationName(QStringLiteral("Keyhaven"));
  app.setQuitOnLastWindowClosed(false);

  // A second copy brings the first to the front and ends.
  TSingleInstance single(QFileInfo(QString::fromLocal8Bit(argv[0])).fileName());
  if (!single.TryLock()) {
    single.AskFirstToComeForward();
    return 0;
  }

  TDM dm;
  TfrmMain frmMain(dm);
  single.Listen();
  QObject::connect(&single, &TSingleInstance::comeForwardRequested, &frmMain, &TfrmMain::BringToFront);
  QObject::connect(&frmMain, &TfrmMain::closed, &app, &QApplication::quit, Qt::QueuedConnection);
  frmMain.centreOnScreen();
  frmMain.show();

  dm.DMCreate(app.arguments().mid(1));
  QTimer::singleShot(0, &frmMain, &TfrmMain::StartUp);
  return app.exec();
}
