// The account reports of the data module: the report query's two
// statements, the pipeline over it, the full layout ppRptPasswords and the
// concise layout ppRptConcise, and their before-print handlers.
#pragma once

#include <QString>

#include "data/DataModule.h"
#include "ReportDefinition.h"
#include "ReportEngine.h"
#include "ReportPipeline.h"

// What the selection dialog asks for.
struct TReportChoices {
  bool printDate = true;
  QString title;
  bool oneGroupPerPage = true;
};

class TPasswordReports {
 public:
  explicit TPasswordReports(TDM& dm);
  TPasswordReports(const TPasswordReports&) = delete;
  TPasswordReports& operator=(const TPasswordReports&) = delete;

  // The statement of qryRptPasswords for one group, and for all groups.
  static QString CurrentGroupSQL(qint32 groupId);
  static QString AllGroupsSQL();

  TDM& DM;
  TppDBPipeline ppRptPasswordsPipeline;
  TppReport ppRptPasswords{QStringLiteral("ppRptPasswords")};
  TppReport ppRptConcise{QStringLiteral("ppRptConcise")};

  // Read by the before-print handlers; set before the pages are produced.
  TReportChoices Choices;

 private:
  void buildFull();
  void buildConcise();
  // Title band and grouping of either layout, from Choices.
  void prepare(TppReport& report, TppElement& titleLabel, TppElement& dateLabel);
  void ppRptPasswordsBeforePrint();
  void ppRptConciseBeforePrint();
};
