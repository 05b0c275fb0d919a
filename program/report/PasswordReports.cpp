// The account report layouts, measured in millimetres from the left and top
// of their bands (or of the region that holds them).
#include "PasswordReports.h"

#include <QDate>

namespace {

const QColor kMaroon(0x80, 0x00, 0x00);
const QColor kNavy(0x00, 0x00, 0x80);

TppFont font(const char* name, double size, QColor color = Qt::black, bool bold = false) {
  TppFont f;
  f.name = QString::fromLatin1(name);
  f.size = size;
  f.color = color;
  f.bold = bold;
  return f;
}

const QString kSelect = QStringLiteral(
    "SELECT Groups.Name, Passwords.Description, Passwords.ID, Passwords.Password, Passwords.ExpireDate, "
    "Passwords.AssignDate, Passwords.URL, Passwords.Notes FROM Groups INNER JOIN Passwords ON Groups.GroupID = "
    "Passwords.GroupID");
const QString kOrder = QStringLiteral(" ORDER BY Groups.Name,Passwords.Description");
const QString kDateFormat = QStringLiteral("mm/dd/yyyy");

void letterPage(TppReport& report, double top, double bottom, double left, double right) {
  TppPrinterSetup& p = report.printerSetup;
  p.paperName = QStringLiteral("Letter 8 1/2 x 11 in");
  p.paperWidth = 215.9;
  p.paperHeight = 279.401;
  p.marginTop = top;
  p.marginBottom = bottom;
  p.marginLeft = left;
  p.marginRight = right;
  p.documentName = QStringLiteral("Passwords");
}

// The title band of both layouts: the title and the print date.
void titleBand(TppReport& report, double height, double titleLeft, double dateTop) {
  report.title.height = height;
  report.title.add(ppLabel(QStringLiteral("lblTitle"), {}, titleLeft, 0.265, 126.736, 5.821, font("Arial", 14)));
  report.title.add(ppLabel(QStringLiteral("lblDate"), {}, 156.369, dateTop, 29.633, 3.704, font("Arial", 8)));
}

}  // namespace

TPasswordReports::TPasswordReports(TDM& dm) : DM(dm), ppRptPasswordsPipeline(&dm.DSReportPasswords) {
  buildFull();
  buildConcise();
}

QString TPasswordReports::CurrentGroupSQL(qint32 groupId) {
  return kSelect + QStringLiteral(" WHERE Passwords.GroupID = ") + QString::number(groupId) + kOrder;
}

QString TPasswordReports::AllGroupsSQL() { return kSelect + kOrder; }

void TPasswordReports::buildFull() {
  TppReport& r = ppRptPasswords;
  letterPage(r, 6.35, 6.35, 15.24, 6.35);
  r.pipeline = &ppRptPasswordsPipeline;
  titleBand(r, 6.615, 0.265, 1.323);

  r.group.breakField = QStringLiteral("Name");
  r.group.header.height = 7.144;
  auto name = ppDBText(QStringLiteral("dbName"), QStringLiteral("Name"), 0.794, 1.588, 0, 5.027,
                       font("Arial", 12, Qt::black, true));
  name->autoSize = true;
  r.group.header.add(std::move(name));

  r.detail.height = 29.898;
  r.detail.growing = true;
  TppElement& region = r.detail.add(ppRegion(QStringLiteral("rgnAccount"), 0, 0, 189.177, 27.252));
  region.stretch = true;
  auto line = ppLine(QStringLiteral("lnSeparator"), 0.529, 27.517, 187.061, 0.75);
  line->shiftWith = &region;
  r.detail.add(std::move(line));

  auto description = ppDBText(QStringLiteral("dbDescription"), QStringLiteral("Description"), 1.323, 2.117, 0, 4.233,
                              font("Arial", 10, kMaroon));
  description->autoSize = true;
  region.add(std::move(description));

  const TppFont labelFont = font("Times New Roman", 9, kNavy);
  const TppFont fieldFont = font("Times New Roman", 9);
  constexpr double h = 3.969;
  auto label = [&](const char* name, const char* caption, double left, double top, double width) {
    region.add(ppLabel(QString::fromLatin1(name), QString::fromLatin1(caption), left, top, width, h, labelFont,
                       TppAlignment::Right));
  };
  auto field = [&](const char* name, const char* data, double left, double top, double width) -> TppElement& {
    return region.add(ppDBText(QString::fromLatin1(name), QString::fromLatin1(data), left, top, width, h, fieldFont));
  };
  label("lblID", "ID:", 10.583, 8.202, 4.233);
  field("dbID", "ID", 16.14, 8.202, 123.296);
  label("lblPassword", "Password:", 1.587, 12.435, 13.229);
  field("dbPassword", "Password", 16.14, 12.435, 123.031);
  label("lblInternet", "Internet:", 3.969, 16.669, 10.848);
  field("dbURL", "URL", 16.14, 16.669, 126.207);
  label("lblNotes", "Notes:", 6.35, 20.902, 8.467);
  auto notes = ppDBMemo(QStringLiteral("dbNotes"), QStringLiteral("Notes"), 16.14, 20.902, 128.323, 4.498, fieldFont);
  notes->bottomOffset = 5.08;
  region.add(std::move(notes));
  label("lblAssigned", "Assigned:", 141.817, 7.673, 12.435);
  field("dbAssignDate", "AssignDate", 155.046, 7.673, 20.902).displayFormat = kDateFormat;
  label("lblExpires", "Expires:", 143.934, 12.7, 10.319);
  field("dbExpireDate", "ExpireDate", 155.046, 12.7, 20.902).displayFormat = kDateFormat;

  r.BeforePrint = [this](TppReport&) { ppRptPasswordsBeforePrint(); };
}

