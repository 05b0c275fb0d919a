// A password database of the program's own making, opened through the data
// module as the program opens it, with helpers to add accounts and to find
// what the report engine put on its pages.
#pragma once

#include <stdlib.h>

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "../test_database.h"
#include "data/DataModule.h"
#include "ReportPages.h"
#include "data/DatabaseFiles.h"

struct TestAccount {
  QString group;
  QString description;
  QString id;
  QString password;
  QString url;
  QString notes;
  QDate assigned;
  QDate expires;
};

class ReportDatabase {
 public:
  // Settings and configuration go to directories of the test's own.
  ReportDatabase() {
    QDir(root_.path()).mkpath(QStringLiteral("kbe"));
    QDir(root_.path()).mkpath(QStringLiteral("home"));
    setenv("KBE_ROOT", root_.filePath(QStringLiteral("kbe")).toUtf8().constData(), 1);
    setenv("KEYHAVEN_HOME", home().toUtf8().constData(), 1);
    file_ = root_.filePath(QStringLiteral("accounts.pdb"));
    dm = OpenNewSampleDatabase(file_);
  }
  ~ReportDatabase() { dm.reset(); }

  QString home() const { return root_.filePath(QStringLiteral("home")); }
  QString iniFile() const { return home() + QStringLiteral("/kh.ini"); }

  // Makes the group current and adds the account to it.
  void add(const TestAccount& a) {
    selectGroup(a.group);
    TQuery& q = dm->qryPasswords;
    q.Append();
    q.FieldByName(QStringLiteral("Description")).setAsString(a.description);
    q.FieldByName(QStringLiteral("ID")).setAsString(a.id);
    q.FieldByName(QStringLiteral("Password")).setAsString(a.password);
    q.FieldByName(QStringLiteral("URL")).setAsString(a.url);
    q.FieldByName(QStringLiteral("Notes")).setAsString(a.notes);
    if (a.assigned.isValid()) q.FieldByName(QStringLiteral("AssignDate")).setAsDateTime(QDateTime(a.assigned, QTime(0, 0)));
    if (a.expires.isValid()) q.FieldByName(QStringLiteral("ExpireDate")).setAsDateTime(QDateTime(a.expires, QTime(0, 0)));
    q.Post();
  }

  void selectGroup(const QString& name) {
    if (!dm->qryGroups.Locate(QStringLiteral("Name"), name)) QFAIL(qPrintable(QStringLiteral("no group ") + name));
  }

  // Runs the report query as the selection dialog does, for all groups.
  void openAllGroups(const QString& sql) {
    dm->qryRptPasswords.Close();
    dm->qryRptPasswords.setSQL(sql);
    dm->qryRptPasswords.Open();
  }

  std::unique_ptr<TDM> dm;

 private:
  QTemporaryDir root_;
  QString file_;
};

struct FoundItem {
  int page;  // from 1
  TppPageItem item;
};

inline std::vector<FoundItem> itemsOf(const TppDocument& doc, const QString& element) {
  std::vector<FoundItem> found;
  for (const TppPage& page : doc.pages)
    for (const TppPageItem& item : page.items)
      if (item.element == element) found.push_back({page.number, item});
  return found;
}

struct FoundBand {
  int page;
  TppBandPlacement band;
};

inline std::vector<FoundBand> bandsOf(const TppDocument& doc, const QString& band) {
  std::vector<FoundBand> found;
  for (const TppPage& page : doc.pages)
    for (const TppBandPlacement& b : page.bands)
      if (b.band == band) found.push_back({page.number, b});
  return found;
}

// Millimetre comparison within a small tolerance.
#define QCOMPARE_MM(actual, expected)                                                                          \
  do {                                                                                                         \
    const double a_ = (actual), e_ = (expected);                                                               \
    if (std::abs(a_ - e_) > 0.01)                                                                              \
      QFAIL(qPrintable(QStringLiteral("%1 is %2 mm, expected %3 mm").arg(QLatin1String(#actual)).arg(a_).arg(e_))); \
  } while (0)
