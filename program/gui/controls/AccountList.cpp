#include "AccountList.h"

#include <QHeaderView>
#include <QPainter>
#include <QToolTip>

namespace {

// The vertical header as a row indicator: an arrow at the current row, no
// numbers.
class RowIndicator : public QHeaderView {
 public:
  explicit RowIndicator(QTableView* view) : QHeaderView(Qt::Vertical, view), view_(view) {
    setSectionResizeMode(QHeaderView::Fixed);
    setSectionsClickable(false);
    setFixedWidth(12);
  }

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
    painter->save();
    painter->fillRect(rect, palette().button());
    painter->setPen(palette().mid().color());
    painter->drawLine(rect.topRight(), rect.bottomRight());
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    if (view_->currentIndex().isValid() && view_->currentIndex().row() == logicalIndex) {
      const int cy = rect.center().y();
      const int x = rect.left() + 3;
      const QPoint arrow[3] = {{x, cy - 4}, {x + 5, cy}, {x, cy + 4}};
      painter->setRenderHint(QPainter::Antialiasing);
      painter->setPen(Qt::NoPen);
      painter->setBrush(palette().text());
      painter->drawPolygon(arrow, 3);
    }
    painter->restore();
  }

 private:
  QTableView* view_;
};

}  // namespace

TAccountList::TAccountList(QWidget* parent) : TDBGrid(parent) {
  setObjectName(QStringLiteral("GridDescription"));
  setVerticalHeader(new RowIndicator(this));
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  horizontalHeader()->setDefaultSectionSize(200);
  horizontalHeader()->setStretchLastSection(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setShowGrid(true);
  setWordWrap(false);
  QPalette colours = palette();
  colours.setColor(QPalette::Base, QToolTip::palette().color(QPalette::ToolTipBase));
  colours.setColor(QPalette::Text, QToolTip::palette().color(QPalette::ToolTipText));
  setPalette(colours);
  // The indicator follows the current row.
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, verticalHeader()->viewport(),
          qOverload<>(&QWidget::update));
}
