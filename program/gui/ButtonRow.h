// The row of a dialog's two buttons, at the right.
#pragma once

class QHBoxLayout;
class QPushButton;
class QString;
class QWidget;

// The main button (the default, run by Enter) named `mainName`, then the
// second named `otherName`.
QHBoxLayout* ButtonRow(QWidget* dialog, QPushButton*& main, const QString& mainCaption, const char* mainName,
                       QPushButton*& other, const QString& otherCaption, const char* otherName);
