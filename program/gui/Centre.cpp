// Centring a dialog on the window that opened it.
#include "Centre.h"

#include <QWidget>

#include "DialogPlacement.h"

void CentreOnOwner(QWidget& dialog, const QWidget* owner) {
  if (!owner) return;
  CentreOnMainWindow(&dialog, owner->window());
}
