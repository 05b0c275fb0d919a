// The password database schema and its rules, on real files.
#include "store_fixture.h"

namespace kh::storetest {
namespace {

class SchemaTest : public StoreTest {};

TEST_F(SchemaTest, ProgramSchemaReadsBackAfterReopen) {
  {
    auto db = createDb("kh.pdb", "master");
    buildSchema(db.get(), true);
  }
  auto db = openDb("kh.pdb", "master");
  ComPtr<TableDefs> tds;
  HR_OK(db->get_TableDefs(tds.put()));
  ComPtr<_TableDef> pw;
  HR_OK(tds->get_Item(V("passwords"), pw.put()));
  ComPtr<Fields> fields;
  HR_OK(pw->get_Fields(fields.put()));
  std::int16_t n = 0;
  HR_OK(fields->get_Count(&n));
  EXPECT_EQ(n, 11);

  struct Expect {
    const char* name;
    std::int16_t type;
    std::int32_t size;
    bool autoIncrement;
    bool zeroLength;
  };
  const Expect expected[] = {{"GroupID", dbLong, 4, false, false},     {"PasswordID", dbLong, 4, true, false},
                             {"Description", dbText, 100, false, false}, {"ID", dbText, 100, false, true},
                             {"ExpireDate", dbDate, 8, false, false},    {"ShowAccount", dbBoolean, 1, false, false},
                             {"Notes", dbMemo, 0, false, true}};
  for (const auto& e : expected) {
    SCOPED_TRACE(e.name);
    ComPtr<_Field> f;
    HR_OK(fields->get_Item(V(e.name), f.put()));
    std::int16_t type = 0;
    std::int32_t size = 0, attrs = 0;
    VARIANT_BOOL zl = 0;
    HR_OK(f->get_Type(&type));
    HR_OK(f->get_Size(&size));
    HR_OK(f->get_Attributes(&attrs));
    HR_OK(f->get_AllowZeroLength(&zl));
    EXPECT_EQ(type, e.type);
    EXPECT_EQ(size, e.size);
    EXPECT_EQ((attrs & dbAutoIncrField) != 0, e.autoIncrement);
    EXPECT_EQ(zl != 0, e.zeroLength);
  }

  ComPtr<Indexes> indexes;
  HR_OK(pw->get_Indexes(indexes.put()));
  ComPtr<_Index> pk;
  HR_OK(indexes->get_Item(V("PrimaryKey"), pk.put()));
  VARIANT_BOOL primary = 0;
  HR_OK(pk->get_Primary(&primary));
  EXPECT_TRUE(primary);
  Variant ixFields;
  HR_OK(pk->get_Fields(&ixFields));
  void* raw = nullptr;
  HR_OK(ixFields.dispatch()->QueryInterface(IndexFields::kIID, &raw));
  ComPtr<IndexFields> xf = ComPtr<IndexFields>::adopt(static_cast<IndexFields*>(raw));
  HR_OK(xf->get_Count(&n));
  EXPECT_EQ(n, 2);

  ComPtr<Relations> rels;
  HR_OK(db->get_Relations(rels.put()));
  ComPtr<Relation> rel;
  HR_OK(rels->get_Item(V("GroupsPassword"), rel.put()));
  std::int32_t attrs = 0;
  HR_OK(rel->get_Attributes(&attrs));
  EXPECT_EQ(attrs, 4352);

  // The catalogue shows itself as system tables.
  HR_OK(tds->get_Count(&n));
  int system = 0;
  for (std::int16_t i = 0; i < n; ++i) {
    ComPtr<_TableDef> t;
    HR_OK(tds->get_Item(Variant(static_cast<std::int32_t>(i)), t.put()));
    std::int32_t a = 0;
    t->get_Attributes(&a);
    if ((static_cast<std::uint32_t>(a) & 0x80000002u) == 0x80000002u) ++system;
  }
  EXPECT_GE(system, 1);

  ComPtr<Recordset> groups;
  HR_OK(db->OpenRecordset("select * from groups order by Name", V(dbOpenDynaset), M(), M(), groups.put()));
  std::vector<std::string> names;
  while (!eof(groups.get())) {
    names.push_back(text(groups.get(), "Name"));
    HR_OK(groups->MoveNext());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Email Accounts", "Misc Accounts", "Web Discussion Boards",
                                              "Web Subscriptions"}));
  ComPtr<Recordset> options;
  HR_OK(db->OpenRecordset("select * from options", V(dbOpenDynaset), M(), M(), options.put()));
  EXPECT_EQ(text(options.get(), "Group"), "Email Accounts");
  EXPECT_EQ(text(options.get(), "dbmaintcount"), "100");
  Variant b;
  HR_OK(options->get_Collect(V("pwdsystray"), &b));
  EXPECT_EQ(b.type(), VT_BOOL);
  EXPECT_TRUE(b.boolVal());
}

