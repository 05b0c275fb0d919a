// The preview's page viewer.
#include "ReportViewer.h"

#include <QFile>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

namespace {
constexpr int kGap = 12;  // grey border around the page, in screen pixels
}

// Paints the current page, at the viewer's zoom, on a grey background;
// only what is exposed is drawn, so a large zoom costs no large picture.
class TppViewer::PageWidget : public QWidget {
 public:
  explicit PageWidget(TppViewer* viewer) : QWidget(viewer), viewer_(viewer) {
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    setPalette(p);
  }

  // The page's size on the screen, in pixels.
  QSize pageSize() const {
    const TppPage* page = viewer_->currentPage();
    if (!page) return {};
    const double zoom = viewer_->zoomFactor();
    return QSize(qRound(page->width / 25.4 * logicalDpiX() * zoom), qRound(page->height / 25.4 * logicalDpiY() * zoom));
  }

  void relayout() {
    const QSize page = pageSize();
    setMinimumSize(page + QSize(2 * kGap, 2 * kGap));
    resize(std::max(page.width() + 2 * kGap, viewer_->viewport()->width()),
           std::max(page.height() + 2 * kGap, viewer_->viewport()->height()));
    update();
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    const TppPage* page = viewer_->currentPage();
    if (!page) return;
    const QSize size = pageSize();
    const int x = std::max(kGap, (width() - size.width()) / 2);
    QPainter painter(this);
    painter.setClipRect(event->rect());
    painter.fillRect(QRect(QPoint(x + 3, kGap + 3), size), QColor(0x40, 0x40, 0x40));  // shadow
    painter.fillRect(QRect(QPoint(x, kGap), size), Qt::white);
    painter.translate(x, kGap);
    RenderPage(painter, *page, viewer_->zoomFactor());
  }

 private:
  TppViewer* viewer_;
};

TppViewer::TppViewer(QWidget* parent) : QScrollArea(parent), pageWidget_(new PageWidget(this)) {
  setWidget(pageWidget_);
  setWidgetResizable(false);
  setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  setFocusPolicy(Qt::StrongFocus);
}

void TppViewer::setDocument(TppDocument document) {
  document_ = std::move(document);
  page_ = document_.pages.empty() ? 0 : 1;
  refresh(true);
}

void TppViewer::FirstPage() { GotoPage(1); }
void TppViewer::PriorPage() { GotoPage(page_ - 1); }
void TppViewer::NextPage() { GotoPage(page_ + 1); }
void TppViewer::LastPage() { GotoPage(PageCount()); }

void TppViewer::GotoPage(int page) {
  if (PageCount() == 0) return;
  page = std::clamp(page, 1, PageCount());
  if (page == page_) {
    emit PageChange();  // the boxes show the page again, also after a bad entry
    return;
  }
  page_ = page;
  refresh(true);
}

void TppViewer::setZoomSetting(TppZoomSetting setting) {
  zoomSetting_ = setting;
  refresh(true);
}

void TppViewer::setZoomPercentage(int percent) {
  percent_ = std::clamp(percent, 10, 999);
  zoomSetting_ = TppZoomSetting::Percentage;
  refresh(true);
}

double TppViewer::zoomFactor() const {
  if (zoomSetting_ == TppZoomSetting::Percentage || document_.pages.empty()) return percent_ / 100.0;
  const TppPage& page = document_.pages[std::max(0, page_ - 1)];
  const double pxPerMmX = logicalDpiX() / 25.4, pxPerMmY = logicalDpiY() / 25.4;
  const QSize view = viewport()->size();
  // Room for the page with its border and, for page width, a vertical scroll bar.
  const double widthZoom =
      (view.width() - 2 * kGap - (zoomSetting_ == TppZoomSetting::PageWidth ? verticalScrollBar()->sizeHint().width() : 0)) /
      (page.width * pxPerMmX);
  if (zoomSetting_ == TppZoomSetting::PageWidth) return std::max(0.1, widthZoom);
  const double heightZoom = (view.height() - 2 * kGap) / (page.height * pxPerMmY);
  return std::max(0.1, std::min(widthZoom, heightZoom));
}

