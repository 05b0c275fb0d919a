// The group and account commands on a real password database file, driven
// through real widgets (offscreen) as a user drives them: keys, clicks, the
// context menu, message boxes answered through the program's seam.
#include <stdlib.h>

#include <QCalendarWidget>
#include <QClipboard>
#include <QDesktopServices>
#include <QMimeData>
#include <QToolButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "AccountTestHost.h"
#include "data/DatabaseFiles.h"
#include "gui/EditDescription.h"
#include "gui/EditGroup.h"
#include "gui/MessageBox.h"
#include "gui/SecretClipboard.h"
#include "gui/controls/HoverButton.h"

// Records the addresses handed to the desktop instead of opening them.
class UrlRecorder : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> opened;
 public slots:
  void open(const QUrl& url) { opened << url; }
};

class AccountCommandsTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir root_;
  std::unique_ptr<QTemporaryDir> dir_;
  QString file_;
  std::unique_ptr<TDM> dm_;
  std::unique_ptr<TAccountTestHost> host_;

  TAccountCommands& commands() { return *host_->commands; }
  TAccountWidgets& w() { return host_->w; }

  void openFile(bool samples) {
    file_ = dir_->filePath("accounts.pdb");
    CreateDatabaseFile(file_, "master", samples);
    reopen();
  }

  // Closes everything and opens the file again (what survives is stored).
  void reopen() {
    host_.reset();
    dm_.reset();
    dm_ = std::make_unique<TDM>();
    dm_->DMCreate({file_});
    host_ = std::make_unique<TAccountTestHost>(*dm_);
    OpenTestDatabase(*host_, "master");
    host_->show();
    host_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(host_.get()));
  }

  void addAccount(const QString& description, const QString& password = {}) {
    dm_->qryPasswords.Append();
    dm_->qryPasswords.FieldByName("Description").setAsString(description);
    if (!password.isEmpty()) dm_->qryPasswords.FieldByName("Password").setAsString(password);
    dm_->qryPasswords.Post();
  }

  QString currentGroup() { return dm_->qryGroups.FieldByName("Name").AsString(); }
  QString currentAccount() { return dm_->qryPasswords.FieldByName("Description").AsString(); }

  // The Options row's Group as stored in the file.
  QString storedSelectedGroup() {
    TQuery q(&dm_->DB);
    q.setSQL("select [Group] from options");
    q.Open();
    return q.FieldByName("Group").AsString();
  }

  int storedCount(const QString& sql) {
    TQuery q(&dm_->DB);
    q.setSQL(sql);
    q.Open();
    return q.Fields().front()->AsInteger();
  }

  // Runs a command that opens a name dialog; `text` is put into the box as a
  // paste would (untouched by the typing filter) and OK is pressed; a dialog
  // still open afterwards (a refusal) is cancelled.
  void runWithDialog(const std::function<void()>& command, const QString& text, bool typed = false) {
    WhenDialogShows([text, typed](TNameDialog* dialog) {
      if (typed) {
        dialog->box->clear();
        QTest::keyClicks(dialog->box, text);
      } else {
        dialog->box->setText(text);
      }
      QTest::keyClick(dialog->box, Qt::Key_Return);
      if (dialog->isVisible()) QTest::keyClick(dialog->box, Qt::Key_Escape);
    });
    command();
  }

 private slots:
  void initTestCase() {
    QVERIFY(root_.isValid());
    setenv("KBE_ROOT", root_.path().toUtf8().constData(), 1);
    setenv("KEYHAVEN_HOME", root_.path().toUtf8().constData(), 1);
  }

  void init() { dir_ = std::make_unique<QTemporaryDir>(); }

  void cleanup() {
    host_.reset();
    dm_.reset();
    dir_.reset();
    QFile::remove(QDir(root_.path()).filePath("kh.ini"));
  }

  void newGroupIsSelectedAtOnceAndSurvives() {
    openFile(true);
    MessageBox::Script script;
    runWithDialog([&] { QTest::keyClick(host_.get(), Qt::Key_S, Qt::AltModifier); }, "new york", true);
    QVERIFY(script.Boxes().empty());
    QCOMPARE(currentGroup(), QStringLiteral("New York"));
    QCOMPARE(w().cboGroup->currentText(), QStringLiteral("New York"));
    QCOMPARE(host_->focusWidget(), w().cboGroup);
    QCOMPARE(w().statusPanel->text(), QStringLiteral("0 items in New York"));
    reopen();
    QCOMPARE(storedSelectedGroup(), QStringLiteral("New York"));
    QCOMPARE(currentGroup(), QStringLiteral("New York"));
    QCOMPARE(dm_->qryGroups.RecordCount(), 5);
  }

  void groupNameRefusals_data() {
    QTest::addColumn<bool>("edit");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    const QString taken = "Sorry, there is already a group with that name.";
    QTest::newRow("blank") << false << "  \t " << "Please enter a group name!";
    QTest::newRow("existing, other case") << false << "misc ACCOUNTS" << taken;
    QTest::newRow("rename onto another") << true << "Web Subscriptions" << taken;
    QTest::newRow("51 characters") << false << QString(51, QLatin1Char('x'))
                                   << "The group name is 51 characters long; at most 50 characters can be stored.";
    QTest::newRow("outside Windows-1252") << false << QString::fromUtf8("Bank \u4e2d")
                                          << QString::fromUtf8("The group name cannot hold the character \"\u4e2d\": "
                                                               "only characters of the Windows-1252 character set "
                                                               "can be stored.");
  }

  void groupNameRefusals() {
    QFETCH(bool, edit);
    QFETCH(QString, name);
    QFETCH(QString, message);
    openFile(true);
    MessageBox::Script script;
    bool stayedOpen = false;
    WhenDialogShows([&](TNameDialog* dialog) {
      dialog->box->setText(name);
      dialog->cmdOK->click();
      stayedOpen = dialog->isVisible();
      dialog->reject();
    });
    edit ? commands().mnuGroupsEditClick() : commands().mnuGroupsNewClick();
    QVERIFY(stayedOpen);
    QCOMPARE(script.Boxes().size(), std::size_t{1});
    QCOMPARE(script.Boxes()[0].icon, QMessageBox::Information);
    QCOMPARE(script.Boxes()[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(script.LastText(), message);
    QCOMPARE(storedCount("select count(*) from groups"), 4);
    QCOMPARE(currentGroup(), QStringLiteral("Email Accounts"));
  }

  void renameInAnotherLetterCaseRunsNoCheck() {
    openFile(true);
    MessageBox::Script script;
    runWithDialog([&] { commands().mnuGroupsEditClick(); }, "EMAIL accounts");
    QVERIFY(script.Boxes().empty());
    QCOMPARE(currentGroup(), QStringLiteral("EMAIL accounts"));
    QCOMPARE(storedSelectedGroup(), QStringLiteral("EMAIL accounts"));
    QCOMPARE(w().cboGroup->currentText(), QStringLiteral("EMAIL accounts"));
  }

  void pastedNamesCannotChangeTheCheck() {
    openFile(true);
    MessageBox::Script script;
    // Each is a new, different name: none may match another group or fail.
    const QStringList names{"He said \"hi\"", "\"\" or 1=1 or \"\"=\"", "Email*", "Email%", "[Email Accounts]",
                            "Misc Account?", "Web_Subscriptions", "O'Neil's; drop table groups", ":Name"};
    for (const QString& name : names) runWithDialog([&] { commands().mnuGroupsNewClick(); }, name);
    QVERIFY2(script.Boxes().empty(), qPrintable(script.LastText()));
    QCOMPARE(storedCount("select count(*) from groups"), 4 + int(names.size()));
    // And each, pasted once more, is found as a duplicate.
    for (const QString& name : names) {
      script.Clear();
      runWithDialog([&] { commands().mnuGroupsNewClick(); }, name);
      QCOMPARE(script.LastText(), QStringLiteral("Sorry, there is already a group with that name."));
    }
    QCOMPARE(storedCount("select count(*) from groups"), 4 + int(names.size()));
  }

  void deletingTheOnlyGroupClearsEverything() {
    openFile(false);
    MessageBox::Script script;
    runWithDialog([&] { commands().mnuGroupsNewClick(); }, "Only");
    addAccount("Bank");
    addAccount("Mail");
    commands().RefreshItemCount();
    QCOMPARE(w().statusPanel->text(), QStringLiteral("2 items in Only"));
    script.Answer({QMessageBox::Yes});
    commands().mnuGroupsDeleteClick();
    QCOMPARE(script.LastText(), QStringLiteral("Are you sure you want to delete the group \"Only\"?\r\n"
                                               "All passwords in this group will also be deleted!"));
    QCOMPARE(script.Boxes().back().buttons, QMessageBox::Yes | QMessageBox::Cancel);
    QCOMPARE(w().cboGroup->currentIndex(), -1);
    QCOMPARE(w().cboGroup->count(), 0);
    QCOMPARE(w().GridDescription->model()->rowCount(), 0);
    QCOMPARE(w().statusPanel->text(), QStringLiteral("0 items"));
    QCOMPARE(storedCount("select count(*) from passwords"), 0);
    QVERIFY(!w().txtID->isEnabled());
  }

  void cancelOnDeleteGroupStillWritesTheSelection() {
    openFile(true);
    dm_->qryGroups.Next();  // moved without the selector: Options still names Email Accounts
    QCOMPARE(currentGroup(), QStringLiteral("Misc Accounts"));
    MessageBox::Script script;
    script.Answer({QMessageBox::Cancel});
    commands().mnuGroupsDeleteClick();
    QCOMPARE(script.Boxes().size(), std::size_t{1});
    QCOMPARE(storedCount("select count(*) from groups"), 4);
    QCOMPARE(storedSelectedGroup(), QStringLiteral("Misc Accounts"));
    QCOMPARE(w().cboGroup->currentText(), QStringLiteral("Misc Accounts"));
    // Yes on the last group: the one before it becomes current and selected.
    dm_->qryGroups.Last();
    script.Answer({QMessageBox::Yes});
    commands().mnuGroupsDeleteClick();
    QCOMPARE(storedSelectedGroup(), QStringLiteral("Web Discussion Boards"));
    QCOMPARE(currentGroup(), QStringLiteral("Web Discussion Boards"));
  }

  void pickingAGroupInTheSelectorMakesItCurrent() {
    openFile(true);
    addAccount("Mail one");
    const int misc = w().cboGroup->findText("Misc Accounts");
    QVERIFY(misc >= 0);
    w().cboGroup->setCurrentIndex(misc);
    emit w().cboGroup->activated(misc);
    QCOMPARE(currentGroup(), QStringLiteral("Misc Accounts"));
    QCOMPARE(w().statusPanel->text(), QStringLiteral("0 items in Misc Accounts"));
    QCOMPARE(w().cboGroup->maxVisibleItems(), 4);
    // Posting the Options row for something else leaves the group alone ...
    dm_->qryGroups.First();
    dm_->qryOptions.Edit();
    dm_->qryOptions.FieldByName("showpassword").setAsInteger(2);
    dm_->qryOptions.Post();
    QCOMPARE(currentGroup(), QStringLiteral("Email Accounts"));
    // ... and picking the group the row already names makes it current.
    w().cboGroup->setCurrentIndex(misc);
    emit w().cboGroup->activated(misc);
    QCOMPARE(currentGroup(), QStringLiteral("Misc Accounts"));
  }

  void detailBoxesRefuseWhatTheStoreCannotHold() {
    openFile(true);
    addAccount("Bank");
    MessageBox::Script script;
    // A character outside Windows-1252, pasted: refused, naming the field.
    QApplication::clipboard()->setText(QString::fromUtf8("user\u4e2d"));
    w().txtID->setFocus();
    w().txtID->paste();
    QCOMPARE(script.Boxes().size(), std::size_t{1});
    QVERIFY2(script.LastText().contains("'ID'"), qPrintable(script.LastText()));
    QCOMPARE(dm_->qryPasswords.FieldByName("ID").AsString(), QString());
    // Notes: 2000 characters fit, 2001 do not.
    w().MemoNotes->setPlainText(QString(2000, QLatin1Char('n')));
    QCOMPARE(dm_->qryPasswords.FieldByName("Notes").AsString().size(), 2000);
    w().MemoNotes->setPlainText(QString(2001, QLatin1Char('m')));
    QCOMPARE(dm_->qryPasswords.FieldByName("Notes").AsString(), QString(2000, QLatin1Char('n')));
    QCOMPARE(w().MemoNotes->toPlainText().size(), 2000);
  }

  void newAccountIsSelectedInTheSortedListWithFocusInID() {
    openFile(true);
    MessageBox::Script script;
    for (const char* name : {"zebra", "apple", "mango"})
      runWithDialog([&] { commands().mnuPasswordsAddClick(); }, name, true);
    QVERIFY(script.Boxes().empty());
    QCOMPARE(currentAccount(), QStringLiteral("Mango"));
    QCOMPARE(dm_->qryPasswords.RecNo(), 1);
    QCOMPARE(w().GridDescription->currentIndex().row(), 1);
    QCOMPARE(w().GridDescription->model()->index(0, 0).data().toString(), QStringLiteral("Apple"));
    QCOMPARE(host_->focusWidget(), w().txtID);
    QCOMPARE(w().statusPanel->text(), QStringLiteral("3 items in Email Accounts"));
    QCOMPARE(dm_->qryPasswords.FieldByName("AssignDate").AsDateTime().date(), QDate::currentDate());
    // Typing in ID edits the new account; it survives closing the file.
    QTest::keyClicks(w().txtID, "me@example.com");
    commands().cmdSaveMemoClick();
    reopen();
    QVERIFY(dm_->qryPasswords.Locate("Description", "Mango"));
    QCOMPARE(dm_->qryPasswords.FieldByName("ID").AsString(), QStringLiteral("me@example.com"));
    QCOMPARE(dm_->qryPasswords.FieldByName("AssignDate").AsDateTime().time(), QTime(0, 0));
  }

  void newAccountWithoutAGroupAsksForTheGroupFirst() {
    openFile(false);
    MessageBox::Script script;
    QStringList captions;
    WhenDialogShows([&](TNameDialog* dialog) {
      captions << dialog->windowTitle();
      dialog->reject();
    });
    commands().mnuPasswordsAddClick();
    QCOMPARE(script.LastText(), QStringLiteral("Please enter a group name before entering a password!"));
    QCOMPARE(captions, QStringList{" New Group"});
    QVERIFY(!qobject_cast<TNameDialog*>(QApplication::activeModalWidget()));
    QCOMPARE(storedCount("select count(*) from passwords"), 0);
  }

  void editDescriptionAndKeysInTheList() {
    openFile(true);
    addAccount("Bank");
    addAccount("Mail");
    dm_->qryPasswords.First();
    MessageBox::Script script;
    w().GridDescription->setFocus();
    QString caption;
    WhenDialogShows([&](TNameDialog* dialog) {
      caption = dialog->windowTitle();
      QCOMPARE(dialog->box->text(), QStringLiteral("Bank"));
      dialog->box->setText("Bank (old)");
      QTest::keyClick(dialog->box, Qt::Key_Return);
    });
    QTest::keyClick(w().GridDescription, Qt::Key_Return);
    QCOMPARE(caption, QStringLiteral(" Edit Description"));
    QCOMPARE(currentAccount(), QStringLiteral("Bank (old)"));
    // Delete: Cancel keeps it, Yes deletes it.
    script.Answer({QMessageBox::Cancel});
    QTest::keyClick(w().GridDescription, Qt::Key_Delete);
    QCOMPARE(script.LastText(), QStringLiteral("Are you sure you want to delete the password account \"Bank (old)\" ?"));
    QCOMPARE(storedCount("select count(*) from passwords"), 2);
    script.Answer({QMessageBox::Yes});
    QTest::keyClick(w().GridDescription, Qt::Key_Delete);
    QCOMPARE(storedCount("select count(*) from passwords"), 1);
    QCOMPARE(w().statusPanel->text(), QStringLiteral("1 item in Email Accounts"));
    QCOMPARE(currentAccount(), QStringLiteral("Mail"));
  }

  // The main window's own menu items, toolbar and list buttons, shortcuts,
  // double click and context menu reach the commands.
  void mainWindowMenusButtonsAndMouse() {
    openFile(true);
    MessageBox::Script script;
    QCOMPARE(w().statusPanel->text(), QStringLiteral("0 items in Email Accounts"));
    QVERIFY(!w().txtID->isEnabled());
    // The list's Add button, then Alt+A.
    runWithDialog([&] { QTest::mouseClick(host_->cmdAdd, Qt::LeftButton); }, "Mail", true);
    QCOMPARE(currentAccount(), QStringLiteral("Mail"));
    // The offscreen platform does not hand activation back after a dialog.
    host_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(host_.get()));
    runWithDialog([&] { QTest::keyClick(host_.get(), Qt::Key_A, Qt::AltModifier); }, "Bank", true);
    QCOMPARE(w().statusPanel->text(), QStringLiteral("2 items in Email Accounts"));
    QCOMPARE(currentAccount(), QStringLiteral("Bank"));
    QVERIFY(w().txtID->isEnabled());
    QCOMPARE(host_->focusWidget(), w().txtID);
    // Double click, the Edit button and the menu item edit the description.
    WhenDialogShows([](TNameDialog* dialog) {
      dialog->box->setText("Bank 1");
      QTest::keyClick(dialog->box, Qt::Key_Return);
    });
    const QRect first = w().GridDescription->visualRect(w().GridDescription->model()->index(0, 0));
    // A real double click starts with a click (QTest sends the second half).
    QTest::mouseClick(w().GridDescription->viewport(), Qt::LeftButton, {}, first.center());
    QTest::mouseDClick(w().GridDescription->viewport(), Qt::LeftButton, {}, first.center());
    QCOMPARE(currentAccount(), QStringLiteral("Bank 1"));
    runWithDialog([&] { QTest::mouseClick(host_->cmdEdit, Qt::LeftButton); }, "Bank 2");
    runWithDialog([&] { host_->mnuPasswordsEditDescription->trigger(); }, "Bank 3");
    QCOMPARE(currentAccount(), QStringLiteral("Bank 3"));
    // A right click opens the list's context menu, made for this account.
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, first.center(),
                                w().GridDescription->viewport()->mapToGlobal(first.center()));
    QApplication::sendEvent(w().GridDescription->viewport(), &menuEvent);
    QTRY_VERIFY(host_->GridPopupMenu()->isVisible());
    QCOMPARE(commands().TransferMenu()->actions().size(), 4);
    host_->GridPopupMenu()->close();
    // The toolbar's group buttons and the Groups menu.
    runWithDialog([&] { QTest::mouseClick(host_->cmdEditGroup, Qt::LeftButton); }, "Mail Accounts");
    QCOMPARE(currentGroup(), QStringLiteral("Mail Accounts"));
    runWithDialog([&] { host_->mnuGroupsNew->trigger(); }, "Shops");
    QCOMPARE(w().statusPanel->text(), QStringLiteral("0 items in Shops"));
    script.Answer({QMessageBox::Yes});
    QTest::mouseClick(host_->cmdDelGroup, Qt::LeftButton);
    QCOMPARE(script.LastText(), QStringLiteral("Are you sure you want to delete the group \"Shops\"?\r\n"
                                               "All passwords in this group will also be deleted!"));
    QCOMPARE(storedCount("select count(*) from groups"), 4);
    // Delete from the list's button and from the menu.
    host_->GroupSelector()->setCurrentIndex(host_->GroupSelector()->findText("Mail Accounts"));
    emit host_->GroupSelector()->activated(host_->GroupSelector()->currentIndex());
    QCOMPARE(currentGroup(), QStringLiteral("Mail Accounts"));
    script.Answer({QMessageBox::Yes});
    QTest::mouseClick(host_->cmdDelete, Qt::LeftButton);
    script.Answer({QMessageBox::Yes});
    host_->mnuPasswordsDelete->trigger();
    QCOMPARE(storedCount("select count(*) from passwords"), 0);
    QCOMPARE(w().statusPanel->text(), QStringLiteral("0 items in Mail Accounts"));
  }

  void typeAheadFindsTheFirstMatchIgnoringCase() {
    openFile(true);
    for (const char* name : {"apple", "Banana", "berry", "cherry"}) addAccount(name);
    dm_->qryPasswords.Close();
    dm_->qryPasswords.Open();
    w().GridDescription->setFocus();
    QTest::keyClick(w().GridDescription, 'b');
    QCOMPARE(currentAccount(), QStringLiteral("Banana"));
    QTest::keyClick(w().GridDescription, 'C');
    QCOMPARE(currentAccount(), QStringLiteral("cherry"));
    QTest::keyClick(w().GridDescription, 'z');
    QCOMPARE(currentAccount(), QStringLiteral("cherry"));
    QCOMPARE(w().GridDescription->currentIndex().row(), 3);
  }

  void transferSubmenuAndMoves() {
    openFile(true);
    // An empty group: Transfer, Edit and Delete are off, Add stays on.
    commands().PopupMenuGridPopup();
    QVERIFY(!commands().TransferMenu()->menuAction()->isEnabled());
    QVERIFY(commands().PopupMenuGrid()->actions().first()->isEnabled());
    addAccount("Bank");
    addAccount("Mail");
    dm_->qryPasswords.First();
    commands().PopupMenuGridPopup();
    const QList<QAction*> items = commands().TransferMenu()->actions();
    QCOMPARE(items.size(), 4);
    QCOMPARE(items[0]->text(), QStringLiteral("Email Accounts"));
    QCOMPARE(items[3]->objectName(), QStringLiteral("mnuTransfer3"));
    QVERIFY(commands().TransferMenu()->menuAction()->isEnabled());
    // To the current group: it stays.
    items[0]->trigger();
    QCOMPARE(dm_->qryPasswords.RecordCount(), 2);
    QCOMPARE(w().statusPanel->text(), QStringLiteral("2 items in Email Accounts"));
    // Opened again, the menu is made anew.
    commands().PopupMenuGridPopup();
    QCOMPARE(commands().TransferMenu()->actions().size(), 4);
    commands().TransferMenu()->actions()[1]->trigger();  // Misc Accounts
    QCOMPARE(dm_->qryPasswords.RecordCount(), 1);
    QCOMPARE(w().statusPanel->text(), QStringLiteral("1 item in Email Accounts"));
    QCOMPARE(storedCount("select count(*) from passwords p inner join groups g on p.GroupID = g.GroupID "
                         "where g.Name = 'Misc Accounts' and p.Description = 'Bank'"),
             1);
  }

  void saveAndUndo() {
    openFile(true);
    addAccount("Bank");
    QVERIFY(!host_->cmdSaveMemo->isEnabled());
    QVERIFY(!host_->mnuEditUndo->isEnabled());
    QTest::keyClicks(w().txtURL, "www.bank.example");
    QCOMPARE(dm_->qryPasswords.State(), TDataSetState::dsEdit);
    QVERIFY(host_->cmdSaveMemo->isEnabled());
    QVERIFY(host_->mnuEditUndo->isEnabled());
    host_->mnuEditUndo->trigger();
    QCOMPARE(dm_->qryPasswords.State(), TDataSetState::dsBrowse);
    QCOMPARE(w().txtURL->text(), QString());
    QVERIFY(!host_->cmdSaveMemo->isEnabled());
    // Ctrl+Z in a box takes back the account's changes, not just the box's.
    QTest::keyClicks(w().txtID, "ann");
    QTest::keyClicks(w().txtURL, "www.bank.example");
    QTest::keyClick(w().txtURL, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(dm_->qryPasswords.State(), TDataSetState::dsBrowse);
    QCOMPARE(w().txtID->text(), QString());
    QCOMPARE(w().txtURL->text(), QString());
    QTest::keyClicks(w().txtURL, "www.bank.example");
    QTest::mouseClick(host_->cmdSaveMemo, Qt::LeftButton);
    QCOMPARE(dm_->qryPasswords.State(), TDataSetState::dsBrowse);
    QVERIFY(!host_->cmdSaveMemo->isEnabled());
    QCOMPARE(storedCount("select count(*) from passwords where URL = 'www.bank.example'"), 1);
  }

  void dateBoxShortcut() {
    openFile(true);
    addAccount("Bank");
    w().DateExpire->setFocus();
    QVERIFY(dm_->qryPasswords.FieldByName("ExpireDate").IsNull());
    QTest::keyClick(w().DateExpire, 'c');
    QCOMPARE(dm_->qryPasswords.FieldByName("ExpireDate").AsDateTime().date(), QDate::currentDate());
    QCOMPARE(w().DateExpire->date(), QDate::currentDate());
    QCOMPARE(w().DateExpire->text(), QLocale().toString(QDate::currentDate(), "dddd, MMMM dd, yyyy"));
    // Any other letter is the date box's own: no date of today's appears.
    // An empty box's calendar opens on today's month.
    QTest::mouseClick(w().DateAssign, Qt::LeftButton, {}, QPoint(w().DateAssign->width() - 8, w().DateAssign->height() / 2));
    QTRY_VERIFY(w().DateAssign->calendarWidget()->isVisible());
    QCOMPARE(w().DateAssign->calendarWidget()->yearShown(), QDate::currentDate().year());
    w().DateAssign->calendarWidget()->window()->close();
    w().DateAssign->setFocus();
    dm_->qryPasswords.Edit();
    dm_->qryPasswords.FieldByName("AssignDate").Clear();
    QTest::keyClick(w().DateAssign, 'x');
    QVERIFY(dm_->qryPasswords.FieldByName("AssignDate").IsNull());
    QTest::keyClick(w().DateAssign, 'C');
    QCOMPARE(dm_->qryPasswords.FieldByName("AssignDate").AsDateTime().date(), QDate::currentDate());
    commands().cmdSaveMemoClick();
    QCOMPARE(dm_->qryPasswords.FieldByName("ExpireDate").AsDateTime(), QDateTime(QDate::currentDate(), QTime(0, 0)));
  }

  void goToWebAddress() {
    openFile(true);
    addAccount("Bank");
    UrlRecorder recorder;
    for (const char* scheme : {"http", "https", "file", "ftp"})
      QDesktopServices::setUrlHandler(scheme, &recorder, "open");
    for (const char* blank : {"", "   "}) {
      dm_->qryPasswords.Edit();
      dm_->qryPasswords.FieldByName("URL").setAsString(blank);
      QTest::mouseClick(w().cmdGo, Qt::LeftButton);
    }
    QVERIFY(recorder.opened.isEmpty());
    dm_->qryPasswords.FieldByName("URL").setAsString("www.bank.example/login");
    QTest::mouseClick(w().cmdGo, Qt::LeftButton);
    dm_->qryPasswords.FieldByName("URL").setAsString("https://bank.example/");
    QTest::mouseClick(w().cmdGo, Qt::LeftButton);
    QCOMPARE(recorder.opened,
             (QList<QUrl>{QUrl("http://www.bank.example/login"), QUrl("https://bank.example/")}));
    for (const char* scheme : {"http", "https", "file", "ftp"}) QDesktopServices::unsetUrlHandler(scheme);
  }

  void passwordMasking_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("expected");  // masked (M) or plain (P) after each step
    // Steps: pointer enters, pointer leaves, focus enters, pointer enters,
    // pointer leaves (focused), focus leaves.
    QTest::newRow("0 always shown") << 0 << "PPPPPP";
    QTest::newRow("1 mouse over") << 1 << "PMPPPM";
    QTest::newRow("2 editing only") << 2 << "MMPPPM";
  }

  void passwordMasking() {
    QFETCH(int, mode);
    QFETCH(QString, expected);
    openFile(true);
    addAccount("Bank", "s3cret");
    dm_->qryOptions.Edit();
    dm_->qryOptions.FieldByName("showpassword").setAsInteger(mode);
    dm_->qryOptions.Post();
    TDBEditMove* box = w().txtPassword;
    box->setMasked(mode != 0);  // as the options apply it when the database opens
    w().txtID->setFocus();
    QString seen;
    auto note = [&] { seen += box->Masked() ? QLatin1Char('M') : QLatin1Char('P'); };
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), box->mapToGlobal(QPointF(2, 2)));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(box, &enter);
    note();
    QApplication::sendEvent(box, &leave);
    note();
    box->setFocus(Qt::TabFocusReason);
    QVERIFY(box->hasFocus());
    note();
    QCOMPARE(box->selectedText(), QString());  // not selected on entry
    QApplication::sendEvent(box, &enter);
    note();
    QApplication::sendEvent(box, &leave);
    note();
    w().txtURL->setFocus(Qt::TabFocusReason);
    note();
    QCOMPARE(seen, expected);
    QCOMPARE(box->text(), QStringLiteral("s3cret"));
    QCOMPARE(dm_->qryPasswords.State(), TDataSetState::dsBrowse);  // entering posted at once
  }

  void copyingAPasswordMarksItSecretAndClearsIt() {
    openFile(true);
    {
      QFile ini(QDir(root_.path()).filePath("kh.ini"));
      QVERIFY(ini.open(QIODevice::WriteOnly));
      ini.write("[Options]\r\nclipboard=1\r\n");
    }
    QCOMPARE(SecretClipboard::ClearDelaySeconds(), 1);
    addAccount("Bank", "s3cret");
    TDBEditMove* box = w().txtPassword;
    QClipboard* clipboard = QGuiApplication::clipboard();
    // Masked: nothing is copied.
    clipboard->setText("before");
    box->setMasked(true);
    box->setFocus();
    box->setMasked(true);
    box->selectAll();
    QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard->text(), QStringLiteral("before"));
    // Shown: Edit, Copy puts it there as a secret, and it goes again.
    box->setMasked(false);
    box->selectAll();
    host_->mnuEditCopy->trigger();
    QCOMPARE(clipboard->text(), QStringLiteral("s3cret"));
    QCOMPARE(clipboard->mimeData()->data("x-kde-passwordManagerHint"), QByteArray("secret"));
    QTRY_COMPARE_WITH_TIMEOUT(clipboard->text(), QString(), 3000);
    // 0: never cleared, not even when the program ends.
    {
      QFile ini(QDir(root_.path()).filePath("kh.ini"));
      QVERIFY(ini.open(QIODevice::WriteOnly));
      ini.write("[Options]\r\nclipboard=0\r\n");
    }
    QCOMPARE(SecretClipboard::ClearDelaySeconds(), 0);
    box->selectAll();
    commands().mnuEditCopyClick();
    SecretClipboard::ClearIfStillHeld();
    QCOMPARE(clipboard->text(), QStringLiteral("s3cret"));
    {
      QFile ini(QDir(root_.path()).filePath("kh.ini"));
      QVERIFY(ini.open(QIODevice::WriteOnly));
      ini.write("[Options]\r\nclipboard=1\r\n");
    }
    // Replaced by something else meanwhile: left alone.
    box->selectAll();
    QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard->text(), QStringLiteral("s3cret"));
    clipboard->setText("other text");
    QTest::qWait(1500);
    QCOMPARE(clipboard->text(), QStringLiteral("other text"));
    // Other boxes copy plainly; Paste goes to the focused box.
    w().txtID->setFocus();
    host_->mnuEditPaste->trigger();
    QCOMPARE(dm_->qryPasswords.FieldByName("ID").AsString(), QStringLiteral("other text"));
    w().txtID->selectAll();
    host_->mnuEditCut->trigger();
    QCOMPARE(clipboard->text(), QStringLiteral("other text"));
    QVERIFY(!clipboard->mimeData()->hasFormat("x-kde-passwordManagerHint"));
    QCOMPARE(dm_->qryPasswords.FieldByName("ID").AsString(), QString());
  }

  void dialogsAreCentredOnTheMainWindow() {
    openFile(true);
    host_->move(100, 80);
    QPoint seen;
    QSize size;
    WhenDialogShows([&](TNameDialog* dialog) {
      seen = dialog->pos();
      size = dialog->frameGeometry().size();
      dialog->reject();
    });
    commands().mnuGroupsNewClick();
    const QRect main = host_->frameGeometry();
    QCOMPARE(seen, QPoint(main.left() + main.width() / 2 - size.width() / 2,
                          main.top() + main.height() / 2 - size.height() / 2));
  }

  // With KH_SCREENSHOT_DIR set: pictures of the account area (password
  // masked and shown), its context menu and both dialogs.
  void screenshots() {
    const QString out = qEnvironmentVariable("KH_SCREENSHOT_DIR");
    if (out.isEmpty()) QSKIP("KH_SCREENSHOT_DIR not set");
    QDir().mkpath(out);
    openFile(true);
    struct Account {
      const char *description, *id, *password, *url, *notes;
      int expiresInDays;
    };
    for (const Account& a : {Account{"Bank of Example", "jane.doe", "s3cret!pw", "www.bank.example",
                                     "Security question: first pet.\nPIN is not stored here.", 45},
                             Account{"Web mail", "jane@example.com", "c0rrect-horse", "https://mail.example", "", -3},
                             Account{"Library card", "123456789", "4321", "", "Renew every year.", 200}}) {
      dm_->qryPasswords.Append();
      dm_->qryPasswords.FieldByName("Description").setAsString(a.description);
      dm_->qryPasswords.FieldByName("ID").setAsString(a.id);
      dm_->qryPasswords.FieldByName("Password").setAsString(a.password);
      dm_->qryPasswords.FieldByName("URL").setAsString(a.url);
      dm_->qryPasswords.FieldByName("Notes").setAsString(a.notes);
      dm_->qryPasswords.FieldByName("ExpireDate").setAsDateTime(QDateTime(QDate::currentDate().addDays(a.expiresInDays), QTime()));
      dm_->qryPasswords.FieldByName("AssignDate").setAsDateTime(QDateTime(QDate::currentDate().addDays(-300), QTime()));
      dm_->qryPasswords.Post();
    }
    dm_->qryPasswords.Close();
    dm_->qryPasswords.Open();
    commands().RefreshItemCount();
    w().GridDescription->setFocus();
    QTest::mouseClick(w().DateExpire, Qt::LeftButton, {}, QPoint(w().DateExpire->width() - 8, w().DateExpire->height() / 2));
    QTRY_VERIFY(w().DateExpire->calendarWidget()->isVisible());
    QVERIFY(w().DateExpire->calendarWidget()->window()->grab().save(QDir(out).filePath("DateExpireCalendar.png")));
    w().DateExpire->calendarWidget()->window()->close();
    commands().PopupMenuGridPopup();
    commands().PopupMenuGrid()->popup(w().GridDescription->viewport()->mapToGlobal(QPoint(40, 30)));
    commands().TransferMenu()->popup(commands().PopupMenuGrid()->geometry().topRight());
    QTest::qWait(50);
    QVERIFY(commands().PopupMenuGrid()->grab().save(QDir(out).filePath("PopupMenuGrid.png")));
    QVERIFY(commands().TransferMenu()->grab().save(QDir(out).filePath("PopupMenuGridTransfer.png")));
    commands().TransferMenu()->close();
    commands().PopupMenuGrid()->close();
    TfrmEditGroup group(*dm_, TDialogMode::New, host_.get());
    group.show();
    QTest::keyClicks(group.box, "web shops");
    QVERIFY(group.grab().save(QDir(out).filePath("EditGroup.png")));
    group.reject();
    TfrmEditDescription description(*dm_, TDialogMode::Edit, host_.get());
    description.show();
    QVERIFY(description.grab().save(QDir(out).filePath("EditDescription.png")));
    description.reject();
  }

  void commandsWithoutADatabaseDoNothing() {
    dm_ = std::make_unique<TDM>();
    host_ = std::make_unique<TAccountTestHost>(*dm_);
    MessageBox::Script script;
    commands().mnuGroupsNewClick();
    commands().mnuGroupsEditClick();
    commands().mnuGroupsDeleteClick();
    commands().mnuPasswordsAddClick();
    commands().mnuPasswordsEditDescriptionClick();
    commands().mnuPasswordsDeleteClick();
    commands().cmdSaveMemoClick();
    commands().mnuEditUndoClick();
    commands().PopupMenuGridPopup();
    QVERIFY(script.Boxes().empty());
    QVERIFY(!QApplication::activeModalWidget());
  }
};

QTEST_MAIN(AccountCommandsTest)
#include "account_commands_test.moc"
