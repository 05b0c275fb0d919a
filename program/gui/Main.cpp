#include "Main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "About.h"
#include "Help.h"
#include "Log.h"
#include "Options.h"
#include "Resources.h"
#include "controls/BackgroundPanel.h"
#include "ChangePassword.h"
#include "DialogPlacement.h"
#include "EnterMasterPassword.h"
#include "Expired.h"
#include "Find.h"
#include "Generate.h"
#include "SelectReport.h"
#include "MessageBox.h"
#include "NewMasterPassword.h"
#include "Sounds.h"
#include "Welcome.h"
#include "AccountCommands.h"
#include "controls/AccountList.h"
#include "controls/DBControls.h"
#include "controls/DBEditMove.h"
#include "controls/DateBox.h"
#include "controls/HoverButton.h"
#include "data/AccessLog.h"
#include "data/DataModule.h"
#include "data/DatabaseFiles.h"
#include "data/ProgramDirs.h"
#include "data/Settings.h"

namespace {

constexpr int kMainWidth = 612;
constexpr int kMainHeight = 464;
constexpr int kRightWidth = 316;
constexpr int kStatusWidth = 290;
const char* const kWebsite = "https://keyhaven.example.org/";

// The hourglass for the life of the object.
class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

void wipe(QString& secret) {
  secret.fill(QChar(u'\0'));
  secret.clear();
}

}  // namespace

// The status bar's one panel, drawn by the program: navy text 3 pixels right
// of and 1 pixel below the panel's corner.
class TStatusPanel : public QLabel {
 public:
  explicit TStatusPanel(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("SB"));
    setFixedWidth(kStatusWidth);
    setMinimumHeight(fontMetrics().height() + 4);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setPen(QColor(0, 0, 128));
    p.drawText(rect().adjusted(3, 1, 0, 0), Qt::AlignLeft | Qt::AlignTop, text());
  }
};

TfrmMain::TfrmMain(TDM& dm, QWidget* parent) : QMainWindow(parent), dm_(dm) {
  setObjectName(QStringLiteral("frmMain"));
  Resources::Init();
  resize(kMainWidth, kMainHeight);
  setWindowIcon(Resources::AppIcon());
  buildMenus();
  buildToolbar();
  statusPanel_ = new TStatusPanel(this);
  buildClientArea();
  statusBar()->addWidget(statusPanel_);
  statusBar()->setSizeGripEnabled(true);

  OpenDialogDB = new QFileDialog(this, QStringLiteral("Open Password Database"));
  OpenDialogDB->setObjectName(QStringLiteral("OpenDialogDB"));
  OpenDialogDB->setOption(QFileDialog::DontUseNativeDialog);
  OpenDialogDB->setNameFilter(QStringLiteral("*.pdb files (*.pdb)"));
  OpenDialogDB->setFileMode(QFileDialog::ExistingFile);
  OpenDialogDB->setAcceptMode(QFileDialog::AcceptOpen);
  OpenDialogDB->setOption(QFileDialog::ReadOnly, false);
  SaveDialogDB = new QFileDialog(this, QStringLiteral("New Password Database"));
  SaveDialogDB->setObjectName(QStringLiteral("SaveDialogDB"));
  SaveDialogDB->setOption(QFileDialog::DontUseNativeDialog);
  SaveDialogDB->setNameFilter(QStringLiteral("*.pdb files (*.pdb)"));
  SaveDialogDB->setDefaultSuffix(QStringLiteral("pdb"));
  SaveDialogDB->setFileMode(QFileDialog::AnyFile);
  SaveDialogDB->setAcceptMode(QFileDialog::AcceptSave);

  // The data module's rules reach the main window through its signals (the
  // account commands follow the others: enabled details, drop-down rows,
  // item count).
  connect(&dm_, &TDM::passwordsEditStateChanged, this, [this](bool editing) {
    cmdSaveMemo->setEnabled(editing);
    mnuEditUndo->setEnabled(editing);
  });

  installOwnCommands();
  installAccountCommands();

  // Main window creation.
  clearMasterPassword();
  buildTray();
  SetNoDatabaseState();
  SetDetailControlsEnabled(false);
  Settings::LoadSounds();
  if (Settings::ReadBool(QStringLiteral("Options"), QStringLiteral("maximized"), false))
    setWindowState(windowState() | Qt::WindowMaximized);
  guarded([] { AccessLog::TrimAtStartup(); });
}

TfrmMain::~TfrmMain() {
  clearMasterPassword();
  if (tray_) tray_->hide();
}

// ---- construction ------------------------------------------------------------

