// Table cursors through the exports: opening tables, choosing indexes, key
// searches, ranges, and creating, renaming, emptying and deleting tables and
// indexes, on a real password file.
#include <cstring>
#include <string>
#include <vector>

#include "program_db.h"

namespace {

using kbetest::ProgramDb;

class Tables : public ProgramDb {
 protected:

  hDBICur open(const char* name, const char* index = nullptr, kbe::DBIResult expected = 0) {
    hDBICur c = nullptr;
    EXPECT_EQ(openTable(db, name, nullptr, index, nullptr, 0, 0, 0, 0, 0, nullptr, &c), expected) << name;
    if (c) cursors.push_back(c);
    return c;
  }

  // A record of `cursor` with the given text and long fields set (by name).
  std::vector<std::uint8_t> keyRecord(hDBICur cursor, const std::vector<std::pair<std::string, std::string>>& texts,
                                      const std::vector<std::pair<std::string, std::int32_t>>& longs = {}) {
    std::vector<std::uint8_t> rec = recordBuffer(cursor);
    EXPECT_EQ(initRecord(cursor, rec.data()), 0);
    auto f = fields(cursor);
    for (const auto& [name, value] : texts) {
      std::vector<char> slot(f.at(name).iLen, '\0');
      std::memcpy(slot.data(), value.data(), std::min<std::size_t>(value.size(), slot.size() - 1));
      EXPECT_EQ(putField(cursor, f.at(name).iFldNum, rec.data(), slot.data()), 0);
    }
    for (const auto& [name, value] : longs) EXPECT_EQ(putField(cursor, f.at(name).iFldNum, rec.data(), &value), 0);
    return rec;
  }

  // The current record's text field.
  std::string current(hDBICur cursor, const std::string& name) {
    std::vector<std::uint8_t> rec = recordBuffer(cursor);
    const kbe::DBIResult r = getRecord(cursor, 0, rec.data(), nullptr);
    if (r != 0) return "<" + std::to_string(r) + ">";
    return text(cursor, fields(cursor).at(name), rec);
  }

  // Makes the table Names (Name TEXT(20), Num LONG) with the indexes ByName
  // (Name) and ByNameNum (Name, Num) and fills it.
  void makeNames() {
    kbe::FLDDesc f[2]{};
    std::strcpy(f[0].szName, "Name");
    f[0].iFldType = 1024 + 10;
    f[0].iLen = 20;
    std::strcpy(f[1].szName, "Num");
    f[1].iFldType = 1024 + 4;
    kbe::IDXDesc x[2]{};
    std::strcpy(x[0].szName, "ByName");
    x[0].iFldsInKey = 1;
    x[0].aiKeyFld[0] = 1;
    std::strcpy(x[1].szName, "ByNameNum");
    x[1].iFldsInKey = 2;
    x[1].aiKeyFld[0] = 1;
    x[1].aiKeyFld[1] = 2;
    kbe::CRTblDesc t{};
    std::strcpy(t.szTblName, "Names");
    t.iFldCount = 2;
    t.pfldDesc = f;
    t.iIdxCount = 2;
    t.pidxDesc = x;
    ASSERT_EQ(createTable(db, 0, &t), 0);
    hDBICur c = open("Names");
    const std::vector<std::pair<std::string, std::int32_t>> rows = {
        {"delta", 1}, {"alpha", 1}, {"charlie", 2}, {"bravo", 2}, {"charlie", 1}, {"bravo", 1}, {"echo", 1}};
    for (const auto& [name, num] : rows) {
      std::vector<std::uint8_t> rec = keyRecord(c, {{"Name", name}}, {{"Num", num}});
      ASSERT_EQ(insertRecord(c, 0, rec.data()), 0);
    }
    EXPECT_EQ(closeCursor(&c), 0);
    cursors.pop_back();
  }

