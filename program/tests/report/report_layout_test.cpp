// The account report layouts laid out from a real password database: band
// and element positions on the produced pages, in millimetres from the
// paper's top-left corner.
#include <QtTest>

#include "PasswordReports.h"
#include "ReportEngine.h"
#include "ReportFonts.h"
#include "report_fixture.h"

namespace {

constexpr double kFullLeft = 15.24, kFullTop = 6.35;
constexpr double kConciseLeft = 15.24, kConciseTop = 12.7;

TestAccount mail(const QString& description, const QString& notes = {}) {
  return {QStringLiteral("Email Accounts"), description, QStringLiteral("me@example.com"), QStringLiteral("s3cret"),
          QStringLiteral("https://mail.example.com"), notes, QDate(2002, 3, 15), QDate(2003, 1, 2)};
}

// An account with only the first fields given.
TestAccount plain(const char* group, const char* description, const char* id = "", const char* password = "") {
  TestAccount a;
  a.group = QString::fromLatin1(group);
  a.description = QString::fromLatin1(description);
  a.id = QString::fromLatin1(id);
  a.password = QString::fromLatin1(password);
  return a;
}

}  // namespace

class ReportLayoutTest : public QObject {
  Q_OBJECT

  std::unique_ptr<ReportDatabase> db_;
  std::unique_ptr<TPasswordReports> reports_;

  TppDocument produce(TppReport& report, const TReportChoices& choices, const QString& sql) {
    db_->openAllGroups(sql);
    reports_->Choices = choices;
    return ProduceReport(report);
  }

 private slots:
  void init() {
    db_ = std::make_unique<ReportDatabase>();
    reports_ = std::make_unique<TPasswordReports>(*db_->dm);
  }
  void cleanup() {
    reports_.reset();
    db_.reset();
  }