void TfrmMain::buildMenus() {
  auto item = [this](QMenu* menu, const char* name, const QString& caption, const QKeySequence& key,
                     const std::function<void()>& click) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    if (!key.isEmpty()) a->setShortcut(key);
    connect(a, &QAction::triggered, this, [this, click] { guarded(click); });
    return a;
  };
  auto hook = [this](Command c) { return [this, c] { Run(c); }; };

  mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
  mnuFile->setObjectName(QStringLiteral("mnuFile"));
  mnuFileNew = item(mnuFile, "mnuFileNew", QStringLiteral("&New..."), {}, [this] { mnuFileNewClick(); });
  mnuFileOpen = item(mnuFile, "mnuFileOpen", QStringLiteral("&Open..."), Qt::Key_F2, [this] { mnuFileOpenClick(); });
  mnuFileCloseDatabase = item(mnuFile, "mnuFileCloseDatabase", QStringLiteral("&Close Database..."), {},
                              [this] { mnuFileCloseDatabaseClick(); });
  mnuFile->addSeparator();
  mnuFileChangeMasterPassword = item(mnuFile, "mnuFileChangeMasterPassword",
                                     QStringLiteral("Change &Master Password..."), {},
                                     [this] { mnuFileChangeMasterPasswordClick(); });
  mnuFile->addSeparator();
  mnuFileExit = item(mnuFile, "mnuFileExit", QStringLiteral("E&xit"), {}, [this] { mnuFileExitClick(); });

  mnuEdit = menuBar()->addMenu(QStringLiteral("&Edit"));
  mnuEdit->setObjectName(QStringLiteral("mnuEdit"));
  mnuEditUndo = item(mnuEdit, "mnuEditUndo", QStringLiteral("&Undo"), Qt::CTRL | Qt::Key_Z, hook(Command::EditUndo));
  mnuEdit->addSeparator();
  mnuEditCut = item(mnuEdit, "mnuEditCut", QStringLiteral("Cut"), Qt::CTRL | Qt::Key_X, hook(Command::EditCut));
  mnuEditCopy = item(mnuEdit, "mnuEditCopy", QStringLiteral("&Copy"), Qt::CTRL | Qt::Key_C, hook(Command::EditCopy));
  mnuEditPaste =
      item(mnuEdit, "mnuEditPaste", QStringLiteral("&Paste"), Qt::CTRL | Qt::Key_V, hook(Command::EditPaste));
  mnuEdit->addSeparator();
  mnuEditFind = item(mnuEdit, "mnuEditFind", QStringLiteral("&Find..."), Qt::CTRL | Qt::Key_F, hook(Command::EditFind));
  mnuEdit->addSeparator();
  mnuEditLog = item(mnuEdit, "mnuEditLog", QStringLiteral("View &Access Log..."), Qt::CTRL | Qt::Key_L,
                    hook(Command::EditLog));
  mnuEdit->addSeparator();
  mnuEditOptions =
      item(mnuEdit, "mnuEditOptions", QStringLiteral("&Options..."), Qt::CTRL | Qt::Key_O, hook(Command::EditOptions));
  // The clipboard keys stay with the focused box, which does the same
  // clipboard work; the menu items still show them and run the commands when
  // picked from the menu. Ctrl+Z is the window's: while the current account
  // is being edited it takes back all its changes, even from within a box
  // (see eventFilter).
  for (QAction* a : {mnuEditCut, mnuEditCopy, mnuEditPaste}) a->setShortcutContext(Qt::WidgetShortcut);
  mnuEditUndo->setShortcutContext(Qt::WindowShortcut);
  mnuEditUndo->setEnabled(false);

  mnuGroups = menuBar()->addMenu(QStringLiteral("&Groups"));
  mnuGroups->setObjectName(QStringLiteral("mnuGroups"));
  mnuGroupsNew = item(mnuGroups, "mnuGroupsNew", QStringLiteral("&New..."), Qt::ALT | Qt::Key_S, hook(Command::GroupsNew));
  mnuGroupsEdit = item(mnuGroups, "mnuGroupsEdit", QStringLiteral("&Edit..."), {}, hook(Command::GroupsEdit));
  mnuGroups->addSeparator();
  mnuGroupsDelete = item(mnuGroups, "mnuGroupsDelete", QStringLiteral("&Delete"), {}, hook(Command::GroupsDelete));
  mnuGroups->addSeparator();
  mnuGroupsReports = item(mnuGroups, "mnuGroupsReports", QStringLiteral("&Reports..."), Qt::CTRL | Qt::Key_R,
                          hook(Command::GroupsReports));

  mnuPasswords = menuBar()->addMenu(QStringLiteral("&Passwords"));
  mnuPasswords->setObjectName(QStringLiteral("mnuPasswords"));
  mnuPasswordsAdd =
      item(mnuPasswords, "mnuPasswordsAdd", QStringLiteral("&Add..."), Qt::ALT | Qt::Key_A, hook(Command::PasswordsAdd));
  mnuPasswordsEditDescription = item(mnuPasswords, "mnuPasswordsEditDescription",
                                     QStringLiteral("&Edit Description..."), {}, hook(Command::PasswordsEditDescription));
  mnuPasswords->addSeparator();
  mnuPasswordsExpired = item(mnuPasswords, "mnuPasswordsExpired", QStringLiteral("E&xpired Passwords..."), {},
                             hook(Command::PasswordsExpired));
  mnuPasswords->addSeparator();
  mnuPasswordsDelete =
      item(mnuPasswords, "mnuPasswordsDelete", QStringLiteral("&Delete"), {}, hook(Command::PasswordsDelete));

  mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
  mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
  mnuHelpContents =
      item(mnuHelp, "mnuHelpContents", QStringLiteral("&Contents"), Qt::Key_F1, [this] { mnuHelpContentsClick(); });
  mnuHelpKeywordSearch = item(mnuHelp, "mnuHelpKeywordSearch", QStringLiteral("&Keyword Search"), {},
                              [this] { mnuHelpKeywordSearchClick(); });
  mnuHelp->addSeparator();
  mnuHelpWebsite =
      item(mnuHelp, "mnuHelpWebsite", QStringLiteral("&Keyhaven Website"), {}, [this] { mnuHelpWebsiteClick(); });
  mnuHelp->addSeparator();
  mnuHelpAbout =
      item(mnuHelp, "mnuHelpAbout", QStringLiteral("&About Keyhaven..."), {}, [this] { mnuHelpAboutClick(); });

  // F4 hides the window to the tray.
  auto* hide = new QAction(this);
  hide->setObjectName(QStringLiteral("actHideToTray"));
  hide->setShortcut(Qt::Key_F4);
  hide->setShortcutContext(Qt::WindowShortcut);
  connect(hide, &QAction::triggered, this, &TfrmMain::HideToTray);
  addAction(hide);

  PopUpMenu1 = new QMenu(this);
  PopUpMenu1->setObjectName(QStringLiteral("PopUpMenu1"));
  mnuOpen = PopUpMenu1->addAction(QStringLiteral("&Open"));
  mnuOpen->setObjectName(QStringLiteral("mnuOpen"));
  connect(mnuOpen, &QAction::triggered, this, [this] { guarded([this] { RestoreFromTray(); }); });
  PopUpMenu1->addSeparator();
  mnuExit = PopUpMenu1->addAction(QStringLiteral("E&xit"));
  mnuExit->setObjectName(QStringLiteral("mnuExit"));
  connect(mnuExit, &QAction::triggered, this, [this] { close(); });

}

