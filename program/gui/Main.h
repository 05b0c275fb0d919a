// The main window of keyhaven.
#pragma once

#include <QMainWindow>

class TfrmMain : public QMainWindow {
  Q_OBJECT

 public:
  explicit TfrmMain(QWidget* parent = nullptr);

  // Places the window in the middle of the screen it is shown on.
  void centreOnScreen();
};
