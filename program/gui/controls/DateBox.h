// TDBDateBox: the account page's date box. A TDBDateEdit that shows its date
// as "dddd, MMMM dd, yyyy" with a drop-down calendar, and fills in the
// current date and time when "c" or "C" is typed (the character is
// swallowed). Every other key works as in any date box.
#pragma once

#include "DBControls.h"

class TDBDateBox : public TDBDateEdit {
  Q_OBJECT

 public:
  explicit TDBDateBox(QWidget* parent = nullptr);

  // Sets the box, and its field, to the current date and time.
  void setToNow();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
};
