// The fill styles of the account page's background picture. Each style is a
// function that paints one tile; the table below names them. Colours stay
// pale so that the boxes and labels drawn over them keep their contrast.
#include "BackgroundPanel.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QtMath>
#include <functional>

namespace {

using Painter = std::function<void(QPainter&, const QSizeF&)>;

struct Style {
  const char* name;
  QSize tile;
  Painter paint;
};

void adobe(QPainter& p, const QSizeF& s) {
  // Sun-dried bricks in a running bond, soft mortar between them.
  p.fillRect(QRectF(QPointF(0, 0), s), QColor(0xf7, 0xea, 0xd9));
  const qreal h = s.height() / 2, w = s.width();
  const QColor brick(0xf0, 0xd9, 0xbd), shade(0xe8, 0xcc, 0xab);
  auto draw = [&](qreal x, qreal y) {
    QRectF r(x + 1.5, y + 1.5, w / 2 * 2 - 3, h - 3);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, brick);
    g.setColorAt(1, shade);
    p.setBrush(g);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(r, 3, 3);
  };
  draw(0, 0);
  draw(-w / 2, h);
  draw(w / 2, h);
}

void alcatraz(QPainter& p, const QSizeF& s) {
  // Steel bars on a pale concrete wall, a cross rail now and then.
  p.fillRect(QRectF(QPointF(0, 0), s), QColor(0xe9, 0xec, 0xef));
  const qreal x = s.width() / 2 - 2.5;
  QLinearGradient bar(QPointF(x, 0), QPointF(x + 5, 0));
  bar.setColorAt(0, QColor(0xb8, 0xc0, 0xc9));
  bar.setColorAt(0.4, QColor(0xdd, 0xe2, 0xe7));
  bar.setColorAt(1, QColor(0xa7, 0xb0, 0xba));
  p.fillRect(QRectF(x, 0, 5, s.height()), bar);
  QLinearGradient rail(QPointF(0, s.height() / 2 - 3), QPointF(0, s.height() / 2 + 3));
  rail.setColorAt(0, QColor(0xc9, 0xcf, 0xd6));
  rail.setColorAt(1, QColor(0xae, 0xb6, 0xbf));
  p.fillRect(QRectF(0, s.height() / 2 - 3, s.width(), 6), rail);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x9a, 0xa3, 0xad));
  p.drawEllipse(QPointF(x + 2.5, s.height() / 2), 1.6, 1.6);
}

void elPaso(QPainter& p, const QSizeF& s) {
  // A south-western band: stepped diamonds between zigzag borders.
  p.fillRect(QRectF(QPointF(0, 0), s), QColor(0xf8, 0xec, 0xda));
  const qreal w = s.width(), h = s.height(), cx = w / 2, cy = h / 2;
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xee, 0xc3, 0xa0));
  p.drawPolygon(QPolygonF({{cx, cy - 12}, {cx + 12, cy}, {cx, cy + 12}, {cx - 12, cy}}));
  p.setBrush(QColor(0xf8, 0xec, 0xda));
  p.drawPolygon(QPolygonF({{cx, cy - 7}, {cx + 7, cy}, {cx, cy + 7}, {cx - 7, cy}}));
  p.setBrush(QColor(0xa9, 0xd2, 0xcb));
  p.drawPolygon(QPolygonF({{cx, cy - 3.5}, {cx + 3.5, cy}, {cx, cy + 3.5}, {cx - 3.5, cy}}));
  QPen zig(QColor(0xd9, 0xa8, 0x86), 1.6);
  p.setPen(zig);
  p.setBrush(Qt::NoBrush);
  for (qreal y : {2.0, h - 2.0}) {
    QPainterPath path(QPointF(0, y));
    for (qreal x = 0; x < w; x += 8) {
      path.lineTo(x + 4, y == 2.0 ? y + 3 : y - 3);
      path.lineTo(x + 8, y);
    }
    p.drawPath(path);
  }
}

