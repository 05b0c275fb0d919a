// The report windows driven as a user drives them: the selection dialog with
// its settings and messages, and the print preview with its boxes, buttons,
// shortcuts, printing and saving as PDF.
#include <sys/stat.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QtTest>

#include "gui/MessageBox.h"
#include "PrintPreview.h"
#include "ReportMessages.h"
#include "ReportSettings.h"
#include "SelectReport.h"
#include "report_fixture.h"

namespace {

TestAccount account(const char* group, const char* description) {
  TestAccount a;
  a.group = QString::fromLatin1(group);
  a.description = QString::fromLatin1(description);
  a.id = QStringLiteral("user");
  a.password = QStringLiteral("pw");
  a.assigned = QDate(2020, 1, 31);
  return a;
}

bool ownerOnly(const QString& path) {
  struct stat st {};
  return ::stat(QFile::encodeName(path).constData(), &st) == 0 && (st.st_mode & 0777) == 0600;
}

QByteArray readFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class ReportWindowsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<ReportDatabase> db_;
  std::unique_ptr<MessageBox::Script> script_;
  QStringList messages() const {
    QStringList texts;
    for (const auto& box : script_->Boxes()) texts << box.text;
    return texts;
  }

  // A preview of the full report of three groups, one per page.
  std::unique_ptr<TfrmPrintPreview> threePagePreview() {
    db_->add(account("Email Accounts", "Home mail"));
    db_->add(account("Misc Accounts", "Library"));
    db_->add(account("Web Subscriptions", "News"));
    TPasswordReports reports(*db_->dm);
    db_->openAllGroups(TPasswordReports::AllGroupsSQL());
    reports.Choices = {true, QStringLiteral("Title"), true};
    auto preview = std::make_unique<TfrmPrintPreview>();
    preview->ppViewer1->setDocument(ProduceReport(reports.ppRptPasswords));
    preview->setWindowState(Qt::WindowNoState);
    preview->resize(900, 700);
    preview->show();
    QApplication::setActiveWindow(preview.get());
    if (!QTest::qWaitForWindowActive(preview.get())) qWarning("preview not active");
    return preview;
  }

  void enter(QLineEdit* box, const QString& text) {
    box->setFocus();
    box->clear();
    QTest::keyClicks(box, text);
    QTest::keyClick(box, Qt::Key_Return);
  }

 private slots:
  void init() {
    db_ = std::make_unique<ReportDatabase>();
    script_ = std::make_unique<MessageBox::Script>();
  }
  void cleanup() {
    script_.reset();
    SetReportSaveFileNameHandler({});
    db_.reset();
  }

  void dialogLoadsDefaultsAndStoredSettings() {
    {
      TfrmSelectReport dialog(*db_->dm);
      QCOMPARE(dialog.windowTitle(), QStringLiteral("Select Report"));
      QCOMPARE(dialog.txtTitle->text(), QStringLiteral("Account Summary"));
      QVERIFY(dialog.chkDate->isChecked());
      QVERIFY(dialog.RBOne->isChecked());
      QCOMPARE(dialog.RGReportType->ItemIndex(), 0);
      QCOMPARE(dialog.RGType->ItemIndex(), 0);
      QCOMPARE(dialog.RGReportType->Button(1)->text(), QStringLiteral("All Groups"));
      QCOMPARE(dialog.RGType->Button(1)->text(), QStringLiteral("Concise"));
    }
    const struct {
      const char* ini;
      QString title;
      bool date, one;
      int type, concise;
    } cases[] = {
        {"[PrintOptions]\r\ntitle=ERROR\r\ndate=0\r\none=0\r\ntype=1\r\nconcise=1\r\n", "Account Summary", false,
         false, 1, 1},
        {"[PrintOptions]\r\ntitle=Family\r\ndate=7\r\none=x\r\n", "Family", true, true, 0, 0},
    };
    for (const auto& c : cases) {
      QFile ini(db_->iniFile());
      QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
      ini.write(c.ini);
      ini.close();
      TfrmSelectReport dialog(*db_->dm);
      QCOMPARE(dialog.txtTitle->text(), c.title);
      QCOMPARE(dialog.chkDate->isChecked(), c.date);
      QCOMPARE(dialog.RBOne->isChecked(), c.one);
      QCOMPARE(dialog.RBContinuous->isChecked(), !c.one);
      QCOMPARE(dialog.RGReportType->ItemIndex(), c.type);
      QCOMPARE(dialog.RGType->ItemIndex(), c.concise);
    }
  }

