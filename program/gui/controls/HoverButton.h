// A flat button with a picture that lights up while the pointer is over it:
// ":/pictures/<component>_on.svg" while hovered, "<component>_off.svg"
// otherwise, with the caption (if any) under the picture. Without pictures the
// button shows its caption, or its hint when it has no caption.
#pragma once

#include <QIcon>
#include <QToolButton>

class THoverButton : public QToolButton {
  Q_OBJECT

 public:
  THoverButton(const QString& component, const QString& caption, const QString& hint, QWidget* parent = nullptr);

  const QString& Component() const noexcept { return component_; }
  bool Lit() const noexcept { return lit_; }

 signals:
  // The pointer entered the button (the hover sound hangs on this).
  void mouseEntered();

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void showPicture(bool lit);
  QString component_;
  QIcon on_, off_;
  bool lit_ = false;
};
