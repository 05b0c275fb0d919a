// Writes sample reports of both layouts as PDF files, and pictures of the
// print preview and the selection dialog, into a directory (for the
// screenshots in docs/screenshots; see scripts/report_screenshots.sh).
//
//   report_samples <output directory>
#include <QApplication>
#include <QTimer>

#include "PrintPreview.h"
#include "SelectReport.h"
#include "report_fixture.h"

namespace {

void fill(ReportDatabase& db) {
  const TestAccount accounts[] = {
      {"Email Accounts", "Home mail", "jane.doe@example.com", "tulip-Harbor-42", "https://mail.example.com",
       "Recovery address is the work mailbox.", QDate(2024, 3, 15), QDate(2025, 3, 15)},
      {"Email Accounts", "Work mail", "jdoe", "Q7!vz#Lm2p", "https://outlook.example.org",
       "Security questions: first school is \"Hill Street\", first pet is \"Biscuit\". The help desk resets the "
       "password after identity checks over the phone; ask for the ticket number and keep it with these notes. "
       "The token app is on the old phone as well.",
       QDate(2024, 11, 2), QDate(2025, 2, 2)},
      {"Misc Accounts", "Library card", "00412 55871", "4471", "https://library.example.net", "", QDate(2023, 6, 1),
       QDate()},
      {"Misc Accounts", "Power company", "acct-88213", "amber.Sailboat.9", "https://power.example.com",
       "Paperless billing since 2023.", QDate(2023, 9, 20), QDate(2026, 9, 20)},
      {"Web Subscriptions", "News daily", "jane_d", "lantern*Meadow", "https://news.example.com", "", QDate(),
       QDate()},
  };
  for (const TestAccount& a : accounts) db.add(a);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setApplicationDisplayName(QStringLiteral("Keyhaven"));
  if (argc < 2) {
    std::fprintf(stderr, "usage: report_samples <output directory>\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);
  ReportDatabase db;
  fill(db);
  TPasswordReports reports(*db.dm);
  db.openAllGroups(TPasswordReports::AllGroupsSQL());

  reports.Choices = {true, QStringLiteral("Account Summary"), true};
  TppDocument full = ProduceReport(reports.ppRptPasswords);
  reports.Choices = {true, QStringLiteral("Account Summary"), false};
  TppDocument concise = ProduceReport(reports.ppRptConcise);
  if (!SaveDocumentAsPdf(full, out + QStringLiteral("/report-full.pdf")) ||
      !SaveDocumentAsPdf(concise, out + QStringLiteral("/report-concise.pdf"))) {
    std::fprintf(stderr, "could not write the PDF files\n");
    return 1;
  }

  TfrmPrintPreview preview;
  preview.setWindowState(Qt::WindowNoState);
  preview.resize(1000, 760);
  preview.ppViewer1->setDocument(full);
  preview.show();
  QTimer::singleShot(300, &app, [&] {
    preview.grab().save(out + QStringLiteral("/print-preview.png"));
    preview.close();
    db.selectGroup(QStringLiteral("Email Accounts"));
    TfrmSelectReport select(*db.dm);
    select.show();
    QTimer::singleShot(200, &app, [&] {
      select.grab().save(out + QStringLiteral("/select-report.png"));
      app.quit();
    });
    QEventLoop loop;
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &loop, &QEventLoop::quit);
    loop.exec();
  });
  return app.exec();
}
