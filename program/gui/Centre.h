// Placement of the program's dialogs: centred on the main window.
#pragma once

class QWidget;

// Moves `dialog` so it is centred on `owner`'s window: left = the window's
// left + half its width - half the dialog's width, top likewise, each half
// truncated towards zero. Nothing happens without an owner. Call it once the
// dialog has its final size.
void CentreOnOwner(QWidget& dialog, const QWidget* owner);