TEST_F(SchemaTest, FieldRulesFailWithDaoNumbers) {
  auto db = createDb("rules.pdb", "pw");
  buildSchema(db.get(), true);
  ComPtr<_TableDef> t;
  HR_OK(db->CreateTableDef(V("Tags"), M(), M(), M(), t.put()));
  addField(t.get(), "Tag", dbText, 5);
  addField(t.get(), "Weight", dbLong);
  ComPtr<_Field> req;
  addIndex(t.get(), "TagKey", {"Tag"}, false, true, false);
  appendTable(db.get(), t.get());
  {
    ComPtr<TableDefs> tds;
    db->get_TableDefs(tds.put());
    ComPtr<_TableDef> tags;
    HR_OK(tds->get_Item(V("Tags"), tags.put()));
    ComPtr<Fields> fs;
    tags->get_Fields(fs.put());
    HR_OK(fs->get_Item(V("Tag"), req.put()));
    HR_OK(req->put_Required(VARIANT_TRUE));
    ComPtr<_Field> weight;
    HR_OK(fs->get_Item(V("Weight"), weight.put()));
    HR_OK(weight->put_ValidationRule("Between 1 And 9"));
    HR_OK(weight->put_ValidationText("Weight must be 1 to 9."));
  }

  ComPtr<Recordset> rs;
  HR_OK(db->OpenRecordset("Tags", V(dbOpenTable), M(), M(), rs.put()));
  HR_OK(rs->AddNew());
  HR_OK(rs->put_Collect(V("Tag"), V("abc")));
  HR_OK(rs->_30_Update());

  struct Case {
    const char* what;
    Variant value;
    unsigned number;
  };
  const Case cases[] = {{"duplicate ignoring case", V("ABC"), 3022},
                        {"required", Variant::null(), 3314},
                        {"zero length", V(""), 3315}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HR_OK(rs->AddNew());
    HR_OK(rs->put_Collect(V("Tag"), c.value));
    EXPECT_DAO(rs->_30_Update(), c.number);
    EXPECT_EQ(lastError().first, static_cast<std::int32_t>(c.number));
    HR_OK(rs->_30_CancelUpdate());
  }
  HR_OK(rs->AddNew());
  EXPECT_DAO(rs->put_Collect(V("Tag"), V("toolong")), 3163);
  HR_OK(rs->_30_CancelUpdate());

  // A validation rule is checked on every write; Null passes it.
  HR_OK(rs->AddNew());
  HR_OK(rs->put_Collect(V("Tag"), V("w")));
  HR_OK(rs->put_Collect(V("Weight"), V(12)));
  EXPECT_DAO(rs->_30_Update(), 3316);
  EXPECT_EQ(lastError().second, "Weight must be 1 to 9.");
  HR_OK(rs->put_Collect(V("Weight"), Variant::null()));
  HR_OK(rs->_30_Update());
  EXPECT_DAO(db->Execute("UPDATE Tags SET Weight = 0", V(dbFailOnError)), 3316);

  // An account needs an existing group; a group's accounts go with it.
  ComPtr<Recordset> pw;
  HR_OK(db->OpenRecordset("Passwords", V(dbOpenTable), M(), M(), pw.put()));
  HR_OK(pw->AddNew());
  HR_OK(pw->put_Collect(V("GroupID"), V(999)));
  HR_OK(pw->put_Collect(V("Description"), V("orphan")));
  EXPECT_DAO(pw->_30_Update(), 3201);
  HR_OK(pw->_30_CancelUpdate());
  for (int i = 0; i < 3; ++i) {
    HR_OK(pw->AddNew());
    HR_OK(pw->put_Collect(V("GroupID"), V(1)));
    HR_OK(pw->put_Collect(V("Description"), V(("acct" + std::to_string(i)).c_str())));
    HR_OK(pw->_30_Update());
  }
  HR_OK(db->Execute("DELETE FROM Groups WHERE GroupID = 1", V(dbFailOnError)));
  ComPtr<Recordset> left;
  HR_OK(db->OpenRecordset("SELECT count(*) AS n FROM Passwords", V(dbOpenSnapshot), M(), M(), left.put()));
  EXPECT_EQ(text(left.get(), "n"), "0");
}

TEST_F(SchemaTest, SchemaMistakesAreRefused) {
  auto db = createDb("bad.pdb", "pw");
  buildSchema(db.get(), false);
  ComPtr<_TableDef> again;
  HR_OK(db->CreateTableDef(V("Groups"), M(), M(), M(), again.put()));
  addField(again.get(), "X", dbLong);
  ComPtr<TableDefs> tds;
  HR_OK(db->get_TableDefs(tds.put()));
  EXPECT_DAO(tds->Append(again.get()), 3010);

  ComPtr<_TableDef> empty;
  HR_OK(db->CreateTableDef(V("Empty"), M(), M(), M(), empty.put()));
  EXPECT_DAO(tds->Append(empty.get()), 3264);

  ComPtr<_TableDef> twice;
  HR_OK(db->CreateTableDef(V("Twice"), M(), M(), M(), twice.put()));
  addField(twice.get(), "A", dbLong);
  ComPtr<_Field> dup;
  HR_OK(twice->CreateField(V("a"), V(dbLong), M(), dup.put()));
  ComPtr<Fields> fs;
  HR_OK(twice->get_Fields(fs.put()));
  EXPECT_DAO(fs->Append(dup.get()), 3191);

  ComPtr<_TableDef> missing;
  EXPECT_DAO(tds->get_Item(V("NoSuchTable"), missing.put()), 3265);
}

}  // namespace
}  // namespace kh::storetest
