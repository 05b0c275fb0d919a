// Recordset behaviour: navigation, counts, bookmarks, changes and their errors.
#include "store_fixture.h"

namespace kh::storetest {
namespace {

class RecordsetTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    db_ = createDb("rs.pdb", "pw");
    buildSchema(db_.get(), true);
    ComPtr<Recordset> pw;
    ASSERT_EQ(db_->OpenRecordset("Passwords", V(dbOpenTable), M(), M(), pw.put()), S_OK);
    for (const char* d : {"Delta", "alpha", "Charlie", "bravo"}) {
      ASSERT_EQ(pw->AddNew(), S_OK);
      ASSERT_EQ(pw->put_Collect(V("GroupID"), V(1)), S_OK);
      ASSERT_EQ(pw->put_Collect(V("Description"), V(d)), S_OK);
      ASSERT_EQ(pw->_30_Update(), S_OK);
    }
  }
  ComPtr<Recordset> dynaset(const char* sql) {
    ComPtr<Recordset> rs;
    EXPECT_EQ(db_->OpenRecordset(sql, V(dbOpenDynaset), M(), M(), rs.put()), S_OK);
    return rs;
  }
  std::vector<std::string> column(Recordset* rs, const char* field) {
    std::vector<std::string> out;
    if (rs->MoveFirst() != S_OK) return out;
    while (!eof(rs)) {
      out.push_back(text(rs, field));
      rs->MoveNext();
    }
    return out;
  }
  ComPtr<Database> db_;
};

TEST_F(RecordsetTest, DynasetOrdersIgnoringCaseAndCountsVisitedRecords) {
  auto rs = dynaset("select * from passwords where GroupId = 1 order by Description");
  std::int32_t count = -1;
  HR_OK(rs->get_RecordCount(&count));
  EXPECT_EQ(count, 1);
  HR_OK(rs->_30_MoveLast());
  HR_OK(rs->get_RecordCount(&count));
  EXPECT_EQ(count, 4);
  EXPECT_EQ(column(rs.get(), "Description"), (std::vector<std::string>{"alpha", "bravo", "Charlie", "Delta"}));
  std::int16_t mode = -1;
  HR_OK(rs->get_EditMode(&mode));
  EXPECT_EQ(mode, dbEditNone);
  VARIANT_BOOL updatable = 0;
  HR_OK(rs->get_Updatable(&updatable));
  EXPECT_TRUE(updatable);
}

TEST_F(RecordsetTest, EmptyResultHasNoCurrentRecord) {
  auto rs = dynaset("select * from passwords where GroupId = 2");
  VARIANT_BOOL bof = 0, end = 0;
  HR_OK(rs->get_BOF(&bof));
  HR_OK(rs->get_EOF(&end));
  EXPECT_TRUE(bof && end);
  Variant v;
  EXPECT_DAO(rs->get_Collect(V("Description"), &v), 3021);
  EXPECT_DAO(rs->MoveNext(), 3021);
  EXPECT_DAO(rs->Edit(), 3021);
  EXPECT_DAO(rs->Delete(), 3021);
  EXPECT_DAO(rs->_30_Update(), 3020);
  EXPECT_DAO(rs->put_Collect(V("Description"), V("x")), 3020);
}

TEST_F(RecordsetTest, AddNewJoinsTheEndAndKeepsTheCurrentRecord) {
  auto rs = dynaset("select * from passwords where GroupId = 1 order by Description");
  HR_OK(rs->AddNew());
  HR_OK(rs->put_Collect(V("GroupID"), V(1)));
  HR_OK(rs->put_Collect(V("Description"), V("aardvark")));
  HR_OK(rs->_30_Update());
  EXPECT_EQ(text(rs.get(), "Description"), "alpha");
  Variant last;
  HR_OK(rs->get_LastModified(&last));
  HR_OK(rs->put_Bookmark(last));
  EXPECT_EQ(text(rs.get(), "Description"), "aardvark");
  EXPECT_NE(text(rs.get(), "PasswordID"), "<null>");
  // In the dynaset the new record follows the others; a new query sorts it.
  EXPECT_EQ(column(rs.get(), "Description").back(), "aardvark");
  HR_OK(rs->Requery(M()));
  EXPECT_EQ(column(rs.get(), "Description").front(), "aardvark");
}

