#include "EdPlus.h"

#include <QInputMethodEvent>
#include <QKeyEvent>

TEdPlus::TEdPlus(QWidget* parent) : QLineEdit(parent) {}

QChar TEdPlus::Filter(QChar key, QChar before, bool atStart, bool autoCase) {
  const char16_t c = key.unicode();
  const bool passes = c == 0x08 || c == u' ' || c == u'!' || (c >= u'#' && c <= u'~');
  if (!passes) return QChar();
  if (autoCase && c >= u'a' && c <= u'z') {
    const char16_t b = before.unicode();
    if (atStart || b == u' ' || b == u'\'' || b == u'/' || b == u'-') return QChar(c - u'a' + u'A');
  }
  return key;
}

QChar TEdPlus::filterTyped(QChar key) const {
  // Typing replaces the selection, so what stands before it counts.
  const int at = hasSelectedText() ? selectionStart() : cursorPosition();
  return Filter(key, at > 0 ? text().at(at - 1) : QChar(), at == 0, autoCase_);
}

void TEdPlus::keyPressEvent(QKeyEvent* event) {
  QChar key;
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      key = QChar(u'\r');
      break;
    case Qt::Key_Escape:
      key = QChar(0x1B);
      break;
    case Qt::Key_Backspace:
      key = QChar(0x08);
      break;
    default:
      // Shortcuts and keys that type no character (Delete, arrows, ...) go
      // to the box unchanged.
      if (event->text().size() != 1 || event->text().at(0).unicode() < 0x20 || event->text().at(0).unicode() == 0x7F ||
          (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier | Qt::AltModifier))) {
        QLineEdit::keyPressEvent(event);
        return;
      }
      key = event->text().at(0);
  }
  if (OnKeyPress) OnKeyPress(key);
  if (key.isNull()) {
    event->accept();
    return;
  }
  if (key.unicode() == 0x08) {
    QLineEdit::keyPressEvent(event);
    return;
  }
  const QChar typed = filterTyped(key);
  if (typed.isNull()) {
    event->accept();
    return;
  }
  QKeyEvent replaced(event->type(), event->key(), event->modifiers(), QString(typed), event->isAutoRepeat(),
                     static_cast<ushort>(event->count()));
  QLineEdit::keyPressEvent(&replaced);
  event->setAccepted(replaced.isAccepted());
}

void TEdPlus::inputMethodEvent(QInputMethodEvent* event) {
  // Text composed by an input method is typed text: the same filter.
  if (event->commitString().isEmpty()) {
    QLineEdit::inputMethodEvent(event);
    return;
  }
  QString kept;
  for (QChar c : event->commitString()) {
    const QChar typed = kept.isEmpty() ? filterTyped(c) : Filter(c, kept.back(), false, autoCase_);
    if (!typed.isNull() && typed.unicode() != 0x08) kept += typed;
  }
  QInputMethodEvent replaced(event->preeditString(), event->attributes());
  replaced.setCommitString(kept, event->replacementStart(), event->replacementLength());
  QLineEdit::inputMethodEvent(&replaced);
}