void hanoi(QPainter& p, const QSizeF& s) {
  // Overlapping fans of rings, like waves on a lake.
  p.fillRect(QRectF(QPointF(0, 0), s), QColor(0xf3, 0xf7, 0xf2));
  const qreal r = s.width() / 2;
  const QColor rings[] = {QColor(0xd4, 0xe8, 0xe0), QColor(0xf3, 0xf7, 0xf2), QColor(0xe0, 0xef, 0xe9),
                          QColor(0xf3, 0xf7, 0xf2), QColor(0xea, 0xf3, 0xef)};
  // Back row first, then the row in front, each fan drawn from its largest ring.
  const QPointF centres[] = {{0, 0}, {2 * r, 0}, {r, r / 2}, {0, r}, {2 * r, r}, {r, 1.5 * r}};
  for (const QPointF& c : centres) {
    for (int i = 0; i < 5; ++i) {
      const qreal rr = r * (1.0 - i * 0.18);
      p.setPen(QPen(QColor(0xbd, 0xdb, 0xcf), 0.8));
      p.setBrush(rings[i]);
      p.drawEllipse(c, rr, rr);
    }
  }
}

void holes(QPainter& p, const QSizeF& s) {
  // Perforated sheet: staggered round holes with a lit lower edge.
  p.fillRect(QRectF(QPointF(0, 0), s), QColor(0xe8, 0xec, 0xf0));
  const qreal w = s.width(), h = s.height();
  for (const QPointF& c : {QPointF(w / 4, h / 4), QPointF(3 * w / 4, 3 * h / 4)}) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xc4, 0xcc, 0xd5));
    p.drawEllipse(c, 3.6, 3.6);
    p.setPen(QPen(QColor(0xfb, 0xfc, 0xfd), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - 3.6, c.y() - 3.6, 7.2, 7.2), 200 * 16, 140 * 16);
  }
}

QPolygonF star(QPointF c, qreal outer, qreal inner) {
  QPolygonF poly;
  for (int i = 0; i < 10; ++i) {
    const qreal a = -M_PI / 2 + i * M_PI / 5;
    const qreal r = i % 2 ? inner : outer;
    poly << QPointF(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
  }
  return poly;
}

void hollywood(QPainter& p, const QSizeF& s) {
  // Gold stars scattered on a soft evening rose, with faint searchlight rays.
  p.fillRect(QRectF(QPointF(0, 0), s), QColor(0xf6, 0xed, 0xf3));
  p.setPen(QPen(QColor(0xee, 0xe0, 0xea), 3));
  p.drawLine(QPointF(0, s.height()), QPointF(s.width(), 0));
  p.setPen(QPen(QColor(0xd9, 0xb2, 0x4c), 0.9));
  p.setBrush(QColor(0xf3, 0xde, 0x9c));
  p.drawPolygon(star({s.width() * 0.25, s.height() * 0.3}, 6, 2.6));
  p.drawPolygon(star({s.width() * 0.72, s.height() * 0.75}, 4, 1.7));
  p.setBrush(QColor(0xe8, 0xcf, 0x86));
  p.drawPolygon(star({s.width() * 0.8, s.height() * 0.2}, 2.4, 1.0));
}

void honolulu(QPainter& p, const QSizeF& s) {
  // Rolling surf in aqua, lighter towards the top.
  p.fillRect(QRectF(QPointF(0, 0), s), QColor(0xe2, 0xf5, 0xf7));
  const qreal w = s.width(), h = s.height();
  const QColor lines[] = {QColor(0xa9, 0xdc, 0xe4), QColor(0xc2, 0xe8, 0xee)};
  for (int row = 0; row < 2; ++row) {
    const qreal y = h * (0.3 + 0.5 * row);
    QPainterPath path(QPointF(0, y));
    path.cubicTo(QPointF(w * 0.25, y - 6), QPointF(w * 0.25, y + 6), QPointF(w * 0.5, y));
    path.cubicTo(QPointF(w * 0.75, y - 6), QPointF(w * 0.75, y + 6), QPointF(w, y));
    p.setPen(QPen(lines[row], 2.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
  }
}

void london(QPainter& p, const QSizeF& s) {
  // A quiet tartan: crossing bands of claret and navy over oatmeal.
  p.fillRect(QRectF(QPointF(0, 0), s), QColor(0xf4, 0xef, 0xe6));
  const qreal w = s.width(), h = s.height();
  const QColor claret(150, 40, 60, 38), navy(30, 50, 100, 34), thin(150, 40, 60, 60);
  p.fillRect(QRectF(0, h * 0.35, w, h * 0.3), claret);
  p.fillRect(QRectF(w * 0.35, 0, w * 0.3, h), claret);
  p.fillRect(QRectF(0, 0, w, h * 0.12), navy);
  p.fillRect(QRectF(0, 0, w * 0.12, h), navy);
  p.fillRect(QRectF(0, h * 0.82, w, 1), thin);
  p.fillRect(QRectF(w * 0.82, 0, 1, h), thin);
}

void manhattan(QPainter& p, const QSizeF& s) {
  // Office windows at dusk: a grid of panes, a few still lit.
  p.fillRect(QRectF(QPointF(0, 0), s), QColor(0xee, 0xf1, 0xf5));
  const qreal w = s.width() / 4, h = s.height() / 6;
  for (int col = 0; col < 4; ++col) {
    for (int row = 0; row < 6; ++row) {
      const bool lit = (col * 7 + row * 3) % 11 == 2;
      p.fillRect(QRectF(col * w + 2, row * h + 2, w - 4, h - 3),
                 lit ? QColor(0xf6, 0xe7, 0xad) : QColor(0xd5, 0xdc, 0xe6));
    }
  }
  p.fillRect(QRectF(s.width() - 1, 0, 1, s.height()), QColor(0xc8, 0xd0, 0xdb));
}

void none(QPainter& p, const QSizeF& s) { p.fillRect(QRectF(QPointF(0, 0), s), QColor(0xf2, 0xf2, 0xf2)); }

void orleans(QPainter& p, const QSizeF& s) {
  // Wrought-iron quatrefoils in Mardi Gras lavender and gold.
  p.fillRect(QRectF(QPointF(0, 0), s), QColor(0xf5, 0xf0, 0xf8));
  const QPointF c(s.width() / 2, s.height() / 2);
  const qreal r = s.width() / 6.5;
  QPainterPath foil;
  for (const QPointF& d : {QPointF(r, 0), QPointF(-r, 0), QPointF(0, r), QPointF(0, -r)})
    foil.addEllipse(c + d, r * 1.05, r * 1.05);
  foil.setFillRule(Qt::WindingFill);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xe1, 0xd3, 0xee));
  p.drawPath(foil.simplified());
  p.setPen(QPen(QColor(0xcf, 0xb2, 0x62), 1.1));
  p.setBrush(Qt::NoBrush);
  p.drawPath(foil.simplified());
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xd9, 0xbe, 0x70));
  p.drawEllipse(c, 2, 2);
  for (const QPointF& corner : {QPointF(0, 0), QPointF(s.width(), 0), QPointF(0, s.height()), QPointF(s.width(), s.height())})
    p.drawEllipse(corner, 1.6, 1.6);
}