  void fullLayoutPlacesEveryElement() {
    db_->add(mail(QStringLiteral("Home mail"), QStringLiteral("A short note")));
    TppDocument doc = produce(reports_->ppRptPasswords, {true, QStringLiteral("  My Accounts  "), true},
                              TPasswordReports::AllGroupsSQL());
    QCOMPARE(doc.documentName, QStringLiteral("Passwords"));
    QCOMPARE(int(doc.pages.size()), 1);
    QCOMPARE_MM(doc.pages[0].width, 215.9);
    QCOMPARE_MM(doc.pages[0].height, 279.401);

    auto title = bandsOf(doc, QStringLiteral("Title"));
    QCOMPARE(int(title.size()), 1);
    QCOMPARE_MM(title[0].band.top, kFullTop);
    QCOMPARE_MM(title[0].band.height, 6.615);
    auto titleLabel = itemsOf(doc, QStringLiteral("lblTitle"));
    QCOMPARE(titleLabel.at(0).item.text, QStringLiteral("My Accounts"));  // trimmed
    QCOMPARE(titleLabel[0].item.rect, QRectF(kFullLeft + 0.265, kFullTop + 0.265, 126.736, 5.821));
    QCOMPARE(titleLabel[0].item.font.size, 14.0);
    auto date = itemsOf(doc, QStringLiteral("lblDate"));
    QCOMPARE(date.at(0).item.text, QDate::currentDate().toString(QStringLiteral("MM/dd/yyyy")));
    QCOMPARE_MM(date[0].item.rect.left(), kFullLeft + 156.369);
    QCOMPARE_MM(date[0].item.rect.top(), kFullTop + 1.323);

    const double headerTop = kFullTop + 6.615;
    auto header = bandsOf(doc, QStringLiteral("GroupHeader"));
    QCOMPARE(int(header.size()), 1);
    QCOMPARE_MM(header[0].band.top, headerTop);
    auto name = itemsOf(doc, QStringLiteral("dbName"));
    QCOMPARE(name.at(0).item.text, QStringLiteral("Email Accounts"));
    QCOMPARE_MM(name[0].item.rect.left(), kFullLeft + 0.794);
    QCOMPARE_MM(name[0].item.rect.top(), headerTop + 1.588);
    QVERIFY(name[0].item.font.bold);
    // Sized to its text.
    QCOMPARE_MM(name[0].item.rect.width(), ppMetrics(name[0].item.font).width(QStringLiteral("Email Accounts")));

    const double detailTop = headerTop + 7.144;
    auto detail = bandsOf(doc, QStringLiteral("Detail"));
    QCOMPARE(int(detail.size()), 1);
    QCOMPARE_MM(detail[0].band.top, detailTop);
    QCOMPARE_MM(detail[0].band.height, 29.898);

    const struct {
      const char* element;
      double left, top, width;
      QString text;
      TppAlignment alignment;
    } expected[] = {
        {"lblID", 10.583, 8.202, 4.233, "ID:", TppAlignment::Right},
        {"dbID", 16.14, 8.202, 123.296, "me@example.com", TppAlignment::Left},
        {"lblPassword", 1.587, 12.435, 13.229, "Password:", TppAlignment::Right},
        {"dbPassword", 16.14, 12.435, 123.031, "s3cret", TppAlignment::Left},
        {"lblInternet", 3.969, 16.669, 10.848, "Internet:", TppAlignment::Right},
        {"dbURL", 16.14, 16.669, 126.207, "https://mail.example.com", TppAlignment::Left},
        {"lblNotes", 6.35, 20.902, 8.467, "Notes:", TppAlignment::Right},
        {"dbNotes", 16.14, 20.902, 128.323, "A short note", TppAlignment::Left},
        {"lblAssigned", 141.817, 7.673, 12.435, "Assigned:", TppAlignment::Right},
        {"dbAssignDate", 155.046, 7.673, 20.902, "03/15/2002", TppAlignment::Left},
        {"lblExpires", 143.934, 12.7, 10.319, "Expires:", TppAlignment::Right},
        {"dbExpireDate", 155.046, 12.7, 20.902, "01/02/2003", TppAlignment::Left},
    };
    for (const auto& e : expected) {
      auto found = itemsOf(doc, QString::fromLatin1(e.element));
      QVERIFY2(found.size() == 1, e.element);
      const TppPageItem& item = found[0].item;
      QCOMPARE(item.text, e.text);
      QCOMPARE_MM(item.rect.left(), kFullLeft + e.left);
      QCOMPARE_MM(item.rect.top(), detailTop + e.top);
      QCOMPARE_MM(item.rect.width(), e.width);
      QCOMPARE(item.alignment, e.alignment);
      QCOMPARE(item.font.name, QStringLiteral("Times New Roman"));
      QCOMPARE(item.font.size, 9.0);
      QCOMPARE(item.font.color, e.alignment == TppAlignment::Right ? QColor(0, 0, 0x80) : QColor(Qt::black));
    }
    auto description = itemsOf(doc, QStringLiteral("dbDescription"));
    QCOMPARE(description.at(0).item.text, QStringLiteral("Home mail"));
    QCOMPARE_MM(description[0].item.rect.left(), kFullLeft + 1.323);
    QCOMPARE_MM(description[0].item.rect.top(), detailTop + 2.117);
    QCOMPARE(description[0].item.font.color, QColor(0x80, 0, 0));
    QVERIFY(!description[0].item.clip);
    QVERIFY(itemsOf(doc, QStringLiteral("dbID")).at(0).item.clip);

    auto line = itemsOf(doc, QStringLiteral("lnSeparator"));
    QCOMPARE(line.at(0).item.kind, TppItemKind::Line);
    QCOMPARE_MM(line[0].item.rect.left(), kFullLeft + 0.529);
    QCOMPARE_MM(line[0].item.rect.top(), detailTop + 27.517);
    QCOMPARE_MM(line[0].item.rect.width(), 187.061);
    QCOMPARE(line[0].item.weight, 0.75);
    // Nothing leaves the printable area.
    for (const TppPageItem& item : doc.pages[0].items) {
      QVERIFY(item.rect.left() >= kFullLeft - 1e-6);
      QVERIFY(item.rect.right() <= 215.9 - 6.35 + 1e-6);
    }
  }

