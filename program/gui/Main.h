// The main window of keyhaven: menus, toolbar and panel buttons, the account
// list and detail area, the status bar, the tray icon, the database-open and
// no-database states, and the commands on database files and the master
// password.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <functional>

#include "EnterMasterPassword.h"
#include "ShellOperations.h"

class QAction;
class QFileDialog;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class QTabWidget;
class QToolButton;
class TAccountCommands;
class TAccountList;
class TDBDateBox;
class TDBEdit;
class TDBEditMove;
class TDBGrid;
class TDBLookupComboBox;
class TDBMemo;
class TBackgroundPanel;
class THoverButton;
class TStatusPanel;

class TfrmMain : public QMainWindow, public TShellOperations {
  Q_OBJECT

 public:
  // Main window creation: reads the sound switches and "maximized", adds the
  // tray icon, starts without a database and trims a large access log.
  explicit TfrmMain(TDM& dm, QWidget* parent = nullptr);
  ~TfrmMain() override;

  // Places the window in the middle of the screen it is shown on.
  void centreOnScreen();
  // The last step of start-up: the master-password prompt when the current
  // file exists, otherwise the welcome dialog.
  void StartUp();

  // ---- states -------------------------------------------------------------
  void SetDatabaseOpenState();
  void SetNoDatabaseState();
  void SetDetailControlsEnabled(bool enabled);
  enum class Caption { Long, Short, None };
  void SetCaption(Caption kind);
  // The hover sound: "MOVE" when button sounds are on and a database is open.
  void HoverSound();

  // ---- widgets other units act on ----------------------------------------
  TDBEditMove* PasswordBox() const noexcept { return txtPassword; }
  TAccountList* AccountList() const noexcept { return GridDescription; }
  TDBLookupComboBox* GroupSelector() const noexcept { return cboGroup; }
  TBackgroundPanel* BackgroundPanel() const noexcept { return BackGround; }
  QWidget* AccountPage() const noexcept { return pagePassword_; }
  QMenu* GridPopupMenu() const noexcept { return PopupMenuGrid; }
  QToolButton* SaveButton() const noexcept { return cmdSaveMemo; }
  QSystemTrayIcon* TrayIcon() const noexcept { return tray_; }
  // The group and account commands and the account page's behaviour.
  TAccountCommands& Accounts() const noexcept { return *accounts_; }
  // The status bar's one panel.
  void SetStatusText(const QString& text);
  QString StatusText() const;

  // ---- tray ----------------------------------------------------------------
  // Hides the window to the tray (minimises it where there is no tray).
  void HideToTray();
  // Double-click on the tray icon or its "Open": back through the prompt when
  // a database is open and its options ask for it.
  void RestoreFromTray();
  // Whether the desktop shows the tray icon (where it does not, minimising
  // minimises as usual).
  virtual bool TrayAvailable() const;
  // The prompt on screen, if any.
  TfrmEnterMasterPassword* Prompt() const { return prompt_; }
  // Shows the master-password prompt for the current file, unless it is
  // already showing.
  void ShowPrompt();
  // A second copy asked for the window: restored when minimised, brought to
  // the top otherwise. A window hidden in the tray stays hidden (the tray
  // icon is the way back).
  void BringToFront();

 signals:
  // The window has closed (its database closed, the tray icon removed).
  void closed();

 public:

  // ---- TShellOperations --------------------------------------------------
  QWidget* MainWindow() override { return this; }
  TDM& DataModule() override { return dm_; }
  bool OpenDatabase(const QString& password) override;
  void CloseDatabase() override;
  bool DatabaseOpen() const override;
  const QString& MasterPassword() const override { return masterPassword_; }
  void SetMasterPassword(const QString& password) override;
  QString NewFilePath() const override { return newFilePath_; }
  bool HiddenInTray() const override { return hiddenInTray_ != 0; }
  void ShowFromTray() override;
  void SetCaptionShort() override { SetCaption(Caption::Short); }
  void AccessGranted() override;
  void AccessDenied() override;
  void ResetFailedAttempts() override { failedAttempts_ = 0; }
  void NewDatabase() override { mnuFileNewClick(); }