void oshawa(QPainter& p, const QSizeF& s) {
  // Gingham: see-through stripes of brick red crossing on white.
  p.fillRect(QRectF(QPointF(0, 0), s), QColor(0xfb, 0xf7, 0xf6));
  const QColor band(200, 70, 60, 34);
  p.fillRect(QRectF(0, 0, s.width() / 2, s.height()), band);
  p.fillRect(QRectF(0, 0, s.width(), s.height() / 2), band);
}

void philadelphia(QPainter& p, const QSizeF& s) {
  // Basket weave: pairs of strips turning a quarter at every square.
  p.fillRect(QRectF(QPointF(0, 0), s), QColor(0xe1, 0xe7, 0xef));
  const qreal q = s.width() / 2;
  const QColor a(0xd1, 0xdb, 0xe8), b(0xe9, 0xee, 0xf5), edge(0xbd, 0xc9, 0xd9);
  for (int i = 0; i < 2; ++i) {
    for (int j = 0; j < 2; ++j) {
      const bool across = (i + j) % 2 == 0;
      for (int k = 0; k < 2; ++k) {
        QRectF strip = across ? QRectF(i * q + 1, j * q + 1 + k * q / 2, q - 2, q / 2 - 2)
                              : QRectF(i * q + 1 + k * q / 2, j * q + 1, q / 2 - 2, q - 2);
        p.setPen(QPen(edge, 0.6));
        p.setBrush(k ? a : b);
        p.drawRoundedRect(strip, 1.2, 1.2);
      }
    }
  }
}