THoverButton* TfrmMain::button(const char* component, const QString& caption, const QString& hint,
                               const std::function<void()>& click) {
  auto* b = new THoverButton(QString::fromLatin1(component), caption, hint, this);
  connect(b, &THoverButton::mouseEntered, this, &TfrmMain::HoverSound);
  if (click) connect(b, &QToolButton::clicked, this, [this, click] { guarded(click); });
  return b;
}

void TfrmMain::buildToolbar() {
  auto hook = [this](Command c) { return [this, c] { Run(c); }; };
  auto* bar = addToolBar(QStringLiteral("Toolbar"));
  bar->setObjectName(QStringLiteral("pnlToolbar"));
  bar->setMovable(false);
  bar->setFloatable(false);
  bar->toggleViewAction()->setVisible(false);
  setContextMenuPolicy(Qt::NoContextMenu);

  cmdAddGroup = button("cmdAddGroup", QStringLiteral("Add"), QStringLiteral("New Group"), hook(Command::GroupsNew));
  cmdEditGroup = button("cmdEditGroup", QStringLiteral("Edit"), QStringLiteral("Edit Group"), hook(Command::GroupsEdit));
  cmdDelGroup =
      button("cmdDelGroup", QStringLiteral("Delete"), QStringLiteral("Delete Group"), hook(Command::GroupsDelete));
  cmdOpen = button("cmdOpen", QStringLiteral("Open"), QStringLiteral("Open Database"), [this] { mnuFileOpenClick(); });
  cmdNew = button("cmdNew", QString(), QStringLiteral("New Database"), [this] { mnuFileNewClick(); });
  cmdOptions = button("cmdOptions", QStringLiteral("Options"), QStringLiteral("Options"), hook(Command::EditOptions));
  cmdReport = button("cmdReport", QStringLiteral("Reports"), QStringLiteral("Reports"), hook(Command::GroupsReports));
  cmdFind = button("cmdFind", QStringLiteral("Find"), QStringLiteral("Find"), hook(Command::EditFind));
  cmdLog = button("cmdLog", QStringLiteral("Log"), QStringLiteral("View Access Log"), hook(Command::EditLog));
  cmdExpire =
      button("cmdExpire", QStringLiteral("Expired"), QStringLiteral("Expired Passwords"), hook(Command::PasswordsExpired));
  cmdSaveMemo = new QToolButton(this);
  cmdSaveMemo->setObjectName(QStringLiteral("cmdSaveMemo"));
  cmdSaveMemo->setAutoRaise(true);
  cmdSaveMemo->setFocusPolicy(Qt::NoFocus);
  if (QFile::exists(Resources::PicturePath(QStringLiteral("cmdSaveMemo"), false))) {
    QIcon save;
    save.addFile(Resources::PicturePath(QStringLiteral("cmdSaveMemo"), false), {}, QIcon::Normal);
    save.addFile(Resources::PicturePath(QStringLiteral("cmdSaveMemo"), true), {}, QIcon::Active);
    cmdSaveMemo->setIcon(save);
    cmdSaveMemo->setIconSize(QSize(24, 24));
  } else {
    cmdSaveMemo->setText(QStringLiteral("Save"));
  }
  cmdSaveMemo->setEnabled(false);
  connect(cmdSaveMemo, &QToolButton::clicked, this, [this] { guarded([this] { Run(Command::SaveMemo); }); });
  cmdExit = button("cmdExit", QString(), QStringLiteral("Exit"), [this] { mnuFileExitClick(); });

  for (QWidget* w : std::initializer_list<QWidget*>{cmdAddGroup, cmdEditGroup, cmdDelGroup}) bar->addWidget(w);
  bar->addSeparator();
  for (QWidget* w : std::initializer_list<QWidget*>{cmdOpen, cmdNew}) bar->addWidget(w);
  bar->addSeparator();
  for (QWidget* w : std::initializer_list<QWidget*>{cmdOptions, cmdReport, cmdFind, cmdLog, cmdExpire}) bar->addWidget(w);
  bar->addSeparator();
  bar->addWidget(cmdSaveMemo);
  auto* spacer = new QWidget(bar);
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  bar->addWidget(spacer);
  bar->addWidget(cmdExit);
}