  // Compacts the closed file at `path` (hourglass meanwhile); a result text
  // beginning with "Error" is shown as an information message.
  void CompactDatabase(const QString& path, const QString& password);

  // ---- menus and actions (captions, shortcuts and states as the user sees
  // them) -------------------------------------------------------------------
  QMenu *mnuFile, *mnuEdit, *mnuGroups, *mnuPasswords, *mnuHelp;
  QAction *mnuFileNew, *mnuFileOpen, *mnuFileCloseDatabase, *mnuFileChangeMasterPassword, *mnuFileExit;
  QAction *mnuEditUndo, *mnuEditCut, *mnuEditCopy, *mnuEditPaste, *mnuEditFind, *mnuEditLog, *mnuEditOptions;
  QAction *mnuGroupsNew, *mnuGroupsEdit, *mnuGroupsDelete, *mnuGroupsReports;
  QAction *mnuPasswordsAdd, *mnuPasswordsEditDescription, *mnuPasswordsExpired, *mnuPasswordsDelete;
  QAction *mnuHelpContents, *mnuHelpKeywordSearch, *mnuHelpWebsite, *mnuHelpAbout;
  QMenu* PopUpMenu1;     // the tray menu
  QMenu* PopupMenuGrid;  // the account list's context menu (the account commands' own)
  QAction *mnuOpen, *mnuExit;

  THoverButton *cmdAddGroup, *cmdEditGroup, *cmdDelGroup, *cmdOpen, *cmdNew, *cmdOptions, *cmdReport, *cmdFind,
      *cmdLog, *cmdExpire, *cmdExit, *cmdAdd, *cmdEdit, *cmdDelete, *cmdPassword, *cmdGo;
  QToolButton* cmdSaveMemo;

  TDBLookupComboBox* cboGroup;
  TAccountList* GridDescription;
  TDBEdit *txtID, *txtURL;
  TDBEditMove* txtPassword;
  TDBDateBox *DateExpire, *DateAssign;
  TDBMemo* MemoNotes;
  TBackgroundPanel* BackGround;

  // The open and save dialogs of New and Open (tests find them on screen).
  QFileDialog* OpenDialogDB;
  QFileDialog* SaveDialogDB;

  // ---- commands ------------------------------------------------------------
  void mnuFileNewClick();
  void mnuFileOpenClick();
  void mnuFileCloseDatabaseClick();
  void mnuFileChangeMasterPasswordClick();
  void mnuFileExitClick();
  void mnuHelpContentsClick();
  void mnuHelpKeywordSearchClick();
  void mnuHelpWebsiteClick();
  void mnuHelpAboutClick();
  // Commands whose units are built elsewhere: each checks its precondition
  // and runs the hook installed for it (nothing until one is installed).
  enum class Command {
    EditUndo, EditCut, EditCopy, EditPaste, EditFind, EditLog, EditOptions,
    GroupsNew, GroupsEdit, GroupsDelete, GroupsReports,
    PasswordsAdd, PasswordsEditDescription, PasswordsExpired, PasswordsDelete,
    GeneratePassword, GoToWebAddress, SaveMemo,
    HelpContents, HelpKeywordSearch, HelpClose,
    RemindExpired
  };
  void SetCommand(Command command, std::function<void()> run);
  void Run(Command command);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void setDatabaseState(bool open);
  void buildMenus();
  void buildToolbar();
  void buildClientArea();
  void buildTray();
  THoverButton* button(const char* component, const QString& caption, const QString& hint,
                       const std::function<void()>& click);
  // Runs a command; what it does not catch is shown in an error box.
  void guarded(const std::function<void()>& command);
  void installOwnCommands();
  void installAccountCommands();
  void clearMasterPassword();
  void resizeRule();
  QString runFileDialog(QFileDialog* dialog);

  TDM& dm_;
  QTabWidget* pages_;
  QWidget* pagePassword_;
  TStatusPanel* statusPanel_;
  TAccountCommands* accounts_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  QPointer<TfrmEnterMasterPassword> prompt_;
  QString masterPassword_;
  QString newFilePath_;
  quint32 failedAttempts_ = 0;
  qint32 hiddenInTray_ = 0;
  std::function<void()> commands_[static_cast<int>(Command::RemindExpired) + 1];
};
