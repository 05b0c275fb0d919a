// Centring a dialog on the window that opened it.
#include "Centre.h"

#include <QWidget>

void CentreOnOwner(QWidget& dialog, const QWidget* owner) {
  if (!owner) return;
  const QWidget* main = owner->window();
  const QRect frame = main->frameGeometry();
  // Integer division truncates towards zero, as the rule asks.
  dialog.move(frame.left() + frame.width() / 2 - dialog.width() / 2,
              frame.top() + frame.height() / 2 - dialog.height() / 2);
}