void TfrmMain::buildClientArea() {
  auto hook = [this](Command c) { return [this, c] { Run(c); }; };
  auto* client = new QWidget(this);
  auto* columns = new QHBoxLayout(client);
  columns->setContentsMargins(4, 4, 4, 4);

  // Left: the group row, the list row and the account list.
  auto* left = new QVBoxLayout;
  auto* groupRow = new QHBoxLayout;
  auto* lblGroup = new QLabel(QStringLiteral("Group"), client);
  cboGroup = new TDBLookupComboBox(client);
  cboGroup->setObjectName(QStringLiteral("cboGroup"));
  cboGroup->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  lblGroup->setBuddy(cboGroup);
  groupRow->addWidget(lblGroup);
  groupRow->addWidget(cboGroup, 1);
  left->addLayout(groupRow);

  auto* listRow = new QHBoxLayout;
  listRow->addWidget(new QLabel(QStringLiteral("Passwords"), client));
  listRow->addStretch();
  cmdAdd = button("cmdAdd", QStringLiteral("Add"), QStringLiteral("Add Password"), hook(Command::PasswordsAdd));
  cmdEdit =
      button("cmdEdit", QStringLiteral("Edit"), QStringLiteral("Edit Password"), hook(Command::PasswordsEditDescription));
  cmdDelete =
      button("cmdDelete", QStringLiteral("Delete"), QStringLiteral("Delete Password"), hook(Command::PasswordsDelete));
  for (QWidget* w : std::initializer_list<QWidget*>{cmdAdd, cmdEdit, cmdDelete}) {
    static_cast<QToolButton*>(w)->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    static_cast<QToolButton*>(w)->setIconSize(QSize(16, 16));
    listRow->addWidget(w);
  }
  left->addLayout(listRow);

  // The list binds itself to the accounts and handles its own keys, double
  // click and context menu through the account commands.
  GridDescription = new TAccountList(client);
  GridDescription->setObjectName(QStringLiteral("GridDescription"));
  GridDescription->setEditTriggers(QAbstractItemView::NoEditTriggers);
  GridDescription->setSelectionBehavior(QAbstractItemView::SelectRows);
  GridDescription->setSelectionMode(QAbstractItemView::SingleSelection);
  GridDescription->installEventFilter(this);
  left->addWidget(GridDescription, 1);
  columns->addLayout(left, 1);

  // Right: one page, "Password", over the background picture.
  pages_ = new QTabWidget(client);
  pages_->setObjectName(QStringLiteral("PageControl"));
  pages_->setFixedWidth(kRightWidth);
  pagePassword_ = new QWidget;
  pagePassword_->setObjectName(QStringLiteral("tabPassword"));
  pages_->addTab(pagePassword_, QStringLiteral("Password"));
  BackGround = new TBackgroundPanel(pagePassword_);
  BackGround->setObjectName(QStringLiteral("BackGround"));
  BackGround->setAttribute(Qt::WA_TransparentForMouseEvents);
  BackGround->lower();
  BackGround->hide();
  pagePassword_->installEventFilter(this);

  // The detail boxes; the account commands bind them to the current account.
  txtID = new TDBEdit(pagePassword_);
  txtID->setObjectName(QStringLiteral("txtID"));
  txtPassword = new TDBEditMove(pagePassword_);
  txtPassword->setObjectName(QStringLiteral("txtPassword"));
  txtPassword->setMaxLength(100);
  cmdPassword = button("cmdPassword", QString(), QStringLiteral("Generate Password"), hook(Command::GeneratePassword));
  DateExpire = new TDBDateBox(pagePassword_);
  DateExpire->setObjectName(QStringLiteral("DateExpire"));
  DateAssign = new TDBDateBox(pagePassword_);
  DateAssign->setObjectName(QStringLiteral("DateAssign"));
  txtURL = new TDBEdit(pagePassword_);
  txtURL->setObjectName(QStringLiteral("txtURL"));
  // Its click goes to the account commands.
  cmdGo = button("cmdGo", QString(), QStringLiteral("Go to Web Address"), {});
  MemoNotes = new TDBMemo(pagePassword_);
  MemoNotes->setObjectName(QStringLiteral("MemoNotes"));
  for (QWidget* box : std::initializer_list<QWidget*>{txtID, txtPassword, DateExpire, DateAssign, txtURL, MemoNotes})
    box->installEventFilter(this);

  auto* grid = new QGridLayout(pagePassword_);
  grid->setContentsMargins(8, 8, 8, 8);
  grid->setVerticalSpacing(4);
  auto label = [this](const QString& text, QWidget* buddy) {
    auto* l = new QLabel(text, pagePassword_);
    l->setBuddy(buddy);
    return l;
  };
  int row = 0;
  grid->addWidget(label(QStringLiteral("ID"), txtID), row++, 0, 1, 2);
  grid->addWidget(txtID, row++, 0, 1, 2);
  grid->addWidget(label(QStringLiteral("Password"), txtPassword), row++, 0, 1, 2);
  grid->addWidget(txtPassword, row, 0);
  grid->addWidget(cmdPassword, row++, 1);
  // Each date box has the page's full width: the long date format
  // ("Wednesday, September 30, 2026") does not fit in half of it.
  grid->addWidget(label(QStringLiteral("Date Expires"), DateExpire), row++, 0, 1, 2);
  grid->addWidget(DateExpire, row++, 0, 1, 2);
  grid->addWidget(label(QStringLiteral("Date Assigned"), DateAssign), row++, 0, 1, 2);
  grid->addWidget(DateAssign, row++, 0, 1, 2);
  grid->addWidget(label(QStringLiteral("Web Address"), txtURL), row++, 0, 1, 2);
  grid->addWidget(txtURL, row, 0);
  grid->addWidget(cmdGo, row++, 1);
  grid->addWidget(label(QStringLiteral("Notes"), MemoNotes), row++, 0, 1, 2);
  // The notes box takes whatever height the page has below the boxes above.
  MemoNotes->setMinimumHeight(40);
  grid->setRowStretch(row, 1);
  grid->addWidget(MemoNotes, row++, 0, 1, 2);
  columns->addWidget(pages_);

  setCentralWidget(client);

  const TAccountWidgets widgets{.mainWindow = this, .cboGroup = cboGroup, .GridDescription = GridDescription,
                                .txtID = txtID, .txtPassword = txtPassword, .DateExpire = DateExpire,
                                .DateAssign = DateAssign, .txtURL = txtURL, .MemoNotes = MemoNotes,
                                .cmdPassword = cmdPassword, .cmdGo = cmdGo, .statusPanel = statusPanel_};
  accounts_ = new TAccountCommands(dm_, widgets, this);
  PopupMenuGrid = accounts_->PopupMenuGrid();
}

