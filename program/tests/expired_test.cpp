// Expired passwords on a real file: which accounts are listed and in what
// order, the count texts, the reminder and its switch, and going to an
// account of another group.
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "data/AccountNavigation.h"
#include "feature_fixture.h"
#include "gui/Expired.h"
#include "gui/MessageBox.h"
#include "gui/controls/DBControls.h"

class ExpiredTest : public QObject {
  Q_OBJECT

  QTemporaryDir root_;
  std::unique_ptr<FeatureFixture> fx_;

  static QVariantMap expires(int daysFromToday) {
    return {{"ExpireDate", QDateTime(QDate::currentDate().addDays(daysFromToday), QTime(15, 45))}};
  }
  // Runs `command`; if it opens a modal dialog, `act` gets it. Answers
  // whether a dialog opened.
  bool runModal(const std::function<void()>& command, const std::function<void(TfrmExpired*)>& act) {
    bool opened = false;
    QTimer::singleShot(0, [&] {
      if (auto* dialog = qobject_cast<TfrmExpired*>(QApplication::activeModalWidget())) {
        opened = true;
        act(dialog);
        if (dialog->isVisible()) dialog->reject();
      }
    });
    command();
    QCoreApplication::processEvents();
    return opened;
  }
  void openExpired() {
    fx_->dm->qryExpired.Close();
    fx_->dm->qryExpired.Open();
  }
  QStringList rows() {
    QStringList out;
    TQuery& q = fx_->dm->qryExpired;
    for (int r = 0; r < q.RecordCount(); ++r)
      out << q.DisplayTextAt(r, q.FieldByName("ExpireDate")) + " " + q.DisplayTextAt(r, q.FieldByName("Name")) + "/" +
                 q.DisplayTextAt(r, q.FieldByName("Description"));
    return out;
  }
  static QString day(int daysFromToday) { return QDate::currentDate().addDays(daysFromToday).toString("MM/dd/yyyy"); }

 private slots:
  void initTestCase() {
    QVERIFY(root_.isValid());
    FeatureFixture::UseRoot(root_);
  }
  void init() { fx_ = std::make_unique<FeatureFixture>(); }
  void cleanup() { fx_.reset(); }

