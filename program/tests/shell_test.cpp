// The main window with its database files and master-password dialogs,
// driven as a user does over the real engine and real files.
#include <stdlib.h>
#include <sys/stat.h>

#include <QFile>
#include <QFileDialog>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "gui/Find.h"
#include "SelectReport.h"
#include "ShellTestSupport.h"
#include "data/AccessLog.h"
#include "data/DataModule.h"
#include "data/DatabaseFiles.h"
#include "data/Settings.h"
#include "gui/About.h"
#include "gui/ChangePassword.h"
#include "gui/EnterMasterPassword.h"
#include "gui/Main.h"
#include "gui/MessageBox.h"
#include "gui/NewMasterPassword.h"
#include "gui/Sounds.h"
#include "gui/Welcome.h"
#include "gui/controls/AccountList.h"
#include "gui/controls/DBControls.h"
#include "gui/controls/DBEditMove.h"
#include "gui/controls/HoverButton.h"

using shelltest::typeInto;
using shelltest::whenShown;

namespace {

// A main window on a desktop that shows the tray icon.
class TrayMain : public TfrmMain {
 public:
  using TfrmMain::TfrmMain;
  bool TrayAvailable() const override { return true; }
};

QStringList logLines() {
  QFile f(AccessLog::FilePath());
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QString::fromLatin1(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

}  // namespace

class ShellTest : public QObject {
  Q_OBJECT

  QTemporaryDir root_;
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<TDM> dm_;
  std::unique_ptr<TfrmMain> main_;
  QString file_;

  TfrmMain& makeMain(bool tray = false) {
    main_ = tray ? std::make_unique<TrayMain>(*dm_) : std::make_unique<TfrmMain>(*dm_);
    main_->show();
    main_->activateWindow();
    if (!QTest::qWaitForWindowActive(main_.get())) qWarning("the main window did not become active");
    return *main_;
  }

  // Opens the current file through the prompt as a user would; a prompt
  // still showing afterwards (wrong password) is cancelled.
  void openThroughPrompt(const QString& password) {
    whenShown<TfrmEnterMasterPassword>([password](TfrmEnterMasterPassword* p) {
      typeInto(p->txtPassword, password);
      QTest::keyClick(p->txtPassword, Qt::Key_Return);
      if (p->isVisible()) p->cmdCancel->click();
    });
    main_->ShowPrompt();
  }

  // Keys reach the window's shortcuts only while it is the active window.
  void pressOnMain(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    main_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main_.get()));
    QTest::keyClick(main_.get(), key, modifiers);
  }

  int optionsInt(const char* field) { return dm_->qryOptions.FieldByName(QString::fromLatin1(field)).AsInteger(); }

  void setCounter(int value) {
    dm_->qryOptions.Edit();
    dm_->qryOptions.FieldByName("dbmaintcount").setAsInteger(value);
    dm_->qryOptions.Post();
  }

  void addAccount(const QString& description, const QString& password) {
    dm_->qryPasswords.Append();
    dm_->qryPasswords.FieldByName("Description").setAsString(description);
    dm_->qryPasswords.FieldByName("Password").setAsString(password);
    dm_->qryPasswords.Post();
  }