void TfrmMain::buildTray() {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  tray_ = new QSystemTrayIcon(this);
  tray_->setObjectName(QStringLiteral("TrayIcon"));
  QIcon icon = Resources::AppIcon();
  if (icon.isNull()) icon = QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon);
  tray_->setIcon(icon);
  tray_->setToolTip(QStringLiteral("Keyhaven"));
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) {
      guarded([this] { RestoreFromTray(); });
    } else if (reason == QSystemTrayIcon::Context) {
      if (!isVisible()) PopUpMenu1->popup(QCursor::pos());
    }
  });
  tray_->show();
}

// ---- states ------------------------------------------------------------------

void TfrmMain::SetDatabaseOpenState() { setDatabaseState(true); }

void TfrmMain::SetNoDatabaseState() { setDatabaseState(false); }

void TfrmMain::setDatabaseState(bool open) {
  SetCaption(open ? Caption::Short : Caption::None);
  for (QAction* a : {mnuFileChangeMasterPassword, mnuFileCloseDatabase}) a->setEnabled(open);
  for (QMenu* m : {mnuGroups, mnuPasswords, mnuEdit}) {
    m->menuAction()->setVisible(open);
    m->setEnabled(open);
  }
  for (QWidget* w : std::initializer_list<QWidget*>{cmdAddGroup, cmdEditGroup, cmdDelGroup, cmdAdd, cmdDelete, cmdEdit,
                                                    cmdOptions, cmdReport, cmdPassword, cmdGo, cmdFind, cmdLog,
                                                    cmdExpire})
    w->setEnabled(open);
}

