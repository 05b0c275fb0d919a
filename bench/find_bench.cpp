// Find with the scope "All" over 100,000 accounts in 1,000 groups: the time
// from running the statement to having the hit count and the first 20 rows
// as the result grid shows them. One account in 100 mentions "bank" in one
// of its fields; a second search finds nothing (the whole file is scanned
// either way). Prints the median of each and, last, the slower median.
//
//   find_bench [runs]   (default 15)
#include <stdlib.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "data/DataModule.h"
#include "program_database.h"
#include "data/FindStatement.h"
#include "passwords_table.h"

using namespace kh;
using namespace kh::dao;

namespace {

Variant V(int n) { return Variant(static_cast<std::int32_t>(n)); }

// 1,000 groups of 100 accounts; account n of every 100 carries "bank" in
// the field n % 6 picks (ID, password, web address, notes, description), or
// its group is called "...Bank...".
void fill(const std::string& file, const std::string& password) {
  ComPtr<Workspace> ws = benchWorkspace();
  ComPtr<Database> db;
  benchCheck(ws->OpenDatabase(file, Variant::fromBool(true), Variant::missing(), Variant(";PWD=" + password), db.put()),
             "open");
  benchCheck(db->BeginTrans(), "begin");
  ComPtr<Recordset> groups;
  benchCheck(db->OpenRecordset("Groups", V(dbOpenTable), Variant::missing(), Variant::missing(), groups.put()), "groups");
  ComPtr<Recordset> accounts;
  benchCheck(db->OpenRecordset("Passwords", V(dbOpenTable), Variant::missing(), Variant::missing(), accounts.put()),
             "accounts");
  int serial = 0;
  for (int g = 0; g < 1000; ++g) {
    benchCheck(groups->AddNew(), "addnew");
    groups->put_Collect(Variant("Name"), Variant((g == 500 ? "Bank group " : "Group ") + std::to_string(g)));
    benchCheck(groups->_30_Update(), "update");
    Variant last, id;
    groups->get_LastModified(&last);
    groups->put_Bookmark(last);
    groups->get_Collect(Variant("GroupID"), &id);
    for (int a = 0; a < 100; ++a, ++serial) {
      const bool hit = a == 37;
      const int field = g % 5;
      auto text = [&](int which, const std::string& plain) { return hit && field == which ? plain + " bank" : plain; };
      benchCheck(accounts->AddNew(), "addnew");
      accounts->put_Collect(Variant("GroupID"), id);
      accounts->put_Collect(Variant("Description"), Variant(text(0, "Account " + std::to_string(serial))));
      accounts->put_Collect(Variant("ID"), Variant(text(1, "user" + std::to_string(serial))));
      accounts->put_Collect(Variant("Password"), Variant(text(2, "pw-" + std::to_string(serial * 7919))));
      accounts->put_Collect(Variant("URL"), Variant(text(3, "https://example.com/" + std::to_string(serial))));
      accounts->put_Collect(Variant("Notes"), Variant(text(4, "Notes for account " + std::to_string(serial))));
      benchCheck(accounts->_30_Update(), "update");
    }
  }
  benchCheck(db->CommitTrans(1), "commit");
}

// One search as the dialog runs it; answers the milliseconds and the count.
double search(TDM& dm, const QString& text, int& count) {
  const auto start = std::chrono::steady_clock::now();
  dm.qryFind.Close();
  dm.qryFind.setSQL(FindStatement::Build(text, FindStatement::fsAll));
  dm.qryFind.Open();
  count = dm.qryFind.RecordCount();
  const TField& name = dm.qryFind.FieldByName(QStringLiteral("Name"));
  const TField& description = dm.qryFind.FieldByName(QStringLiteral("Description"));
  for (int r = 0; r < std::min(count, 20); ++r) {
    (void)dm.qryFind.DisplayTextAt(r, name);
    (void)dm.qryFind.DisplayTextAt(r, description);
  }
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int runs = std::max(1, argc > 1 ? std::atoi(argv[1]) : 15);
  QTemporaryDir root;
  TDM dm;
  openBenchDatabase(root, dm, fill);

  std::vector<double> hits, none;
  int hitCount = 0, noneCount = 0;
  for (int i = 0; i < runs; ++i) {
    hits.push_back(search(dm, QStringLiteral("bank"), hitCount));
    none.push_back(search(dm, QStringLiteral("no such text"), noneCount));
  }
  // 1,000 accounts carry "bank" themselves, plus the 100 of the "Bank" group
  // (one of which is already counted when its own field holds it).
  if (hitCount < 1000 || noneCount != 0) {
    std::fprintf(stderr, "unexpected counts: %d hits, %d for the missing text\n", hitCount, noneCount);
    return 1;
  }
  std::printf("find \"bank\", scope All, 100,000 accounts: %d hits, median %.1f ms (count and first 20 rows)\n",
              hitCount, median(hits));
  std::printf("find with no hit, scope All, 100,000 accounts: median %.1f ms\n", median(none));
  std::printf("find scope All over 100,000 accounts, slower median: %.1f ms\n", std::max(median(hits), median(none)));
  dm.DB.Close();
  return 0;
}