  void longDescriptionStopsAtTheRegionEdge() {
    db_->add(mail(QString(100, u'W')));
    TppDocument doc = produce(reports_->ppRptPasswords, {false, {}, true}, TPasswordReports::AllGroupsSQL());
    const TppPageItem item = itemsOf(doc, QStringLiteral("dbDescription")).at(0).item;
    QCOMPARE_MM(item.rect.right(), kFullLeft + 189.177);
    QVERIFY(item.clip);
  }

  void longNoteGrowsItsBlockAndMovesTheLine() {
    QString note;
    for (int i = 0; i < 40; ++i) note += QStringLiteral("Remember the security question and the answer %1. ").arg(i);
    db_->add(mail(QStringLiteral("A long one"), note));
    db_->add(mail(QStringLiteral("B short")));
    TppDocument doc = produce(reports_->ppRptPasswords, {false, {}, true}, TPasswordReports::AllGroupsSQL());
    QCOMPARE(int(doc.pages.size()), 1);

    const TppFont notesFont = reports_->ppRptPasswords.find(QStringLiteral("dbNotes"))->font;
    const QStringList lines = ppWrapText(note, notesFont, 128.323);
    QVERIFY(lines.size() > 3);
    const double lineHeight = ppMetrics(notesFont).lineHeight();
    auto noteItems = itemsOf(doc, QStringLiteral("dbNotes"));
    QCOMPARE(int(noteItems.size()), int(lines.size()));
    // Every word of the note printed, each line inside the memo's width.
    QStringList printed;
    for (const auto& n : noteItems) {
      printed << n.item.text;
      QVERIFY(ppMetrics(notesFont).width(n.item.text) <= 128.323 + 1e-6);
    }
    QCOMPARE(printed.join(u' '), note.trimmed());

    auto detail = bandsOf(doc, QStringLiteral("Detail"));
    QCOMPARE(int(detail.size()), 2);
    const double top = detail[0].band.top;
    // The region grows so that 5.08 mm stay clear below the note; band and
    // line move down by as much.
    const double growth = 20.902 + lines.size() * lineHeight + 5.08 - 27.252;
    QCOMPARE_MM(detail[0].band.height, 29.898 + growth);
    auto line = itemsOf(doc, QStringLiteral("lnSeparator"));
    QCOMPARE(int(line.size()), 2);
    QCOMPARE_MM(line[0].item.rect.top(), top + 27.517 + growth);
    QVERIFY(line[0].item.rect.top() > noteItems.back().item.rect.bottom() + 5.0);
    // The next account follows the grown block; its own block keeps its height.
    QCOMPARE_MM(detail[1].band.top, top + 29.898 + growth);
    QCOMPARE_MM(detail[1].band.height, 29.898);
    QCOMPARE_MM(line[1].item.rect.top(), detail[1].band.top + 27.517);
  }

  void noteTallerThanAPageContinuesOnTheNext() {
    QString note;
    for (int i = 0; i < 120; ++i) note += QStringLiteral("Line %1\r\n").arg(i);
    db_->add(mail(QStringLiteral("Huge"), note));
    TppDocument doc = produce(reports_->ppRptPasswords, {false, {}, true}, TPasswordReports::AllGroupsSQL());
    QVERIFY(doc.pages.size() >= 2);
    auto noteItems = itemsOf(doc, QStringLiteral("dbNotes"));
    QCOMPARE(int(noteItems.size()), 120);
    for (int i = 0; i < 120; ++i) QCOMPARE(noteItems[i].item.text, QStringLiteral("Line %1").arg(i));
    for (const TppPage& page : doc.pages)
      for (const TppPageItem& item : page.items) QVERIFY(item.rect.bottom() <= 279.401 - 6.35 + 1e-6);
    QCOMPARE(itemsOf(doc, QStringLiteral("lnSeparator")).back().page, int(doc.pages.size()));
  }

