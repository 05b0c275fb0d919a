#include <QApplication>

#include "gui/Main.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  app.setApplicationName("Keyhaven");

  TfrmMain frmMain;
  frmMain.centreOnScreen();
  frmMain.show();
  return app.exec();
}