void TfrmMain::SetDetailControlsEnabled(bool enabled) { accounts_->SetDetailControlsEnabled(enabled); }

void TfrmMain::SetCaption(Caption kind) {
  // The native frame keeps its title bar, which gets no pointer events of its
  // own here: the title shows the display name, and the full path is the
  // tooltip of the menu bar and the status panel.
  const QString path = TDM::ReadAliasPath();
  const QString full = QStringLiteral(" Keyhaven - ") + path;
  switch (kind) {
    case Caption::Long:
      setWindowTitle(full);
      break;
    case Caption::Short:
      setWindowTitle(QStringLiteral(" Keyhaven - ") + TDM::DisplayName(path));
      break;
    case Caption::None:
      setWindowTitle(QStringLiteral(" Keyhaven"));
      break;
  }
  const QString tip = kind == Caption::None ? QString() : full.trimmed();
  menuBar()->setToolTip(tip);
  if (statusPanel_) statusPanel_->setToolTip(tip);
}

void TfrmMain::HoverSound() {
  if (Settings::Sounds().buttons && DatabaseOpen()) Sounds::Play(QStringLiteral("MOVE"));
}

void TfrmMain::SetStatusText(const QString& text) { statusPanel_->setText(text); }

QString TfrmMain::StatusText() const { return statusPanel_->text(); }

// ---- commands of other units -------------------------------------------------

void TfrmMain::SetCommand(Command command, std::function<void()> run) {
  commands_[static_cast<int>(command)] = std::move(run);
}

void TfrmMain::Run(Command command) {
  // Everything but help needs an open database.
  const bool needsDatabase =
      command != Command::HelpContents && command != Command::HelpKeywordSearch && command != Command::HelpClose;
  if (needsDatabase && !DatabaseOpen()) return;
  if (const auto& run = commands_[static_cast<int>(command)]) run();
}

void TfrmMain::installOwnCommands() {
  SetCommand(Command::EditOptions, [this] { ShowOptions(dm_, BackGround, txtPassword, this); });
  SetCommand(Command::EditLog, [this] { ShowLog(this); });
  SetCommand(Command::HelpContents, [this] { ShowHelpContents(this); });
  SetCommand(Command::HelpKeywordSearch, [this] { ShowHelpKeywordSearch(this, QString()); });
  SetCommand(Command::HelpClose, [] { CloseHelp(); });
  SetCommand(Command::EditFind, [this] { ShowFind(dm_, this); });
  SetCommand(Command::PasswordsExpired, [this] { ShowExpiredPasswords(dm_, this); });
  SetCommand(Command::RemindExpired, [this] { RemindExpiredPasswords(dm_, this); });
  SetCommand(Command::GeneratePassword, [this] { ShowPasswordGenerator(dm_, this); });
  SetCommand(Command::GroupsReports, [this] { ShowReportsDialog(dm_, this); });
}

void TfrmMain::installAccountCommands() {
  TAccountCommands* a = accounts_;
  SetCommand(Command::GroupsNew, [a] { a->mnuGroupsNewClick(); });
  SetCommand(Command::GroupsEdit, [a] { a->mnuGroupsEditClick(); });
  SetCommand(Command::GroupsDelete, [a] { a->mnuGroupsDeleteClick(); });
  SetCommand(Command::PasswordsAdd, [a] { a->mnuPasswordsAddClick(); });
  SetCommand(Command::PasswordsEditDescription, [a] { a->mnuPasswordsEditDescriptionClick(); });
  SetCommand(Command::PasswordsDelete, [a] { a->mnuPasswordsDeleteClick(); });
  SetCommand(Command::EditUndo, [a] { a->mnuEditUndoClick(); });
  SetCommand(Command::EditCut, [a] { a->mnuEditCutClick(); });
  SetCommand(Command::EditCopy, [a] { a->mnuEditCopyClick(); });
  SetCommand(Command::EditPaste, [a] { a->mnuEditPasteClick(); });
  SetCommand(Command::GoToWebAddress, [a] { a->cmdGoClick(); });
  SetCommand(Command::SaveMemo, [a] { a->cmdSaveMemoClick(); });
}

