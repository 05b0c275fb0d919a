// Fonts of the report layouts: the family a layout names mapped to the one
// installed here, and text measurement in millimetres that does not depend on
// the screen.
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QString>
#include <QStringList>

#include "ReportDefinition.h"

// "Arial" -> "Liberation Sans", "Times New Roman" -> "Liberation Serif"
// (metric-compatible, so text keeps the widths the layouts were measured
// for); any other name as it is.
QString ppFontFamily(const QString& layoutName);
// The Qt font for a layout font, sized in points.
QFont ppQFont(const TppFont& font);

// Measurements of one font, in millimetres.
class TppFontMetrics {
 public:
  explicit TppFontMetrics(const TppFont& font);
  double width(const QString& text) const;
  double ascent() const { return ascent_; }
  double lineHeight() const { return lineHeight_; }
  // One paragraph (no line breaks) broken into lines no wider than `width`
  // mm: at word boundaries, or between characters for a word wider than a
  // line. Blanks at the line ends are dropped.
  QStringList wrap(const QString& paragraph, double width) const;

 private:
  QFont font_;
  QFontMetricsF metrics_;
  double ascent_ = 0, lineHeight_ = 0;
};

// The cached metrics of a font (the layout engine measures every record).
const TppFontMetrics& ppMetrics(const TppFont& font);
