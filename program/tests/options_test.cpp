// The options dialog and the two apply operations, driven as a user does,
// over a real password database opened through the engine.
#include <stdlib.h>

#include <QFile>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "data/DataModule.h"
#include "data/DatabaseFiles.h"
#include "data/Settings.h"
#include "gui/MessageBox.h"
#include "gui/Options.h"
#include "gui/controls/BackgroundPanel.h"
#include "gui/controls/DBControls.h"
#include "screenshot_support.h"

class OptionsTest : public QObject {
  Q_OBJECT

  QTemporaryDir root_;
  QTemporaryDir home_;
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<TDM> dm_;
  // Stand-ins for the main window's account page.
  std::unique_ptr<QWidget> page_;
  TBackgroundPanel* background_ = nullptr;
  QLineEdit* password_ = nullptr;

  TQuery& options() { return dm_->qryOptions; }

  void setOption(const QString& field, const QVariant& value) {
    options().Edit();
    options().FieldByName(field).setAsVariant(value);
    options().Post();
  }

  // What the file holds now, read past the data set's pending edits.
  QString storedOption(const QString& field) {
    dm_->qryTemp.Close();
    dm_->qryTemp.setSQL(QStringLiteral("select * from options"));
    dm_->qryTemp.Open();
    const QString value = dm_->qryTemp.FieldByName(field).AsString();
    dm_->qryTemp.Close();
    return value;
  }

  void addAccount(const QString& description) {
    dm_->qryPasswords.Append();
    dm_->qryPasswords.FieldByName("Description").setAsString(description);
    dm_->qryPasswords.FieldByName("Password").setAsString("s3cret");
    dm_->qryPasswords.Post();
  }

