#include "Main.h"

#include <QGuiApplication>
#include <QScreen>

namespace {
constexpr int kMainWidth = 612;
constexpr int kMainHeight = 464;
}  // namespace

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {
  setObjectName("frmMain");
  setWindowTitle(" Keyhaven");
  resize(kMainWidth, kMainHeight);
}

void TfrmMain::centreOnScreen() {
  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
}