TEST_F(RecordsetTest, EditUpdateAndCancel) {
  auto rs = dynaset("select * from passwords where GroupId = 1 order by Description");
  HR_OK(rs->Edit());
  std::int16_t mode = 0;
  HR_OK(rs->get_EditMode(&mode));
  EXPECT_EQ(mode, dbEditInProgress);
  HR_OK(rs->put_Collect(V("Password"), V("s3cret")));
  HR_OK(rs->put_Collect(V("ExpireDate"), Variant::fromDate(37330.5)));
  HR_OK(rs->put_Collect(V("ShowAccount"), Variant::fromBool(true)));
  HR_OK(rs->_30_Update());
  HR_OK(rs->Edit());
  HR_OK(rs->put_Collect(V("Password"), V("discarded")));
  HR_OK(rs->_30_CancelUpdate());

  auto check = dynaset("select * from passwords where Description = 'ALPHA'");
  EXPECT_EQ(text(check.get(), "Password"), "s3cret");
  Variant d;
  HR_OK(check->get_Collect(V("ExpireDate"), &d));
  EXPECT_EQ(d.type(), VT_DATE);
  EXPECT_DOUBLE_EQ(d.date(), 37330.5);
  Variant b;
  HR_OK(check->get_Collect(V(9), &b));  // ShowAccount by position
  EXPECT_EQ(b.type(), VT_BOOL);
  EXPECT_TRUE(b.boolVal());
  Variant bad;
  EXPECT_DAO(check->get_Collect(V("NoSuchField"), &bad), 3265);
  HR_OK(check->Edit());
  EXPECT_DAO(check->put_Collect(V("PasswordID"), V(77)), 3164);
  EXPECT_DAO(check->put_Collect(V("ExpireDate"), V("not a date")), 3421);
}

TEST_F(RecordsetTest, RecordDeletedUnderTheDynaset) {
  auto rs = dynaset("select * from passwords where GroupId = 1 order by Description");
  Variant bm;
  HR_OK(rs->get_Bookmark(&bm));
  HR_OK(db_->Execute("DELETE FROM Passwords WHERE Description = 'alpha'", V(dbFailOnError)));
  HR_OK(rs->put_Bookmark(bm));
  Variant v;
  EXPECT_DAO(rs->get_Collect(V("Description"), &v), 3167);
  EXPECT_DAO(rs->Edit(), 3167);
  HR_OK(rs->MoveNext());
  EXPECT_EQ(text(rs.get(), "Description"), "bravo");

  // A record this recordset deletes is skipped from then on.
  HR_OK(rs->Delete());
  EXPECT_DAO(rs->get_Collect(V("Description"), &v), 3167);
  HR_OK(rs->MoveNext());
  EXPECT_EQ(text(rs.get(), "Description"), "Charlie");
  // Back over our own deletion to the record another deleted: it is not skipped.
  HR_OK(rs->MovePrevious());
  VARIANT_BOOL bof = -1;
  HR_OK(rs->get_BOF(&bof));
  EXPECT_FALSE(bof);
  EXPECT_DAO(rs->get_Collect(V("Description"), &v), 3167);

  Variant junk = Variant::fromBytes({1, 2, 3});
  EXPECT_DAO(rs->put_Bookmark(junk), 3159);
  EXPECT_DAO(rs->put_Bookmark(Variant::fromBytes({0x7F, 0, 0, 0})), 3159);
}

TEST_F(RecordsetTest, ClonesShareRecordsButNotPosition) {
  auto rs = dynaset("select * from passwords where GroupId = 1 order by Description");
  HR_OK(rs->MoveNext());
  ComPtr<Recordset> clone;
  HR_OK(rs->Clone(clone.put()));
  Variant bm;
  HR_OK(rs->get_Bookmark(&bm));
  HR_OK(clone->put_Bookmark(bm));
  EXPECT_EQ(text(clone.get(), "Description"), "bravo");
  HR_OK(clone->MoveFirst());
  EXPECT_EQ(text(clone.get(), "Description"), "alpha");
  EXPECT_EQ(text(rs.get(), "Description"), "bravo");
}