  static void typeInto(QLineEdit* box, const QString& text) {
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, text);
  }

 private slots:
  void initTestCase() {
    QVERIFY(root_.isValid() && home_.isValid());
    setenv("KBE_ROOT", root_.path().toUtf8().constData(), 1);
    setenv("KEYHAVEN_HOME", home_.path().toUtf8().constData(), 1);
    // One new file, copied for each case (making a file is slow on purpose).
    CreateDatabaseFile(root_.filePath("template.pdb"), "master", true);
  }

  void init() {
    QFile::remove(Settings::FilePath());
    QDir(Settings::FilePath()).removeRecursively();
    Settings::LoadSounds();
    dir_ = std::make_unique<QTemporaryDir>();
    const QString file = dir_->filePath("accounts.pdb");
    QVERIFY(QFile::copy(root_.filePath("template.pdb"), file));
    dm_ = std::make_unique<TDM>();
    dm_->DMCreate({file});
    dm_->DB.setParams({QStringLiteral("CONNECT=;PWD=master")});
    dm_->DB.Open();
    dm_->qryGroups.Open();
    dm_->qryPasswords.Open();
    dm_->qryOptions.Open();
    page_ = std::make_unique<QWidget>();
    page_->resize(316, 380);
    background_ = new TBackgroundPanel(page_.get());
    background_->setGeometry(page_->rect());
    password_ = new QLineEdit(page_.get());
    password_->setGeometry(20, 60, 200, 24);
    password_->setText("s3cret");
  }

  void cleanup() {
    page_.reset();
    dm_.reset();
    dir_.reset();
  }

  void creationShowsTheRowAndTheDefaults() {
    // No settings file: the reminder box starts unticked although an opening
    // database would remind; the others show their defaults.
    QVERIFY(!QFile::exists(Settings::FilePath()));
    TfrmOptions dialog(*dm_, background_, password_);
    QCOMPARE(dialog.windowTitle(), QString("Options"));
    QCOMPARE(dialog.pages->count(), 4);
    QCOMPARE(dialog.pages->tabText(0), QString("General"));
    QCOMPARE(dialog.pages->tabText(3), QString("Advanced"));
    QVERIFY(!dialog.chkRemind->isChecked());
    QVERIFY(dialog.chkAutoCase->isChecked());
    QVERIFY(!dialog.chkMaximize->isChecked());
    QVERIFY(dialog.chkButtonSound->isChecked());
    QVERIFY(dialog.chkAccess->isChecked());
    QCOMPARE(dialog.cboStyle->currentText(), QString("None"));
    QCOMPARE(dialog.cboStyle->count(), 15);
    QCOMPARE(dialog.cboViewPassword->currentIndex(), 1);
    QCOMPARE(dialog.cboViewPassword->currentText(), QString("Mouse moves over password"));
    QVERIFY(dialog.chkPrompt->isChecked());
    QVERIFY(dialog.cboRestorePermission->isChecked());
    QCOMPARE(dialog.cboDBMaintenance->currentText(), QString("100"));
    QCOMPARE(dialog.cboDBMaintenance->count(), 20);
    QCOMPARE(dialog.cboDBMaintenance->itemText(19), QString("200"));
    QCOMPARE(dialog.cboDBMaintenance->lineEdit()->maxLength(), 10);
    // Nothing was written by opening the dialog.
    QCOMPARE(options().State(), TDataSetState::dsBrowse);
    QVERIFY(!QFile::exists(Settings::FilePath()));

    // OK writes every key; "remind" is the reverse of the box.
    dialog.show();
    QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(Settings::ReadBool("ExpireOptions", "remind", false), true);
    QCOMPARE(Settings::ReadBool("Options", "autocase", false), true);
    QCOMPARE(Settings::ReadBool("Options", "maximized", true), false);
  }

  void maintenanceIntervalCapsTheCounter_data() {
    QTest::addColumn<QString>("interval");
    QTest::addColumn<int>("counter");
    QTest::newRow("20 below the counter") << "20" << 20;
    QTest::newRow("200 above the counter") << "200" << 57;
    QTest::newRow("57 equal to the counter") << "57" << 57;
  }
  void maintenanceIntervalCapsTheCounter() {
    QFETCH(QString, interval);
    QFETCH(int, counter);
    setOption("dbmaintcount", 57);
    TfrmOptions dialog(*dm_, background_, password_);
    dialog.show();
    dialog.pages->setCurrentIndex(3);
    typeInto(dialog.cboDBMaintenance->lineEdit(), interval);
    QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(options().State(), TDataSetState::dsBrowse);
    QCOMPARE(storedOption("dbmaintfreq"), interval);
    QCOMPARE(storedOption("dbmaintcount").toInt(), counter);
  }

  void styleChangeShowsAtOnceAndCancelLeavesItPending() {
    setOption("style", "Hanoi");
    ApplyBackgroundStyle(*dm_, *background_);
    QVERIFY(!background_->isHidden());
    QCOMPARE(background_->FillStyle(), QString("Hanoi"));

    TfrmOptions dialog(*dm_, background_, password_);
    dialog.show();
    QCOMPARE(dialog.cboStyle->currentText(), QString("Hanoi"));
    dialog.cboStyle->setFocus();
    QTest::keyClick(dialog.cboStyle, Qt::Key_Home);  // "Adobe"
    QCOMPARE(background_->FillStyle(), QString("Adobe"));
    dialog.cboStyle->setCurrentIndex(dialog.cboStyle->findText("None"));
    QVERIFY(background_->isHidden());
    QTest::mouseClick(dialog.cmdCancel, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));

    // Hidden still; the row holds "None" but the file does not yet.
    QVERIFY(background_->isHidden());
    QCOMPARE(options().State(), TDataSetState::dsEdit);
    QCOMPARE(options().FieldByName("style").AsString(), QString("None"));
    QCOMPARE(storedOption("style"), QString("Hanoi"));
    QVERIFY(!QFile::exists(Settings::FilePath()));
    // The next post (as closing the database does) stores it.
    options().Post();
    QCOMPARE(storedOption("style"), QString("None"));
  }

  void centredOnTheMainWindowWithOnlyACloseBox() {
    QWidget main;
    main.setGeometry(101, 57, 613, 465);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    TfrmOptions dialog(*dm_, background_, password_, &main);
    const QRect frame = main.frameGeometry();
    QCOMPARE(dialog.pos(), QPoint(frame.left() + frame.width() / 2 - dialog.width() / 2,
                                  frame.top() + frame.height() / 2 - dialog.height() / 2));
    QVERIFY(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(dialog.windowFlags() & (Qt::WindowContextHelpButtonHint | Qt::WindowMinMaxButtonsHint)));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
  }

  void showOptionsRunsTheDialogModally() {
    // What the main window's Options command calls.
    QTimer::singleShot(0, [&] {
      auto* dialog = page_->findChild<TfrmOptions*>();
      QVERIFY(dialog && dialog->isModal() && dialog->isVisible());
      dialog->chkMaximize->click();
      QTest::mouseClick(dialog->cmdOK, Qt::LeftButton);
    });
    ShowOptions(*dm_, background_, password_, page_.get());
    QVERIFY(!page_->findChild<TfrmOptions*>());  // released when closed
    QCOMPARE(Settings::ReadBool("Options", "maximized", false), true);
  }

  void escapeClosesWithoutWriting() {
    TfrmOptions dialog(*dm_, background_, password_);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.chkMaximize->click();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(!QFile::exists(Settings::FilePath()));
  }

  void boundBoxesWriteTheRow() {
    TfrmOptions dialog(*dm_, background_, password_);
    dialog.show();
    dialog.pages->setCurrentIndex(1);
    QTest::mouseClick(dialog.cboRestorePermission, Qt::LeftButton, {}, QPoint(6, dialog.cboRestorePermission->height() / 2));
    dialog.pages->setCurrentIndex(0);
    QTest::mouseClick(dialog.chkPrompt, Qt::LeftButton, {}, QPoint(6, dialog.chkPrompt->height() / 2));
    QVERIFY(!dialog.cboRestorePermission->isChecked());
    QVERIFY(!dialog.chkPrompt->isChecked());
    QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
    QCOMPARE(options().FieldByName("pwdsystray").AsBoolean(), false);
    QCOMPARE(options().FieldByName("promptpassword").AsBoolean(), false);
    QCOMPARE(storedOption("pwdsystray"), options().FieldByName("pwdsystray").AsString());
  }

  void soundSwitchesChangeWithoutRestart() {
    QVERIFY(Settings::Sounds().buttons);
    TfrmOptions dialog(*dm_, background_, password_);
    dialog.show();
    dialog.pages->setCurrentIndex(2);
    QTest::mouseClick(dialog.chkButtonSound, Qt::LeftButton, {}, QPoint(6, dialog.chkButtonSound->height() / 2));
    QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
    QCOMPARE(Settings::Sounds().buttons, false);
    QCOMPARE(Settings::Sounds().access, true);
    QCOMPARE(Settings::ReadBool("SoundOptions", "buttons", true), false);
  }

  void showPasswordAppliesTheMask_data() {
    QTest::addColumn<int>("choice");
    QTest::addColumn<bool>("withAccount");
    QTest::addColumn<int>("echo");
    QTest::newRow("always, account") << 0 << true << int(QLineEdit::Normal);
    QTest::newRow("mouse, account") << 1 << true << int(QLineEdit::Password);
    QTest::newRow("editing, account") << 2 << true << int(QLineEdit::Password);
    // Without an account the mask is left alone (OK still applies modes 0 and 1 to the box).
    QTest::newRow("always, empty group") << 0 << false << int(QLineEdit::Normal);
    QTest::newRow("editing, empty group") << 2 << false << int(QLineEdit::Normal);
  }
  void showPasswordAppliesTheMask() {
    QFETCH(int, choice);
    QFETCH(bool, withAccount);
    QFETCH(int, echo);
    if (withAccount) addAccount("Mail one");
    password_->setEchoMode(choice == 0 ? QLineEdit::Password : QLineEdit::Normal);
    TfrmOptions dialog(*dm_, background_, password_);
    dialog.show();
    dialog.cboViewPassword->setCurrentIndex(choice);
    QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
    QCOMPARE(int(password_->echoMode()), echo);
    QCOMPARE(storedOption("showpassword").toInt(), choice);
    QCOMPARE(dm_->qryPasswords.State(), TDataSetState::dsBrowse);
    if (echo == QLineEdit::Password) QVERIFY(password_->styleSheet().contains("lineedit-password-character: 42"));
  }

  void maskOnAnAccountBeingEditedKeepsTheEdit() {
    addAccount("Mail one");
    dm_->qryPasswords.Edit();
    dm_->qryPasswords.FieldByName("ID").setAsString("ann");
    setOption("showpassword", 1);
    ApplyPasswordMask(*dm_, *password_);
    QCOMPARE(password_->echoMode(), QLineEdit::Password);
    QCOMPARE(dm_->qryPasswords.State(), TDataSetState::dsEdit);
    QCOMPARE(dm_->qryPasswords.FieldByName("ID").AsString(), QString("ann"));
    // An unknown value changes nothing.
    setOption("showpassword", 7);
    ApplyPasswordMask(*dm_, *password_);
    QCOMPARE(password_->echoMode(), QLineEdit::Password);
  }

  void unwritableSettingsFileKeepsTheDialogOpen() {
    // A directory where the settings file should be: every write fails.
    QVERIFY(QDir().mkpath(Settings::FilePath()));
    setOption("dbmaintcount", 57);
    MessageBox::Script script;
    TfrmOptions dialog(*dm_, background_, password_);
    dialog.show();
    typeInto(dialog.cboDBMaintenance->lineEdit(), "30");
    dialog.chkButtonSound->click();
    dialog.cboStyle->setCurrentIndex(dialog.cboStyle->findText("Sahara"));
    background_->hide();  // the background is not applied again after the failure
    QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
    QCOMPARE(script.Boxes().size(), size_t(1));
    QCOMPARE(script.Boxes()[0].icon, QMessageBox::Critical);
    QCOMPARE(script.LastText(), QString("Unable to write to %1").arg(Settings::FilePath()));
    QVERIFY(dialog.isVisible());
    // The row was posted before the settings; the switches stay as they were.
    QCOMPARE(storedOption("dbmaintcount"), QString("30"));
    QCOMPARE(storedOption("style"), QString("Sahara"));
    QCOMPARE(Settings::Sounds().buttons, true);
    QVERIFY(background_->isHidden());
    QDir(Settings::FilePath()).removeRecursively();
  }

  void fifteenDistinctFillStyles() {
    const QStringList names = TBackgroundPanel::StyleNames();
    QCOMPARE(names, QStringList({"Adobe", "Alcatraz", "ElPaso", "Hanoi", "Holes", "Hollywood", "Honolulu", "London",
                                 "Manhattan", "None", "Orleans", "Oshawa", "Philadelphia", "Pittsburg", "Sahara"}));
    // Each style, drawn on a panel, looks unlike every other.
    QList<QImage> looks;
    TBackgroundPanel panel;
    panel.resize(150, 120);
    for (const QString& name : names) {
      panel.setFillStyle(name);
      looks << panel.grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    for (int i = 0; i < looks.size(); ++i)
      for (int j = i + 1; j < looks.size(); ++j) QVERIFY2(looks[i] != looks[j], qPrintable(names[i] + " = " + names[j]));
    // Sharp on a high-density screen: the tile is drawn at the device ratio.
    QCOMPARE(TBackgroundPanel::Tile("Holes", 2.0).size(), TBackgroundPanel::Tile("Holes", 1.0).size() * 2);

    if (!ScreenshotDir().isEmpty()) {
      // A sheet of all fifteen, each under its name.
      const int w = 150, h = 120, cols = 5;
      QImage sheet(cols * (w + 10) + 10, 3 * (h + 30) + 10, QImage::Format_RGB32);
      sheet.fill(Qt::white);
      QPainter p(&sheet);
      for (int i = 0; i < names.size(); ++i) {
        const QPoint at(10 + (i % cols) * (w + 10), 10 + (i / cols) * (h + 30));
        p.drawImage(at, looks[i]);
        p.drawText(QRect(at.x(), at.y() + h + 2, w, 20), Qt::AlignCenter, names[i]);
      }
      p.end();
      SaveScreenshot(sheet, "background_styles");
    }
  }

  void screenshots() {
    if (ScreenshotDir().isEmpty()) QSKIP("KH_SCREENSHOTS not set");
    setOption("style", "Honolulu");
    TfrmOptions dialog(*dm_, background_, password_);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const char* names[] = {"options_general", "options_security", "options_sounds", "options_advanced"};
    for (int i = 0; i < 4; ++i) {
      dialog.pages->setCurrentIndex(i);
      QApplication::processEvents();
      SaveScreenshot(dialog, names[i]);
    }
  }
};

QTEST_MAIN(OptionsTest)
#include "options_test.moc"