  void oneGroupPerPageVersusContinuous() {
    db_->add(plain("Web Subscriptions", "Zeta news"));
    db_->add(plain("Web Subscriptions", "Alpha news"));
    db_->add(mail(QStringLiteral("Work mail")));
    db_->add(mail(QStringLiteral("Home mail")));
    for (TppReport* report : {&reports_->ppRptPasswords, &reports_->ppRptConcise}) {
      TppDocument perPage = produce(*report, {true, QStringLiteral("T"), true}, TPasswordReports::AllGroupsSQL());
      auto headers = bandsOf(perPage, QStringLiteral("GroupHeader"));
      QCOMPARE(int(headers.size()), 2);
      QCOMPARE(int(perPage.pages.size()), 2);
      QCOMPARE(headers[0].page, 1);
      QCOMPARE(headers[1].page, 2);
      // The second group starts at the top of its page; the title is not repeated.
      QCOMPARE_MM(headers[1].band.top, report->printerSetup.marginTop);
      QCOMPARE(int(bandsOf(perPage, QStringLiteral("Title")).size()), 1);
      auto names = itemsOf(perPage, QStringLiteral("dbName"));
      QCOMPARE(names.at(0).item.text, QStringLiteral("Email Accounts"));
      QCOMPARE(names.at(1).item.text, QStringLiteral("Web Subscriptions"));
      QStringList descriptions;
      for (const auto& d : itemsOf(perPage, QStringLiteral("dbDescription"))) descriptions << d.item.text;
      QCOMPARE(descriptions, QStringList({"Home mail", "Work mail", "Alpha news", "Zeta news"}));

      TppDocument continuous = produce(*report, {true, QStringLiteral("T"), false}, TPasswordReports::AllGroupsSQL());
      QCOMPARE(int(continuous.pages.size()), 1);
      auto together = bandsOf(continuous, QStringLiteral("GroupHeader"));
      QCOMPARE(int(together.size()), 2);
      // The second header follows the first group's last record and footer.
      auto details = bandsOf(continuous, QStringLiteral("Detail"));
      auto footers = bandsOf(continuous, QStringLiteral("GroupFooter"));
      QCOMPARE(int(footers.size()), 2);
      QCOMPARE_MM(footers[0].band.top, details[1].band.top + details[1].band.height);
      QCOMPARE_MM(together[1].band.top, footers[0].band.top + footers[0].band.height);
    }
  }

  void conciseLayoutRowsAndColumns() {
    db_->add(mail(QStringLiteral("Home mail")));
    db_->add(plain("Email Accounts", "No dates", "x", "y"));
    TppDocument doc = produce(reports_->ppRptConcise, {true, QStringLiteral("Summary"), true},
                              TPasswordReports::AllGroupsSQL());
    QCOMPARE(int(doc.pages.size()), 1);
    auto title = bandsOf(doc, QStringLiteral("Title"));
    QCOMPARE_MM(title.at(0).band.top, kConciseTop);
    QCOMPARE_MM(title[0].band.height, 7.144);
    QCOMPARE_MM(itemsOf(doc, QStringLiteral("lblTitle")).at(0).item.rect.left(), kConciseLeft + 0.794);
    QCOMPARE_MM(itemsOf(doc, QStringLiteral("lblDate")).at(0).item.rect.top(), kConciseTop + 1.588);
    const double headerTop = kConciseTop + 7.144;
    auto name = itemsOf(doc, QStringLiteral("dbName")).at(0).item;
    QCOMPARE_MM(name.rect.top(), headerTop + 0.529);
    QCOMPARE(name.font.color, QColor(0, 0, 0x80));
    const struct {
      const char* element;
      double left;
      const char* text;
    } columns[] = {{"lblColID", 70.908, "ID"},
                   {"lblColPassword", 117.475, "Password"},
                   {"lblColAssigned", 149.754, "Assigned"},
                   {"lblColExpires", 169.069, "Expires"}};
    for (const auto& c : columns) {
      auto item = itemsOf(doc, QString::fromLatin1(c.element)).at(0).item;
      QCOMPARE(item.text, QString::fromLatin1(c.text));
      QCOMPARE_MM(item.rect.left(), kConciseLeft + c.left);
      QCOMPARE_MM(item.rect.top(), headerTop + 6.085);
      QCOMPARE(item.alignment, TppAlignment::Left);
    }
    auto details = bandsOf(doc, QStringLiteral("Detail"));
    QCOMPARE(int(details.size()), 2);
    QCOMPARE_MM(details[0].band.top, headerTop + 10.054);
    QCOMPARE_MM(details[1].band.top, headerTop + 10.054 + 4.233);
    QCOMPARE_MM(details[1].band.height, 4.233);
    const struct {
      const char* element;
      double left, width;
    } fields[] = {{"dbDescription", 1.058, 68.263},
                  {"dbID", 70.644, 45.773},
                  {"dbPassword", 117.475, 31.485},
                  {"dbAssignDate", 149.754, 16.669},
                  {"dbExpireDate", 168.805, 16.669}};
    for (const auto& f : fields) {
      auto item = itemsOf(doc, QString::fromLatin1(f.element)).at(0).item;
      QCOMPARE_MM(item.rect.left(), kConciseLeft + f.left);
      QCOMPARE_MM(item.rect.top(), details[0].band.top);
      QCOMPARE_MM(item.rect.width(), f.width);
      QCOMPARE_MM(item.rect.height(), 3.969);
    }
    auto footer = bandsOf(doc, QStringLiteral("GroupFooter"));
    QCOMPARE_MM(footer.at(0).band.height, 2.381);
  }

