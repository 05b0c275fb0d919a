// Report fonts: the layout's family names mapped to installed fonts, and
// measurement on a fixed high-resolution device so that layout never depends
// on the screen it happens to run on.
#include "ReportFonts.h"

#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QTextLayout>
#include <memory>

namespace {

constexpr double kMeasureDpi = 1200;

const QImage& measureDevice() {
  static const QImage device = [] {
    QImage image(1, 1, QImage::Format_RGB32);
    const int dpm = static_cast<int>(kMeasureDpi / 0.0254 + 0.5);
    image.setDotsPerMeterX(dpm);
    image.setDotsPerMeterY(dpm);
    return image;
  }();
  return device;
}

double toMm(double devicePixels) { return devicePixels * 25.4 / kMeasureDpi; }

}  // namespace

QString ppFontFamily(const QString& layoutName) {
  if (layoutName.compare(QLatin1String("Arial"), Qt::CaseInsensitive) == 0) return QStringLiteral("Liberation Sans");
  if (layoutName.compare(QLatin1String("Times New Roman"), Qt::CaseInsensitive) == 0)
    return QStringLiteral("Liberation Serif");
  return layoutName;
}

QFont ppQFont(const TppFont& font) {
  QFont f(ppFontFamily(font.name));
  f.setPointSizeF(font.size);
  f.setBold(font.bold);
  f.setItalic(font.italic);
  f.setHintingPreference(QFont::PreferNoHinting);
  f.setStyleStrategy(QFont::PreferOutline);
  return f;
}

TppFontMetrics::TppFontMetrics(const TppFont& font) : font_(ppQFont(font)), metrics_(font_, &measureDevice()) {
  ascent_ = toMm(metrics_.ascent());
  lineHeight_ = toMm(metrics_.height());
}

double TppFontMetrics::width(const QString& text) const {
  return toMm(metrics_.horizontalAdvance(text));
}

QStringList TppFontMetrics::wrap(const QString& paragraph, double width) const {
  QStringList lines;
  QTextLayout layout(paragraph, font_, const_cast<QImage*>(&measureDevice()));
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  layout.beginLayout();
  const double widthPx = width * kMeasureDpi / 25.4;
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(widthPx);
    lines << paragraph.mid(line.textStart(), line.textLength()).trimmed();
  }
  layout.endLayout();
  if (lines.isEmpty()) lines << QString();
  return lines;
}

const TppFontMetrics& ppMetrics(const TppFont& font) {
  static QHash<QString, std::shared_ptr<TppFontMetrics>> cache;
  const QString key = QStringLiteral("%1|%2|%3|%4").arg(font.name).arg(font.size).arg(font.bold).arg(font.italic);
  auto it = cache.find(key);
  if (it == cache.end()) it = cache.insert(key, std::make_shared<TppFontMetrics>(font));
  return **it;
}
