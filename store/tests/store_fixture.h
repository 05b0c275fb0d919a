// Shared setup of the store tests: a private engine and a temporary directory
// per test, and the password database schema built with DAO calls.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "store/dao.h"

namespace kh::storetest {

using namespace kh::dao;

#define HR_OK(expr) ASSERT_EQ((expr), ::kh::S_OK) << #expr
#define EXPECT_DAO(expr, number) EXPECT_EQ((expr), ::kh::DaoError(number)) << #expr

inline Variant V(const char* s) { return Variant(s); }
inline Variant V(int n) { return Variant(static_cast<std::int32_t>(n)); }
inline Variant M() { return Variant::missing(); }

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/khstoreXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    engine_ = newEngine();
    ASSERT_TRUE(engine_);
    HR_OK(engine_->CreateWorkspace("ws", "Admin", "", Variant(std::int32_t{2}), ws_.put()));
  }
  void TearDown() override {
    ws_.reset();
    engine_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  static ComPtr<_DBEngine> newEngine() {
    ComPtr<IClassFactory> factory;
    ComPtr<_DBEngine> engine;
    if (khStoreGetClassObject(CLSID_PrivDBEngine, IClassFactory::kIID, reinterpret_cast<void**>(factory.put())) != S_OK)
      return engine;
    factory->CreateInstance(nullptr, _DBEngine::kIID, reinterpret_cast<void**>(engine.put()));
    return engine;
  }

  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  // The most recent error of the engine: number and description.
  std::pair<std::int32_t, std::string> lastError() {
    ComPtr<Errors> errs;
    engine_->get_Errors(errs.put());
    std::int16_t n = 0;
    errs->get_Count(&n);
    if (n == 0) return {0, ""};
    ComPtr<Error> e;
    errs->get_Item(Variant(std::int32_t{0}), e.put());
    std::pair<std::int32_t, std::string> out;
    e->get_Number(&out.first);
    e->get_Description(&out.second);
    return out;
  }

  ComPtr<Database> createDb(const std::string& file, const std::string& password) {
    ComPtr<Database> db;
    EXPECT_EQ(ws_->CreateDatabase(path(file), std::string(dbLangGeneral) + ";pwd=" + password,
                                  Variant(std::int32_t{6}), db.put()),
              S_OK);
    return db;
  }

  ComPtr<Database> openDb(const std::string& file, const std::string& password, bool exclusive = false,
                          bool readOnly = false) {
    ComPtr<Database> db;
    EXPECT_EQ(ws_->OpenDatabase(path(file), Variant::fromBool(exclusive), Variant::fromBool(readOnly),
                                Variant(";PWD=" + password), db.put()),
              S_OK);
    return db;
  }

  static void addField(_TableDef* t, const char* name, int type, int size = 0, int attributes = 0,
                       bool zeroLength = false) {
    ComPtr<_Field> f;
    ASSERT_EQ(t->CreateField(V(name), V(type), M(), f.put()), S_OK);
    if (size) {
      ASSERT_EQ(f->put_Size(size), S_OK);
    }
    if (attributes) {
      ASSERT_EQ(f->put_Attributes(attributes), S_OK);
    }
    if (zeroLength) {
      ASSERT_EQ(f->put_AllowZeroLength(VARIANT_TRUE), S_OK);
    }
    ComPtr<Fields> fields;
    ASSERT_EQ(t->get_Fields(fields.put()), S_OK);
    ASSERT_EQ(fields->Append(f.get()), S_OK);
  }

  static void addIndex(_TableDef* t, const char* name, std::vector<const char*> fieldNames, bool primary,
                       bool unique, bool required) {
    ComPtr<_Index> ix;
    ASSERT_EQ(t->CreateIndex(M(), ix.put()), S_OK);
    ASSERT_EQ(ix->put_Name(name), S_OK);
    ASSERT_EQ(ix->put_Primary(primary ? VARIANT_TRUE : VARIANT_FALSE), S_OK);
    ASSERT_EQ(ix->put_Unique(unique ? VARIANT_TRUE : VARIANT_FALSE), S_OK);
    ASSERT_EQ(ix->put_Required(required ? VARIANT_TRUE : VARIANT_FALSE), S_OK);
    Variant fv;
    ASSERT_EQ(ix->get_Fields(&fv), S_OK);
    ASSERT_EQ(fv.type(), VT_DISPATCH);
    void* raw = nullptr;
    ASSERT_EQ(fv.dispatch()->QueryInterface(IndexFields::kIID, &raw), S_OK);
    ComPtr<IndexFields> ixFields = ComPtr<IndexFields>::adopt(static_cast<IndexFields*>(raw));
    for (const char* n : fieldNames) {
      ComPtr<_Field> f;
      ASSERT_EQ(ix->CreateField(V(n), M(), M(), f.put()), S_OK);
      ASSERT_EQ(ixFields->Append(f.get()), S_OK);
    }
    ComPtr<Indexes> indexes;
    ASSERT_EQ(t->get_Indexes(indexes.put()), S_OK);
    ASSERT_EQ(indexes->Append(ix.get()), S_OK);
  }

  static void appendTable(Database* db, _TableDef* t) {
    ComPtr<TableDefs> tds;
    ASSERT_EQ(db->get_TableDefs(tds.put()), S_OK);
    ASSERT_EQ(tds->Append(t), S_OK);
  }

  // The password database schema, built with the calls the program makes.
  static void buildSchema(Database* db, bool samples) {
    ComPtr<_TableDef> options;
    ASSERT_EQ(db->CreateTableDef(V("Options"), M(), M(), M(), options.put()), S_OK);
    addField(options.get(), "Group", dbText, 50);
    addField(options.get(), "style", dbText, 12);
    addField(options.get(), "pwdsystray", dbBoolean);
    addField(options.get(), "DBMaintCount", dbLong);
    addField(options.get(), "DBMaintFreq", dbLong);
    addField(options.get(), "showpassword", dbLong);
    addField(options.get(), "promptpassword", dbBoolean);
    appendTable(db, options.get());

    ComPtr<_TableDef> groups;
    ASSERT_EQ(db->CreateTableDef(V("Groups"), M(), M(), M(), groups.put()), S_OK);
    addField(groups.get(), "GroupID", dbLong, 0, dbAutoIncrField);
    addField(groups.get(), "Name", dbText, 50);
    addIndex(groups.get(), "Groups", {"GroupID"}, true, true, false);
    appendTable(db, groups.get());

    ComPtr<_TableDef> pw;
    ASSERT_EQ(db->CreateTableDef(V("Passwords"), M(), M(), M(), pw.put()), S_OK);
    addField(pw.get(), "GroupID", dbLong);
    addField(pw.get(), "PasswordID", dbLong, 0, dbAutoIncrField);
    addField(pw.get(), "Description", dbText, 100);
    addField(pw.get(), "ID", dbText, 100, 0, true);
    addField(pw.get(), "Password", dbText, 100, 0, true);
    addField(pw.get(), "ExpireDate", dbDate);
    addField(pw.get(), "AssignDate", dbDate);
    addField(pw.get(), "URL", dbText, 100, 0, true);
    addField(pw.get(), "KeySequence", dbText, 100, 0, true);
    addField(pw.get(), "ShowAccount", dbBoolean);
    addField(pw.get(), "Notes", dbMemo, 0, 0, true);
    addIndex(pw.get(), "PrimaryKey", {"GroupID", "PasswordID"}, true, false, true);
    addIndex(pw.get(), "GroupKey", {"GroupID"}, false, false, true);
    addIndex(pw.get(), "PasswordKey", {"PasswordID"}, false, false, true);
    appendTable(db, pw.get());

    ComPtr<Relation> rel;
    BSTR groupsName, pwName;
    groups->get_Name(&groupsName);
    pw->get_Name(&pwName);
    ASSERT_EQ(db->CreateRelation(V("GroupsPassword"), Variant(groupsName), Variant(pwName), V(4352), rel.put()), S_OK);
    ComPtr<_Field> rf;
    ASSERT_EQ(rel->CreateField(V("GroupID"), M(), M(), rf.put()), S_OK);
    ASSERT_EQ(rf->put_ForeignName("GroupID"), S_OK);
    ComPtr<Fields> relFields;
    ASSERT_EQ(rel->get_Fields(relFields.put()), S_OK);
    ASSERT_EQ(relFields->Append(rf.get()), S_OK);
    ComPtr<Relations> rels;
    ASSERT_EQ(db->get_Relations(rels.put()), S_OK);
    ASSERT_EQ(rels->Append(rel.get()), S_OK);

    ComPtr<Recordset> rs;
    ASSERT_EQ(db->OpenRecordset("Options", V(dbOpenTable), M(), M(), rs.put()), S_OK);
    ASSERT_EQ(rs->AddNew(), S_OK);
    ASSERT_EQ(rs->put_Collect(V("pwdsystray"), Variant::fromBool(true)), S_OK);
    ASSERT_EQ(rs->put_Collect(V("style"), V("None")), S_OK);
    ASSERT_EQ(rs->put_Collect(V("dbMaintCount"), V(100)), S_OK);
    ASSERT_EQ(rs->put_Collect(V("dbMaintFreq"), V(100)), S_OK);
    ASSERT_EQ(rs->put_Collect(V("showpassword"), V(1)), S_OK);
    ASSERT_EQ(rs->put_Collect(V("promptpassword"), Variant::fromBool(true)), S_OK);
    ASSERT_EQ(rs->Update(dbUpdateRegular, VARIANT_FALSE), S_OK);

    if (samples) {
      ComPtr<Recordset> g;
      ASSERT_EQ(db->OpenRecordset("Groups", V(dbOpenTable), M(), M(), g.put()), S_OK);
      for (const char* n : {"Email Accounts", "Web Discussion Boards", "Misc Accounts", "Web Subscriptions"}) {
        ASSERT_EQ(g->AddNew(), S_OK);
        ASSERT_EQ(g->put_Collect(V("name"), V(n)), S_OK);
        ASSERT_EQ(g->_30_Update(), S_OK);
      }
      ComPtr<Recordset> o;
      ASSERT_EQ(db->OpenRecordset("Options", V(dbOpenTable), M(), M(), o.put()), S_OK);
      ASSERT_EQ(o->Edit(), S_OK);
      ASSERT_EQ(o->put_Collect(V("Group"), V("Email Accounts")), S_OK);
      ASSERT_EQ(o->_30_Update(), S_OK);
    }
  }

  static std::string fileBytes(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string dir_;
  ComPtr<_DBEngine> engine_;
  ComPtr<Workspace> ws_;
};

// Reads a field of the current record as text ("<null>" for Null).
inline std::string text(Recordset* rs, const char* field) {
  Variant v;
  if (rs->get_Collect(Variant(field), &v) != S_OK) return "<error>";
  if (v.isNull()) return "<null>";
  return v.toString();
}

inline bool eof(Recordset* rs) {
  VARIANT_BOOL b = 0;
  rs->get_EOF(&b);
  return b != 0;
}

}  // namespace kh::storetest
