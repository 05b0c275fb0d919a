// Page production for banded reports.
#include "ReportEngine.h"

#include <QLocale>
#include <QStringList>
#include <algorithm>
#include <map>

#include "ReportFonts.h"

namespace {

// A band laid out for one record: items relative to the band's top-left
// corner, and the height it takes.
struct BandLayout {
  std::vector<TppPageItem> items;
  double height = 0;
};

class BandLayouter {
 public:
  BandLayouter(const TppReport& report, const TppBand& band, double bandWidth)
      : report_(report), band_(band), bandWidth_(bandWidth) {}

  BandLayout run() {
    BandLayout out;
    items_ = &out.items;
    layoutList(band_.elements, 0, 0, bandWidth_);
    // A growing band grows as far as its elements grew or moved down.
    double growth = 0;
    for (const auto& e : band_.elements) growth = std::max(growth, growth_[e.get()]);
    out.height = band_.height + (band_.growing ? growth : 0);
    return out;
  }

 private:
  // Lays out a list of elements whose container starts at (x0, y0) and is
  // `width` wide. Returns the height the list needs below y0 for elements
  // that grew (0 when none grew), and records each element's growth.
  double layoutList(const std::vector<std::unique_ptr<TppElement>>& elements, double x0, double y0, double width) {
    double needed = 0;
    // Lines follow the element they move with, so they come last.
    for (int pass = 0; pass < 2; ++pass) {
      for (const auto& e : elements) {
        if (!e->visible || (e->kind == TppElementKind::Line) != (pass == 1)) continue;
        double actual = layoutElement(*e, x0, y0, width);
        double grew = actual - e->height;
        if (e->kind == TppElementKind::Line && e->shiftWith) grew = growth_[e->shiftWith];
        growth_[e.get()] = std::max(0.0, grew);
        if (grew > 0) needed = std::max(needed, e->top + actual + e->bottomOffset);
      }
    }
    return needed;
  }

  // Returns the element's actual height.
  double layoutElement(const TppElement& e, double x0, double y0, double containerWidth) {
    const double x = x0 + e.left;
    double y = y0 + e.top;
    switch (e.kind) {
      case TppElementKind::Label:
        addText(e, x, y, e.caption, containerWidth);
        return e.height;
      case TppElementKind::DBText:
        addText(e, x, y, fieldText(e), containerWidth);
        return e.height;
      case TppElementKind::DBMemo: {
        const QStringList lines = ppWrapText(fieldText(e), e.font, e.width);
        const double lineHeight = ppMetrics(e.font).lineHeight();
        for (int i = 0; i < lines.size(); ++i) push(e, QRectF(x, y + i * lineHeight, e.width, lineHeight), lines[i]);
        return std::max(e.height, lines.size() * lineHeight);
      }
      case TppElementKind::Region: {
        double needed = layoutList(e.children, x, y, e.width);
        return e.stretch ? std::max(e.height, needed) : e.height;
      }
      case TppElementKind::Line: {
        if (e.shiftWith) y += growth_[e.shiftWith];
        TppPageItem item;
        item.kind = TppItemKind::Line;
        item.element = e.name;
        item.band = band_.name;
        item.rect = QRectF(x, y, e.width, e.height);
        item.font = e.font;
        item.weight = e.weight;
        items_->push_back(std::move(item));
        return e.height;
      }
    }
    return e.height;
  }

  QString fieldText(const TppElement& e) const {
    const QVariant value = report_.pipeline ? report_.pipeline->Value(e.dataField) : QVariant();
    if (!value.isValid() || value.isNull()) return {};
    if (!e.displayFormat.isEmpty()) {
      if (value.typeId() == QMetaType::QDateTime) return ppFormatDate(value.toDateTime().date(), e.displayFormat);
      if (value.typeId() == QMetaType::QDate) return ppFormatDate(value.toDate(), e.displayFormat);
    }
    return value.toString();
  }

