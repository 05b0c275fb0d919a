// The about dialog.
#pragma once

#include <QDialog>

class QPushButton;

class TfrmAbout : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmAbout(QWidget* mainWindow);
  QPushButton* cmdOK;
};
