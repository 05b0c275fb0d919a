// The data every read benchmark reads: a Passwords-shaped table of `rows`
// accounts in a new protected file, written through the store in one
// transaction.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "store/dao.h"

inline void benchCheck(kh::HRESULT hr, const char* what) {
  if (hr != kh::S_OK) {
    std::fprintf(stderr, "%s failed: 0x%08X\n", what, static_cast<unsigned>(hr));
    std::exit(1);
  }
}

// A private store engine's workspace 0.
inline kh::ComPtr<kh::dao::Workspace> benchWorkspace() {
  using namespace kh::dao;
  kh::ComPtr<IClassFactory> factory;
  benchCheck(khStoreGetClassObject(CLSID_PrivDBEngine, IClassFactory::kIID, reinterpret_cast<void**>(factory.put())),
             "class object");
  kh::ComPtr<_DBEngine> engine;
  benchCheck(factory->CreateInstance(nullptr, _DBEngine::kIID, reinterpret_cast<void**>(engine.put())), "engine");
  kh::ComPtr<Workspaces> wss;
  benchCheck(engine->get_Workspaces(wss.put()), "workspaces");
  kh::ComPtr<Workspace> ws;
  benchCheck(wss->get_Item(kh::Variant(std::int32_t{0}), ws.put()), "workspace 0");
  return ws;
}

inline void makePasswordsFile(kh::dao::Workspace* ws, const std::string& file, const std::string& password,
                              int rows) {
  using namespace kh::dao;
  using kh::Variant;
  auto V = [](int n) { return Variant(static_cast<std::int32_t>(n)); };
  kh::ComPtr<Database> db;
  benchCheck(ws->CreateDatabase(file, std::string(dbLangGeneral) + ";pwd=" + password, Variant::missing(), db.put()),
             "create");
  benchCheck(db->Execute("CREATE TABLE Passwords (GroupID LONG, PasswordID COUNTER, Description TEXT(100),"
                         " ID TEXT(100), [Password] TEXT(100), ExpireDate DATETIME, AssignDate DATETIME,"
                         " URL TEXT(100), KeySequence TEXT(100), ShowAccount YESNO, Notes MEMO)",
                         Variant::missing()),
             "create table");
  benchCheck(db->BeginTrans(), "begin");
  kh::ComPtr<Recordset> rs;
  benchCheck(db->OpenRecordset("Passwords", V(dbOpenTable), Variant::missing(), Variant::missing(), rs.put()),
             "open");
  for (int i = 0; i < rows; ++i) {
    benchCheck(rs->AddNew(), "addnew");
    rs->put_Collect(Variant("GroupID"), V(i % 1000));
    rs->put_Collect(Variant("Description"), Variant("Account number " + std::to_string(i)));
    rs->put_Collect(Variant("ID"), Variant("user" + std::to_string(i) + "@example.com"));
    rs->put_Collect(Variant("Password"), Variant("pw-" + std::to_string(i * 7919)));
    rs->put_Collect(Variant("ExpireDate"), Variant::fromDate(40000 + i % 3000));
    rs->put_Collect(Variant("AssignDate"), Variant::fromDate(39000 + i % 3000));
    rs->put_Collect(Variant("URL"), Variant("https://example.com/" + std::to_string(i)));
    rs->put_Collect(Variant("KeySequence"), Variant(""));
    rs->put_Collect(Variant("ShowAccount"), Variant::fromBool(i % 2 == 0));
    rs->put_Collect(Variant("Notes"), Variant("Some notes for account " + std::to_string(i)));
    benchCheck(rs->_30_Update(), "update");
  }
  benchCheck(db->CommitTrans(1), "commit");
}