TEST_F(RecordsetTest, PessimisticLocksKeepOthersOut) {
  auto a = dynaset("select * from passwords order by Description");
  auto b = dynaset("select * from passwords order by Description");
  HR_OK(a->Edit());
  EXPECT_DAO(b->Edit(), 3260);
  HR_OK(a->_30_CancelUpdate());
  HR_OK(b->Edit());
  HR_OK(b->put_Collect(V("URL"), V("b.example")));
  HR_OK(b->_30_Update());
  // Optimistic: a change by another between Edit and Update stops the update.
  HR_OK(a->put_LockEdits(VARIANT_FALSE));
  HR_OK(a->Edit());
  HR_OK(b->Edit());
  HR_OK(b->put_Collect(V("URL"), V("changed")));
  HR_OK(b->_30_Update());
  HR_OK(a->put_Collect(V("URL"), V("mine")));
  EXPECT_DAO(a->_30_Update(), 3197);
}

TEST_F(RecordsetTest, TableSeekAndFind) {
  ComPtr<Recordset> t;
  HR_OK(db_->OpenRecordset("Passwords", V(dbOpenTable), M(), M(), t.put()));
  std::array<Variant, 13> keys;
  for (auto& k : keys) k = M();
  keys[0] = V(1);
  EXPECT_DAO(t->Seek("=", keys), 3019);
  HR_OK(t->put_Index("PasswordKey"));
  keys[0] = V(3);
  HR_OK(t->Seek("=", keys));
  VARIANT_BOOL noMatch = -1;
  HR_OK(t->get_NoMatch(&noMatch));
  EXPECT_FALSE(noMatch);
  EXPECT_EQ(text(t.get(), "Description"), "Charlie");
  HR_OK(t->Seek(">", keys));
  EXPECT_EQ(text(t.get(), "Description"), "bravo");
  keys[0] = V(99);
  HR_OK(t->Seek(">=", keys));
  HR_OK(t->get_NoMatch(&noMatch));
  EXPECT_TRUE(noMatch);
  HR_OK(t->put_Index("PrimaryKey"));
  keys[0] = V(1);
  keys[1] = V(2);
  HR_OK(t->Seek("<=", keys));
  EXPECT_EQ(text(t.get(), "Description"), "alpha");
  EXPECT_DAO(t->put_Index("Nope"), 3015);

  auto rs = dynaset("select * from passwords order by Description");
  HR_OK(rs->FindFirst("Description Like 'c*'"));
  EXPECT_EQ(text(rs.get(), "Description"), "Charlie");
  HR_OK(rs->FindNext("Description Like 'c*'"));
  HR_OK(rs->get_NoMatch(&noMatch));
  EXPECT_TRUE(noMatch);
  EXPECT_EQ(text(rs.get(), "Description"), "Charlie");
  HR_OK(rs->FindLast("GroupID = 1"));
  EXPECT_EQ(text(rs.get(), "Description"), "Delta");
  // The same criteria again after a row changed: the change is seen.
  HR_OK(rs->FindFirst("Password = 'found'"));
  HR_OK(rs->get_NoMatch(&noMatch));
  EXPECT_TRUE(noMatch);
  HR_OK(rs->Edit());
  HR_OK(rs->put_Collect(V("Password"), V("found")));
  HR_OK(rs->_30_Update());
  HR_OK(rs->MoveFirst());
  HR_OK(rs->FindNext("Password = 'found'"));
  HR_OK(rs->get_NoMatch(&noMatch));
  EXPECT_FALSE(noMatch);
  EXPECT_EQ(text(rs.get(), "Description"), "Delta");
}