void TfrmMain::guarded(const std::function<void()>& command) { RunShowingErrors(this, command); }

// ---- database files -------------------------------------------------------------

bool TfrmMain::DatabaseOpen() const { return dm_.DB.Connected(); }

bool TfrmMain::OpenDatabase(const QString& password) {
  TDatabase& DB = dm_.DB;
  const QString name = TDM::DisplayName(TDM::ReadAliasPath());
  // An attempt without a password first; whatever it gives is ignored.
  DB.Close();
  DB.setParams({QStringLiteral("CONNECT=;PWD=")});
  try {
    DB.Open();
  } catch (...) {
  }
  DB.Close();
  DB.setParams({});
  try {
    DB.setParams({QStringLiteral("CONNECT=;PWD=") + password});
    DB.Open();
    // The connection no longer needs the parameter that holds the password.
    DB.ClearParams();
    SetDatabaseOpenState();
    SetDetailControlsEnabled(true);
    AccessGranted();
    AccessLog::Append(name, true);
    dm_.qryGroups.Open();
    dm_.qryPasswords.Open();
    dm_.qryOptions.Open();
    SetMasterPassword(password);
    ApplyBackgroundStyle(dm_, *BackGround);
    ApplyPasswordMask(dm_, *txtPassword);
    Run(Command::RemindExpired);
    return true;
  } catch (...) {
    DB.ClearParams();
    // Nothing stays half open.
    DB.Close();
    SetNoDatabaseState();
    SetDetailControlsEnabled(false);
    AccessDenied();
    guarded([&name] { AccessLog::Append(name, false); });
    return false;
  }
}

void TfrmMain::CloseDatabase() {
  // The master password is needed only for the compaction below; it goes
  // with the database however the close ends.
  struct Forget {
    TfrmMain* w;
    ~Forget() { w->clearMasterPassword(); }
  } forget{this};
  bool compact = false;
  TQuery& options = dm_.qryOptions;
  if (options.Active() && !options.IsEmpty()) {
    options.Edit();
    TField& count = options.FieldByName(QStringLiteral("dbmaintcount"));
    if (count.AsInteger() == 0) {
      compact = true;
      count.setAsInteger(options.FieldByName(QStringLiteral("dbmaintfreq")).AsInteger());
    } else {
      count.setAsInteger(count.AsInteger() - 1);
    }
    options.Post();
  }
  if (dm_.qryPasswords.Active() && dm_.qryPasswords.RecordCount() >= 1) {
    dm_.qryPasswords.Edit();
    dm_.qryPasswords.Post();
  }
  dm_.DB.Close();
  if (compact) CompactDatabase(TDM::ReadAliasPath(), masterPassword_);
  SetStatusText(QString());
  BackGround->hide();
  SetDetailControlsEnabled(false);
  SetNoDatabaseState();
}