  void datesPrintAsMonthDayYearAndEmptyDatesPrintNothing() {
    db_->add(mail(QStringLiteral("Dated")));
    db_->add(plain("Email Accounts", "Undated"));
    for (TppReport* report : {&reports_->ppRptPasswords, &reports_->ppRptConcise}) {
      TppDocument doc = produce(*report, {false, {}, true}, TPasswordReports::AllGroupsSQL());
      auto assigned = itemsOf(doc, QStringLiteral("dbAssignDate"));
      auto expires = itemsOf(doc, QStringLiteral("dbExpireDate"));
      QCOMPARE(int(assigned.size()), 1);
      QCOMPARE(int(expires.size()), 1);
      QCOMPARE(assigned[0].item.text, QStringLiteral("03/15/2002"));
      QCOMPARE(expires[0].item.text, QStringLiteral("01/02/2003"));
    }
    QCOMPARE(ppFormatDate(QDate(2024, 12, 5), QStringLiteral("mmmm dd, yyyy")), QStringLiteral("December 05, 2024"));
    QCOMPARE(ppFormatDate(QDate(2024, 2, 9), QStringLiteral("d/m/yy")), QStringLiteral("9/2/24"));
    QCOMPARE(ppFormatDate(QDate(), QStringLiteral("mm/dd/yyyy")), QString());
  }

  void titleBandFollowsTitleAndDate() {
    db_->add(mail(QStringLiteral("Home mail")));
    TppReport& full = reports_->ppRptPasswords;
    // No title and no date: no title band; the group starts at the margin.
    TppDocument none = produce(full, {false, QStringLiteral("   "), true}, TPasswordReports::AllGroupsSQL());
    QVERIFY(bandsOf(none, QStringLiteral("Title")).empty());
    QVERIFY(itemsOf(none, QStringLiteral("lblTitle")).empty());
    QVERIFY(itemsOf(none, QStringLiteral("lblDate")).empty());
    QCOMPARE_MM(bandsOf(none, QStringLiteral("GroupHeader")).at(0).band.top, kFullTop);
    // No title, date on: the band shows only the date.
    TppDocument dateOnly = produce(full, {true, {}, true}, TPasswordReports::AllGroupsSQL());
    QCOMPARE(int(bandsOf(dateOnly, QStringLiteral("Title")).size()), 1);
    QVERIFY(itemsOf(dateOnly, QStringLiteral("lblTitle")).empty());
    QCOMPARE(int(itemsOf(dateOnly, QStringLiteral("lblDate")).size()), 1);
    // A title without the date.
    TppDocument titleOnly = produce(full, {false, QStringLiteral("Mine"), true}, TPasswordReports::AllGroupsSQL());
    QCOMPARE(itemsOf(titleOnly, QStringLiteral("lblTitle")).at(0).item.text, QStringLiteral("Mine"));
    QVERIFY(itemsOf(titleOnly, QStringLiteral("lblDate")).empty());
  }

