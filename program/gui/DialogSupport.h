// What the program's small modal dialogs share: their mode, their placement
// over the main window, and the way a failed step reaches the user.
#pragma once

#include <QString>
#include <functional>

class QWidget;

// New or edit, chosen by the command that opens a dialog and fixed for its
// life.
enum class TDialogMode { New, Edit };

// Centres `dialog` on `mainWindow`: left = the window's left + half its width
// - half the dialog's width, each half truncated towards zero; the top
// likewise. Nothing without a main window.
void CentreOnMainWindow(QWidget* dialog, const QWidget* mainWindow);

// Runs `step`; an error it raises is shown in an error message box over
// `parent` and answers false.
bool RunShowingErrors(QWidget* parent, const std::function<void()>& step);
