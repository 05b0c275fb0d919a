// The welcome dialog shown at start when there is no current file.
#pragma once

#include <QDialog>

class QPushButton;

class TfrmWelcome : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmWelcome(QWidget* mainWindow);

  QPushButton* cmdYes;
  QPushButton* cmdNo;
};