void pittsburg(QPainter& p, const QSizeF& s) {
  // Steel tread plate: raised lozenges lit from the top left.
  p.fillRect(QRectF(QPointF(0, 0), s), QColor(0xdf, 0xe2, 0xe6));
  auto lozenge = [&](QPointF c, qreal angle) {
    p.save();
    p.translate(c);
    p.rotate(angle);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xb9, 0xc0, 0xc7));
    p.drawRoundedRect(QRectF(-5.5, -1.2, 11, 3), 1.5, 1.5);
    p.setBrush(QColor(0xf4, 0xf6, 0xf8));
    p.drawRoundedRect(QRectF(-5.5, -1.8, 11, 2.4), 1.2, 1.2);
    p.setBrush(QColor(0xcd, 0xd3, 0xd9));
    p.drawRoundedRect(QRectF(-5, -1.2, 10, 2.2), 1.1, 1.1);
    p.restore();
  };
  lozenge({s.width() / 4, s.height() / 4}, 45);
  lozenge({3 * s.width() / 4, 3 * s.height() / 4}, -45);
}

void sahara(QPainter& p, const QSizeF& s) {
  // Dunes under a hot sky: sand shading into lighter crests.
  p.fillRect(QRectF(QPointF(0, 0), s), QColor(0xf8, 0xeb, 0xcf));
  const qreal w = s.width(), h = s.height();
  for (int i = 0; i < 3; ++i) {
    const qreal y = h * (0.22 + i * 0.3);
    QPainterPath dune(QPointF(0, y + 4));
    dune.cubicTo(QPointF(w * 0.3, y - 8), QPointF(w * 0.55, y - 6), QPointF(w * 0.7, y + 2));
    dune.cubicTo(QPointF(w * 0.82, y + 7), QPointF(w * 0.92, y + 6), QPointF(w, y + 4));
    p.setPen(QPen(QColor(0xe6, 0xcb, 0x94, 150), 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawPath(dune);
  }
}

const Style kStyles[] = {
    {"Adobe", {48, 24}, adobe},
    {"Alcatraz", {24, 96}, alcatraz},
    {"ElPaso", {40, 40}, elPaso},
    {"Hanoi", {32, 32}, hanoi},
    {"Holes", {20, 20}, holes},
    {"Hollywood", {48, 48}, hollywood},
    {"Honolulu", {64, 28}, honolulu},
    {"London", {36, 36}, london},
    {"Manhattan", {40, 60}, manhattan},
    {"None", {16, 16}, none},
    {"Orleans", {32, 32}, orleans},
    {"Oshawa", {16, 16}, oshawa},
    {"Philadelphia", {24, 24}, philadelphia},
    {"Pittsburg", {24, 24}, pittsburg},
    {"Sahara", {120, 60}, sahara},
};

const Style* findStyle(const QString& name) {
  for (const Style& style : kStyles)
    if (name == QLatin1String(style.name)) return &style;
  return nullptr;
}

}  // namespace

TBackgroundPanel::TBackgroundPanel(QWidget* parent) : QWidget(parent), style_(NoneStyle()) {
  setObjectName(QStringLiteral("BackGround"));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

const QStringList& TBackgroundPanel::StyleNames() {
  static const QStringList names = [] {
    QStringList list;
    for (const Style& style : kStyles) list << QLatin1String(style.name);
    return list;
  }();
  return names;
}

void TBackgroundPanel::setFillStyle(const QString& name) {
  if (name == style_) return;
  style_ = name;
  tile_ = QPixmap();
  update();
}

QPixmap TBackgroundPanel::Tile(const QString& name, qreal devicePixelRatio) {
  const Style* style = findStyle(name);
  if (!style) style = findStyle(NoneStyle());
  QPixmap tile(style->tile * devicePixelRatio);
  tile.setDevicePixelRatio(devicePixelRatio);
  tile.fill(Qt::white);
  QPainter p(&tile);
  p.setRenderHint(QPainter::Antialiasing);
  style->paint(p, QSizeF(style->tile));
  return tile;
}

void TBackgroundPanel::paintEvent(QPaintEvent* event) {
  Q_UNUSED(event);
  const qreal ratio = devicePixelRatioF();
  if (tile_.isNull() || !qFuzzyCompare(tile_.devicePixelRatio(), ratio)) tile_ = Tile(style_, ratio);
  QPainter p(this);
  p.drawTiledPixmap(rect(), tile_);
}
