// With 1,000 groups of 100 accounts each, makes another group current (which
// re-runs the accounts query) and reads the first 20 rows as the grid shows
// them; prints the median time of a switch.
//
//   group_switch_bench [switches]   (default 50)
#include <stdlib.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "data/DataModule.h"
#include "program_database.h"
#include "store/dao.h"

using namespace kh;
using namespace kh::dao;

namespace {

void check(HRESULT hr, const char* what) {
  if (hr != S_OK) {
    std::fprintf(stderr, "%s failed: 0x%08X\n", what, static_cast<unsigned>(hr));
    std::exit(1);
  }
}

Variant V(int n) { return Variant(static_cast<std::int32_t>(n)); }

// 1,000 groups and 100,000 accounts, written through the store in one transaction.
void fill(const std::string& file, const std::string& password) {
  ComPtr<IClassFactory> factory;
  check(khStoreGetClassObject(CLSID_PrivDBEngine, IClassFactory::kIID, reinterpret_cast<void**>(factory.put())), "factory");
  ComPtr<_DBEngine> engine;
  check(factory->CreateInstance(nullptr, _DBEngine::kIID, reinterpret_cast<void**>(engine.put())), "engine");
  ComPtr<Database> db;
  check(engine->OpenDatabase(file, Variant::fromBool(true), Variant::missing(), Variant(";PWD=" + password), db.put()),
        "open");
  check(db->BeginTrans(), "begin");
  ComPtr<Recordset> groups;
  check(db->OpenRecordset("Groups", V(dbOpenTable), Variant::missing(), Variant::missing(), groups.put()), "groups");
  ComPtr<Recordset> accounts;
  check(db->OpenRecordset("Passwords", V(dbOpenTable), Variant::missing(), Variant::missing(), accounts.put()),
        "accounts");
  for (int g = 0; g < 1000; ++g) {
    check(groups->AddNew(), "addnew");
    groups->put_Collect(Variant("Name"), Variant("Group " + std::to_string(1000 + g)));
    check(groups->_30_Update(), "update");
    Variant id;
    Variant last;
    groups->get_LastModified(&last);
    groups->put_Bookmark(last);
    groups->get_Collect(Variant("GroupID"), &id);
    for (int a = 0; a < 100; ++a) {
      check(accounts->AddNew(), "addnew");
      accounts->put_Collect(Variant("GroupID"), id);
      accounts->put_Collect(Variant("Description"), Variant("Account " + std::to_string(a)));
      accounts->put_Collect(Variant("ID"), Variant("user" + std::to_string(a)));
      accounts->put_Collect(Variant("Password"), Variant("pw" + std::to_string(g * 100 + a)));
      accounts->put_Collect(Variant("URL"), Variant("https://example.com/" + std::to_string(a)));
      accounts->put_Collect(Variant("Notes"), Variant("notes"));
      check(accounts->_30_Update(), "update");
    }
  }
  check(db->CommitTrans(1), "commit");
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int switches = argc > 1 ? std::atoi(argv[1]) : 50;
  QTemporaryDir root;
  TDM dm;
  openBenchDatabase(root, dm, fill);

  std::vector<double> times;
  std::srand(7);
  for (int i = 0; i < switches; ++i) {
    int target = std::rand() % 1000;
    auto start = std::chrono::steady_clock::now();
    dm.qryGroups.setRecNo(target + 1);
    // What the grid shows: the first 20 rows, every field.
    int rows = 0;
    for (int r = 0; r < 20; ++r) {
      for (const auto& f : dm.qryPasswords.Fields()) (void)dm.qryPasswords.DisplayTextAt(r, *f);
      ++rows;
    }
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    if (dm.qryPasswords.RecordCount() != 100) {
      std::fprintf(stderr, "group %d shows %d accounts\n", target, dm.qryPasswords.RecordCount());
      return 1;
    }
  }
  std::sort(times.begin(), times.end());
  std::printf("%d group switches over 1000 groups x 100 accounts: median %.2f ms, fastest %.2f ms, slowest %.2f ms\n",
              switches, times[times.size() / 2], times.front(), times.back());
  dm.DB.Close();
  return 0;
}