  void addText(const TppElement& e, double x, double y, const QString& text, double containerWidth) {
    if (text.isEmpty()) return;
    double width = e.width;
    bool cut = true;
    if (e.autoSize) {
      // Sized to the text, but never past the container's right edge.
      const double textWidth = ppMetrics(e.font).width(text);
      width = std::min(textWidth, std::max(0.0, containerWidth - e.left));
      cut = width < textWidth;
    }
    push(e, QRectF(x, y, width, e.height), text);
    items_->back().clip = cut;
  }

  void push(const TppElement& e, const QRectF& rect, const QString& text) {
    TppPageItem item;
    item.kind = TppItemKind::Text;
    item.element = e.name;
    item.band = band_.name;
    item.rect = rect;
    item.text = text;
    item.font = e.font;
    item.alignment = e.alignment;
    items_->push_back(std::move(item));
  }

  const TppReport& report_;
  const TppBand& band_;
  double bandWidth_;
  std::vector<TppPageItem>* items_ = nullptr;
  std::map<const TppElement*, double> growth_;
};

class Producer {
 public:
  explicit Producer(TppReport& report) : r_(report), setup_(report.printerSetup) {
    bandWidth_ = setup_.paperWidth - setup_.marginLeft - setup_.marginRight;
    doc_.documentName = setup_.documentName;
  }

  TppDocument run() {
    startPage();
    if (r_.title.visible) place(r_.title, layout(r_.title), -1);
    const bool grouped = !r_.group.breakField.isEmpty();
    bool any = r_.pipeline && r_.pipeline->First();
    QString currentKey;
    for (int record = 0; any; ++record) {
      BandLayout detail = layout(r_.detail);
      if (grouped) {
        const QString key = r_.pipeline->Value(r_.group.breakField).toString();
        if (record == 0 || key != currentKey) {
          if (record > 0) {
            placeIfVisible(r_.group.footer, -1);
            if (r_.group.newPage) {
              finishPage();
              startPage();
            }
          }
          currentKey = key;
          if (r_.group.header.visible) {
            BandLayout header = layout(r_.group.header);
            // A group header never stays alone at the bottom of a page.
            if (y_ + header.height + std::min(detail.height, fullHeight()) > bottom_ && hasBody_) {
              finishPage();
              startPage();
            }
            place(r_.group.header, std::move(header), -1);
          }
        }
      }
      place(r_.detail, std::move(detail), record);
      any = r_.pipeline->Next();
      if (!any && grouped) placeIfVisible(r_.group.footer, -1);
    }
    finishPage();
    return std::move(doc_);
  }

 private:
  BandLayout layout(const TppBand& band) { return BandLayouter(r_, band, bandWidth_).run(); }

  double fullHeight() const { return bottom_ - bodyTop_; }

  void startPage() {
    TppPage page;
    page.number = static_cast<int>(doc_.pages.size()) + 1;
    page.width = setup_.paperWidth;
    page.height = setup_.paperHeight;
    doc_.pages.push_back(std::move(page));
    y_ = setup_.marginTop;
    bottom_ = setup_.paperHeight - setup_.marginBottom - (r_.pageFooter.visible ? r_.pageFooter.height : 0);
    if (r_.pageHeader.visible) put(r_.pageHeader, layout(r_.pageHeader), -1);
    bodyTop_ = y_;
    hasBody_ = false;
  }

  void finishPage() {
    if (!r_.pageFooter.visible) return;
    y_ = bottom_;
    put(r_.pageFooter, layout(r_.pageFooter), -1);
  }

  void placeIfVisible(const TppBand& band, int record) {
    if (band.visible) place(band, layout(band), record);
  }