void TfrmMain::CompactDatabase(const QString& path, const QString& password) {
  QString result;
  {
    WaitCursor wait;
    result = CompactDatabaseFile(path, password);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  if (result.left(5) == QStringLiteral("Error")) MessageBox::Information(this, result);
}

void TfrmMain::SetMasterPassword(const QString& password) {
  clearMasterPassword();
  masterPassword_ = password;
}

void TfrmMain::clearMasterPassword() { wipe(masterPassword_); }

QString TfrmMain::runFileDialog(QFileDialog* dialog) {
  const QString dir = Settings::ReadText(QStringLiteral("SearchDir"), QStringLiteral("dir"), QString());
  dialog->setDirectory(!dir.isEmpty() ? dir : ProgramDirs::ProgramDirectory());
  if (dialog->exec() != QDialog::Accepted) return {};
  const QString file = dialog->selectedFiles().value(0);
  if (file.isEmpty()) return {};
  const QString chosenDir = QFileInfo(file).absolutePath();
  if (QFileInfo(chosenDir).isDir()) Settings::WriteText(QStringLiteral("SearchDir"), QStringLiteral("dir"), chosenDir);
  return file;
}

void TfrmMain::mnuFileNewClick() {
  const QString file = runFileDialog(SaveDialogDB);
  if (file.isEmpty()) return;
  newFilePath_ = file;
  TfrmNewMasterPassword dialog(*this);
  dialog.exec();
}

void TfrmMain::mnuFileOpenClick() {
  OpenDialogDB->selectFile(QString());
  const QString file = runFileDialog(OpenDialogDB);
  if (file.isEmpty()) return;
  {
    WaitCursor wait;
    if (DatabaseOpen()) CloseDatabase();
    TDM::StoreAliasPath(file);
    SetCaption(Caption::Short);
    hiddenInTray_ = 0;
  }
  ShowPrompt();
}

void TfrmMain::mnuFileCloseDatabaseClick() {
  if (DatabaseOpen()) CloseDatabase();
}

void TfrmMain::mnuFileChangeMasterPasswordClick() {
  if (!DatabaseOpen()) return;
  TfrmChangePassword dialog(*this);
  dialog.exec();
}

void TfrmMain::mnuFileExitClick() { close(); }

void TfrmMain::ShowPrompt() {
  if (prompt_ && prompt_->isVisible()) return;
  TfrmEnterMasterPassword prompt(*this);
  prompt_ = &prompt;
  prompt.exec();
}

void TfrmMain::StartUp() {
  if (TDM::CurrentFileExists()) {
    ShowPrompt();
    return;
  }
  TfrmWelcome welcome(this);
  if (welcome.exec() == QDialog::Accepted) guarded([this] { mnuFileNewClick(); });
}

// ---- sounds ----------------------------------------------------------------------

void TfrmMain::AccessGranted() {
  if (Settings::Sounds().access) Sounds::Play(QStringLiteral("GRANT"));
}

void TfrmMain::AccessDenied() {
  if (!Settings::Sounds().access) return;
  ++failedAttempts_;
  if (failedAttempts_ < 4)
    Sounds::Play(QStringLiteral("DENY"));
  else if (failedAttempts_ <= 1000)
    Sounds::Play(QStringLiteral("BUZZ"));
}

// ---- tray ------------------------------------------------------------------------

bool TfrmMain::TrayAvailable() const { return tray_ && tray_->isVisible(); }

void TfrmMain::HideToTray() {
  if (!TrayAvailable()) {
    // Without a tray the window could not come back: minimise it instead.
    showMinimized();
    return;
  }
  hiddenInTray_ = 1;
  hide();
}

void TfrmMain::ShowFromTray() {
  hiddenInTray_ = 0;
  setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  show();
  raise();
  activateWindow();
}

void TfrmMain::BringToFront() {
  if (HiddenInTray()) return;
  if (isMinimized()) {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
  }
  raise();
  activateWindow();
}

void TfrmMain::RestoreFromTray() {
  if (isVisible()) return;
  if (DatabaseOpen()) {
    if (prompt_ && prompt_->isVisible() &&
        prompt_->windowTitle() == TfrmEnterMasterPassword::CaptionFor(TDM::ReadAliasPath()))
      return;
    TField* ask = dm_.qryOptions.Active() ? dm_.qryOptions.FindField(QStringLiteral("pwdsystray")) : nullptr;
    if (ask && ask->AsBoolean()) {
      ShowPrompt();
      return;
    }
  }
  ShowFromTray();
}

// ---- events ------------------------------------------------------------------------

void TfrmMain::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && isMinimized() && TrayAvailable()) {
    // Minimising hides the window to the tray instead (no task-bar button).
    QTimer::singleShot(0, this, [this] {
      if (!isMinimized()) return;
      hiddenInTray_ = 1;
      hide();
      setWindowState(windowState() & ~Qt::WindowMinimized);
    });
  }
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  guarded([this] {
    if (DatabaseOpen()) CloseDatabase();
  });
  if (tray_) tray_->hide();
  Run(Command::HelpClose);
  event->accept();
  emit closed();
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && (watched == GridDescription || watched == pagePassword_)) resizeRule();
  // A detail box would keep Ctrl+Z for its own one-box undo; while the
  // account is being edited the key goes to Edit, Undo instead.
  if (event->type() == QEvent::ShortcutOverride && mnuEditUndo->isEnabled() &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Undo)) {
    event->ignore();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::resizeRule() {
  // The list's one column fills the list but for 20 pixels (the notes box
  // follows the page's height through its layout).
  GridDescription->setColumnWidth(0, std::max(20, GridDescription->width() - 20));
  BackGround->setGeometry(pagePassword_->rect());
}

void TfrmMain::centreOnScreen() {
  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
}

// ---- help --------------------------------------------------------------------------

void TfrmMain::mnuHelpContentsClick() { Run(Command::HelpContents); }

void TfrmMain::mnuHelpKeywordSearchClick() { Run(Command::HelpKeywordSearch); }

void TfrmMain::mnuHelpWebsiteClick() { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kWebsite))); }

void TfrmMain::mnuHelpAboutClick() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  TfrmAbout about(this);
  QApplication::restoreOverrideCursor();
  about.exec();
}
