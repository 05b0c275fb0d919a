#include "HoverButton.h"

#include <QEnterEvent>
#include <QFile>

#include "../Resources.h"

THoverButton::THoverButton(const QString& component, const QString& caption, const QString& hint, QWidget* parent)
    : QToolButton(parent), component_(component) {
  setObjectName(component);
  setToolTip(hint);
  setAutoRaise(true);
  setFocusPolicy(Qt::NoFocus);
  const QString on = Resources::PicturePath(component, true);
  const QString off = Resources::PicturePath(component, false);
  if (QFile::exists(on) && QFile::exists(off)) {
    on_ = QIcon(on);
    off_ = QIcon(off);
    setIconSize(QSize(24, 24));
    setToolButtonStyle(caption.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextUnderIcon);
    setText(caption);
    showPicture(false);
  } else {
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    setText(caption.isEmpty() ? hint : caption);
  }
}

void THoverButton::showPicture(bool lit) {
  lit_ = lit;
  if (!on_.isNull()) setIcon(lit ? on_ : off_);
  update();
}

void THoverButton::enterEvent(QEnterEvent* event) {
  QToolButton::enterEvent(event);
  emit mouseEntered();
  showPicture(true);
}

void THoverButton::leaveEvent(QEvent* event) {
  QToolButton::leaveEvent(event);
  showPicture(false);
}
