// The print preview window.
#include "PrintPreview.h"

#include <QDir>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "ReportMessages.h"

namespace {

// The whole number at the start of a box's text; `fallback` when there is none.
int leadingNumber(const QString& text, int fallback) {
  const QString trimmed = text.trimmed();
  qsizetype n = 0;
  while (n < trimmed.size() && trimmed[n].isDigit()) ++n;
  bool ok = false;
  const int value = trimmed.left(n).toInt(&ok);
  return ok ? value : fallback;
}

QToolButton* toolButton(QWidget* parent, const QString& text, const QString& hint, QStyle::StandardPixmap icon) {
  auto* b = new QToolButton(parent);
  b->setText(text);
  b->setToolTip(hint);
  b->setAutoRaise(true);
  if (icon != QStyle::SP_CustomBase) {
    b->setIcon(parent->style()->standardIcon(icon));
    b->setToolButtonStyle(Qt::ToolButtonIconOnly);
  } else {
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
  }
  return b;
}

}  // namespace

TfrmPrintPreview::TfrmPrintPreview(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmPrintPreview"));
  setWindowTitle(QStringLiteral("Print Preview"));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                 Qt::WindowCloseButtonHint);
  setSizeGripEnabled(true);

  auto* bar = new QWidget(this);
  auto* barLayout = new QHBoxLayout(bar);
  barLayout->setContentsMargins(4, 2, 4, 2);
  barLayout->setSpacing(2);

  mskPreviewPage = new QLineEdit(bar);
  mskPreviewPage->setObjectName(QStringLiteral("mskPreviewPage"));
  mskPreviewPage->setMaxLength(5);
  mskPreviewPage->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,5}")), bar));
  mskPreviewPage->setFixedWidth(mskPreviewPage->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 12);
  mskPreviewPage->setAlignment(Qt::AlignRight);
  mskPreviewPage->setToolTip(tr("Page"));
  mskPreviewPercentage = new QLineEdit(bar);
  mskPreviewPercentage->setObjectName(QStringLiteral("mskPreviewPercentage"));
  mskPreviewPercentage->setMaxLength(5);
  mskPreviewPercentage->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,3} ?%?")), bar));
  mskPreviewPercentage->setFixedWidth(mskPreviewPercentage->fontMetrics().horizontalAdvance(QStringLiteral("000 %0")) + 12);
  mskPreviewPercentage->setAlignment(Qt::AlignRight);
  mskPreviewPercentage->setToolTip(tr("Zoom"));

  cmdzoom100 = toolButton(bar, QStringLiteral("100%"), QStringLiteral("Zoom 100%"), QStyle::SP_CustomBase);
  cmdzoomtofit = toolButton(bar, QStringLiteral("Fit"), QStringLiteral("Zoom to Fit"), QStyle::SP_CustomBase);
  cmdzoomtowidth = toolButton(bar, QStringLiteral("Width"), QStringLiteral("Zoom to Width"), QStyle::SP_CustomBase);
  cmdFirst = toolButton(bar, QStringLiteral("First"), QStringLiteral("First"), QStyle::SP_MediaSkipBackward);
  cmdPrev = toolButton(bar, QStringLiteral("Previous"), QStringLiteral("Previous"), QStyle::SP_MediaSeekBackward);
  cmdNext = toolButton(bar, QStringLiteral("Next"), QStringLiteral("Next"), QStyle::SP_MediaSeekForward);
  cmdLast = toolButton(bar, QStringLiteral("Last"), QStringLiteral("Last"), QStyle::SP_MediaSkipForward);
  cmdPrint = toolButton(bar, QStringLiteral("Print"), QStringLiteral("Print"), QStyle::SP_CustomBase);
  cmdSavePdf = toolButton(bar, QStringLiteral("Save as PDF"), QStringLiteral("Save as PDF"), QStyle::SP_CustomBase);
  cmdClose = new QPushButton(QStringLiteral("&Close"), bar);
  cmdClose->setAutoDefault(false);  // Enter belongs to the page and zoom boxes

  auto* pageLabel = new QLabel(tr("Page"), bar);
  pageLabel->setBuddy(mskPreviewPage);
  barLayout->addWidget(cmdPrint);
  barLayout->addWidget(cmdSavePdf);
  barLayout->addSpacing(12);
  barLayout->addWidget(cmdzoom100);
  barLayout->addWidget(cmdzoomtofit);
  barLayout->addWidget(cmdzoomtowidth);
  barLayout->addWidget(mskPreviewPercentage);
  barLayout->addSpacing(12);
  barLayout->addWidget(cmdFirst);
  barLayout->addWidget(cmdPrev);
  barLayout->addWidget(pageLabel);
  barLayout->addWidget(mskPreviewPage);
  barLayout->addWidget(cmdNext);
  barLayout->addWidget(cmdLast);
  barLayout->addStretch(1);
  barLayout->addWidget(cmdClose);

  ppViewer1 = new TppViewer(this);
  ppViewer1->setObjectName(QStringLiteral("ppViewer1"));
  pnlStatus = new QLabel(this);
  pnlStatus->setObjectName(QStringLiteral("pnlStatus"));
  pnlStatus->setFrameStyle(QFrame::Panel | QFrame::Sunken);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(bar);
  layout->addWidget(ppViewer1, 1);
  layout->addWidget(pnlStatus);

  connect(cmdFirst, &QToolButton::clicked, this, &TfrmPrintPreview::cmdFirstClick);
  connect(cmdPrev, &QToolButton::clicked, this, &TfrmPrintPreview::cmdPrevClick);
  connect(cmdNext, &QToolButton::clicked, this, &TfrmPrintPreview::cmdNextClick);
  connect(cmdLast, &QToolButton::clicked, this, &TfrmPrintPreview::cmdLastClick);
  connect(cmdzoom100, &QToolButton::clicked, this, &TfrmPrintPreview::cmdzoom100Click);
  connect(cmdzoomtofit, &QToolButton::clicked, this, &TfrmPrintPreview::cmdzoomtofitClick);
  connect(cmdzoomtowidth, &QToolButton::clicked, this, &TfrmPrintPreview::cmdzoomtowidthClick);
  connect(cmdPrint, &QToolButton::clicked, this, &TfrmPrintPreview::cmdPrintClick);
  connect(cmdSavePdf, &QToolButton::clicked, this, &TfrmPrintPreview::cmdSavePdfClick);
  connect(cmdClose, &QPushButton::clicked, this, &TfrmPrintPreview::cmdCloseClick);
  connect(mskPreviewPage, &QLineEdit::returnPressed, this, &TfrmPrintPreview::mskPreviewPageKeyPress);
  connect(mskPreviewPercentage, &QLineEdit::returnPressed, this, &TfrmPrintPreview::mskPreviewPercentageKeyPress);
  connect(ppViewer1, &TppViewer::PageChange, this, &TfrmPrintPreview::ppViewer1PageChange);
  connect(ppViewer1, &TppViewer::StatusChange, this, &TfrmPrintPreview::ppViewer1StatusChange);

  const struct {
    QKeySequence keys;
    void (TfrmPrintPreview::*slot)();
  } shortcuts[] = {
      {QKeySequence(Qt::CTRL | Qt::Key_Home), &TfrmPrintPreview::cmdFirstClick},
      {QKeySequence(Qt::CTRL | Qt::Key_PageUp), &TfrmPrintPreview::cmdPrevClick},
      {QKeySequence(Qt::CTRL | Qt::Key_PageDown), &TfrmPrintPreview::cmdNextClick},
      {QKeySequence(Qt::CTRL | Qt::Key_End), &TfrmPrintPreview::cmdLastClick},
  };
  for (const auto& s : shortcuts) {
    auto* shortcut = new QShortcut(s.keys, this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, s.slot);
  }
  mskPreviewPage->installEventFilter(this);
  mskPreviewPercentage->installEventFilter(this);

  resize(900, 700);
  setWindowState(windowState() | Qt::WindowMaximized);
}