void TPasswordReports::buildConcise() {
  TppReport& r = ppRptConcise;
  letterPage(r, 12.7, 12.7, 15.24, 12.7);
  r.pipeline = &ppRptPasswordsPipeline;
  titleBand(r, 7.144, 0.794, 1.588);
  r.pageHeader.visible = false;

  r.group.breakField = QStringLiteral("Name");
  r.group.header.height = 10.054;
  auto name = ppDBText(QStringLiteral("dbName"), QStringLiteral("Name"), 0.794, 0.529, 0, 5.027,
                       font("Arial", 12, kNavy, true));
  name->autoSize = true;
  r.group.header.add(std::move(name));
  const TppFont labelFont = font("Times New Roman", 9, kNavy);
  const TppFont fieldFont = font("Times New Roman", 9);
  constexpr double h = 3.969;
  // Column headings as wide as the columns beneath them.
  r.group.header.add(ppLabel(QStringLiteral("lblColID"), QStringLiteral("ID"), 70.908, 6.085, 45.773, h, labelFont));
  r.group.header.add(
      ppLabel(QStringLiteral("lblColPassword"), QStringLiteral("Password"), 117.475, 6.085, 31.485, h, labelFont));
  r.group.header.add(
      ppLabel(QStringLiteral("lblColAssigned"), QStringLiteral("Assigned"), 149.754, 6.085, 16.669, h, labelFont));
  r.group.header.add(
      ppLabel(QStringLiteral("lblColExpires"), QStringLiteral("Expires"), 169.069, 6.085, 16.669, h, labelFont));
  r.group.footer.height = 2.381;

  r.detail.height = 4.233;
  r.detail.add(ppDBText(QStringLiteral("dbDescription"), QStringLiteral("Description"), 1.058, 0, 68.263, h, fieldFont));
  r.detail.add(ppDBText(QStringLiteral("dbID"), QStringLiteral("ID"), 70.644, 0, 45.773, h, fieldFont));
  r.detail.add(ppDBText(QStringLiteral("dbPassword"), QStringLiteral("Password"), 117.475, 0, 31.485, h, fieldFont));
  r.detail.add(ppDBText(QStringLiteral("dbAssignDate"), QStringLiteral("AssignDate"), 149.754, 0, 16.669, h, fieldFont))
      .displayFormat = kDateFormat;
  r.detail.add(ppDBText(QStringLiteral("dbExpireDate"), QStringLiteral("ExpireDate"), 168.805, 0, 16.669, h, fieldFont))
      .displayFormat = kDateFormat;

  r.BeforePrint = [this](TppReport&) { ppRptConciseBeforePrint(); };
}

void TPasswordReports::prepare(TppReport& report, TppElement& titleLabel, TppElement& dateLabel) {
  dateLabel.visible = Choices.printDate;
  dateLabel.caption = Choices.printDate ? ppFormatDate(QDate::currentDate(), kDateFormat) : QString();
  const QString title = Choices.title.trimmed();
  report.title.visible = Choices.printDate || !title.isEmpty();
  titleLabel.caption = title;
  report.group.newPage = Choices.oneGroupPerPage;
}

void TPasswordReports::ppRptPasswordsBeforePrint() {
  prepare(ppRptPasswords, *ppRptPasswords.find(QStringLiteral("lblTitle")),
          *ppRptPasswords.find(QStringLiteral("lblDate")));
}

void TPasswordReports::ppRptConciseBeforePrint() {
  prepare(ppRptConcise, *ppRptConcise.find(QStringLiteral("lblTitle")), *ppRptConcise.find(QStringLiteral("lblDate")));
}