  void todayListedTomorrowAndNoneNotInOrder() {
    fx_->AddAccount("Web Subscriptions", "Today", expires(0));
    fx_->AddAccount("Misc Accounts", "Tomorrow", expires(1));
    fx_->AddAccount("Misc Accounts", "Never");
    fx_->AddAccount("Misc Accounts", "Zoo", expires(-3));
    fx_->AddAccount("Misc Accounts", "Alpha", expires(-3));
    fx_->AddAccount("Email Accounts", "Mail", expires(-3));
    fx_->AddAccount("Web Subscriptions", "Old", expires(-400));
    openExpired();
    // By date, then group name, then description.
    QCOMPARE(rows(), QStringList({day(-400) + " Web Subscriptions/Old", day(-3) + " Email Accounts/Mail",
                                  day(-3) + " Misc Accounts/Alpha", day(-3) + " Misc Accounts/Zoo",
                                  day(0) + " Web Subscriptions/Today"}));
    TfrmExpired dialog(*fx_->dm, &fx_->mainWindow);
    QCOMPARE(dialog.windowTitle(), QStringLiteral(" Expired Accounts"));
    QCOMPARE(dialog.SBPanel->text(), QStringLiteral(" 5 expired passwords"));
    QCOMPARE(dialog.DBCtrlGridExpired->model()->rowCount(), 5);
    QCOMPARE(dialog.DBCtrlGridExpired->model()->index(0, 0).data().toString(), day(-400));
    QCOMPARE(dialog.DBCtrlGridExpired->model()->index(0, 1).data().toString(), QStringLiteral("Old"));
    QCOMPARE(dialog.DBCtrlGridExpired->model()->index(0, 2).data().toString(), QStringLiteral("Web Subscriptions"));
    QCOMPARE(dialog.HeaderControl1->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Account"));
    QVERIFY(dialog.chkRemind->isHidden());
  }

  void countTexts() {
    QCOMPARE(AccountNavigation::ExpiredCountText(1), QStringLiteral(" 1 expired password"));
    QCOMPARE(AccountNavigation::ExpiredCountText(0), QStringLiteral(" 0 expired passwords"));
    fx_->AddAccount("Misc Accounts", "Only", expires(-1));
    openExpired();
    TfrmExpired dialog(*fx_->dm, &fx_->mainWindow);
    QCOMPARE(dialog.SBPanel->text(), QStringLiteral(" 1 expired password"));
  }

  void menuCommandWithNoneSaysSo() {
    fx_->AddAccount("Misc Accounts", "Tomorrow", expires(1));
    MessageBox::Script script;
    QVERIFY(!runModal([&] { ShowExpiredPasswords(*fx_->dm, &fx_->mainWindow); }, [](TfrmExpired*) {}));
    QCOMPARE(script.LastText(), QStringLiteral("No passwords have expired"));
    QCOMPARE(script.Boxes().back().icon, QMessageBox::Information);
    // The reminder says nothing.
    script.Clear();
    QVERIFY(!runModal([&] { RemindExpiredPasswords(*fx_->dm, &fx_->mainWindow); }, [](TfrmExpired*) {}));
    QVERIFY(script.Boxes().empty());
  }

  void dontRemindMeStopsTheReminderOnly() {
    fx_->AddAccount("Misc Accounts", "Old", expires(-2));
    // Absent setting: the reminder shows, with the box visible and unticked.
    bool sawBox = false;
    QVERIFY(runModal([&] { RemindExpiredPasswords(*fx_->dm, &fx_->mainWindow); },
                     [&](TfrmExpired* dialog) {
                       sawBox = dialog->chkRemind->isVisible() && !dialog->chkRemind->isChecked();
                       QTest::mouseClick(dialog->chkRemind, Qt::LeftButton);
                       QTest::mouseClick(dialog->cmdClose, Qt::LeftButton);
                     }));
    QVERIFY(sawBox);
    QCOMPARE(Settings::ReadBool("ExpireOptions", "remind", false), true);
    QVERIFY(!runModal([&] { RemindExpiredPasswords(*fx_->dm, &fx_->mainWindow); }, [](TfrmExpired*) {}));
    // The menu still lists them; closing writes the hidden box back unchanged.
    bool hidden = false;
    QVERIFY(runModal([&] { ShowExpiredPasswords(*fx_->dm, &fx_->mainWindow); },
                     [&](TfrmExpired* dialog) {
                       hidden = dialog->chkRemind->isHidden();
                       QTest::keyClick(dialog, Qt::Key_Escape);
                     }));
    QVERIFY(hidden);
    QCOMPARE(Settings::ReadBool("ExpireOptions", "remind", false), true);
    // From the menu with no setting at all, closing creates it as false.
    QFile::remove(Settings::FilePath());
    QVERIFY(runModal([&] { ShowExpiredPasswords(*fx_->dm, &fx_->mainWindow); }, [](TfrmExpired*) {}));
    QCOMPARE(Settings::ReadText("ExpireOptions", "remind", "absent"), QStringLiteral("0"));
  }

  void goToAccountAcrossGroups() {
    fx_->AddAccount("Email Accounts", "First", expires(-5));
    const int target = fx_->AddAccount("Web Subscriptions", "Second", expires(-1));
    fx_->AddAccount("Web Subscriptions", "Another");
    fx_->SelectGroup("Email Accounts");
    openExpired();
    TfrmExpired dialog(*fx_->dm, &fx_->mainWindow);
    dialog.show();
    QTest::keyClick(dialog.DBCtrlGridExpired, Qt::Key_Down);
    QCOMPARE(fx_->dm->qryExpired.RecNo(), 1);
    QTest::keyClick(dialog.DBCtrlGridExpired, Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(fx_->CurrentGroup(), QStringLiteral("Web Subscriptions"));
    QCOMPARE(fx_->SelectedGroupOption(), QStringLiteral("Web Subscriptions"));
    QCOMPARE(fx_->dm->qryOptions.State(), TDataSetState::dsBrowse);
    QCOMPARE(fx_->CurrentAccount(), QStringLiteral("Second"));
    QCOMPARE(fx_->dm->qryPasswords.FieldByName("PasswordID").AsInteger(), target);

    // Double-click on a row and the button do the same.
    openExpired();
    TfrmExpired again(*fx_->dm, &fx_->mainWindow);
    again.show();
    const QRect first = again.DBCtrlGridExpired->visualRect(again.DBCtrlGridExpired->model()->index(0, 1));
    QTest::mouseClick(again.DBCtrlGridExpired->viewport(), Qt::LeftButton, {}, first.center());
    QTest::mouseDClick(again.DBCtrlGridExpired->viewport(), Qt::LeftButton, {}, first.center());
    QVERIFY(!again.isVisible());
    QCOMPARE(fx_->CurrentGroup(), QStringLiteral("Email Accounts"));
    QCOMPARE(fx_->CurrentAccount(), QStringLiteral("First"));
  }
};

QTEST_MAIN(ExpiredTest)
#include "expired_test.moc"