  // Puts a band at the current position, on a new page when it does not fit
  // on this one; a band taller than a page continues on the next.
  void place(const TppBand& band, BandLayout laid, int record) {
    if (y_ + laid.height > bottom_ + 1e-6 && hasBody_) {
      finishPage();
      startPage();
    }
    while (y_ + laid.height > bottom_ + 1e-6) {
      const double available = bottom_ - y_;
      BandLayout here, rest;
      double cut = laid.height;
      for (auto& item : laid.items) {
        if (item.rect.bottom() <= available + 1e-6) here.items.push_back(item);
        else cut = std::min(cut, item.rect.top());
      }
      if (cut <= 1e-6) break;  // one item taller than a page: printed as it is
      for (auto& item : laid.items) {
        if (item.rect.bottom() > available + 1e-6) {
          item.rect.translate(0, -cut);
          rest.items.push_back(item);
        }
      }
      here.height = available;
      rest.height = laid.height - cut;
      put(band, std::move(here), record);
      finishPage();
      startPage();
      laid = std::move(rest);
    }
    put(band, std::move(laid), record);
    hasBody_ = true;
  }

  void put(const TppBand& band, BandLayout laid, int record) {
    TppPage& page = doc_.pages.back();
    const QPointF origin(setup_.marginLeft, y_);
    for (auto& item : laid.items) {
      item.rect.translate(origin);
      page.items.push_back(std::move(item));
    }
    page.bands.push_back({band.name, y_, laid.height, record});
    y_ += laid.height;
  }

  TppReport& r_;
  const TppPrinterSetup& setup_;
  TppDocument doc_;
  double bandWidth_ = 0;
  double y_ = 0, bottom_ = 0, bodyTop_ = 0;
  bool hasBody_ = false;
};

}  // namespace

TppDocument ProduceReport(TppReport& report) {
  if (report.BeforePrint) report.BeforePrint(report);
  return Producer(report).run();
}

QString ppFormatDate(const QDate& date, const QString& format) {
  if (!date.isValid()) return {};
  const QLocale english(QLocale::English, QLocale::UnitedStates);
  QString out;
  for (qsizetype i = 0; i < format.size();) {
    const QChar c = format[i].toLower();
    if (c == u'"' || c == u'\'') {
      qsizetype end = format.indexOf(format[i], i + 1);
      if (end < 0) end = format.size();
      out += format.mid(i + 1, end - i - 1);
      i = end + 1;
      continue;
    }
    qsizetype n = 1;
    while (i + n < format.size() && format[i + n].toLower() == c) ++n;
    if (c == u'd') {
      out += n == 1 ? QString::number(date.day())
             : n == 2 ? QStringLiteral("%1").arg(date.day(), 2, 10, QLatin1Char('0'))
             : n == 3 ? english.dayName(date.dayOfWeek(), QLocale::ShortFormat)
                      : english.dayName(date.dayOfWeek(), QLocale::LongFormat);
    } else if (c == u'm') {
      out += n == 1 ? QString::number(date.month())
             : n == 2 ? QStringLiteral("%1").arg(date.month(), 2, 10, QLatin1Char('0'))
             : n == 3 ? english.monthName(date.month(), QLocale::ShortFormat)
                      : english.monthName(date.month(), QLocale::LongFormat);
    } else if (c == u'y') {
      out += n <= 2 ? QStringLiteral("%1").arg(date.year() % 100, 2, 10, QLatin1Char('0'))
                    : QString::number(date.year());
    } else {
      out += format.mid(i, n);
    }
    i += n;
  }
  return out;
}

QStringList ppWrapText(const QString& text, const TppFont& font, double width) {
  const TppFontMetrics& m = ppMetrics(font);
  QString normalised = text;
  normalised.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n').replace(u'\t', u' ');
  while (!normalised.isEmpty() && normalised.back().isSpace()) normalised.chop(1);
  QStringList lines;
  if (normalised.isEmpty()) return lines;
  for (const QString& paragraph : normalised.split(u'\n')) lines << m.wrap(paragraph, width);
  return lines;
}
