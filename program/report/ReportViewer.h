// The page viewer of the print preview: shows one produced page at a time at
// a zoom (whole page, page width, or a percentage of the paper's real size),
// moves between pages, reports the page shown, the zoom in effect and a
// status text, and prints the pages through the print dialog.
#pragma once

#include <QImage>
#include <QScrollArea>

#include "ReportPages.h"

class QPrinter;

enum class TppZoomSetting { Percentage, WholePage, PageWidth };

class TppViewer : public QScrollArea {
  Q_OBJECT

 public:
  explicit TppViewer(QWidget* parent = nullptr);

  void setDocument(TppDocument document);
  const TppDocument& Document() const noexcept { return document_; }

  int PageCount() const noexcept { return static_cast<int>(document_.pages.size()); }
  // The page shown, from 1 (0 without pages).
  int AbsolutePageNo() const noexcept { return page_; }
  void FirstPage();
  void PriorPage();
  void NextPage();
  void LastPage();
  // Pages outside the report go to the nearest one.
  void GotoPage(int page);

  TppZoomSetting ZoomSetting() const noexcept { return zoomSetting_; }
  void setZoomSetting(TppZoomSetting setting);
  // Sets a percentage zoom (kept between 10 and 999).
  void setZoomPercentage(int percent);
  // The zoom in effect, in percent of the paper's real size.
  int CalculatedZoom() const;

  const QString& Status() const noexcept { return status_; }

  // Asks with the print dialog, then prints the pages chosen there. False
  // when cancelled or when printing failed.
  bool Print();
  // Prints the pages from `fromPage` to `toPage` (0, 0: all) on a printer
  // already set up.
  bool PrintTo(QPrinter& printer, int fromPage = 0, int toPage = 0);
  // Writes every page to a PDF file readable by its owner only.
  bool SaveAsPdf(const QString& fileName);

  // A picture of the page as shown at the current zoom.
  QImage PageImage() const;

 signals:
  void PageChange();
  void StatusChange();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  double zoomFactor() const;  // 1.0 = real size
  const TppPage* currentPage() const;
  void refresh(bool pageChanged);
  void setStatus(const QString& status);
  void pageStatus();

  TppDocument document_;
  int page_ = 0;
  TppZoomSetting zoomSetting_ = TppZoomSetting::PageWidth;
  int percent_ = 100;
  int lastZoom_ = -1;
  QString status_;
  class PageWidget;
  PageWidget* pageWidget_;
};