int TppViewer::CalculatedZoom() const { return static_cast<int>(std::lround(zoomFactor() * 100)); }

const TppPage* TppViewer::currentPage() const { return page_ >= 1 ? &document_.pages[page_ - 1] : nullptr; }

QImage TppViewer::PageImage() const {
  if (page_ < 1) return {};
  const TppPage& page = document_.pages[page_ - 1];
  const double ratio = devicePixelRatioF();
  const double dpiX = logicalDpiX() * zoomFactor() * ratio, dpiY = logicalDpiY() * zoomFactor() * ratio;
  QImage image(std::max(1, static_cast<int>(page.width / 25.4 * dpiX)),
               std::max(1, static_cast<int>(page.height / 25.4 * dpiY)), QImage::Format_RGB32);
  image.setDotsPerMeterX(static_cast<int>(dpiX / 0.0254 + 0.5));
  image.setDotsPerMeterY(static_cast<int>(dpiY / 0.0254 + 0.5));
  image.fill(Qt::white);
  QPainter painter(&image);
  RenderPage(painter, page);
  painter.end();
  image.setDevicePixelRatio(ratio);
  return image;
}

void TppViewer::refresh(bool pageChanged) {
  pageWidget_->relayout();
  const int zoom = CalculatedZoom();
  if (pageChanged || zoom != lastZoom_) {
    lastZoom_ = zoom;
    if (pageChanged) verticalScrollBar()->setValue(0);
    pageStatus();
    emit PageChange();
  }
}

void TppViewer::resizeEvent(QResizeEvent* event) {
  QScrollArea::resizeEvent(event);
  if (page_ > 0) refresh(false);  // a fitted zoom follows the window
}

void TppViewer::setStatus(const QString& status) {
  if (status == status_) return;
  status_ = status;
  emit StatusChange();
}

void TppViewer::pageStatus() {
  setStatus(PageCount() == 0 ? tr("No pages") : tr("Page %1 of %2").arg(page_).arg(PageCount()));
}

bool TppViewer::Print() {
  if (PageCount() == 0) return false;
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(document_.documentName);
  const TppPage& first = document_.pages.front();
  printer.setPageSize(QPageSize(QSizeF(first.width, first.height), QPageSize::Millimeter));
  printer.setPageOrientation(QPageLayout::Portrait);
  printer.setFullPage(true);
  QPrintDialog dialog(&printer, this);
  dialog.setWindowTitle(tr("Print"));
  dialog.setMinMax(1, PageCount());
  if (dialog.exec() != QDialog::Accepted) return false;
  int from = 0, to = 0;
  if (printer.printRange() == QPrinter::PageRange) {
    from = printer.fromPage();
    to = printer.toPage();
  } else if (printer.printRange() == QPrinter::CurrentPage) {
    from = to = page_;
  }
  return PrintTo(printer, from, to);
}

bool TppViewer::PrintTo(QPrinter& printer, int fromPage, int toPage) {
  if (PageCount() == 0) return false;
  printer.setDocName(document_.documentName);
  printer.setFullPage(true);
  if (fromPage < 1) fromPage = 1;
  if (toPage < 1 || toPage > PageCount()) toPage = PageCount();
  TppDocument range;
  range.documentName = document_.documentName;
  range.pages.assign(document_.pages.begin() + (fromPage - 1), document_.pages.begin() + toPage);
  const bool ok = RenderDocument(printer, range, [this, fromPage, toPage](int page, int) {
    setStatus(tr("Printing page %1 of %2").arg(fromPage + page - 1).arg(toPage));
  });
  // Printing to a file leaves the passwords in it: owner only.
  if (!printer.outputFileName().isEmpty())
    QFile::setPermissions(printer.outputFileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  if (ok) pageStatus();
  else setStatus(tr("Printing failed"));
  return ok;
}

bool TppViewer::SaveAsPdf(const QString& fileName) {
  if (PageCount() == 0) return false;
  setStatus(tr("Saving %1").arg(fileName));
  const bool ok = SaveDocumentAsPdf(document_, fileName);
  setStatus(ok ? tr("Saved %1").arg(fileName) : tr("Could not save %1").arg(fileName));
  return ok;
}
