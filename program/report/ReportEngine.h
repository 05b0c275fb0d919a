// Page production: lays a report definition and the records of its pipeline
// out into pages, without a printer. The title band comes once at the start;
// each page gets the page header and footer; each run of records with the
// same break-field value gets the group header (kept on one page with its
// first record) and footer, and starts a new page when the group asks for it;
// each record gets the detail band, which moves to the next page when it does
// not fit and, when taller than a whole page, continues on the next one.
#pragma once

#include <QDateTime>
#include <QString>

#include "ReportDefinition.h"
#include "ReportPages.h"

// Calls the report's BeforePrint, then lays out every record.
TppDocument ProduceReport(TppReport& report);

// A date in a display format of the layouts ("mm/dd/yyyy", "mmmm dd, yyyy"):
// d, dd, ddd, dddd, m, mm, mmm, mmmm, yy, yyyy; other characters as they are,
// text in double or single quotes literally. English month and day names.
QString ppFormatDate(const QDate& date, const QString& format);

// Splits text into lines no wider than `width` mm in `font`, at word
// boundaries (a word wider than a line is broken between characters). Line
// breaks in the text start new lines; trailing blanks and breaks are dropped.
QStringList ppWrapText(const QString& text, const TppFont& font, double width);
