#include "Find.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "DialogPlacement.h"
#include "MessageBox.h"
#include "controls/DBControls.h"
#include "data/AccountRules.h"
#include "data/AccountNavigation.h"
#include "data/DataModule.h"
#include "data/FindStatement.h"
#include "data/Settings.h"

namespace {
const QString kSection = QStringLiteral("SearchOptions");
const QString kKey = QStringLiteral("index");
}  // namespace

TfrmFind::TfrmFind(TDM& dm, QWidget* mainWindow) : QDialog(mainWindow), dm_(dm) {
  setObjectName(QStringLiteral("frmFind"));
  setWindowTitle(QStringLiteral("Find"));
  buildForm();
  setFixedSize(sizeHint());
  CentreOnMainWindow(this, mainWindow);
  // A scope outside the list (a hand-edited settings file) searches "All".
  const int scope = Settings::ReadInt(kSection, kKey, 0);
  cboWhere->setCurrentIndex(scope >= 0 && scope < FindStatement::fsScopeCount ? scope : 0);
  dm_.qryFind.Close();
  txtFind->setFocus();
}

void TfrmFind::buildForm() {
  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(8, 8, 8, 0);

  auto* search = new QGridLayout;
  auto* lblWhat = new QLabel(QStringLiteral("What"), this);
  txtFind = new QLineEdit(this);
  txtFind->setObjectName(QStringLiteral("txtFind"));
  lblWhat->setBuddy(txtFind);
  auto* lblWhere = new QLabel(QStringLiteral("Where"), this);
  cboWhere = new QComboBox(this);
  cboWhere->setObjectName(QStringLiteral("cboWhere"));
  cboWhere->addItems(FindStatement::ScopeNames());
  lblWhere->setBuddy(cboWhere);
  cmdFind = DialogButton(QStringLiteral("Fin&d"), QStringLiteral("cmdFind"), this);
  search->addWidget(lblWhat, 0, 0);
  search->addWidget(txtFind, 0, 1);
  search->addWidget(cmdFind, 0, 2);
  search->addWidget(lblWhere, 1, 0);
  search->addWidget(cboWhere, 1, 1);
  search->setColumnStretch(1, 1);
  root->addLayout(search);

  DBGridFind = new TDBGrid(this);
  DBGridFind->setObjectName(QStringLiteral("DBGridFind"));
  DBGridFind->setDataSource(&dm_.DSFind, {QStringLiteral("Name"), QStringLiteral("Description")});
  DBGridFind->verticalHeader()->hide();
  DBGridFind->verticalHeader()->setDefaultSectionSize(20);
  DBGridFind->setColumnWidth(0, 173);
  DBGridFind->setColumnWidth(1, 231);
  DBGridFind->horizontalHeader()->setStretchLastSection(true);
  DBGridFind->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
  QFont titleFont = DBGridFind->horizontalHeader()->font();
  titleFont.setBold(true);
  DBGridFind->horizontalHeader()->setFont(titleFont);
  DBGridFind->horizontalHeader()->setSectionsClickable(false);
  DBGridFind->setTabKeyNavigation(false);
  DBGridFind->setMinimumSize(173 + 231 + 2 * DBGridFind->frameWidth() + 4, 200);
  root->addWidget(DBGridFind, 1);

  cmdOK = DialogButton(QStringLiteral("OK"), QStringLiteral("cmdOK"), this);
  cmdCancel = DialogButton(QStringLiteral("Cancel"), QStringLiteral("cmdCancel"), this);
  root->addLayout(ButtonRow({cmdOK, cmdCancel}));

  SBPanel = OnePanelStatusBar(SB, this);
  root->addWidget(SB);

  connect(cmdFind, &QPushButton::clicked, this, &TfrmFind::cmdFindClick);
  connect(cmdOK, &QPushButton::clicked, this, &TfrmFind::cmdOKClick);
  connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(DBGridFind, &QAbstractItemView::doubleClicked, this, [this] { cmdOKClick(); });
  txtFind->installEventFilter(this);
  DBGridFind->installEventFilter(this);
}

bool TfrmFind::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == txtFind) return txtFindKeyPress(key);
    if (watched == DBGridFind) return DBGridFindKeyPress(key);
  }
  return QDialog::eventFilter(watched, event);
}

// Enter searches; characters the search cannot take are dropped. Editing
// keys (arrows, Delete, the clipboard shortcuts) pass to the box.
bool TfrmFind::txtFindKeyPress(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    cmdFindClick();
    return true;
  }
  if (event->key() == Qt::Key_Escape) return false;
  const QString text = event->text();
  if (text.size() != 1 || event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Copy) ||
      event->matches(QKeySequence::Cut) || event->matches(QKeySequence::SelectAll) ||
      event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo))
    return false;
  const QChar c = text.at(0);
  if (c.unicode() == 8 || c.unicode() == 127) return false;  // backspace, delete
  return !FindStatement::AcceptTyped(c);
}

// Enter goes to the chosen account; a typed character moves to the first hit
// whose group name begins with it.
bool TfrmFind::DBGridFindKeyPress(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    cmdOKClick();
    return true;
  }
  const QString text = event->text();
  if (text.size() != 1 || text.at(0).unicode() < ' ' || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
    return false;
  if (dm_.qryFind.Active() && !dm_.qryFind.IsEmpty())
    RunShowingErrors(this, [&] {
      dm_.qryFind.Locate(QStringLiteral("Name"), text, TLocateOptions(loCaseInsensitive | loPartialKey));
    });
  return true;
}

void TfrmFind::cmdFindClick() {
  const QString text = AccountRules::TrimName(txtFind->text());
  if (text.isEmpty()) {
    txtFind->clear();
    txtFind->setFocus();
    dm_.qryFind.Close();
    SBPanel->setText(FindStatement::CountText(0));
    return;
  }
  int count = 0;
  const bool ran = RunShowingErrors(this, [&] {
    dm_.qryFind.Close();
    dm_.qryFind.setSQL(FindStatement::Build(text, cboWhere->currentIndex()));
    dm_.qryFind.Open();
    count = dm_.qryFind.RecordCount();
  });
  if (!ran) {
    dm_.qryFind.Close();
    SBPanel->setText(FindStatement::CountText(0));
    return;
  }
  SBPanel->setText(FindStatement::CountText(count));
  if (count > 0) {
    DBGridFind->setFocus();
  } else {
    QApplication::beep();
    txtFind->selectAll();
    txtFind->setFocus();
  }
}

void TfrmFind::cmdOKClick() {
  if (!dm_.qryFind.Active() || dm_.qryFind.IsEmpty()) return;
  if (RunShowingErrors(this, [&] { AccountNavigation::GoToHit(dm_, dm_.qryFind); })) accept();
}

void TfrmFind::done(int result) {
  RunShowingErrors(this, [&] { Settings::WriteInt(kSection, kKey, cboWhere->currentIndex()); });
  QDialog::done(result);
}

void ShowFind(TDM& dm, QWidget* mainWindow) {
  if (!dm.DB.Connected()) return;
  TfrmFind dialog(dm, mainWindow);
  dialog.exec();
}
