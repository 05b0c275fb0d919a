// The background picture of the account page: a panel filled with one of the
// named fill styles. Each style is a small tile drawn here in code, so the
// picture is sharp at any size and screen scale; the panel repeats the tile
// over its whole area. The styles are light on purpose: the account's boxes
// and labels sit on top of them and must stay easy to read.
#pragma once

#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QWidget>

class TBackgroundPanel : public QWidget {
  Q_OBJECT

 public:
  explicit TBackgroundPanel(QWidget* parent = nullptr);

  // The style names in the order the options dialog lists them.
  static const QStringList& StyleNames();
  // The name of the style that means "no picture".
  static QString NoneStyle() { return QStringLiteral("None"); }

  // The current style ("None" at first). An unknown name is kept and drawn
  // as a plain fill, so a name from a newer file never breaks the page.
  const QString& FillStyle() const noexcept { return style_; }
  void setFillStyle(const QString& name);

  // One tile of `name` at `devicePixelRatio` (what the panel repeats).
  static QPixmap Tile(const QString& name, qreal devicePixelRatio = 1.0);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString style_;
  QPixmap tile_;  // the current style's tile, made when first painted
};
