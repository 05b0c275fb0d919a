// The find dialog on a real file: statements, scopes, counts, the character
// filter, pasted text and going to a hit.
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "data/FindStatement.h"
#include "feature_fixture.h"
#include "gui/Find.h"
#include "gui/MessageBox.h"
#include "gui/controls/DBControls.h"

class FindTest : public QObject {
  Q_OBJECT

  QTemporaryDir root_;
  std::unique_ptr<FeatureFixture> fx_;
  int bankMail_ = 0, bankNotes_ = 0, club_ = 0, misc_ = 0;

  std::unique_ptr<TfrmFind> openDialog() {
    auto dialog = std::make_unique<TfrmFind>(*fx_->dm, &fx_->mainWindow);
    dialog->show();
    return dialog;
  }
  // Types `text` into the search box as keys, then Enter.
  void search(TfrmFind& dialog, const QString& text, int scope) {
    dialog.cboWhere->setCurrentIndex(scope);
    dialog.txtFind->clear();
    QTest::keyClicks(dialog.txtFind, text);
    QTest::keyClick(dialog.txtFind, Qt::Key_Return);
  }
  // The hits as "group/description", in result order.
  QStringList hits() {
    QStringList out;
    TQuery& q = fx_->dm->qryFind;
    if (!q.Active()) return out;
    for (int r = 0; r < q.RecordCount(); ++r)
      out << q.DisplayTextAt(r, q.FieldByName("Name")) + "/" + q.DisplayTextAt(r, q.FieldByName("Description"));
    out.sort();
    return out;
  }

 private slots:
  void initTestCase() {
    QVERIFY(root_.isValid());
    FeatureFixture::UseRoot(root_);
  }
  void init() {
    fx_ = std::make_unique<FeatureFixture>();
    // Every field that "All" searches holds "bank" in one account or another.
    bankMail_ = fx_->AddAccount("Email Accounts", "Mail", {{"ID", "joe@BANK.example"}, {"Password", "s3cret"}});
    bankNotes_ = fx_->AddAccount("Web Subscriptions", "News",
                                 {{"Notes", "paid by the Bank"}, {"URL", "https://news.example/"}, {"Password", "x1"}});
    club_ = fx_->AddAccount("Web Discussion Boards", "Club", {{"URL", "https://bank.example/forum"}});
    misc_ = fx_->AddAccount("Misc Accounts", "Banking app", {{"Password", "Banker99"}, {"Notes", "say \"hi\" [x]?"}});
    fx_->AddAccount("Misc Accounts", "Gym", {{"ID", "gymuser"}});
  }
  void cleanup() { fx_.reset(); }

  void statementsAreExactlyAsWritten() {
    const QString select =
        "SELECT Groups.GroupID, Passwords.PasswordID,Groups.Name, Passwords.Description, Passwords.ID, "
        "Passwords.Password, Passwords.URL, Passwords.Notes FROM Groups INNER JOIN Passwords ON Groups.GroupID = "
        "Passwords.GroupID WHERE ";
    QCOMPARE(FindStatement::Build("bank", 1), select + "(Groups.Name Like \"*bank*\");");
    QCOMPARE(FindStatement::Build("bank", 6), select + "(Passwords.Notes Like \"*bank*\");");
    QCOMPARE(FindStatement::Build("bank", 0),
             select +
                 "(((Passwords.ID) Like \"*bank*\")) OR (((Passwords.Password) Like \"*bank*\")) OR "
                 "(((Passwords.URL) Like \"*bank*\")) OR (((Passwords.Notes) Like \"*bank*\")) OR "
                 "(((Groups.Name) Like \"*bank*\")) OR(((Passwords.Description) Like \"*bank*\"));");
    QCOMPARE(FindStatement::Build("bank", 9), FindStatement::Build("bank", 0));
    // What only pasting can bring in means itself.
    QCOMPARE(FindStatement::Pattern("a\"b?c[d*#"), QStringLiteral("\"*a\"\"b[?]c[[]d*#*\""));
    QCOMPARE(FindStatement::CountText(1), QStringLiteral(" 1 account found"));
    QCOMPARE(FindStatement::CountText(2), QStringLiteral(" 2 accounts found"));
    QCOMPARE(FindStatement::CountText(0), QStringLiteral(" 0 accounts found"));
  }

