// TAccountList: the account list of the main window. A read-only TDBGrid
// with one column (the description, 200 pixels wide), a row indicator (a
// small arrow beside the current row) and the tooltip-yellow background.
#pragma once

#include "DBControls.h"

class TAccountList : public TDBGrid {
  Q_OBJECT

 public:
  explicit TAccountList(QWidget* parent = nullptr);
};