bool TfrmPrintPreview::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool pageKey = key->key() == Qt::Key_Home || key->key() == Qt::Key_End || key->key() == Qt::Key_PageUp ||
                         key->key() == Qt::Key_PageDown;
    if (pageKey && (key->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) return true;  // not taken
  }
  return QDialog::eventFilter(watched, event);
}

QString TfrmPrintPreview::SavePdfCaption() {
  return QStringLiteral("Save Report as PDF - the file holds your passwords in plain text");
}

void TfrmPrintPreview::mskPreviewPageKeyPress() { ppViewer1->GotoPage(leadingNumber(mskPreviewPage->text(), 1)); }

void TfrmPrintPreview::mskPreviewPercentageKeyPress() {
  ppViewer1->setZoomPercentage(leadingNumber(mskPreviewPercentage->text(), 100));
  showZoom();
}

void TfrmPrintPreview::cmdzoom100Click() {
  ppViewer1->setZoomPercentage(100);
  showZoom();
}

void TfrmPrintPreview::cmdzoomtofitClick() {
  ppViewer1->setZoomSetting(TppZoomSetting::WholePage);
  showZoom();
}

void TfrmPrintPreview::cmdzoomtowidthClick() {
  ppViewer1->setZoomSetting(TppZoomSetting::PageWidth);
  showZoom();
}

void TfrmPrintPreview::showZoom() {
  mskPreviewPercentage->setText(QStringLiteral("%1 %").arg(ppViewer1->CalculatedZoom()));
}

void TfrmPrintPreview::ppViewer1PageChange() {
  mskPreviewPage->setText(QString::number(ppViewer1->AbsolutePageNo()));
  showZoom();
}

void TfrmPrintPreview::ppViewer1StatusChange() { pnlStatus->setText(QLatin1Char(' ') + ppViewer1->Status()); }

void TfrmPrintPreview::cmdPrintClick() { ppViewer1->Print(); }

void TfrmPrintPreview::cmdSavePdfClick() {
  QString name = ppViewer1->Document().documentName;
  if (name.isEmpty()) name = QStringLiteral("Report");
  const QString file = ReportSaveFileName(this, SavePdfCaption(), QDir::home().filePath(name + QStringLiteral(".pdf")),
                                          tr("PDF files (*.pdf)"));
  if (file.isEmpty()) return;
  if (!ppViewer1->SaveAsPdf(file))
    ReportMessage(this, TReportMessageKind::Error, tr("Unable to write to %1").arg(file));
}