  // "name/num" of the records from the cursor's current position on.
  std::vector<std::string> rest(hDBICur cursor) {
    auto f = fields(cursor);
    std::vector<std::uint8_t> rec = recordBuffer(cursor);
    std::vector<std::string> out;
    while (getNext(cursor, 0, rec.data(), nullptr) == 0) {
      std::int32_t num = 0, blank = 0;
      EXPECT_EQ(getField(cursor, f.at("Num").iFldNum, rec.data(), &num, &blank), 0);
      out.push_back(text(cursor, f.at("Name"), rec) + "/" + std::to_string(num));
    }
    return out;
  }

  std::vector<std::string> backwards(hDBICur cursor) {
    auto f = fields(cursor);
    std::vector<std::uint8_t> rec = recordBuffer(cursor);
    std::vector<std::string> out;
    EXPECT_EQ(setToEnd(cursor), 0);
    while (getPrior(cursor, 0, rec.data(), nullptr) == 0) out.push_back(text(cursor, f.at("Name"), rec));
    return out;
  }

  decltype(&::DbiOpenTable) openTable = KBE_FN(engine, DbiOpenTable, 6);
  decltype(&::DbiSetToEnd) setToEnd = KBE_FN(engine, DbiSetToEnd, 14);
  decltype(&::DbiGetPriorRecord) getPrior = KBE_FN(engine, DbiGetPriorRecord, 17);
  decltype(&::DbiGetRecordCount) getRecordCount = KBE_FN(engine, DbiGetRecordCount, 21);
  decltype(&::DbiSetRange) setRange = KBE_FN(engine, DbiSetRange, 28);
  decltype(&::DbiResetRange) resetRange = KBE_FN(engine, DbiResetRange, 29);
  decltype(&::DbiSetToKey) setToKey = KBE_FN(engine, DbiSetToKey, 30);
  decltype(&::DbiSwitchToIndex) switchToIndex = KBE_FN(engine, DbiSwitchToIndex, 214);
  decltype(&::DbiGetIndexDesc) getIndexDesc = KBE_FN(engine, DbiGetIndexDesc, 215);
  decltype(&::DbiExtractKey) extractKey = KBE_FN(engine, DbiExtractKey, 216);
  decltype(&::DbiCreateTable) createTable = KBE_FN(engine, DbiCreateTable, 230);
  decltype(&::DbiRenameTable) renameTable = KBE_FN(engine, DbiRenameTable, 233);
  decltype(&::DbiDeleteTable) deleteTable = KBE_FN(engine, DbiDeleteTable, 234);
  decltype(&::DbiAddIndex) addIndex = KBE_FN(engine, DbiAddIndex, 235);
  decltype(&::DbiDeleteIndex) deleteIndex = KBE_FN(engine, DbiDeleteIndex, 236);
  decltype(&::DbiEmptyTable) emptyTable = KBE_FN(engine, DbiEmptyTable, 247);
  decltype(&::DbiGetRecordForKey) getRecordForKey = KBE_FN(engine, DbiGetRecordForKey, 254);
  decltype(&::DbiGetIndexDescs) getIndexDescs = KBE_FN(engine, DbiGetIndexDescs, 1067);
  decltype(&::DbiTranslateRecordStructure) translate = KBE_FN(engine, DbiTranslateRecordStructure, 1089);
};

TEST_F(Tables, OpenByNameWithTheDbEnding) {
  hDBICur c = open("Groups.DB");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(column(c, "Name").size(), 4u);
  open("Groups.db", nullptr, 0x2728);
  open("NoSuchTable", nullptr, 0x2728);
  hDBICur none = reinterpret_cast<hDBICur>(1);
  EXPECT_EQ(openTable(c, "Groups", nullptr, nullptr, nullptr, 0, 0, 0, 0, 0, nullptr, &none), 0x3001);
  // A named index that does not exist: its status, with the cursor open.
  hDBICur withIndex = open("Groups", "Nope", 0x270D);
  EXPECT_NE(withIndex, nullptr);
  // Navigation, record changes and blobs work as on query cursors.
  hDBICur files = open("Files", "FilesKey");
  std::vector<std::uint8_t> rec = keyRecord(files, {{"Title", "one"}});
  EXPECT_EQ(insertRecord(files, 0, rec.data()), 0);
  EXPECT_EQ(setToBegin(files), 0);
  EXPECT_EQ(column(files, "Title"), std::vector<std::string>{"one"});
}

TEST_F(Tables, IndexChosenByNameOrByKeyFields) {
  hDBICur c = open("Passwords");
  kbe::IDXDesc d{};
  for (const char* name : {"PrimaryKey", "@primarykey", "GroupID@PasswordID", "groupid", "GROUPID@PASSWORDID"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(switchToIndex(&c, name, nullptr, 0, 0), 0);
    EXPECT_EQ(getIndexDesc(c, 0, &d), 0);
    EXPECT_STREQ(d.szName, "PrimaryKey");
  }
  for (const char* name : {"Nope", "GroupID@PasswordID@Description", "PasswordID"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(switchToIndex(&c, name, nullptr, 0, 0), 0x270D);
  }
  // No name: the active index is dropped; with none active, 0x3001.
  EXPECT_EQ(switchToIndex(&c, "", nullptr, 0, 0), 0);
  EXPECT_EQ(switchToIndex(&c, nullptr, nullptr, 0, 0), 0x3001);
  // A query cursor has no indexes to switch to.
  hDBICur q = nullptr;
  ASSERT_EQ(qExecDirect(db, 0, "select * from Groups", &q), 0);
  cursors.push_back(q);
  EXPECT_EQ(switchToIndex(&q, "Groups", nullptr, 0, 0), 0x3001);
  EXPECT_EQ(extractKey(c, nullptr, nullptr), 0x3001);
}

TEST_F(Tables, KeyCallsNeedAnActiveIndex) {
  hDBICur c = open("Passwords");
  std::vector<std::uint8_t> key = keyRecord(c, {}, {{"GroupID", 1}});
  std::vector<std::uint8_t> rec = recordBuffer(c);
  EXPECT_EQ(setToKey(c, 0, 0, 1, 0, key.data()), 0x2A0C);
  EXPECT_EQ(getRecordForKey(c, 0, 1, 0, key.data(), rec.data()), 0x2A0C);
  EXPECT_EQ(setRange(c, 0, 1, 0, key.data(), 1, 0, 0, nullptr, 0), 0x2A0C);
  EXPECT_EQ(resetRange(c), 0);
  ASSERT_EQ(switchToIndex(&c, "PrimaryKey", nullptr, 0, 0), 0);
  EXPECT_EQ(setToKey(c, 0, 1, 1, 0, key.data()), 0x3001);  // keys in the index's own format
}

TEST_F(Tables, SetToKeyConditions) {
  makeNames();
  hDBICur c = open("Names", "ByName");
  struct Case {
    std::uint32_t condition;
    std::string key;
    std::uint16_t partial;
    kbe::DBIResult rc;
    std::string at;
  };
  for (const Case& k : {Case{0, "charlie", 0, 0, "charlie"}, Case{0, "CHARLIE", 0, 0, "charlie"},
                        Case{0, "ch", 2, 0, "charlie"}, Case{1, "bravo", 0, 0, "charlie"},
                        Case{2, "bravo", 0, 0, "bravo"}, Case{2, "bz", 0, 0, "charlie"},
                        Case{0, "cat", 0, 0x2206, ""}, Case{2, "zulu", 0, 0, "echo"}}) {
    SCOPED_TRACE(std::to_string(k.condition) + " " + k.key);
    std::vector<std::uint8_t> key = keyRecord(c, {{"Name", k.key}});
    EXPECT_EQ(setToKey(c, k.condition, 0, k.partial ? 0 : 1, k.partial, key.data()), k.rc);
    if (k.rc == 0) {
      EXPECT_EQ(current(c, "Name"), k.at);
    }
  }
  // An empty table: greater-or-equal finds nothing and reports the end.
  EXPECT_EQ(emptyTable(db, c, nullptr, nullptr), 0);
  std::vector<std::uint8_t> key = keyRecord(c, {{"Name", "a"}});
  EXPECT_EQ(setToKey(c, 2, 0, 1, 0, key.data()), 0x2202);
}

TEST_F(Tables, GetRecordForKeyWholeAndPartialKeys) {
  makeNames();
  hDBICur c = open("Names", "ByNameNum");
  std::vector<std::uint8_t> rec = recordBuffer(c);
  auto num = [&] {
    std::int32_t n = 0, blank = 0;
    EXPECT_EQ(getField(c, fields(c).at("Num").iFldNum, rec.data(), &n, &blank), 0);
    return n;
  };
  std::vector<std::uint8_t> key = keyRecord(c, {{"Name", "Bravo"}}, {{"Num", 2}});
  ASSERT_EQ(getRecordForKey(c, 0, 2, 0, key.data(), rec.data()), 0);
  EXPECT_EQ(text(c, fields(c).at("Name"), rec), "bravo");
  EXPECT_EQ(num(), 2);
  // One field of two: the first record with that name.
  ASSERT_EQ(getRecordForKey(c, 0, 1, 0, key.data(), rec.data()), 0);
  EXPECT_EQ(num(), 1);
  // Partial length on the first field: "ech" finds echo.
  key = keyRecord(c, {{"Name", "ech"}});
  ASSERT_EQ(getRecordForKey(c, 0, 0, 3, key.data(), rec.data()), 0);
  EXPECT_EQ(text(c, fields(c).at("Name"), rec), "echo");
  key = keyRecord(c, {{"Name", "bravo"}}, {{"Num", 3}});
  EXPECT_EQ(getRecordForKey(c, 0, 2, 0, key.data(), rec.data()), 0x2206);
  key = keyRecord(c, {{"Name", "foxtrot"}});
  EXPECT_EQ(getRecordForKey(c, 0, 1, 0, key.data(), rec.data()), 0x2206);
}

TEST_F(Tables, RangesInclusiveAndExclusive) {
  makeNames();
  hDBICur c = open("Names", "ByName");
  struct Case {
    std::string low;
    bool lowIncl;
    std::string high;
    bool highIncl;
    std::vector<std::string> names;
  };
  for (const Case& k : {Case{"bravo", true, "charlie", true, {"bravo", "bravo", "charlie", "charlie"}},
                        Case{"bravo", true, "charlie", false, {"bravo", "bravo"}},
                        Case{"bravo", false, "delta", true, {"charlie", "charlie", "delta"}},
                        Case{"", true, "alpha", true, {"alpha"}}, Case{"d", true, "", true, {"delta", "echo"}},
                        Case{"x", true, "", true, {}}}) {
    SCOPED_TRACE(k.low + ".." + k.high);
    std::vector<std::uint8_t> low = keyRecord(c, {{"Name", k.low}});
    std::vector<std::uint8_t> high = keyRecord(c, {{"Name", k.high}});
    ASSERT_EQ(setRange(c, 0, k.low.empty() ? 0 : 1, 0, low.data(), k.lowIncl, k.high.empty() ? 0 : 1, 0,
                       high.data(), k.highIncl),
              0);
    std::vector<std::string> names;
    for (const std::string& r : rest(c)) names.push_back(r.substr(0, r.find('/')));
    EXPECT_EQ(names, k.names);
    std::vector<std::string> reversed(k.names.rbegin(), k.names.rend());
    EXPECT_EQ(backwards(c), reversed);
  }
  // Resetting shows every record again; switching the index resets the range too.
  EXPECT_EQ(resetRange(c), 0);
  EXPECT_EQ(setToBegin(c), 0);
  EXPECT_EQ(rest(c).size(), 7u);
  std::vector<std::uint8_t> key = keyRecord(c, {{"Name", "echo"}});
  ASSERT_EQ(setRange(c, 0, 1, 0, key.data(), 1, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(rest(c).size(), 1u);
  ASSERT_EQ(switchToIndex(&c, "ByNameNum", nullptr, 0, 0), 0);
  EXPECT_EQ(rest(c).size(), 7u);
  // The key-itself form only resets.
  EXPECT_EQ(setRange(c, 1, 0, 0, nullptr, 0, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(setRange(c, 1, 1, 0, key.data(), 0, 0, 0, nullptr, 0), 0x3001);
}

TEST_F(Tables, ShortHighBoundTakesEveryRecordWithThatFirstValue) {
  makeNames();
  hDBICur c = open("Names", "ByNameNum");
  std::vector<std::uint8_t> low = keyRecord(c, {{"Name", "bravo"}}, {{"Num", 2}});
  std::vector<std::uint8_t> high = keyRecord(c, {{"Name", "charlie"}});
  ASSERT_EQ(setRange(c, 0, 2, 0, low.data(), 1, 1, 0, high.data(), 1), 0);
  EXPECT_EQ(rest(c), (std::vector<std::string>{"bravo/2", "charlie/1", "charlie/2"}));
  EXPECT_EQ(backwards(c), (std::vector<std::string>{"charlie", "charlie", "bravo"}));
}

TEST_F(Tables, SwitchIndexKeepingTheCurrentRecord) {
  makeNames();
  hDBICur c = open("Names", "ByName");
  std::vector<std::uint8_t> key = keyRecord(c, {{"Name", "delta"}});
  ASSERT_EQ(setToKey(c, 0, 0, 1, 0, key.data()), 0);
  ASSERT_EQ(switchToIndex(&c, "ByNameNum", nullptr, 0, 1), 0);
  EXPECT_EQ(current(c, "Name"), "delta");
  EXPECT_EQ(rest(c), std::vector<std::string>{"echo/1"});
  // Without the flag the cursor starts over.
  ASSERT_EQ(switchToIndex(&c, "ByName", nullptr, 0, 0), 0);
  EXPECT_EQ(rest(c).size(), 7u);
}

TEST_F(Tables, EmptyTableWithACursorIgnoresItsRangeAndByName) {
  makeNames();
  hDBICur c = open("Names", "ByName");
  std::vector<std::uint8_t> key = keyRecord(c, {{"Name", "echo"}});
  ASSERT_EQ(setRange(c, 0, 1, 0, key.data(), 1, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(emptyTable(db, c, nullptr, nullptr), 0);
  EXPECT_EQ(select("select * from Names", "Name").size(), 0u);
  EXPECT_EQ(emptyTable(db, nullptr, "Groups", nullptr), 0);
  EXPECT_EQ(select("select * from Groups", "Name").size(), 0u);
  EXPECT_EQ(emptyTable(db, nullptr, "Gr]oups", nullptr), 0x2728);
  EXPECT_EQ(emptyTable(c, nullptr, "Groups", nullptr), 0x3001);
  EXPECT_NE(emptyTable(db, nullptr, "NoSuchTable", nullptr), 0);
}

TEST_F(Tables, CreateRenameDeleteTablesAndIndexes) {
  makeNames();
  EXPECT_NE(createTable(db, 0, nullptr), 0);
  // Creating over an existing table needs the overwrite flag.
  kbe::FLDDesc one{};
  std::strcpy(one.szName, "Only");
  one.iFldType = 1024 + 4;
  kbe::CRTblDesc t{};
  std::strcpy(t.szTblName, "Names");
  t.iFldCount = 1;
  t.pfldDesc = &one;
  EXPECT_NE(createTable(db, 0, &t), 0);
  EXPECT_EQ(select("select * from Names", "Name").size(), 7u);

  EXPECT_EQ(renameTable(db, "Names", nullptr, "People"), 0);
  open("Names", nullptr, 0x2728);
  hDBICur c = open("People");
  kbe::CURProps props{};
  ASSERT_EQ(getCursorProps(c, &props), 0);
  EXPECT_EQ(+props.iIndexes, 2);
  EXPECT_EQ(closeCursor(&c), 0);
  cursors.pop_back();

  kbe::IDXDesc byNum{};
  std::strcpy(byNum.szName, "ByNum");
  byNum.iFldsInKey = 1;
  byNum.aiKeyFld[0] = 2;
  byNum.abDescending[0] = -1;
  EXPECT_EQ(addIndex(db, nullptr, "People", nullptr, &byNum, nullptr), 0);
  EXPECT_EQ(addIndex(db, nullptr, "Nobody", nullptr, &byNum, nullptr), 0x2728);
  EXPECT_NE(addIndex(db, nullptr, "People", nullptr, &byNum, nullptr), 0);  // the name is taken
  c = open("People", "ByNum");
  std::vector<std::uint8_t> rec = recordBuffer(c);
  ASSERT_EQ(getNext(c, 0, rec.data(), nullptr), 0);
  std::int32_t n = 0, blank = 0;
  EXPECT_EQ(getField(c, 2, rec.data(), &n, &blank), 0);
  EXPECT_EQ(n, 2);  // descending
  EXPECT_EQ(closeCursor(&c), 0);
  cursors.pop_back();

  EXPECT_EQ(deleteIndex(db, nullptr, "People", nullptr, "ByNum", nullptr, 0), 0);
  EXPECT_EQ(deleteIndex(db, nullptr, "People", nullptr, nullptr, nullptr, 1), 0);  // the first index, by number
  EXPECT_EQ(deleteIndex(db, nullptr, "Nobody", nullptr, "ByName", nullptr, 0), 0x2728);
  EXPECT_NE(deleteIndex(db, nullptr, "People", nullptr, "ByNum", nullptr, 0), 0);
  c = open("People");
  ASSERT_EQ(getCursorProps(c, &props), 0);
  EXPECT_EQ(+props.iIndexes, 1);
  EXPECT_EQ(closeCursor(&c), 0);
  cursors.pop_back();

  EXPECT_EQ(deleteTable(db, "People", nullptr), 0);
  open("People", nullptr, 0x2728);
  EXPECT_NE(deleteTable(db, "People", nullptr), 0);
  EXPECT_EQ(deleteTable(nullptr, "Groups", nullptr), 0x3001);
  EXPECT_EQ(renameTable(nullptr, "Groups", nullptr, "X"), 0x3001);
}

TEST_F(Tables, CreateTableFromTranslatedDescriptors) {
  // The logical descriptors of the accounts table, translated to physical types.
  hDBICur source = open("Passwords");
  kbe::CURProps props{};
  ASSERT_EQ(getCursorProps(source, &props), 0);
  std::vector<kbe::FLDDesc> logical(props.iFields), physical(props.iFields);
  ASSERT_EQ(getFieldDescs(source, logical.data()), 0);
  ASSERT_EQ(translate(nullptr, props.iFields, logical.data(), nullptr, nullptr, physical.data(), 0), 0);
  kbe::CRTblDesc t{};
  std::strcpy(t.szTblName, "Copy");
  t.iFldCount = props.iFields;
  t.pfldDesc = physical.data();
  ASSERT_EQ(createTable(db, 0, &t), 0);
  hDBICur copy = open("Copy");
  std::vector<kbe::FLDDesc> made(props.iFields);
  ASSERT_EQ(getFieldDescs(copy, made.data()), 0);
  for (std::size_t i = 0; i < made.size(); ++i) {
    SCOPED_TRACE(logical[i].szName);
    EXPECT_STREQ(made[i].szName, logical[i].szName);
    EXPECT_EQ(+made[i].iFldType, +logical[i].iFldType);
    EXPECT_EQ(+made[i].iSubType, +logical[i].iSubType);
    EXPECT_EQ(+made[i].iLen, +logical[i].iLen);
  }
  // Overwriting replaces the table.
  EXPECT_EQ(closeCursor(&copy), 0);
  cursors.pop_back();
  t.iFldCount = 1;
  ASSERT_EQ(createTable(db, 1, &t), 0);
  copy = open("Copy");
  ASSERT_EQ(getCursorProps(copy, &props), 0);
  EXPECT_EQ(+props.iFields, 1);
}

}  // namespace
