// The access log viewer.
#include "Log.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include "DialogPlacement.h"
#include "MessageBox.h"
#include "data/AccessLog.h"

namespace {

constexpr int kLinesAboveEnd = 10;  // lines shown above the end when opened
const QColor kTooltipYellow(0xff, 0xff, 0xe1);

// Colours every occurrence of `word` (any letter case, inside longer words
// too) in `colour`.
void colourWord(QTextDocument* document, const QString& word, const QColor& colour) {
  const QString text = document->toPlainText();
  QTextCharFormat format;
  format.setForeground(colour);
  for (qsizetype at = text.indexOf(word, 0, Qt::CaseInsensitive); at >= 0;
       at = text.indexOf(word, at + word.size(), Qt::CaseInsensitive)) {
    QTextCursor cursor(document);
    cursor.setPosition(static_cast<int>(at));
    cursor.setPosition(static_cast<int>(at + word.size()), QTextCursor::KeepAnchor);
    cursor.mergeCharFormat(format);
  }
}

}  // namespace

void TToolbarPanel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
  QFrame::mouseReleaseEvent(event);
}

TfrmLog::TfrmLog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmLog"));
  setWindowTitle(QStringLiteral("Log"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

  pnlToolbar = new TToolbarPanel(this);
  pnlToolbar->setObjectName(QStringLiteral("pnlToolbar"));
  pnlToolbar->setFrameShape(QFrame::StyledPanel);
  cmdClose = new QPushButton(QStringLiteral("C&lose"), pnlToolbar);
  cmdClose->setObjectName(QStringLiteral("cmdClose"));
  Button1 = new QPushButton(QStringLiteral("Clear Log"), pnlToolbar);
  Button1->setObjectName(QStringLiteral("Button1"));
  auto* bar = new QHBoxLayout(pnlToolbar);
  bar->setContentsMargins(4, 4, 4, 4);
  bar->addWidget(cmdClose);
  bar->addWidget(Button1);
  bar->addStretch();

  MemoLog = new QTextEdit(this);
  MemoLog->setObjectName(QStringLiteral("MemoLog"));
  MemoLog->setReadOnly(true);
  MemoLog->setAcceptRichText(false);
  MemoLog->setLineWrapMode(QTextEdit::NoWrap);
  MemoLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MemoLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MemoLog->setFocusPolicy(Qt::NoFocus);
  MemoLog->setTextInteractionFlags(Qt::TextSelectableByMouse);
  QPalette palette = MemoLog->palette();
  palette.setColor(QPalette::Base, kTooltipYellow);
  palette.setColor(QPalette::Text, Qt::black);
  MemoLog->setPalette(palette);

  SB = new QStatusBar(this);
  SB->setObjectName(QStringLiteral("SB"));
  SB->setSizeGripEnabled(false);
  lblCount = new QLabel(SB);
  SB->addWidget(lblCount, 1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(pnlToolbar);
  layout->addWidget(MemoLog, 1);
  layout->addWidget(SB);

  connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
  connect(Button1, &QPushButton::clicked, this, &TfrmLog::Button1Click);
  connect(pnlToolbar, &TToolbarPanel::clicked, this, &TfrmLog::pnlToolbarClick);

  setFixedSize(560, 380);
  CentreOnOwner(*this, parent);

  // Opening: the file with its outcomes coloured, scrolled to the end, and
  // its entry count; a missing file is said in the text alone.
  if (QFile::exists(AccessLog::FilePath())) {
    loadFile();
    colourOutcomes();
    scrollPending_ = true;  // once the text has its size on screen
    showCount();
  } else {
    MemoLog->setPlainText(QStringLiteral("Could not find Log file"));
  }
}

int TfrmLog::LineCount() const {
  const QString text = MemoLog->toPlainText();
  if (text.isEmpty()) return 0;
  // A last line end does not start another line.
  return static_cast<int>(text.count(QLatin1Char('\n'))) + (text.endsWith(QLatin1Char('\n')) ? 0 : 1);
}

void TfrmLog::loadFile() {
  QString text = AccessLog::ReadText();
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  MemoLog->setPlainText(text);
}

void TfrmLog::showCount() { lblCount->setText(AccessLog::EntryCountText(LineCount())); }

void TfrmLog::colourOutcomes() {
  colourWord(MemoLog->document(), QStringLiteral("success"), QColor(0, 128, 0));
  colourWord(MemoLog->document(), QStringLiteral("failed"), QColor(255, 0, 0));
  QTextCursor start(MemoLog->document());
  MemoLog->setTextCursor(start);
}

void TfrmLog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (scrollPending_) {
    scrollPending_ = false;
    scrollToEnd();
  }
}

void TfrmLog::scrollToEnd() {
  // Scrolled down by every line and back up by ten: the newest lines are in
  // view with some of the older ones above them.
  MemoLog->document()->adjustSize();
  QScrollBar* bar = MemoLog->verticalScrollBar();
  const QTextBlock top = MemoLog->document()->findBlockByNumber(qMax(0, LineCount() - kLinesAboveEnd));
  const int y = static_cast<int>(MemoLog->document()->documentLayout()->blockBoundingRect(top).top());
  bar->setValue(qMin(bar->maximum(), y));
}

void TfrmLog::Button1Click() {
  if (!MessageBox::Confirm(this, QStringLiteral("Clear the Log?"), QMessageBox::Ok | QMessageBox::Cancel)) return;
  try {
    AccessLog::Clear();
    loadFile();
    showCount();
  } catch (const std::exception& e) {
    MessageBox::Error(this, QString::fromUtf8(e.what()));
  }
}

void TfrmLog::pnlToolbarClick() {
  try {
    AccessLog::Trim(AccessLog::kViewerTrimLines);
    loadFile();
    showCount();
    colourOutcomes();
  } catch (const std::exception& e) {
    MessageBox::Error(this, QString::fromUtf8(e.what()));
  }
}

void ShowLog(QWidget* parent) {
  QWidget* main = parent ? parent->window() : nullptr;
  if (main) main->setCursor(Qt::WaitCursor);
  try {
    TfrmLog viewer(parent);
    viewer.exec();
  } catch (const std::exception& e) {
    MessageBox::Error(parent, QString::fromUtf8(e.what()));
  }
  if (main) main->unsetCursor();
}
