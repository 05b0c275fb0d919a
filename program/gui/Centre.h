// Parts every dialog of the program shares.
//
// Dialogs are centred on the main window: left = main left + half the main
// width - half the dialog width, top likewise, each half truncated towards
// zero.
#pragma once

class QHBoxLayout;
class QPushButton;
class QString;
class QWidget;

void CentreOnMainWindow(QWidget* dialog, const QWidget* mainWindow);

// The row of a dialog's two buttons, at the right: the main button (the
// default, run by Enter) named `mainName`, then the second named `otherName`.
QHBoxLayout* ButtonRow(QWidget* dialog, QPushButton*& main, const QString& mainCaption, const char* mainName,
                       QPushButton*& other, const QString& otherCaption, const char* otherName);