 private slots:
  void initTestCase() {
    QVERIFY(root_.isValid());
    setenv("KBE_ROOT", root_.path().toUtf8().constData(), 1);
    setenv("KEYHAVEN_HOME", root_.path().toUtf8().constData(), 1);
  }

  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    file_ = dir_->filePath("accounts.pdb");
    QFile::remove(AccessLog::FilePath());
    QFile::remove(Settings::FilePath());
    Sounds::ClearRequested();
    dm_ = std::make_unique<TDM>();
    TDM::StoreAliasPath(file_);
  }

  void cleanup() {
    if (main_) main_->close();
    main_.reset();
    dm_.reset();
    dir_.reset();
  }

  void menusShortcutsAndStatesWithoutAndWithADatabase() {
    TfrmMain& w = makeMain();
    QCOMPARE(w.windowTitle(), QString(" Keyhaven"));
    QCOMPARE(w.size(), QSize(612, 464));
    struct Item {
      QAction* action;
      const char* caption;
      QKeySequence key;
      bool enabledWithout;
    };
    const Item items[] = {
        {w.mnuFileNew, "&New...", {}, true},
        {w.mnuFileOpen, "&Open...", Qt::Key_F2, true},
        {w.mnuFileCloseDatabase, "&Close Database...", {}, false},
        {w.mnuFileChangeMasterPassword, "Change &Master Password...", {}, false},
        {w.mnuFileExit, "E&xit", {}, true},
        {w.mnuEditUndo, "&Undo", Qt::CTRL | Qt::Key_Z, false},
        {w.mnuEditCut, "Cut", Qt::CTRL | Qt::Key_X, true},
        {w.mnuEditCopy, "&Copy", Qt::CTRL | Qt::Key_C, true},
        {w.mnuEditPaste, "&Paste", Qt::CTRL | Qt::Key_V, true},
        {w.mnuEditFind, "&Find...", Qt::CTRL | Qt::Key_F, true},
        {w.mnuEditLog, "View &Access Log...", Qt::CTRL | Qt::Key_L, true},
        {w.mnuEditOptions, "&Options...", Qt::CTRL | Qt::Key_O, true},
        {w.mnuGroupsNew, "&New...", Qt::ALT | Qt::Key_S, true},
        {w.mnuGroupsEdit, "&Edit...", {}, true},
        {w.mnuGroupsDelete, "&Delete", {}, true},
        {w.mnuGroupsReports, "&Reports...", Qt::CTRL | Qt::Key_R, true},
        {w.mnuPasswordsAdd, "&Add...", Qt::ALT | Qt::Key_A, true},
        {w.mnuPasswordsEditDescription, "&Edit Description...", {}, true},
        {w.mnuPasswordsExpired, "E&xpired Passwords...", {}, true},
        {w.mnuPasswordsDelete, "&Delete", {}, true},
        {w.mnuHelpContents, "&Contents", Qt::Key_F1, true},
        {w.mnuHelpKeywordSearch, "&Keyword Search", {}, true},
        {w.mnuHelpWebsite, "&Keyhaven Website", {}, true},
        {w.mnuHelpAbout, "&About Keyhaven...", {}, true},
    };
    for (const Item& i : items) {
      QCOMPARE(i.action->text(), QString::fromLatin1(i.caption));
      QCOMPARE(i.action->shortcut(), i.key);
      QVERIFY2(i.action->isEnabled() == i.enabledWithout, i.caption);
    }
    const QList<THoverButton*> guarded = {w.cmdAddGroup, w.cmdEditGroup, w.cmdDelGroup, w.cmdAdd,  w.cmdDelete,
                                          w.cmdEdit,     w.cmdOptions,   w.cmdReport,   w.cmdPassword, w.cmdGo,
                                          w.cmdFind,     w.cmdLog,       w.cmdExpire};
    // Without a database: three menus gone, the buttons off, Open/New/Exit on.
    for (QMenu* m : {w.mnuEdit, w.mnuGroups, w.mnuPasswords}) QVERIFY(!m->menuAction()->isVisible());
    for (QMenu* m : {w.mnuFile, w.mnuHelp}) QVERIFY(m->menuAction()->isVisible());
    for (THoverButton* b : guarded) QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
    for (THoverButton* b : {w.cmdOpen, w.cmdNew, w.cmdExit}) QVERIFY(b->isEnabled());
    QVERIFY(!w.cmdSaveMemo->isEnabled());
    QCOMPARE(w.cmdAddGroup->toolTip(), QString("New Group"));
    QCOMPARE(w.cmdNew->toolTip(), QString("New Database"));
    QCOMPARE(w.cmdEdit->toolTip(), QString("Edit Password"));
    // Hovering without a database makes no sound.
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(w.cmdOpen, &enter);
    QVERIFY(!Sounds::Requested().contains("MOVE"));
    QVERIFY(w.cmdOpen->Lit());  // the ON picture while the pointer is over it
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(w.cmdOpen, &leave);
    QVERIFY(!w.cmdOpen->Lit());

    CreateDatabaseFile(file_, "master", true);
    openThroughPrompt("master");
    QVERIFY(w.DatabaseOpen());
    QCOMPARE(w.windowTitle(), QString(" Keyhaven - accounts"));
    for (QMenu* m : {w.mnuEdit, w.mnuGroups, w.mnuPasswords}) QVERIFY(m->menuAction()->isVisible());
    for (QAction* a : {w.mnuFileCloseDatabase, w.mnuFileChangeMasterPassword}) QVERIFY(a->isEnabled());
    // The two detail buttons follow the current account: none in this group.
    for (THoverButton* b : guarded)
      QVERIFY2(b->isEnabled() == (b != w.cmdPassword && b != w.cmdGo), qPrintable(b->objectName()));
    QVERIFY(!w.PasswordBox()->isEnabled());
    QApplication::sendEvent(w.cmdOpen, &enter);
    QCOMPARE(Sounds::Requested().count("MOVE"), 1);
    w.SetCaption(TfrmMain::Caption::Long);
    QCOMPARE(w.windowTitle(), " Keyhaven - " + file_);

    // The group selector lists the groups; the resize rule sets the column.
    QCOMPARE(w.GroupSelector()->count(), 4);
    QCOMPARE(w.AccountList()->columnWidth(0), w.AccountList()->width() - 20);

    w.mnuFileCloseDatabase->trigger();
    QVERIFY(!w.DatabaseOpen());
    QCOMPARE(w.windowTitle(), QString(" Keyhaven"));
    QVERIFY(!w.mnuGroups->menuAction()->isVisible());
    QVERIFY(w.MasterPassword().isEmpty());
  }

  void startsMaximisedAndTrimsALargeLogWhenAsked() {
    Settings::WriteBool("Options", "maximized", true);
    // 25001 bytes: the 10 oldest lines go; 25000 bytes stay untouched.
    const QByteArray line = QByteArray(98, 'x') + "\r\n";  // 100 bytes
    for (const auto& [size, kept] : {std::pair{25001, 241}, std::pair{25000, 250}}) {
      QFile log(AccessLog::FilePath());
      QVERIFY(log.open(QIODevice::WriteOnly | QIODevice::Truncate));
      for (int i = 0; i < 250; ++i) log.write(QByteArray::number(i).rightJustified(4, '0') + line.mid(4));
      if (size == 25001) log.write("y");
      log.close();
      TfrmMain w(*dm_);
      QCOMPARE(logLines().size(), kept);
      if (size == 25001) QVERIFY(logLines().first().startsWith("0010"));
      QVERIFY(w.windowState() & Qt::WindowMaximized);
    }
    Settings::WriteBool("Options", "maximized", false);
  }

  void welcomeYesCreatesADatabaseWithSamples() {
    TDM::StoreAliasPath(dir_->filePath("missing.pdb"));
    MessageBox::Script script;
    TfrmMain& w = makeMain();
    const QString chosen = dir_->filePath("family");  // the dialog adds ".pdb"
    whenShown<TfrmWelcome>([chosen](TfrmWelcome* welcome) {
      whenShown<QFileDialog>([chosen](QFileDialog* save) {
        QCOMPARE(save->windowTitle(), QString("New Password Database"));
        whenShown<TfrmNewMasterPassword>([](TfrmNewMasterPassword* d) {
          QCOMPARE(d->windowTitle(), QString("New Password Database - family"));
          QVERIFY(d->chkSample->isChecked());
          typeInto(d->txtPassword, "abc");
          typeInto(d->txtVerify, "abc");
          QTest::keyClick(d->txtVerify, Qt::Key_Return);
          QVERIFY(d->isVisible());
          typeInto(d->txtPassword, "abcd");
          typeInto(d->txtVerify, "abce");
          QTest::keyClick(d->chkSample, Qt::Key_Return);  // Enter on the check box runs the main button too
          QVERIFY(d->isVisible());
          typeInto(d->txtVerify, "abcd");
          d->cmdCreateDB->click();
        });
        shelltest::chooseFile(save, chosen);
      });
      welcome->cmdYes->click();
    });
    w.StartUp();
    QCOMPARE(script.Boxes().size(), size_t(2));
    QCOMPARE(script.Boxes()[0].text,
             QString("The password must be at least 4 characters in length. Please try again!"));
    QCOMPARE(script.Boxes()[1].text, QString("Sorry, the passwords do not match. Please try again!"));
    const QString created = dir_->filePath("family.pdb");
    QCOMPARE(TDM::ReadAliasPath(), created);
    QVERIFY(w.DatabaseOpen());
    QCOMPARE(w.MasterPassword(), QString("abcd"));
    QCOMPARE(dm_->qryGroups.RecordCount(), 4);
    QCOMPARE(dm_->qryOptions.FieldByName("Group").AsString(), QString("Email Accounts"));
    QCOMPARE(Settings::ReadText("SearchDir", "dir", "none"), dir_->path());
    // Creating leaves no log line; opening leaves one success line.
    QCOMPARE(logLines().size(), 1);
    QVERIFY(logLines()[0].endsWith(" ... family ... success"));
    QCOMPARE(Sounds::Requested(), QStringList{"GRANT"});
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(created).constData(), &info), 0);
    QCOMPARE(info.st_mode & 077, 0u);
  }

  void welcomeNoLeavesTheWindowWithoutADatabase() {
    TDM::StoreAliasPath(dir_->filePath("missing.pdb"));
    TfrmMain& w = makeMain();
    whenShown<TfrmWelcome>([](TfrmWelcome* welcome) {
      QCOMPARE(welcome->windowTitle(), QString("Welcome"));
      welcome->cmdNo->click();
    });
    w.StartUp();
    QVERIFY(!w.DatabaseOpen());
    QCOMPARE(w.windowTitle(), QString(" Keyhaven"));
  }

  void wrongPasswordsDenyThreeTimesThenBuzz() {
    CreateDatabaseFile(file_, "Secret", false);
    TfrmMain& w = makeMain();
    whenShown<TfrmEnterMasterPassword>([](TfrmEnterMasterPassword* p) {
      QCOMPARE(p->windowTitle(), QString("Keyhaven - accounts"));
      QCOMPARE(p->txtPassword->maxLength(), 14);
      QCOMPARE(p->txtPassword->echoMode(), QLineEdit::Password);
      for (const char* wrong : {"secret", "SECRET", "x", "Secret1"}) {
        typeInto(p->txtPassword, wrong);
        QTest::keyClick(p->txtPassword, Qt::Key_Return);
        QVERIFY(p->isVisible());
        QVERIFY(p->txtPassword->text().isEmpty());
      }
      QTest::keyClick(p->txtPassword, Qt::Key_Escape);
    });
    w.StartUp();
    QVERIFY(!w.DatabaseOpen());
    QCOMPARE(Sounds::Requested(), (QStringList{"DENY", "DENY", "DENY", "BUZZ"}));
    const QStringList lines = logLines();
    QCOMPARE(lines.size(), 4);
    for (const QString& l : lines) QVERIFY2(l.endsWith(" ... accounts ... failed"), qPrintable(l));

    // A new prompt starts counting again.
    Sounds::ClearRequested();
    whenShown<TfrmEnterMasterPassword>([](TfrmEnterMasterPassword* p) {
      typeInto(p->txtPassword, "nope");
      p->cmdOK->click();
      typeInto(p->txtPassword, "Secret");
      p->cmdOK->click();
    });
    w.ShowPrompt();
    QVERIFY(w.DatabaseOpen());
    QCOMPARE(Sounds::Requested(), (QStringList{"DENY", "GRANT"}));
    QVERIFY(logLines().last().endsWith(" ... accounts ... success"));
  }

  void accessSoundsOffAreSilent() {
    CreateDatabaseFile(file_, "Secret", false);
    Settings::WriteBool("SoundOptions", "access", false);
    makeMain();
    openThroughPrompt("bad1");
    QVERIFY(Sounds::Requested().isEmpty());
    QCOMPARE(logLines().size(), 1);
    Settings::WriteBool("SoundOptions", "access", true);
    Settings::LoadSounds();
  }

  void closeCountsDownAndCompactsAtZero() {
    CreateDatabaseFile(file_, "master", true);
    TfrmMain& w = makeMain();
    openThroughPrompt("master");
    QCOMPARE(optionsInt("dbmaintcount"), 100);
    addAccount("Mail", "p@ss");
    setCounter(5);
    struct stat before {};
    ::stat(QFile::encodeName(file_).constData(), &before);
    w.mnuFileCloseDatabase->trigger();
    struct stat after {};
    ::stat(QFile::encodeName(file_).constData(), &after);
    QCOMPARE(after.st_ino, before.st_ino);  // not compacted

    openThroughPrompt("master");
    QCOMPARE(optionsInt("dbmaintcount"), 4);
    setCounter(0);
    QFile leftover(CompactionTemporaryPath(file_));
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.write("left over");
    leftover.close();
    w.mnuFileCloseDatabase->trigger();
    ::stat(QFile::encodeName(file_).constData(), &after);
    QVERIFY(after.st_ino != before.st_ino);  // a new, compacted file took the name
    QCOMPARE(after.st_mode & 077, 0u);
    QVERIFY(!QFile::exists(CompactionTemporaryPath(file_)));
    QFile raw(file_);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QVERIFY(!raw.read(16).startsWith("SQLite format 3"));  // still encrypted

    openThroughPrompt("master");
    QVERIFY(w.DatabaseOpen());
    QCOMPARE(optionsInt("dbmaintcount"), 100);
    QCOMPARE(dm_->qryGroups.RecordCount(), 4);
    QVERIFY(dm_->qryPasswords.Locate("Description", "Mail"));
    QCOMPARE(dm_->qryPasswords.FieldByName("Password").AsString(), QString("p@ss"));
  }

  void openFromTheMenuClosesFirstEvenWhenThePromptIsCancelled() {
    CreateDatabaseFile(file_, "master", false);
    const QString other = dir_->filePath("other.pdb");
    CreateDatabaseFile(other, "second", false);
    TfrmMain& w = makeMain();
    openThroughPrompt("master");
    whenShown<QFileDialog>([other](QFileDialog* open) {
      QCOMPARE(open->windowTitle(), QString("Open Password Database"));
      whenShown<TfrmEnterMasterPassword>([](TfrmEnterMasterPassword* p) {
        QCOMPARE(p->windowTitle(), QString("Keyhaven - other"));
        p->cmdCancel->click();
      });
      shelltest::chooseFile(open, other);
    });
    pressOnMain(Qt::Key_F2);
    QVERIFY(!w.DatabaseOpen());
    QCOMPARE(TDM::ReadAliasPath(), other);
    QCOMPARE(w.windowTitle(), QString(" Keyhaven - other"));  // the new current file, not yet open
    // The first file's close was counted.
    TDM::StoreAliasPath(file_);
    openThroughPrompt("master");
    QCOMPARE(optionsInt("dbmaintcount"), 99);
  }

  void changePasswordThenReopenWithTheNewOne() {
    CreateDatabaseFile(file_, "OldKey", true);
    MessageBox::Script script;
    TfrmMain& w = makeMain();
    openThroughPrompt("OldKey");
    whenShown<TfrmChangePassword>([](TfrmChangePassword* d) {
      QCOMPARE(d->windowTitle(), QString("Change Master Password"));
      typeInto(d->txtCurrent, "oldkey");
      QTest::keyClick(d->txtCurrent, Qt::Key_Return);
      typeInto(d->txtCurrent, "OldKey");
      typeInto(d->txtNew, "abc");
      d->cmdOK->click();
      typeInto(d->txtNew, "NewKey12345678X");  // the fifteenth character does not fit
      QCOMPARE(d->txtNew->text(), QString("NewKey12345678"));
      typeInto(d->txtVerify, "NewKey1234567");
      d->cmdOK->click();
      typeInto(d->txtVerify, "NewKey12345678");
      d->cmdOK->click();
    });
    w.mnuFileChangeMasterPassword->trigger();
    const auto& boxes = script.Boxes();
    QCOMPARE(boxes.size(), size_t(4));
    QCOMPARE(boxes[0].text, QString("Sorry, the value entered for the current password is incorrect.\r\n"
                                    "Remember, the master password is case-sensitive."));
    QCOMPARE(boxes[1].text, QString("Sorry, the password must be at least 4 characters long.\r\nPlease try again."));
    QCOMPARE(boxes[2].text,
             QString("Sorry, the new password value could not be verified. \r\nPlease verify the password again."));
    QCOMPARE(boxes[3].text, QString("Master Password Changed!"));
    QCOMPARE(boxes[3].icon, QMessageBox::NoIcon);
    QCOMPARE(w.MasterPassword(), QString("NewKey12345678"));
    w.mnuFileCloseDatabase->trigger();

    openThroughPrompt("OldKey");
    QVERIFY(!w.DatabaseOpen());
    openThroughPrompt("NewKey12345678");
    QVERIFY(w.DatabaseOpen());
    QCOMPARE(dm_->qryGroups.RecordCount(), 4);
  }

  void unlockFromTheTrayWithoutReconnecting() {
    CreateDatabaseFile(file_, "master", true);
    TfrmMain& w = makeMain(true);
    openThroughPrompt("master");
    const auto handle = dm_->DB.Handle();
    pressOnMain(Qt::Key_F4);
    QVERIFY(!w.isVisible());
    QVERIFY(w.HiddenInTray());
    Sounds::ClearRequested();
    whenShown<TfrmEnterMasterPassword>([](TfrmEnterMasterPassword* p) {
      typeInto(p->txtPassword, "MASTER");
      p->cmdOK->click();
      QVERIFY(p->isVisible());
      typeInto(p->txtPassword, "master");
      p->cmdOK->click();
    });
    w.RestoreFromTray();
    QVERIFY(w.isVisible());
    QVERIFY(!w.HiddenInTray());
    QCOMPARE(dm_->DB.Handle(), handle);
    QCOMPARE(Sounds::Requested(), (QStringList{"DENY", "GRANT"}));
    const QStringList lines = logLines();
    QVERIFY(lines[lines.size() - 2].endsWith(" ... failed"));
    QVERIFY(lines.last().endsWith(" ... success"));

    // With pwdsystray off the window comes straight back; a cancelled prompt
    // leaves it hidden.
    w.HideToTray();
    QVERIFY(!w.isVisible());
    whenShown<TfrmEnterMasterPassword>([](TfrmEnterMasterPassword* p) { p->cmdCancel->click(); });
    w.RestoreFromTray();
    QVERIFY(!w.isVisible());
    dm_->qryOptions.Edit();
    dm_->qryOptions.FieldByName("pwdsystray").setAsBoolean(false);
    dm_->qryOptions.Post();
    w.RestoreFromTray();
    QVERIFY(w.isVisible());
  }

  void withoutATrayMinimisingKeepsTheWindowReachable() {
    TfrmMain& w = makeMain(false);
    w.HideToTray();
    QVERIFY(!w.HiddenInTray());
    QVERIFY(w.isVisible());
  }

  void aboutShowsNameAndVersionAndClosesOnEscape() {
    TfrmMain& w = makeMain();
    QString caption;
    whenShown<TfrmAbout>([&caption](TfrmAbout* a) {
      caption = a->windowTitle();
      QTest::keyClick(a, Qt::Key_Escape);
    });
    w.mnuHelpAbout->trigger();
    QCOMPARE(caption, QString("About Keyhaven"));
  }

  void commandHooksRunOnlyWithADatabase() {
    CreateDatabaseFile(file_, "master", false);
    TfrmMain& w = makeMain();
    int runs = 0;
    w.SetCommand(TfrmMain::Command::EditOptions, [&runs] { ++runs; });
    w.cmdOptions->click();
    QCOMPARE(runs, 0);
    openThroughPrompt("master");
    w.cmdOptions->click();
    pressOnMain(Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(runs, 2);
  }

  void featureCommandsOpenTheirDialogsFromTheMenus() {
    CreateDatabaseFile(file_, "master", true);
    TfrmMain& w = makeMain();
    openThroughPrompt("master");
    QStringList captions;
    whenShown<TfrmFind>([&captions](TfrmFind* d) {
      captions << d->windowTitle();
      QTest::keyClick(d, Qt::Key_Escape);
    });
    w.mnuEditFind->trigger();
    whenShown<TfrmSelectReport>([&captions](TfrmSelectReport* d) {
      captions << d->windowTitle();
      QTest::keyClick(d, Qt::Key_Escape);
    });
    w.mnuGroupsReports->trigger();
    QCOMPARE(captions, (QStringList{"Find", "Select Report"}));
  }
};

QTEST_MAIN(ShellTest)
#include "shell_test.moc"