TEST_F(RecordsetTest, JoinsAndSnapshotsAreReadOnly) {
  ComPtr<Recordset> join;
  HR_OK(db_->OpenRecordset(
      "SELECT Groups.Name, Passwords.Description FROM Groups INNER JOIN Passwords ON Groups.GroupID = "
      "Passwords.GroupID ORDER BY Groups.Name,Passwords.Description",
      V(dbOpenDynaset), M(), M(), join.put()));
  VARIANT_BOOL updatable = -1;
  HR_OK(join->get_Updatable(&updatable));
  EXPECT_FALSE(updatable);
  EXPECT_EQ(text(join.get(), "Name"), "Email Accounts");
  EXPECT_EQ(text(join.get(), "Description"), "alpha");
  EXPECT_DAO(join->Edit(), 3027);

  ComPtr<Recordset> fwd;
  HR_OK(db_->OpenRecordset("select * from passwords", V(dbOpenForwardOnly), M(), M(), fwd.put()));
  int n = 0;
  while (!eof(fwd.get())) {
    ++n;
    HR_OK(fwd->MoveNext());
  }
  EXPECT_EQ(n, 4);
  EXPECT_DAO(fwd->MovePrevious(), 3251);
  EXPECT_DAO(fwd->MoveFirst(), 3251);
}

TEST_F(RecordsetTest, TransactionsNestAndRollBack) {
  HR_OK(db_->BeginTrans());
  HR_OK(db_->Execute("DELETE FROM Passwords WHERE Description = 'alpha'", V(dbFailOnError)));
  HR_OK(db_->BeginTrans());
  HR_OK(db_->Execute("DELETE FROM Passwords WHERE Description = 'bravo'", V(dbFailOnError)));
  HR_OK(db_->Rollback());
  HR_OK(db_->CommitTrans(dbForceOSFlush));
  EXPECT_DAO(db_->CommitTrans(0), 3034);
  auto rs = dynaset("select * from passwords order by Description");
  EXPECT_EQ(column(rs.get(), "Description"), (std::vector<std::string>{"bravo", "Charlie", "Delta"}));
}

}  // namespace
}  // namespace kh::storetest

namespace kh::storetest {
namespace {

// The program's own statements, as the engine hands them to the store.
TEST_F(RecordsetTest, ProgramQueriesWithParameterMarkers) {
  ComPtr<_QueryDef> q;
  HR_OK(db_->CreateQueryDef(V(""), V("select * from passwords where GroupId = Par_1 order by Description"), q.put()));
  ComPtr<Parameters> params;
  HR_OK(q->get_Parameters(params.put()));
  std::int16_t n = 0;
  HR_OK(params->get_Count(&n));
  ASSERT_EQ(n, 1);
  ComPtr<Parameter> p;
  HR_OK(params->get_Item(V(0), p.put()));
  BSTR name;
  HR_OK(p->get_Name(&name));
  EXPECT_EQ(name, "Par_1");
  HR_OK(p->put_Value(V(1)));

  ComPtr<Recordset> rs;
  HR_OK(q->OpenRecordset(V(dbOpenDynaset), V(0), M(), rs.put()));
  VARIANT_BOOL updatable = 0;
  HR_OK(rs->get_Updatable(&updatable));
  EXPECT_TRUE(updatable);
  EXPECT_EQ(text(rs.get(), "Description"), "alpha");
  HR_OK(rs->Edit());
  HR_OK(rs->put_Collect(V("Notes"), V("a long memo")));
  HR_OK(rs->_30_Update());
  HR_OK(rs->AddNew());
  HR_OK(rs->put_Collect(V("GroupID"), V(1)));
  HR_OK(rs->put_Collect(V("Description"), V("echo")));
  HR_OK(rs->_30_Update());
  HR_OK(rs->Delete());  // alpha
  ComPtr<Recordset> again;
  HR_OK(q->OpenRecordset(V(dbOpenDynaset), V(0), M(), again.put()));
  EXPECT_EQ(column(again.get(), "Description"), (std::vector<std::string>{"bravo", "Charlie", "Delta", "echo"}));

  // Another group's accounts; a missing value is a parameter error, not a wrong result.
  HR_OK(p->put_Value(V(2)));
  ComPtr<Recordset> none;
  HR_OK(q->OpenRecordset(V(dbOpenDynaset), V(0), M(), none.put()));
  EXPECT_TRUE(eof(none.get()));
  ComPtr<Recordset> bad;
  EXPECT_DAO(db_->OpenRecordset("select * from passwords where GroupId = Par_1", V(dbOpenDynaset), M(), M(),
                                bad.put()),
             3061);

  // The options row is edited through its own query.
  ComPtr<Recordset> options;
  HR_OK(db_->OpenRecordset("select * from options", V(dbOpenDynaset), M(), M(), options.put()));
  HR_OK(options->Edit());
  HR_OK(options->put_Collect(V("dbmaintcount"), V(4)));
  HR_OK(options->_30_Update());
  HR_OK(options->Requery(M()));
  EXPECT_EQ(text(options.get(), "DBMaintCount"), "4");

  // Deleting a group through its dynaset takes its accounts with it.
  ComPtr<Recordset> groups;
  HR_OK(db_->OpenRecordset("select * from groups order by Name", V(dbOpenDynaset), M(), M(), groups.put()));
  EXPECT_EQ(text(groups.get(), "Name"), "Email Accounts");
  HR_OK(groups->Delete());
  HR_OK(p->put_Value(V(1)));
  ComPtr<Recordset> gone;
  HR_OK(q->OpenRecordset(V(dbOpenDynaset), V(0), M(), gone.put()));
  EXPECT_TRUE(eof(gone.get()));

  // A statement the store cannot run is a syntax error.
  ComPtr<Recordset> broken;
  EXPECT_NE(db_->OpenRecordset("select * from passwords where (", V(dbOpenDynaset), M(), M(), broken.put()), S_OK);
  EXPECT_GE(lastError().first, 3000);
}

}  // namespace
}  // namespace kh::storetest