  void dialogIsCentredOnTheMainWindow() {
    QWidget main;
    main.setGeometry(100, 80, 801, 601);
    TfrmSelectReport dialog(*db_->dm, &main);
    QCOMPARE(dialog.x(), 100 + 801 / 2 - dialog.width() / 2);
    QCOMPARE(dialog.y(), 80 + 601 / 2 - dialog.height() / 2);
  }

  void nothingToPrintMessagesWriteNoSettings() {
    TfrmSelectReport dialog(*db_->dm);
    dialog.show();
    // The current group has no account.
    db_->selectGroup(QStringLiteral("Email Accounts"));
    QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
    QCOMPARE(messages(), QStringList{QStringLiteral("No Accounts to Print in \"Email Accounts\" !")});
    QVERIFY(dialog.isVisible());
    // No account in any group.
    script_->Clear();
    dialog.RGReportType->setItemIndex(1);
    QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
    QCOMPARE(messages(), QStringList{QStringLiteral("No accounts to print!")});
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.Reports().DM.qryRptPasswords.Active());
    QVERIFY(!QFile::exists(db_->iniFile()));
    // The Reports command with no group at all.
    script_->Clear();
    while (!db_->dm->qryGroups.IsEmpty()) db_->dm->qryGroups.Delete();
    ShowReportsDialog(*db_->dm, nullptr);
    QCOMPARE(messages(), QStringList{QStringLiteral("No account Information to print!")});
    // Without an open database the command does nothing.
    script_->Clear();
    db_->dm->DB.Close();
    ShowReportsDialog(*db_->dm, nullptr);
    QVERIFY(messages().isEmpty());
  }

  void okShowsThePreviewAndThenWritesTheSettings() {
    db_->add(account("Email Accounts", "Home mail"));
    db_->add(account("Misc Accounts", "Library"));
    TfrmSelectReport dialog(*db_->dm);
    dialog.show();
    dialog.RGReportType->Button(1)->click();
    dialog.RGType->Button(1)->click();
    dialog.RBContinuous->click();
    dialog.chkDate->click();
    dialog.txtTitle->setText(QStringLiteral("  Weekly  "));
    int previews = 0;
    connect(&dialog, &TfrmSelectReport::previewCreated, this, [&](TfrmPrintPreview* preview) {
      ++previews;
      // Settings are written only once the preview has been shown.
      QVERIFY(!QFile::exists(db_->iniFile()));
      const TppDocument& doc = preview->ppViewer1->Document();
      QCOMPARE(doc.documentName, QStringLiteral("Passwords"));
      QCOMPARE(int(doc.pages.size()), 1);  // concise and continuous
      QCOMPARE(int(itemsOf(doc, QStringLiteral("lblColID")).size()), 2);
      QCOMPARE(itemsOf(doc, QStringLiteral("lblTitle")).at(0).item.text, QStringLiteral("Weekly"));
      QVERIFY(itemsOf(doc, QStringLiteral("lblDate")).empty());
      QCOMPARE(preview->windowTitle(), QStringLiteral("Print Preview"));
      QVERIFY(preview->windowState() & Qt::WindowMaximized);
      QTimer::singleShot(0, preview, [preview] { QTest::mouseClick(preview->cmdClose, Qt::LeftButton); });
    });
    // Enter anywhere in the dialog runs the report.
    dialog.txtTitle->setFocus();
    QTest::keyClick(dialog.txtTitle, Qt::Key_Return);
    QCOMPARE(previews, 1);
    QVERIFY(messages().isEmpty());
    QVERIFY(dialog.isVisible());  // open for another report
    const QByteArray ini = readFile(db_->iniFile());
    QVERIFY2(ini.contains("title=  Weekly  \r\n"), ini.constData());  // as typed
    QVERIFY(ini.contains("date=0\r\n"));
    QVERIFY(ini.contains("one=0\r\n"));
    QVERIFY(ini.contains("type=1\r\n"));
    QVERIFY(ini.contains("concise=1\r\n"));
    const TPrintOptions stored = LoadPrintOptions();
    QCOMPARE(stored.type, 1);
    QVERIFY(!stored.one);

    // The current group alone, full layout, with an empty title this time.
    dialog.RGReportType->Button(0)->click();
    dialog.RGType->Button(0)->click();
    dialog.txtTitle->clear();
    db_->selectGroup(QStringLiteral("Misc Accounts"));
    disconnect(&dialog, &TfrmSelectReport::previewCreated, this, nullptr);
    connect(&dialog, &TfrmSelectReport::previewCreated, this, [&](TfrmPrintPreview* preview) {
      const TppDocument& doc = preview->ppViewer1->Document();
      QVERIFY(itemsOf(doc, QStringLiteral("lblTitle")).empty());
      QCOMPARE(itemsOf(doc, QStringLiteral("dbName")).at(0).item.text, QStringLiteral("Misc Accounts"));
      QCOMPARE(int(itemsOf(doc, QStringLiteral("dbName")).size()), 1);
      QCOMPARE(int(itemsOf(doc, QStringLiteral("lnSeparator")).size()), 1);
      QTimer::singleShot(0, preview, [preview] { preview->reject(); });
    });
    QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
    QVERIFY(readFile(db_->iniFile()).contains("title=\r\n"));
    // Escape closes the dialog.
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
  }

  void settingsThatCannotBeWrittenNameTheFile() {
    db_->add(account("Email Accounts", "Home mail"));
    TfrmSelectReport dialog(*db_->dm);
    dialog.show();
    const QString missing = db_->home() + QStringLiteral("/missing");
    setenv("KEYHAVEN_HOME", missing.toUtf8().constData(), 1);
    connect(&dialog, &TfrmSelectReport::previewCreated, this, [](TfrmPrintPreview* preview) {
      QTimer::singleShot(0, preview, [preview] { preview->reject(); });
    });
    QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
    QCOMPARE(messages(), QStringList{QStringLiteral("Unable to write to ") + missing + QStringLiteral("/kh.ini")});
    QVERIFY(dialog.isVisible());
  }

  void previewMovesBetweenPages() {
    auto preview = threePagePreview();
    TppViewer* viewer = preview->ppViewer1;
    QCOMPARE(viewer->PageCount(), 3);
    QCOMPARE(preview->mskPreviewPage->text(), QStringLiteral("1"));
    QCOMPARE(preview->pnlStatus->text(), QStringLiteral(" Page 1 of 3"));
    QTest::mouseClick(preview->cmdNext, Qt::LeftButton);
    QCOMPARE(viewer->AbsolutePageNo(), 2);
    QCOMPARE(preview->mskPreviewPage->text(), QStringLiteral("2"));
    QCOMPARE(preview->pnlStatus->text(), QStringLiteral(" Page 2 of 3"));
    QTest::mouseClick(preview->cmdLast, Qt::LeftButton);
    QCOMPARE(viewer->AbsolutePageNo(), 3);
    QTest::mouseClick(preview->cmdNext, Qt::LeftButton);  // stays on the last page
    QCOMPARE(viewer->AbsolutePageNo(), 3);
    QTest::mouseClick(preview->cmdPrev, Qt::LeftButton);
    QCOMPARE(viewer->AbsolutePageNo(), 2);
    QTest::mouseClick(preview->cmdFirst, Qt::LeftButton);
    QCOMPARE(viewer->AbsolutePageNo(), 1);

    // Shortcuts, also while the page box has the focus.
    for (QWidget* focus : {static_cast<QWidget*>(viewer), static_cast<QWidget*>(preview->mskPreviewPage)}) {
      focus->setFocus();
      QTest::keyClick(focus, Qt::Key_End, Qt::ControlModifier);
      QCOMPARE(viewer->AbsolutePageNo(), 3);
      QTest::keyClick(focus, Qt::Key_PageUp, Qt::ControlModifier);
      QCOMPARE(viewer->AbsolutePageNo(), 2);
      QTest::keyClick(focus, Qt::Key_Home, Qt::ControlModifier);
      QCOMPARE(viewer->AbsolutePageNo(), 1);
      QTest::keyClick(focus, Qt::Key_PageDown, Qt::ControlModifier);
      QCOMPARE(viewer->AbsolutePageNo(), 2);
    }

    // The page box: a number goes there (kept within the report), anything
    // else to page 1.
    const struct {
      const char* typed;
      int page;
    } pages[] = {{"3", 3}, {"", 1}, {"2", 2}, {"99999", 3}, {"0", 1}};
    for (const auto& p : pages) {
      enter(preview->mskPreviewPage, QString::fromLatin1(p.typed));
      QCOMPARE(viewer->AbsolutePageNo(), p.page);
      QCOMPARE(preview->mskPreviewPage->text(), QString::number(p.page));
    }
    QVERIFY(preview->isVisible());  // Enter in a box never closes the preview
    QTest::mouseClick(preview->cmdClose, Qt::LeftButton);
    QVERIFY(!preview->isVisible());
  }

  void previewZooms() {
    auto preview = threePagePreview();
    TppViewer* viewer = preview->ppViewer1;
    // Starts at page width.
    QCOMPARE(viewer->ZoomSetting(), TppZoomSetting::PageWidth);
    QCOMPARE(preview->mskPreviewPercentage->text(), QStringLiteral("%1 %").arg(viewer->CalculatedZoom()));
    const int widthZoom = viewer->CalculatedZoom();
    QTest::mouseClick(preview->cmdzoom100, Qt::LeftButton);
    QCOMPARE(preview->mskPreviewPercentage->text(), QStringLiteral("100 %"));
    QCOMPARE(viewer->PageImage().width(), qRound(215.9 / 25.4 * viewer->logicalDpiX() * viewer->devicePixelRatioF()));
    const struct {
      const char* typed;
      int zoom;
    } zooms[] = {{"50", 50}, {"", 100}, {"250 %", 250}, {"999", 999}, {"5", 10}};
    for (const auto& z : zooms) {
      enter(preview->mskPreviewPercentage, QString::fromLatin1(z.typed));
      QCOMPARE(viewer->CalculatedZoom(), z.zoom);
      QCOMPARE(preview->mskPreviewPercentage->text(), QStringLiteral("%1 %").arg(z.zoom));
    }
    QTest::mouseClick(preview->cmdzoomtofit, Qt::LeftButton);
    const int fit = viewer->CalculatedZoom();
    QVERIFY(fit < widthZoom);  // the whole (tall) page fits the window
    QCOMPARE(preview->mskPreviewPercentage->text(), QStringLiteral("%1 %").arg(fit));
    const QImage page = viewer->PageImage();
    QVERIFY(page.height() / page.devicePixelRatio() <= viewer->viewport()->height());
    QTest::mouseClick(preview->cmdzoomtowidth, Qt::LeftButton);
    QCOMPARE(viewer->CalculatedZoom(), widthZoom);

    const struct {
      QToolButton* button;
      const char* hint;
    } hints[] = {{preview->cmdzoom100, "Zoom 100%"}, {preview->cmdzoomtofit, "Zoom to Fit"},
                 {preview->cmdzoomtowidth, "Zoom to Width"}, {preview->cmdFirst, "First"},
                 {preview->cmdPrev, "Previous"}, {preview->cmdNext, "Next"},
                 {preview->cmdLast, "Last"}, {preview->cmdPrint, "Print"}};
    for (const auto& h : hints) QCOMPARE(h.button->toolTip(), QString::fromLatin1(h.hint));
    QCOMPARE(preview->cmdClose->text(), QStringLiteral("&Close"));
  }

  void saveAsPdfWritesAnOwnerOnlyFile() {
    auto preview = threePagePreview();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("report.pdf"));
    QString caption;
    SetReportSaveFileNameHandler([&](const QString& c) {
      caption = c;
      return file;
    });
    QTest::mouseClick(preview->cmdSavePdf, Qt::LeftButton);
    QVERIFY(caption.contains(QStringLiteral("plain text")));
    QVERIFY(messages().isEmpty());
    QVERIFY(readFile(file).startsWith("%PDF"));
    QVERIFY(ownerOnly(file));
    QVERIFY(preview->pnlStatus->text().contains(file));
    // Cancelled: nothing happens. Unwritable: an error message.
    SetReportSaveFileNameHandler([](const QString&) { return QString(); });
    QTest::mouseClick(preview->cmdSavePdf, Qt::LeftButton);
    QVERIFY(messages().isEmpty());
    const QString bad = dir.filePath(QStringLiteral("missing/report.pdf"));
    SetReportSaveFileNameHandler([&](const QString&) { return bad; });
    QTest::mouseClick(preview->cmdSavePdf, Qt::LeftButton);
    QCOMPARE(messages(), QStringList{QStringLiteral("Unable to write to ") + bad});
  }

  void printsEveryPageOrARange() {
    auto preview = threePagePreview();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("printed.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    QStringList statuses;
    connect(preview->ppViewer1, &TppViewer::StatusChange, this,
            [&] { statuses << preview->ppViewer1->Status(); });
    QVERIFY(preview->ppViewer1->PrintTo(printer, 2, 3));
    QCOMPARE(printer.docName(), QStringLiteral("Passwords"));
    QCOMPARE(statuses, QStringList({"Printing page 2 of 3", "Printing page 3 of 3", "Page 1 of 3"}));
    const QByteArray pdf = readFile(file);
    QVERIFY(pdf.startsWith("%PDF"));
    QCOMPARE(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r") + pdf.count("/Type /Page "), 2);
    QVERIFY(ownerOnly(file));
  }
};

QTEST_MAIN(ReportWindowsTest)
#include "report_windows_test.moc"
