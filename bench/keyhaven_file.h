// A program database file for the program's benchmarks: made by the program
// (CreateDatabaseFile), then filled through the store in one transaction with
// `groups` groups ("Group 1000", "Group 1001", ...) of `perGroup` accounts.
#pragma once

#include <QString>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "data/DatabaseFiles.h"
#include "store/dao.h"

inline void keyhavenBenchCheck(kh::HRESULT hr, const char* what) {
  if (hr != kh::S_OK) {
    std::fprintf(stderr, "%s failed: 0x%08X\n", what, static_cast<unsigned>(hr));
    std::exit(1);
  }
}

inline void makeKeyhavenFile(const QString& path, const std::string& password, int groups, int perGroup) {
  using namespace kh;
  using namespace kh::dao;
  CreateDatabaseFile(path, QString::fromStdString(password), false);
  const std::string file = path.toStdString();
  auto V = [](int n) { return Variant(static_cast<std::int32_t>(n)); };
  ComPtr<IClassFactory> factory;
  keyhavenBenchCheck(
      khStoreGetClassObject(CLSID_PrivDBEngine, IClassFactory::kIID, reinterpret_cast<void**>(factory.put())),
      "factory");
  ComPtr<_DBEngine> engine;
  keyhavenBenchCheck(factory->CreateInstance(nullptr, _DBEngine::kIID, reinterpret_cast<void**>(engine.put())),
                     "engine");
  ComPtr<Database> db;
  keyhavenBenchCheck(
      engine->OpenDatabase(file, Variant::fromBool(true), Variant::missing(), Variant(";PWD=" + password), db.put()),
      "open");
  keyhavenBenchCheck(db->BeginTrans(), "begin");
  ComPtr<Recordset> groupTable;
  keyhavenBenchCheck(
      db->OpenRecordset("Groups", V(dbOpenTable), Variant::missing(), Variant::missing(), groupTable.put()), "groups");
  ComPtr<Recordset> accounts;
  keyhavenBenchCheck(
      db->OpenRecordset("Passwords", V(dbOpenTable), Variant::missing(), Variant::missing(), accounts.put()),
      "accounts");
  for (int g = 0; g < groups; ++g) {
    keyhavenBenchCheck(groupTable->AddNew(), "addnew");
    groupTable->put_Collect(Variant("Name"), Variant("Group " + std::to_string(1000 + g)));
    keyhavenBenchCheck(groupTable->_30_Update(), "update");
    Variant id;
    Variant last;
    groupTable->get_LastModified(&last);
    groupTable->put_Bookmark(last);
    groupTable->get_Collect(Variant("GroupID"), &id);
    for (int a = 0; a < perGroup; ++a) {
      keyhavenBenchCheck(accounts->AddNew(), "addnew");
      accounts->put_Collect(Variant("GroupID"), id);
      accounts->put_Collect(Variant("Description"), Variant("Account " + std::to_string(a)));
      accounts->put_Collect(Variant("ID"), Variant("user" + std::to_string(a)));
      accounts->put_Collect(Variant("Password"), Variant("pw" + std::to_string(g * perGroup + a)));
      accounts->put_Collect(Variant("URL"), Variant("https://example.com/" + std::to_string(a)));
      accounts->put_Collect(Variant("Notes"), Variant("notes"));
      keyhavenBenchCheck(accounts->_30_Update(), "update");
    }
  }
  keyhavenBenchCheck(db->CommitTrans(1), "commit");
}
