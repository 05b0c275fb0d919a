// TEdPlus: the single-line box of the group and description dialogs. Typed
// characters pass a filter (backspace, space, "!" and "#" to "~"; the double
// quote, other control characters and everything above "~" are dropped), and
// with AutoCase a lower-case letter typed at the start of the text or after
// a space, apostrophe, slash or hyphen becomes a capital. Pasted text and
// shortcuts (Ctrl+V, Ctrl+C, ...) are not touched.
#pragma once

#include <QLineEdit>
#include <functional>

class TEdPlus : public QLineEdit {
  Q_OBJECT

 public:
  explicit TEdPlus(QWidget* parent = nullptr);

  bool AutoCase() const noexcept { return autoCase_; }
  void setAutoCase(bool on) noexcept { autoCase_ = on; }

  // Runs first for every typed character (Enter is '\r', Escape 0x1B,
  // Backspace 0x08); setting the character to 0 swallows it.
  std::function<void(QChar&)> OnKeyPress;

  // What typing `key` with the caret after `before` inserts (0: nothing).
  static QChar Filter(QChar key, QChar before, bool atStart, bool autoCase);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;

 private:
  QChar filterTyped(QChar key) const;
  bool autoCase_ = true;
};
