// The pages a report produces, device-independent: every item placed in
// millimetres from the top-left corner of the paper. The same pages are shown
// by the preview, sent to a printer and written to PDF, and tests read them.
#pragma once

#include <QRectF>
#include <QString>
#include <vector>

#include "ReportDefinition.h"

class QPainter;
class QPagedPaintDevice;

enum class TppItemKind { Text, Line };

struct TppPageItem {
  TppItemKind kind = TppItemKind::Text;
  QString element;  // the layout element it comes from
  QString band;     // the band it was printed in
  QRectF rect;      // mm on the paper; a line runs along the top edge
  QString text;     // one line of text
  TppFont font;
  TppAlignment alignment = TppAlignment::Left;
  double weight = 0;  // Line: points
  // Text: cut at the box's left and right edges (fixed-size fields); text
  // sized to itself and wrapped memo lines are never cut.
  bool clip = false;
};

// Where a band was printed on a page (mm on the paper), with the record it
// printed (-1 for bands outside the detail).
struct TppBandPlacement {
  QString band;
  double top = 0;
  double height = 0;
  int record = -1;
};

struct TppPage {
  int number = 0;  // from 1
  double width = 0, height = 0;
  std::vector<TppPageItem> items;
  std::vector<TppBandPlacement> bands;
};

struct TppDocument {
  QString documentName;
  std::vector<TppPage> pages;
};

// Draws one page with the painter's device resolution, magnified by `zoom`
// (1 = the paper's real size): fonts at their point size, millimetres
// converted with the device's dots per inch. The painter's origin is the
// paper's top-left corner.
void RenderPage(QPainter& painter, const TppPage& page, double zoom = 1.0);

// Writes every page to a paged device set up for the paper (full page, no
// device margins): a printer or a PDF writer. `progress` is called with each
// page number before it is drawn. False when the device could not be painted
// on.
bool RenderDocument(QPagedPaintDevice& device, const TppDocument& document,
                    const std::function<void(int page, int count)>& progress = {});

// Writes the pages to a PDF file readable by its owner only (the report holds
// passwords in plain text). False when the file could not be written.
bool SaveDocumentAsPdf(const TppDocument& document, const QString& fileName);
