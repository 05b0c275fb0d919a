// Lays out the account reports of 1,000 accounts in four groups (a third of
// them with notes of several lines), read from a real password database
// through the report query. Side by side: walking the same query and reading
// every column without laying anything out. Prints the median times; the
// last line is the figure: full and concise layout of 1,000 accounts.
//
//   report_layout_bench [runs]   (default 15)
#include <stdlib.h>

#include <QApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "data/DataModule.h"
#include "PasswordReports.h"
#include "data/DatabaseFiles.h"

namespace {

double ms(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

template <typename F>
double median(int runs, F f) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    auto start = std::chrono::steady_clock::now();
    f();
    times.push_back(ms(start));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void fill(TDM& dm, int accounts) {
  const QString note = QStringLiteral(
      "Security questions and their answers, the recovery address, the phone number the help desk knows and the "
      "date the account was opened; the card that pays for it is the blue one.");
  int n = 0;
  for (dm.qryGroups.First(); !dm.qryGroups.Eof(); dm.qryGroups.Next()) {
    for (int i = 0; i < accounts / 4; ++i, ++n) {
      dm.qryPasswords.Append();
      dm.qryPasswords.FieldByName(QStringLiteral("Description")).setAsString(QStringLiteral("Account %1").arg(n, 4, 10, QLatin1Char('0')));
      dm.qryPasswords.FieldByName(QStringLiteral("ID")).setAsString(QStringLiteral("user%1@example.com").arg(n));
      dm.qryPasswords.FieldByName(QStringLiteral("Password")).setAsString(QStringLiteral("pw-%1-secret").arg(n * 7919));
      dm.qryPasswords.FieldByName(QStringLiteral("URL")).setAsString(QStringLiteral("https://site%1.example.com").arg(n));
      dm.qryPasswords.FieldByName(QStringLiteral("AssignDate")).setAsDateTime(QDateTime(QDate(2024, 1, 1).addDays(n), QTime()));
      if (n % 3 == 0) dm.qryPasswords.FieldByName(QStringLiteral("Notes")).setAsString(note);
      dm.qryPasswords.Post();
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  constexpr int kAccounts = 1000;
  QTemporaryDir root;
  setenv("KBE_ROOT", root.path().toUtf8().constData(), 1);
  const QString file = root.filePath(QStringLiteral("bench.pdb"));
  CreateDatabaseFile(file, QStringLiteral("bench-password"), true);

  TDM dm;
  TDM::StoreAliasPath(file);
  dm.DB.setParams({QStringLiteral("CONNECT=;PWD=bench-password")});
  dm.DB.Open();
  dm.qryGroups.Open();
  dm.qryPasswords.Open();
  fill(dm, kAccounts);

  TPasswordReports reports(dm);
  reports.Choices = {true, QStringLiteral("Account Summary"), true};
  TQuery& query = dm.qryRptPasswords;
  query.setSQL(TPasswordReports::AllGroupsSQL());
  auto run = [&](TppReport* layout, int* pages) {
    query.Close();
    query.Open();
    if (layout) {
      *pages = static_cast<int>(ProduceReport(*layout).pages.size());
      return;
    }
    int rows = 0;
    for (query.First(); !query.Eof(); query.Next(), ++rows)
      for (const auto& f : query.Fields()) (void)f->AsVariant();
    *pages = rows;
  };
  int rows = 0, fullPages = 0, concisePages = 0;
  const double walk = median(runs, [&] { run(nullptr, &rows); });
  const double full = median(runs, [&] { run(&reports.ppRptPasswords, &fullPages); });
  const double concise = median(runs, [&] { run(&reports.ppRptConcise, &concisePages); });
  if (rows != kAccounts) {
    std::fprintf(stderr, "the report query returned %d accounts\n", rows);
    return 1;
  }
  std::printf("reading the report query (%d accounts, every column): median %.1f ms\n", rows, walk);
  std::printf("full layout:    %d pages, median %.1f ms (query included)\n", fullPages, full);
  std::printf("concise layout: %d pages, median %.1f ms (query included)\n", concisePages, concise);
  std::printf("laying out 1,000 accounts: full %.1f ms, concise %.1f ms (reading the query alone %.1f ms)\n", full,
              concise, walk);
  dm.DB.Close();
  return 0;
}
