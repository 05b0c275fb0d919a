// TDBEditMove: the data-aware password box. Besides the ordinary edit box it
// reports the mouse pointer entering and leaving it and the keyboard focus
// entering and leaving it (not the focus that comes and goes with the active
// window); it masks its text with "*" on request, does not
// select its text when the focus enters, and copies (or cuts) its text to the
// clipboard marked as a secret that is cleared again after a while.
#pragma once

#include "DBControls.h"

class TDBEditMove : public TDBEdit {
  Q_OBJECT

 public:
  explicit TDBEditMove(QWidget* parent = nullptr);

  bool Masked() const { return echoMode() != QLineEdit::Normal; }
  void setMasked(bool masked);

 public slots:
  // Clipboard work as the box does it for the Edit menu and its own keys:
  // the selected text goes to the clipboard as a secret. A masked box
  // copies nothing.
  void copy();
  void cut();

 signals:
  void mouseEntered();
  void mouseLeft();
  void focusEntered();
  void focusLeft();

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
};
