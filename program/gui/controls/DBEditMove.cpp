#include "DBEditMove.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QProxyStyle>

#include "gui/SecretClipboard.h"

namespace {

// Masks with "*" whatever the desktop style would use.
class StarMaskStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == QStyle::SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

// The focus moving with the active window (another window or a menu opening
// over this one, and back) is not the focus entering or leaving the box.
bool windowSwitch(const QFocusEvent* event) {
  return event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason;
}

}  // namespace

TDBEditMove::TDBEditMove(QWidget* parent) : TDBEdit(parent) {
  auto* style = new StarMaskStyle;
  style->setParent(this);
  setStyle(style);
  setEchoMode(QLineEdit::Password);
}

void TDBEditMove::setMasked(bool masked) { setEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal); }

void TDBEditMove::copy() {
  if (Masked() || !hasSelectedText()) return;
  SecretClipboard::Copy(selectedText());
}

void TDBEditMove::cut() {
  if (Masked() || isReadOnly() || !hasSelectedText()) return;
  copy();
  // Deleting the selection as a user edit keeps the field in step.
  del();
}

void TDBEditMove::enterEvent(QEnterEvent* event) {
  TDBEdit::enterEvent(event);
  emit mouseEntered();
}

void TDBEditMove::leaveEvent(QEvent* event) {
  TDBEdit::leaveEvent(event);
  emit mouseLeft();
}

void TDBEditMove::focusInEvent(QFocusEvent* event) {
  TDBEdit::focusInEvent(event);
  // The text is not selected on entry; the caret goes to the end.
  if (hasSelectedText()) deselect();
  if (!windowSwitch(event)) emit focusEntered();
}

void TDBEditMove::focusOutEvent(QFocusEvent* event) {
  TDBEdit::focusOutEvent(event);
  if (!windowSwitch(event)) emit focusLeft();
}

void TDBEditMove::keyPressEvent(QKeyEvent* event) {
  if (event == QKeySequence::Copy) {
    copy();
    event->accept();
    return;
  }
  if (event == QKeySequence::Cut) {
    cut();
    event->accept();
    return;
  }
  TDBEdit::keyPressEvent(event);
}

void TDBEditMove::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = createStandardContextMenu();
  // The menu's own Copy and Cut would bypass the secret marking.
  for (QAction* action : menu->actions()) {
    if (action->objectName() == QLatin1String("edit-copy")) {
      disconnect(action, &QAction::triggered, nullptr, nullptr);
      connect(action, &QAction::triggered, this, &TDBEditMove::copy);
    } else if (action->objectName() == QLatin1String("edit-cut")) {
      disconnect(action, &QAction::triggered, nullptr, nullptr);
      connect(action, &QAction::triggered, this, &TDBEditMove::cut);
    }
  }
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}