namespace kh::storetest {
namespace {

TEST_F(RecordsetTest, StoredQueriesRunByNameAndAsSources) {
  ComPtr<_QueryDef> stored;
  HR_OK(db_->CreateQueryDef(V("qryWebGroups"), V("SELECT * FROM Groups WHERE Name Like \"Web*\""), stored.put()));
  ComPtr<QueryDefs> qds;
  HR_OK(db_->get_QueryDefs(qds.put()));
  std::int16_t n = 0;
  HR_OK(qds->get_Count(&n));
  EXPECT_EQ(n, 1);
  auto byName = dynaset("qryWebGroups");
  EXPECT_EQ(column(byName.get(), "Name").size(), 2u);
  auto nested = dynaset("SELECT Name FROM qryWebGroups ORDER BY Name DESC");
  EXPECT_EQ(column(nested.get(), "Name"), (std::vector<std::string>{"Web Subscriptions", "Web Discussion Boards"}));
  ComPtr<_QueryDef> again;
  EXPECT_DAO(db_->CreateQueryDef(V("qryWebGroups"), V("SELECT 1"), again.put()), 3367);
}

}  // namespace
}  // namespace kh::storetest

namespace kh::storetest {
namespace {

// A dynaset larger than the stretch of records read at once: its records
// arrive in steps, and it still behaves as one keyset taken at the open.
TEST_F(RecordsetTest, LargeDynasetReadsInStepsAsOneKeyset) {
  constexpr int kRows = 300;
  HR_OK(db_->BeginTrans());
  ComPtr<Recordset> table;
  HR_OK(db_->OpenRecordset("Passwords", V(dbOpenTable), M(), M(), table.put()));
  for (int i = 0; i < kRows; ++i) {
    HR_OK(table->AddNew());
    HR_OK(table->put_Collect(V("GroupID"), V(2)));
    HR_OK(table->put_Collect(V("Description"), Variant("Row " + std::to_string(i))));
    HR_OK(table->_30_Update());
  }
  HR_OK(db_->CommitTrans(0));

  auto rs = dynaset("select * from passwords where GroupId = 2");
  // Rows another statement inserts after the open stay out of the keyset.
  HR_OK(db_->Execute("INSERT INTO Passwords (GroupID, Description) VALUES (2, 'Late')", V(dbFailOnError)));
  Variant mark;
  int n = 0;
  while (!eof(rs.get())) {
    EXPECT_EQ(text(rs.get(), "Description"), "Row " + std::to_string(n));
    if (n == 200) {
      HR_OK(rs->get_Bookmark(&mark));
    }
    // A change made between two reads shows in the next record, though that
    // record was read ahead with the ones before it.
    if (n == 160) {
      HR_OK(db_->Execute("UPDATE Passwords SET URL = 'seen' WHERE Description = 'Row 161'", V(dbFailOnError)));
    }
    if (n == 161) {
      EXPECT_EQ(text(rs.get(), "URL"), "seen");
    }
    ++n;
    HR_OK(rs->MoveNext());
  }
  EXPECT_EQ(n, kRows);
  std::int32_t count = 0;
  HR_OK(rs->get_RecordCount(&count));
  EXPECT_EQ(count, kRows);
  HR_OK(rs->put_Bookmark(mark));
  EXPECT_EQ(text(rs.get(), "Description"), "Row 200");

  // A fresh dynaset: a bookmark beyond the records reached so far, an added
  // record at the end, and the last record found from the first.
  auto again = dynaset("select * from passwords where GroupId = 2");
  Variant first;
  HR_OK(again->get_Bookmark(&first));
  HR_OK(again->put_Bookmark(mark));
  EXPECT_EQ(text(again.get(), "Description"), "Row 200");
  HR_OK(again->put_Bookmark(first));
  HR_OK(again->AddNew());
  HR_OK(again->put_Collect(V("GroupID"), V(2)));
  HR_OK(again->put_Collect(V("Description"), V("Added")));
  HR_OK(again->_30_Update());
  EXPECT_EQ(text(again.get(), "Description"), "Row 0");
  HR_OK(again->_30_MoveLast());
  EXPECT_EQ(text(again.get(), "Description"), "Added");
  HR_OK(again->get_RecordCount(&count));
  EXPECT_EQ(count, kRows + 2);  // with the late row of the first open
  HR_OK(again->MovePrevious());
  EXPECT_EQ(text(again.get(), "Description"), "Late");
  // Backwards through the records, each read once more from the file.
  n = kRows;
  while (again->MovePrevious() == S_OK) {
    VARIANT_BOOL bof = 0;
    HR_OK(again->get_BOF(&bof));
    if (bof) break;
    EXPECT_EQ(text(again.get(), "Description"), "Row " + std::to_string(--n));
  }
  EXPECT_EQ(n, 0);
}

TEST_F(RecordsetTest, ChangesByAnotherConnectionShowWhenReadAgain) {
  auto rs = dynaset("select * from passwords order by Description");
  EXPECT_EQ(text(rs.get(), "URL"), "<null>");
  auto other = newEngine();
  ComPtr<Database> db2;
  HR_OK(other->OpenDatabase(path("rs.pdb"), M(), M(), V(";PWD=pw"), db2.put()));
  HR_OK(db2->Execute("UPDATE Passwords SET URL = 'changed'", V(dbFailOnError)));
  HR_OK(rs->MoveNext());
  HR_OK(rs->MovePrevious());
  EXPECT_EQ(text(rs.get(), "URL"), "changed");
  HR_OK(rs->MoveNext());
  EXPECT_EQ(text(rs.get(), "Description"), "bravo");
  HR_OK(db2->Execute("DELETE FROM Passwords WHERE Description = 'bravo'", V(dbFailOnError)));
  HR_OK(rs->MovePrevious());
  HR_OK(rs->MoveNext());
  Variant v;
  EXPECT_DAO(rs->get_Collect(V("URL"), &v), 3167);
}

}  // namespace
}  // namespace kh::storetest

namespace kh::storetest {
namespace {

TEST_F(RecordsetTest, TransactionsBelongToTheWorkspace) {
  auto other = createDb("other.pdb", "pw");
  buildSchema(other.get(), true);
  HR_OK(db_->BeginTrans());
  HR_OK(other->Execute("DELETE FROM Groups", V(dbFailOnError)));
  HR_OK(db_->Execute("DELETE FROM Passwords", V(dbFailOnError)));
  HR_OK(other->Rollback());  // ends the transaction begun through the first database
  EXPECT_DAO(db_->CommitTrans(0), 3034);
  ComPtr<Recordset> g;
  HR_OK(other->OpenRecordset("SELECT count(*) AS n FROM Groups", V(dbOpenSnapshot), M(), M(), g.put()));
  EXPECT_EQ(text(g.get(), "n"), "4");
  ComPtr<Recordset> p;
  HR_OK(db_->OpenRecordset("SELECT count(*) AS n FROM Passwords", V(dbOpenSnapshot), M(), M(), p.put()));
  EXPECT_EQ(text(p.get(), "n"), "4");
}

}  // namespace
}  // namespace kh::storetest
