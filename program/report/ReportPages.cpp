// Drawing produced pages on any paint device, and writing them to a printer
// or a PDF file.
#include "ReportPages.h"

#include <QFile>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>

#include "ReportFonts.h"

void RenderPage(QPainter& painter, const TppPage& page, double zoom) {
  QPaintDevice* device = painter.device();
  const double sx = device->logicalDpiX() / 25.4 * zoom;
  const double sy = device->logicalDpiY() / 25.4 * zoom;
  auto toDevice = [&](const QRectF& mm) {
    return QRectF(mm.left() * sx, mm.top() * sy, mm.width() * sx, mm.height() * sy);
  };
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  for (const TppPageItem& item : page.items) {
    const QRectF box = toDevice(item.rect);
    if (item.kind == TppItemKind::Line) {
      QPen pen(item.font.color);
      pen.setWidthF(item.weight / 72.0 * device->logicalDpiY() * zoom);
      pen.setCapStyle(Qt::FlatCap);
      painter.setPen(pen);
      const double y = box.top() + pen.widthF() / 2;
      painter.drawLine(QPointF(box.left(), y), QPointF(box.right(), y));
      continue;
    }
    TppFont scaled = item.font;
    scaled.size *= zoom;
    painter.setFont(ppQFont(scaled));
    painter.setPen(item.font.color);
    // Text stays inside its box from left to right; vertically the box only
    // places the first baseline, so no descender is cut.
    if (item.clip) painter.setClipRect(QRectF(box.left(), box.top() - box.height(), box.width(), box.height() * 3));
    int flags = Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip;
    flags |= item.alignment == TppAlignment::Right    ? Qt::AlignRight
             : item.alignment == TppAlignment::Center ? Qt::AlignHCenter
                                                      : Qt::AlignLeft;
    painter.drawText(QRectF(box.left(), box.top(), box.width(), box.height() * 2), flags, item.text);
    painter.setClipping(false);
  }
  painter.restore();
}

bool RenderDocument(QPagedPaintDevice& device, const TppDocument& document,
                    const std::function<void(int page, int count)>& progress) {
  QPainter painter;
  if (!painter.begin(&device)) return false;
  const int count = static_cast<int>(document.pages.size());
  for (int i = 0; i < count; ++i) {
    if (progress) progress(i + 1, count);
    if (i > 0 && !device.newPage()) return false;
    RenderPage(painter, document.pages[i]);
  }
  return painter.end();
}

bool SaveDocumentAsPdf(const TppDocument& document, const QString& fileName) {
  QFile file(fileName);
  const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate, ownerOnly)) return false;
  // An existing file keeps its mode on open: narrow it before anything is written.
  if (!file.setPermissions(ownerOnly)) return false;
  bool ok = false;
  {
    QPdfWriter writer(&file);
    const double width = document.pages.empty() ? 215.9 : document.pages.front().width;
    const double height = document.pages.empty() ? 279.401 : document.pages.front().height;
    writer.setPageSize(QPageSize(QSizeF(width, height), QPageSize::Millimeter));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(600);
    writer.setTitle(document.documentName);
    writer.setCreator(QStringLiteral("Keyhaven"));
    ok = RenderDocument(writer, document);
  }
  file.close();
  return ok && file.error() == QFileDevice::NoError;
}
