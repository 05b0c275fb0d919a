// A banded report definition: page setup, the bands a report is built from
// and the elements placed on them. All positions and sizes are millimetres,
// measured from the left and top of the band (or of the region holding the
// element). The engine that turns a definition and its data into pages is in
// ReportEngine.h.
#pragma once

#include <QColor>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

class TppDataPipeline;
class TppReport;

// A font as a layout names it. Arial and Times New Roman are drawn with the
// metric-compatible Liberation Sans and Liberation Serif (see ReportFonts).
struct TppFont {
  QString name = QStringLiteral("Arial");
  double size = 10;  // points
  bool bold = false;
  bool italic = false;
  QColor color = Qt::black;
};

enum class TppAlignment { Left, Center, Right };

enum class TppElementKind {
  Label,   // fixed text
  DBText,  // one field of the current record, on one line
  DBMemo,  // a memo field, wrapped at word boundaries, growing downwards
  Region,  // a borderless container that stretches with what it holds
  Line,    // a horizontal line
};

class TppElement {
 public:
  TppElement(TppElementKind kind, QString name) : kind(kind), name(std::move(name)) {}

  const TppElementKind kind;
  const QString name;

  double left = 0, top = 0, width = 0, height = 0;
  bool visible = true;
  TppFont font;
  TppAlignment alignment = TppAlignment::Left;

  QString caption;        // Label
  QString dataField;      // DBText, DBMemo
  QString displayFormat;  // DBText: a date format such as "mm/dd/yyyy"
  // DBText and Label: the width follows the text (never past the band's
  // right edge).
  bool autoSize = false;
  // DBMemo and Region: grow downwards with their content.
  bool stretch = false;
  // DBMemo: the space kept clear below it inside its parent once it grows.
  double bottomOffset = 0;
  // Line: its weight in points; it moves down as far as `shiftWith` grows.
  double weight = 0.75;
  TppElement* shiftWith = nullptr;

  // Region: the elements it holds, positioned from the region's left and top.
  std::vector<std::unique_ptr<TppElement>> children;
  TppElement& add(std::unique_ptr<TppElement> element);
};

enum class TppBandKind { Title, PageHeader, GroupHeader, Detail, GroupFooter, PageFooter };

class TppBand {
 public:
  TppBand(TppBandKind kind, QString name) : kind(kind), name(std::move(name)) {}

  const TppBandKind kind;
  const QString name;
  double height = 0;
  bool visible = true;
  // Detail bands: the band grows with its stretching elements.
  bool growing = false;
  std::vector<std::unique_ptr<TppElement>> elements;

  TppElement& add(std::unique_ptr<TppElement> element);
  // The element of that name in the band or one of its regions; null if none.
  TppElement* find(const QString& elementName) const;
};

// One group level: a header and footer around each run of records with the
// same value of the break field.
struct TppGroup {
  QString breakField;
  // Each group after the first starts on a new page.
  bool newPage = false;
  TppBand header{TppBandKind::GroupHeader, QStringLiteral("GroupHeader")};
  TppBand footer{TppBandKind::GroupFooter, QStringLiteral("GroupFooter")};
};

struct TppPrinterSetup {
  QString paperName = QStringLiteral("Letter 8 1/2 x 11 in");
  double paperWidth = 215.9, paperHeight = 279.401;
  double marginTop = 6.35, marginBottom = 6.35, marginLeft = 6.35, marginRight = 6.35;
  QString documentName;
};

class TppReport {
 public:
  explicit TppReport(QString name) : name(std::move(name)) {}
  TppReport(const TppReport&) = delete;
  TppReport& operator=(const TppReport&) = delete;

  const QString name;
  TppPrinterSetup printerSetup;
  TppBand title{TppBandKind::Title, QStringLiteral("Title")};
  TppBand pageHeader{TppBandKind::PageHeader, QStringLiteral("PageHeader")};
  TppBand detail{TppBandKind::Detail, QStringLiteral("Detail")};
  TppBand pageFooter{TppBandKind::PageFooter, QStringLiteral("PageFooter")};
  // One group level (none when the break field is empty).
  TppGroup group;
  TppDataPipeline* pipeline = nullptr;

  // Runs before the pages are laid out: labels, visibility and the group's
  // new-page switch may be changed here.
  std::function<void(TppReport&)> BeforePrint;

  // The element of that name in any band; null if none.
  TppElement* find(const QString& elementName) const;
};

// The records a report walks, in order.
class TppDataPipeline {
 public:
  virtual ~TppDataPipeline() = default;
  // Goes to the first record; false when there is none.
  virtual bool First() = 0;
  // Goes to the next record; false past the last.
  virtual bool Next() = 0;
  // The current record's value of a field (invalid for null).
  virtual QVariant Value(const QString& fieldName) const = 0;
};

// Element factories with the common settings of each kind.
std::unique_ptr<TppElement> ppLabel(const QString& name, const QString& caption, double left, double top, double width,
                                    double height, const TppFont& font, TppAlignment alignment = TppAlignment::Left);
std::unique_ptr<TppElement> ppDBText(const QString& name, const QString& field, double left, double top, double width,
                                     double height, const TppFont& font);
std::unique_ptr<TppElement> ppDBMemo(const QString& name, const QString& field, double left, double top, double width,
                                     double height, const TppFont& font);
std::unique_ptr<TppElement> ppRegion(const QString& name, double left, double top, double width, double height);
std::unique_ptr<TppElement> ppLine(const QString& name, double left, double top, double width, double weight);
