// Placing a dialog over the main window, and the pieces the feature dialogs
// share: their push buttons, a one-panel status bar, and running a step whose
// errors are shown in an error message box.
#pragma once

#include <QString>
#include <functional>
#include <initializer_list>

class QHBoxLayout;
class QLabel;
class QPushButton;
class QStatusBar;
class QWidget;

// Centres `dialog` on `mainWindow`: left = the main window's left + half its
// width - half the dialog's width, each half truncated towards zero; top
// likewise. It is done at once and again when the dialog is first shown (when
// its frame is known). Nothing happens without a main window.
void CentreOnMainWindow(QWidget* dialog, const QWidget* mainWindow);
// The same over the window of `owner` (the widget that opened the dialog).
void CentreOnOwner(QWidget& dialog, const QWidget* owner);

// A push button that is never the dialog's default button (Enter keeps its
// meaning in the dialog's boxes and lists).
QPushButton* DialogButton(const QString& text, const QString& name, QWidget* parent);

// A row of buttons at the right, with `leading` (if any) at the left.
QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons, QWidget* leading = nullptr);
// The row of a dialog's two buttons, at the right: the main button (the
// default, run by Enter) named `mainName`, then the second named `otherName`.
QHBoxLayout* ButtonRow(QWidget* dialog, QPushButton*& main, const QString& mainCaption, const char* mainName,
                       QPushButton*& other, const QString& otherCaption, const char* otherName);

// A status bar without a size grip whose one panel is the returned label.
QLabel* OnePanelStatusBar(QStatusBar*& bar, QWidget* parent);

// Runs `step`; an error it raises is shown in an error message box over
// `parent`. Answers whether the step ran through.
bool RunShowingErrors(QWidget* parent, const std::function<void()>& step);