  void typedCharacterFilter() {
    auto dialog = openDialog();
    QTest::keyClicks(dialog->txtFind, "a\"b:c;d<e=f>g?h@i[j]k{l|m}n!#$9^_`~\\ Z");
    QCOMPARE(dialog->txtFind->text(), QStringLiteral("abcdefghijklmn!#$9^_`~\\ Z"));
    for (const QString& c : {QString::fromUtf8("\u00e9"), QString::fromUtf8("\u20ac"), QStringLiteral("\x01")}) {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, c);
      QApplication::sendEvent(dialog->txtFind, &press);
    }
    QTest::keyClick(dialog->txtFind, Qt::Key_Backspace);
    QCOMPARE(dialog->txtFind->text(), QStringLiteral("abcdefghijklmn!#$9^_`~\\ "));
  }

  void scopeAllFindsEachAccountOnce() {
    auto dialog = openDialog();
    search(*dialog, "bank", FindStatement::fsAll);
    QCOMPARE(hits(), QStringList({"Email Accounts/Mail", "Misc Accounts/Banking app", "Web Discussion Boards/Club",
                                  "Web Subscriptions/News"}));
    QCOMPARE(dialog->SBPanel->text(), QStringLiteral(" 4 accounts found"));
    QCOMPARE(dialog->focusWidget(), static_cast<QWidget*>(dialog->DBGridFind));
    QCOMPARE(dialog->DBGridFind->model()->rowCount(), 4);
    // A group name matches every account of the group, each once.
    search(*dialog, "misc", FindStatement::fsAll);
    QCOMPARE(hits(), QStringList({"Misc Accounts/Banking app", "Misc Accounts/Gym"}));
  }

  void eachScopeSearchesItsField_data() {
    QTest::addColumn<int>("scope");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("group name") << int(FindStatement::fsGroupName) << "web"
                                << QStringList{"Web Discussion Boards/Club", "Web Subscriptions/News"};
    QTest::newRow("description") << int(FindStatement::fsDescription) << "BANK"
                                 << QStringList{"Misc Accounts/Banking app"};
    QTest::newRow("password") << int(FindStatement::fsPassword) << "cre" << QStringList{"Email Accounts/Mail"};
    QTest::newRow("id") << int(FindStatement::fsID) << "user" << QStringList{"Misc Accounts/Gym"};
    QTest::newRow("internet") << int(FindStatement::fsInternet) << "bank" << QStringList{"Web Discussion Boards/Club"};
    QTest::newRow("notes") << int(FindStatement::fsNotes) << "bank" << QStringList{"Web Subscriptions/News"};
    QTest::newRow("digit") << int(FindStatement::fsPassword) << "#"
                           << QStringList{"Email Accounts/Mail", "Misc Accounts/Banking app", "Web Subscriptions/News"};
    QTest::newRow("star") << int(FindStatement::fsPassword) << "b*9" << QStringList{"Misc Accounts/Banking app"};
  }
  void eachScopeSearchesItsField() {
    QFETCH(int, scope);
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    auto dialog = openDialog();
    search(*dialog, text, scope);
    QCOMPARE(hits(), expected);
    QCOMPARE(dialog->SBPanel->text(), FindStatement::CountText(int(expected.size())));
  }

  void blanksTrimmedEmptyAndNoHit() {
    MessageBox::Script script;
    auto dialog = openDialog();
    search(*dialog, "   gym  ", FindStatement::fsDescription);
    QCOMPARE(hits(), QStringList({"Misc Accounts/Gym"}));
    QCOMPARE(dialog->SBPanel->text(), QStringLiteral(" 1 account found"));
    // Only blanks: no search, the box emptied, the list closed.
    search(*dialog, "    ", FindStatement::fsAll);
    QVERIFY(!fx_->dm->qryFind.Active());
    QCOMPARE(dialog->txtFind->text(), QString());
    QCOMPARE(dialog->SBPanel->text(), QStringLiteral(" 0 accounts found"));
    // No hit: the text is selected for retyping, no message box.
    search(*dialog, "nothing like it", FindStatement::fsAll);
    QCOMPARE(dialog->SBPanel->text(), QStringLiteral(" 0 accounts found"));
    QCOMPARE(dialog->txtFind->selectedText(), QStringLiteral("nothing like it"));
    QCOMPARE(dialog->focusWidget(), static_cast<QWidget*>(dialog->txtFind));
    QVERIFY(script.Boxes().empty());
    // OK with no hit does nothing.
    QTest::mouseClick(dialog->cmdOK, Qt::LeftButton);
    QVERIFY(dialog->isVisible());
  }

  // Pasted text keeps the statement well-formed and is searched as it reads.
  void pastedTextMeansWhatWasPasted() {
    MessageBox::Script script;
    auto dialog = openDialog();
    for (const QString& pasted : {QStringLiteral("\"hi\""), QStringLiteral("[x]?"), QStringLiteral("say \"hi\" [x]?")}) {
      dialog->cboWhere->setCurrentIndex(FindStatement::fsNotes);
      dialog->txtFind->setText(pasted);
      QTest::mouseClick(dialog->cmdFind, Qt::LeftButton);
      QCOMPARE(hits(), QStringList({"Misc Accounts/Banking app"}));
    }
    // Quotes that would close the pattern early find nothing rather than
    // changing the condition.
    dialog->cboWhere->setCurrentIndex(FindStatement::fsAll);
    dialog->txtFind->setText("\") OR (\"\"=\"");
    QTest::mouseClick(dialog->cmdFind, Qt::LeftButton);
    QCOMPARE(hits(), QStringList());
    dialog->txtFind->setText("?");
    QTest::mouseClick(dialog->cmdFind, Qt::LeftButton);
    QCOMPARE(hits(), QStringList({"Misc Accounts/Banking app"}));
    QVERIFY(script.Boxes().empty());
    // Text the store cannot hold is refused with a message; the dialog stays.
    dialog->txtFind->setText(QString::fromUtf8("\u4e2d"));
    QTest::mouseClick(dialog->cmdFind, Qt::LeftButton);
    QVERIFY(dialog->isVisible());
    QCOMPARE(hits(), QStringList());
    QCOMPARE(script.Boxes().size(), std::size_t(1));
    QCOMPARE(script.Boxes().back().icon, QMessageBox::Critical);
    QVERIFY(script.LastText().contains("Windows-1252"));
    QCOMPARE(dialog->SBPanel->text(), QStringLiteral(" 0 accounts found"));
  }

  void goToAHitInAnotherGroup() {
    fx_->SelectGroup("Email Accounts");
    auto dialog = openDialog();
    search(*dialog, "club", FindStatement::fsDescription);
    QCOMPARE(dialog->focusWidget(), static_cast<QWidget*>(dialog->DBGridFind));
    QTest::keyClick(dialog->DBGridFind, Qt::Key_Return);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(fx_->CurrentGroup(), QStringLiteral("Web Discussion Boards"));
    QCOMPARE(fx_->SelectedGroupOption(), QStringLiteral("Web Discussion Boards"));
    QCOMPARE(fx_->dm->qryOptions.State(), TDataSetState::dsBrowse);  // posted
    QCOMPARE(fx_->CurrentAccount(), QStringLiteral("Club"));
    QCOMPARE(fx_->dm->qryPasswords.FieldByName("PasswordID").AsInteger(), club_);
  }

  void typeAheadOnGroupNameThenOk() {
    auto dialog = openDialog();
    search(*dialog, "bank", FindStatement::fsAll);
    QTest::keyClick(dialog->DBGridFind, Qt::Key_M);
    QCOMPARE(fx_->dm->qryFind.FieldByName("Name").AsString(), QStringLiteral("Misc Accounts"));
    QCOMPARE(dialog->DBGridFind->currentIndex().row(), fx_->dm->qryFind.RecNo());
    const int before = fx_->dm->qryFind.RecNo();
    QTest::keyClick(dialog->DBGridFind, Qt::Key_Q);  // no group starts with q
    QCOMPARE(fx_->dm->qryFind.RecNo(), before);
    QTest::mouseClick(dialog->cmdOK, Qt::LeftButton);
    QCOMPARE(fx_->CurrentGroup(), QStringLiteral("Misc Accounts"));
    QCOMPARE(fx_->dm->qryPasswords.FieldByName("PasswordID").AsInteger(), misc_);
  }

  void scopeIsRememberedAndOutOfRangeFallsBackToAll() {
    {
      auto dialog = openDialog();
      QCOMPARE(dialog->cboWhere->currentIndex(), 0);
      QCOMPARE(dialog->cboWhere->count(), 7);
      QCOMPARE(dialog->cboWhere->itemText(2), QStringLiteral("Password Description"));
      dialog->cboWhere->setCurrentIndex(5);
      QTest::keyClick(dialog.get(), Qt::Key_Escape);
    }
    QCOMPARE(Settings::ReadInt("SearchOptions", "index", -1), 5);
    auto dialog = openDialog();
    QCOMPARE(dialog->cboWhere->currentIndex(), 5);
    dialog->reject();
    Settings::WriteInt("SearchOptions", "index", 12);
    auto third = openDialog();
    QCOMPARE(third->cboWhere->currentIndex(), 0);
  }
};

QTEST_MAIN(FindTest)
#include "find_test.moc"