  void secondReportWithAnEmptyTitleShowsNoOldTitle() {
    db_->add(mail(QStringLiteral("Home mail")));
    for (TppReport* report : {&reports_->ppRptPasswords, &reports_->ppRptConcise}) {
      TppDocument first = produce(*report, {true, QStringLiteral("First report"), true}, TPasswordReports::AllGroupsSQL());
      QCOMPARE(itemsOf(first, QStringLiteral("lblTitle")).at(0).item.text, QStringLiteral("First report"));
      TppDocument second = produce(*report, {true, {}, true}, TPasswordReports::AllGroupsSQL());
      QVERIFY(itemsOf(second, QStringLiteral("lblTitle")).empty());
    }
  }

  void currentGroupStatementSelectsOneGroup() {
    db_->add(mail(QStringLiteral("Home mail")));
    db_->add(plain("Misc Accounts", "Library card"));
    QCOMPARE(TPasswordReports::CurrentGroupSQL(7),
             QStringLiteral("SELECT Groups.Name, Passwords.Description, Passwords.ID, Passwords.Password, "
                            "Passwords.ExpireDate, Passwords.AssignDate, Passwords.URL, Passwords.Notes FROM Groups "
                            "INNER JOIN Passwords ON Groups.GroupID = Passwords.GroupID WHERE Passwords.GroupID = 7 "
                            "ORDER BY Groups.Name,Passwords.Description"));
    db_->selectGroup(QStringLiteral("Misc Accounts"));
    const int id = db_->dm->qryGroups.FieldByName(QStringLiteral("GroupID")).AsInteger();
    TppDocument doc = produce(reports_->ppRptConcise, {false, {}, true}, TPasswordReports::CurrentGroupSQL(id));
    auto descriptions = itemsOf(doc, QStringLiteral("dbDescription"));
    QCOMPARE(int(descriptions.size()), 1);
    QCOMPARE(descriptions[0].item.text, QStringLiteral("Library card"));
  }

  void manyAccountsFillPagesWithoutCrossingTheMargin() {
    for (int i = 0; i < 70; ++i) db_->add(mail(QStringLiteral("Account %1").arg(i, 3, 10, QLatin1Char('0'))));
    TppDocument doc = produce(reports_->ppRptConcise, {true, QStringLiteral("T"), true}, TPasswordReports::AllGroupsSQL());
    QCOMPARE(int(doc.pages.size()), 2);
    QCOMPARE(int(bandsOf(doc, QStringLiteral("Detail")).size()), 70);
    for (const TppPage& page : doc.pages)
      for (const TppBandPlacement& band : page.bands) QVERIFY(band.top + band.height <= 279.401 - 12.7 + 1e-6);
    // The group header is not repeated on the second page.
    QCOMPARE(int(bandsOf(doc, QStringLiteral("GroupHeader")).size()), 1);
    // The second page continues at its top margin.
    auto details = bandsOf(doc, QStringLiteral("Detail"));
    auto firstOnPage2 = std::find_if(details.begin(), details.end(), [](const FoundBand& b) { return b.page == 2; });
    QVERIFY(firstOnPage2 != details.end());
    QCOMPARE_MM(firstOnPage2->band.top, 12.7);
  }

  void wrappingBreaksAtWordsAndKeepsLineBreaks() {
    TppFont font;
    font.name = QStringLiteral("Times New Roman");
    font.size = 9;
    const QStringList lines = ppWrapText(QStringLiteral("one two three four five\r\n\r\nsix"), font, 15);
    for (const QString& line : lines) QVERIFY(ppMetrics(font).width(line) <= 15 + 1e-6);
    QVERIFY(lines.contains(QString()));  // the blank line stays
    QCOMPARE(lines.back(), QStringLiteral("six"));
    const QStringList broken = ppWrapText(QString(60, u'W'), font, 20);
    QVERIFY(broken.size() > 1);
    QCOMPARE(broken.join(QString()), QString(60, u'W'));
    QVERIFY(ppWrapText(QStringLiteral("  \r\n "), font, 20).isEmpty());
  }
};

QTEST_MAIN(ReportLayoutTest)
#include "report_layout_test.moc"
