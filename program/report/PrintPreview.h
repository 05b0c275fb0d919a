// The print preview window: a tool bar with the page and zoom boxes and the
// page, zoom, print, save and close buttons; the page viewer; a status line.
#pragma once

#include <QDialog>

#include "ReportViewer.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

class TfrmPrintPreview : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmPrintPreview(QWidget* parent = nullptr);

  QLineEdit* mskPreviewPage;
  QLineEdit* mskPreviewPercentage;
  QToolButton* cmdzoom100;
  QToolButton* cmdzoomtofit;
  QToolButton* cmdzoomtowidth;
  QToolButton* cmdFirst;
  QToolButton* cmdPrev;
  QToolButton* cmdNext;
  QToolButton* cmdLast;
  QToolButton* cmdPrint;
  QToolButton* cmdSavePdf;
  QPushButton* cmdClose;
  TppViewer* ppViewer1;
  QLabel* pnlStatus;

  // The caption of the save dialog, which warns that the file holds the
  // passwords in plain text.
  static QString SavePdfCaption();

 protected:
  // The page shortcuts win over the boxes' own use of Ctrl+Home and Ctrl+End.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void cmdFirstClick() { ppViewer1->FirstPage(); }
  void cmdPrevClick() { ppViewer1->PriorPage(); }
  void cmdNextClick() { ppViewer1->NextPage(); }
  void cmdLastClick() { ppViewer1->LastPage(); }
  void mskPreviewPageKeyPress();
  void mskPreviewPercentageKeyPress();
  void cmdzoom100Click();
  void cmdzoomtofitClick();
  void cmdzoomtowidthClick();
  void ppViewer1PageChange();
  void ppViewer1StatusChange();
  void cmdPrintClick();
  void cmdSavePdfClick();
  void cmdCloseClick() { accept(); }
  void showZoom();
};
