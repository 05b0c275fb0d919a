#include "Expired.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QToolTip>
#include <QVBoxLayout>

#include "DialogPlacement.h"
#include "MessageBox.h"
#include "controls/DBControls.h"
#include "data/AccountNavigation.h"
#include "data/DataModule.h"

namespace {
constexpr int kRowHeight = 19;
constexpr int kVisibleRows = 9;
constexpr int kColumnWidths[] = {70, 122, 168};

// The first column is 70 pixels, or wider when the font needs more room for
// a date.
int columnWidth(int column, const QWidget* widget) {
  if (column != 0) return kColumnWidths[column];
  return std::max(kColumnWidths[0], widget->fontMetrics().horizontalAdvance(QStringLiteral("00/00/0000")) + 14);
}
}  // namespace

TfrmExpired::TfrmExpired(TDM& dm, QWidget* mainWindow, bool asReminder) : QDialog(mainWindow), dm_(dm) {
  setObjectName(QStringLiteral("frmExpired"));
  setWindowTitle(QStringLiteral(" Expired Accounts"));
  buildForm();
  chkRemind->setVisible(asReminder);
  chkRemind->setChecked(asReminder ? false : AccountNavigation::ReminderSwitchedOff());
  int count = 0;
  RunShowingErrors(this, [&] { count = dm_.qryExpired.Active() ? dm_.qryExpired.RecordCount() : 0; });
  SBPanel->setText(AccountNavigation::ExpiredCountText(count));
  setFixedSize(sizeHint());
  CentreOnMainWindow(this, mainWindow);
  DBCtrlGridExpired->setFocus();
}

void TfrmExpired::buildForm() {
  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(8, 8, 8, 0);
  root->setSpacing(0);

  // The headings: fixed, not clickable; they also size the list's columns.
  auto* headings = new QStandardItemModel(0, 3, this);
  headings->setHorizontalHeaderLabels({QStringLiteral("Expired"), QStringLiteral("Account"), QStringLiteral("Group")});
  HeaderControl1 = new QHeaderView(Qt::Horizontal, this);
  HeaderControl1->setObjectName(QStringLiteral("HeaderControl1"));
  HeaderControl1->setModel(headings);
  HeaderControl1->setSectionsClickable(false);
  HeaderControl1->setSectionResizeMode(QHeaderView::Fixed);
  HeaderControl1->setMinimumSectionSize(65);
  HeaderControl1->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (int i = 0; i < 3; ++i) HeaderControl1->resizeSection(i, columnWidth(i, this));

  DBCtrlGridExpired = new TDBGrid(this);
  DBCtrlGridExpired->setObjectName(QStringLiteral("DBCtrlGridExpired"));
  DBCtrlGridExpired->setDataSource(&dm_.DSExpired,
                                   {QStringLiteral("ExpireDate"), QStringLiteral("Description"), QStringLiteral("Name")});
  DBCtrlGridExpired->horizontalHeader()->hide();
  DBCtrlGridExpired->verticalHeader()->hide();
  DBCtrlGridExpired->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  DBCtrlGridExpired->verticalHeader()->setDefaultSectionSize(kRowHeight);
  DBCtrlGridExpired->setShowGrid(false);
  DBCtrlGridExpired->setWordWrap(false);
  DBCtrlGridExpired->setTabKeyNavigation(false);
  DBCtrlGridExpired->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  DBCtrlGridExpired->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  for (int i = 0; i < 3; ++i) DBCtrlGridExpired->setColumnWidth(i, columnWidth(i, this));
  // The selected row in the colour of tooltip backgrounds.
  QPalette palette = DBCtrlGridExpired->palette();
  const QPalette tips = QToolTip::palette();
  for (auto group : {QPalette::Active, QPalette::Inactive}) {
    palette.setColor(group, QPalette::Highlight, tips.color(QPalette::Inactive, QPalette::ToolTipBase));
    palette.setColor(group, QPalette::HighlightedText, tips.color(QPalette::Inactive, QPalette::ToolTipText));
  }
  DBCtrlGridExpired->setPalette(palette);
  const int frame = 2 * DBCtrlGridExpired->frameWidth();
  const int listWidth = columnWidth(0, this) + columnWidth(1, this) + columnWidth(2, this) + frame +
                        DBCtrlGridExpired->verticalScrollBar()->sizeHint().width();
  DBCtrlGridExpired->setFixedSize(listWidth, kVisibleRows * kRowHeight + frame);
  HeaderControl1->setFixedWidth(listWidth);
  HeaderControl1->setFixedHeight(HeaderControl1->sizeHint().height());
  root->addWidget(HeaderControl1);
  root->addWidget(DBCtrlGridExpired);
  root->addSpacing(8);

  chkRemind = new QCheckBox(QStringLiteral("Don't remind me"), this);
  chkRemind->setObjectName(QStringLiteral("chkRemind"));
  cmdGO = DialogButton(QStringLiteral("Go to Account"), QStringLiteral("cmdGO"), this);
  cmdClose = DialogButton(QStringLiteral("Close"), QStringLiteral("cmdClose"), this);
  root->addLayout(ButtonRow({cmdGO, cmdClose}, chkRemind));
  root->addSpacing(6);

  SBPanel = OnePanelStatusBar(SB, this);
  root->addWidget(SB);

  connect(cmdGO, &QPushButton::clicked, this, &TfrmExpired::cmdGOClick);
  connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
  connect(DBCtrlGridExpired, &QAbstractItemView::doubleClicked, this, [this] { cmdGOClick(); });
  DBCtrlGridExpired->installEventFilter(this);
}

bool TfrmExpired::eventFilter(QObject* watched, QEvent* event) {
  if (watched == DBCtrlGridExpired && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      cmdGOClick();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfrmExpired::cmdGOClick() {
  if (!dm_.qryExpired.Active() || dm_.qryExpired.IsEmpty()) return;
  if (RunShowingErrors(this, [&] { AccountNavigation::GoToHit(dm_, dm_.qryExpired); })) accept();
}

void TfrmExpired::done(int result) {
  RunShowingErrors(this, [&] { AccountNavigation::SetReminderSwitchedOff(chkRemind->isChecked()); });
  QDialog::done(result);
}

namespace {

// Reads the expired accounts anew; answers whether there are any (false
// after an error, which has been shown).
bool reopenExpired(TDM& dm, QWidget* mainWindow) {
  bool any = false;
  RunShowingErrors(mainWindow, [&] {
    dm.qryExpired.Close();
    dm.qryExpired.Open();
    any = !dm.qryExpired.IsEmpty();
  });
  return any;
}

}  // namespace

void ShowExpiredPasswords(TDM& dm, QWidget* mainWindow) {
  if (!dm.DB.Connected()) return;
  if (!reopenExpired(dm, mainWindow)) {
    if (dm.qryExpired.Active()) MessageBox::Information(mainWindow, QStringLiteral("No passwords have expired"));
    return;
  }
  TfrmExpired dialog(dm, mainWindow);
  dialog.exec();
}

void RemindExpiredPasswords(TDM& dm, QWidget* mainWindow) {
  if (!dm.DB.Connected() || AccountNavigation::ReminderSwitchedOff()) return;
  if (!reopenExpired(dm, mainWindow)) return;
  TfrmExpired dialog(dm, mainWindow, true);
  dialog.exec();
}
