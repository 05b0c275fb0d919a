// Information cursors read through the ordinary cursor operations. The lists
// come from the configuration exports: a session alias with a known set of
// values gives a "CONFIGINFOS" list with one row per value.

#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine_fixture.h"

namespace {

using kbe::rc::BOF;
using kbe::rc::EOF_;
using kbe::rc::InvalidBookmark;
using kbe::rc::NotSupported;

class InfoCursor : public ::testing::Test {
 public:
  kbetest::TempRoot root;
  kbetest::Engine engine;

  decltype(&DbiAddAlias) addAlias = KBE_FN(engine, DbiAddAlias, 1207);
  decltype(&DbiOpenCfgInfoList) openCfgInfoList = KBE_FN(engine, DbiOpenCfgInfoList, 1063);
  decltype(&DbiOpenDatabaseList) openDatabaseList = KBE_FN(engine, DbiOpenDatabaseList, 82);
  decltype(&DbiOpenDriverList) openDriverList = KBE_FN(engine, DbiOpenDriverList, 80);
  decltype(&DbiGetCursorProps) getCursorProps = KBE_FN(engine, DbiGetCursorProps, 7);
  decltype(&DbiGetFieldDescs) getFieldDescs = KBE_FN(engine, DbiGetFieldDescs, 9);
  decltype(&DbiCloseCursor) closeCursor = KBE_FN(engine, DbiCloseCursor, 12);
  decltype(&DbiSetToBegin) setToBegin = KBE_FN(engine, DbiSetToBegin, 13);
  decltype(&DbiSetToEnd) setToEnd = KBE_FN(engine, DbiSetToEnd, 14);
  decltype(&DbiGetNextRecord) getNext = KBE_FN(engine, DbiGetNextRecord, 16);
  decltype(&DbiGetPriorRecord) getPrior = KBE_FN(engine, DbiGetPriorRecord, 17);
  decltype(&DbiGetRecord) getRecord = KBE_FN(engine, DbiGetRecord, 18);
  decltype(&DbiGetRelativeRecord) getRelative = KBE_FN(engine, DbiGetRelativeRecord, 19);
  decltype(&DbiGetRecordCount) getRecordCount = KBE_FN(engine, DbiGetRecordCount, 21);
  decltype(&DbiGetSeqNo) getSeqNo = KBE_FN(engine, DbiGetSeqNo, 25);
  decltype(&DbiGetField) getField = KBE_FN(engine, DbiGetField, 207);
  decltype(&DbiPutField) putField = KBE_FN(engine, DbiPutField, 208);
  decltype(&DbiGetBookMark) getBookMark = KBE_FN(engine, DbiGetBookMark, 217);
  decltype(&DbiSetToBookMark) setToBookMark = KBE_FN(engine, DbiSetToBookMark, 218);
  decltype(&DbiInitRecord) initRecord = KBE_FN(engine, DbiInitRecord, 221);
  decltype(&DbiGetExactRecordCount) getExactRecordCount = KBE_FN(engine, DbiGetExactRecordCount, 883);

  kbe::hDBICur cursor = nullptr;

  void SetUp() override { ASSERT_TRUE(engine.loaded()); }
  // The tree outlives a test while the library stays loaded: the aliases a
  // test defines are dropped again.
  std::vector<std::string> aliases;
  decltype(&DbiDeleteAlias) deleteAlias = KBE_FN(engine, DbiDeleteAlias, 1211);

  void TearDown() override {
    if (!engine.loaded()) return;
    if (cursor) {
      EXPECT_EQ(closeCursor(&cursor), 0);
    }
    for (const std::string& a : aliases) deleteAlias(nullptr, a.c_str());
  }

  // A "CONFIGINFOS" cursor over a node with `n` values named V1..Vn, valued
  // "value 1".."value n".
  void openRows(const char* alias, int n) {
    std::string params;
    for (int i = 1; i <= n; ++i) params += "V" + std::to_string(i) + ":\"value " + std::to_string(i) + "\";";
    aliases.emplace_back(alias);
    ASSERT_EQ(addAlias(nullptr, alias, "KBE", params.c_str(), 0), 0);
    const std::string path = std::string("\\DATABASES\\") + alias + "\\DB OPEN";
    ASSERT_EQ(openCfgInfoList(nullptr, 0, 0, path.c_str(), &cursor), 0);
    ASSERT_NE(cursor, nullptr);
  }

  // The row number (1-based) of a "CONFIGINFOS" record, from its value name.
  static int rowOf(const kbe::CFGDesc& r) { return r.szNodeName[0] == 'V' ? std::atoi(r.szNodeName + 1) : 0; }

  // Reads the current row after a move; 0 when the move gave no row.
  int moved(kbe::DBIResult expected, kbe::DBIResult actual, const kbe::CFGDesc& r) {
    EXPECT_EQ(actual, expected);
    return actual == 0 ? rowOf(r) : 0;
  }
};

TEST_F(InfoCursor, PropertiesDescribeTheListAsAReadOnlyMemoryTable) {
  struct Case {
    const char* name;
    std::uint16_t fields;
    std::uint16_t recSize;
    kbe::DBIResult (*open)(InfoCursor&, kbe::hDBICur*);
  } cases[] = {
      {"DATABASES", 4, 357, [](InfoCursor& t, kbe::hDBICur* c) { return t.openDatabaseList(c); }},
      {"DRIVERS", 1, 32, [](InfoCursor& t, kbe::hDBICur* c) { return t.openDriverList(c); }},
      {"CONFIGINFOS", 5, 292,
       [](InfoCursor& t, kbe::hDBICur* c) { return t.openCfgInfoList(nullptr, 0, 0, "\\NONE", c); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kbe::hDBICur cur = nullptr;
    ASSERT_EQ(c.open(*this, &cur), 0);
    kbe::CURProps p;
    std::memset(&p, 0x5A, sizeof p);
    ASSERT_EQ(getCursorProps(cur, &p), 0);
    EXPECT_STREQ(p.szName, c.name);
    EXPECT_EQ(+p.iFNameSize, static_cast<int>(std::strlen(c.name) + 1));
    EXPECT_EQ(std::string(p.szTableType, sizeof p.szTableType), std::string("INMEMORY") + std::string(24, '\0'));
    EXPECT_EQ(+p.iFields, c.fields);
    EXPECT_EQ(+p.iRecSize, c.recSize);
    EXPECT_EQ(+p.iRecBufSize, c.recSize);
    EXPECT_EQ(+p.iBookMarkSize, 4);
    EXPECT_EQ(+p.bBookMarkStable, -1);
    EXPECT_EQ(+p.iSeqNums, -1);
    EXPECT_EQ(+p.eOpenMode, 1u);
    EXPECT_EQ(+p.eShareMode, 0u);
    EXPECT_EQ(+p.exltMode, 1u);
    EXPECT_EQ(+p.bUniDirectional, 0);
    EXPECT_EQ(+p.eprvRights, 0x1F);
    EXPECT_EQ(+p.iFmlRights, 15);
    EXPECT_EQ(+p.iIndexes, 0);
    EXPECT_EQ(+p.bTempTable, 0);
    EXPECT_EQ(+p.szLangDriver[0], '\0');
    EXPECT_EQ(getCursorProps(cur, nullptr), NotSupported);
    EXPECT_EQ(closeCursor(&cur), 0);
  }
}

TEST_F(InfoCursor, FieldDescsLayTheColumnsEndToEnd) {
  openRows("fd", 0);
  struct Column {
    const char* name;
    std::uint16_t type;
    std::int16_t units1;
    std::uint16_t offset;
    std::uint16_t len;
  } expected[] = {{"NodeName", 1, 31, 0, 32},
                  {"Description", 1, 127, 32, 128},
                  {"DataType", 12, 0, 160, 2},
                  {"Value", 1, 127, 162, 128},
                  {"HasSubnodes", 4, 0, 290, 2}};
  kbe::FLDDesc d[6];
  std::memset(d, 0x5A, sizeof d);
  ASSERT_EQ(getFieldDescs(cursor, d), 0);
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(+d[i].iFldNum, i + 1);
    EXPECT_STREQ(d[i].szName, expected[i].name);
    EXPECT_EQ(+d[i].iFldType, expected[i].type);
    EXPECT_EQ(+d[i].iSubType, 0);
    EXPECT_EQ(+d[i].iUnits1, expected[i].units1);
    EXPECT_EQ(+d[i].iOffset, expected[i].offset);
    EXPECT_EQ(+d[i].iLen, expected[i].len);
    EXPECT_EQ(+d[i].iNullOffset, 0);
    EXPECT_EQ(+d[i].efldrRights, 1u);
  }
  EXPECT_EQ(+d[5].iFldNum, 0x5A5A);  // exactly five descriptors written
  EXPECT_EQ(getFieldDescs(cursor, nullptr), NotSupported);
}

TEST_F(InfoCursor, MovesStopAtTheEndsAndReadTheCurrentRow) {
  openRows("nav", 5);
  kbe::CFGDesc r{};
  EXPECT_EQ(getRecord(cursor, 0, reinterpret_cast<std::uint8_t*>(&r), nullptr), BOF);
  EXPECT_EQ(getPrior(cursor, 0, reinterpret_cast<std::uint8_t*>(&r), nullptr), BOF);  // stays before the first
  auto* buf = reinterpret_cast<std::uint8_t*>(&r);
  for (int i = 1; i <= 5; ++i) {
    EXPECT_EQ(moved(0, getNext(cursor, 0, buf, nullptr), r), i);
    EXPECT_EQ(std::string(r.szValue), "value " + std::to_string(i));
    EXPECT_EQ(+r.iDataType, 1);
  }
  EXPECT_EQ(getNext(cursor, 0, buf, nullptr), EOF_);
  EXPECT_EQ(getNext(cursor, 0, buf, nullptr), EOF_);
  EXPECT_EQ(moved(0, getPrior(cursor, 0, buf, nullptr), r), 5);  // one step back from after the last

  // Far beyond either end the position is held just outside the rows.
  EXPECT_EQ(getRelative(cursor, 1000, 0, buf, nullptr), EOF_);
  EXPECT_EQ(moved(0, getPrior(cursor, 0, buf, nullptr), r), 5);
  EXPECT_EQ(getRelative(cursor, INT_MAX, 0, buf, nullptr), EOF_);
  EXPECT_EQ(moved(0, getPrior(cursor, 0, buf, nullptr), r), 5);
  EXPECT_EQ(getRelative(cursor, INT_MIN, 0, buf, nullptr), BOF);
  EXPECT_EQ(moved(0, getNext(cursor, 0, buf, nullptr), r), 1);
  EXPECT_EQ(moved(0, getRelative(cursor, 3, 0, buf, nullptr), r), 4);
  EXPECT_EQ(moved(0, getRelative(cursor, -2, 0, buf, nullptr), r), 2);
  EXPECT_EQ(moved(0, getRelative(cursor, 0, 0, buf, nullptr), r), 2);
  EXPECT_EQ(getRecord(cursor, 0, nullptr, nullptr), 0);  // no buffer: the result only

  EXPECT_EQ(setToEnd(cursor), 0);
  EXPECT_EQ(getRecord(cursor, 0, buf, nullptr), EOF_);
  EXPECT_EQ(moved(0, getPrior(cursor, 0, buf, nullptr), r), 5);
  EXPECT_EQ(setToBegin(cursor), 0);
  EXPECT_EQ(moved(0, getNext(cursor, 0, buf, nullptr), r), 1);

  std::uint32_t count = 0;
  EXPECT_EQ(getRecordCount(cursor, &count), 0);
  EXPECT_EQ(count, 5u);
  count = 0;
  EXPECT_EQ(getExactRecordCount(cursor, &count), 0);
  EXPECT_EQ(count, 5u);
}

TEST_F(InfoCursor, EmptyListIsAtItsEndsAtOnce) {
  ASSERT_EQ(openCfgInfoList(nullptr, 0, 0, "\\NO\\SUCH\\NODE", &cursor), 0);
  std::uint8_t buf[292];
  std::uint32_t count = 99;
  EXPECT_EQ(getRecordCount(cursor, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(getRecord(cursor, 0, buf, nullptr), BOF);
  EXPECT_EQ(getNext(cursor, 0, buf, nullptr), EOF_);
  EXPECT_EQ(getPrior(cursor, 0, buf, nullptr), BOF);
  const std::uint8_t zero[4] = {};
  EXPECT_EQ(setToBookMark(cursor, zero), InvalidBookmark);
}

TEST_F(InfoCursor, BookmarksReturnToTheirRow) {
  openRows("bm", 5);
  kbe::CFGDesc r{};
  auto* buf = reinterpret_cast<std::uint8_t*>(&r);
  std::uint8_t mark[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(getBookMark(cursor, mark), BOF);
  ASSERT_EQ(moved(0, getRelative(cursor, 3, 0, buf, nullptr), r), 3);
  ASSERT_EQ(getBookMark(cursor, mark), 0);
  EXPECT_EQ(moved(0, getNext(cursor, 0, buf, nullptr), r), 4);
  ASSERT_EQ(setToBookMark(cursor, mark), 0);
  EXPECT_EQ(moved(0, getRecord(cursor, 0, buf, nullptr), r), 3);

  auto markOf = [](std::int32_t value) {
    std::array<std::uint8_t, 4> b{};
    std::memcpy(b.data(), &value, 4);
    return b;
  };
  for (std::int32_t bad : {-1, 5, 6, INT_MIN}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(setToBookMark(cursor, markOf(bad).data()), InvalidBookmark);
    EXPECT_EQ(moved(0, getRecord(cursor, 0, buf, nullptr), r), 3);  // the position is kept
  }
  EXPECT_EQ(setToBookMark(cursor, markOf(4).data()), 0);
  EXPECT_EQ(moved(0, getRecord(cursor, 0, buf, nullptr), r), 5);

  EXPECT_EQ(setToEnd(cursor), 0);
  EXPECT_EQ(getBookMark(cursor, mark), EOF_);
  EXPECT_EQ(getBookMark(cursor, nullptr), NotSupported);
  EXPECT_EQ(setToBookMark(cursor, nullptr), NotSupported);
}

TEST_F(InfoCursor, FieldsAreCopiedFromTheCallersRecord) {
  openRows("fields", 2);
  kbe::CFGDesc r{};
  auto* buf = reinterpret_cast<std::uint8_t*>(&r);
  ASSERT_EQ(getNext(cursor, 0, buf, nullptr), 0);
  ASSERT_EQ(getNext(cursor, 0, buf, nullptr), 0);

  char value[140];
  std::memset(value, 0x5A, sizeof value);
  std::int32_t blank = 0x77777777;
  ASSERT_EQ(getField(cursor, 4, buf, value, &blank), 0);
  EXPECT_STREQ(value, "value 2");
  EXPECT_EQ(std::memcmp(value, r.szValue, 128), 0);
  EXPECT_EQ(static_cast<unsigned char>(value[128]), 0x5A);  // exactly the column's 128 bytes
  EXPECT_EQ(blank, 0);

  std::uint16_t type = 0;
  EXPECT_EQ(getField(cursor, 3, buf, &type, nullptr), 0);
  EXPECT_EQ(type, 1);
  EXPECT_EQ(getField(cursor, 1, buf, nullptr, &blank), 0);  // no destination: nothing copied

  for (std::uint16_t bad : {0, 6, 0xFFFF}) EXPECT_EQ(getField(cursor, bad, buf, value, nullptr), NotSupported) << bad;
  EXPECT_EQ(getField(cursor, 1, nullptr, value, nullptr), NotSupported);

  std::uint8_t record[300];
  std::memset(record, 0x5A, sizeof record);
  EXPECT_EQ(initRecord(cursor, record), 0);
  for (int i = 0; i < 292; ++i) ASSERT_EQ(record[i], 0) << i;
  for (int i = 292; i < 300; ++i) EXPECT_EQ(record[i], 0x5A) << i;
  EXPECT_EQ(initRecord(cursor, nullptr), NotSupported);
}

TEST_F(InfoCursor, ReadOnlyAndWithoutSequenceNumbers) {
  openRows("ro", 1);
  std::uint8_t buf[292] = {};
  ASSERT_EQ(getNext(cursor, 0, buf, nullptr), 0);
  EXPECT_EQ(putField(cursor, 4, buf, "new"), NotSupported);
  EXPECT_EQ(putField(cursor, 1, nullptr, nullptr), NotSupported);
  std::uint32_t seq = 0;
  EXPECT_EQ(getSeqNo(cursor, &seq), NotSupported);
}

// A list is a snapshot: later changes of its source do not reach it.
TEST_F(InfoCursor, RowsAreASnapshotOfTheirOpen) {
  openRows("snap", 2);
  ASSERT_EQ(addAlias(nullptr, "snap", "KBE", "V1:\"changed\" V3:\"added\"", 0), 0);
  kbe::CFGDesc r{};
  std::uint32_t count = 0;
  EXPECT_EQ(getRecordCount(cursor, &count), 0);
  EXPECT_EQ(count, 2u);
  ASSERT_EQ(getNext(cursor, 0, reinterpret_cast<std::uint8_t*>(&r), nullptr), 0);
  EXPECT_STREQ(r.szValue, "value 1");
}

// Closed, null and foreign handles are refused, never followed.
TEST_F(InfoCursor, ClosedAndForeignHandlesAreRefused) {
  openRows("stale", 3);
  kbe::hDBICur stale = cursor;
  ASSERT_EQ(closeCursor(&cursor), 0);
  cursor = nullptr;
  int foreignObject = 0;
  std::uint8_t buf[400] = {};
  std::uint8_t mark[4] = {};
  std::uint32_t n = 0;
  kbe::CURProps props;
  kbe::FLDDesc descs[8];
  for (kbe::hDBICur h : {stale, static_cast<kbe::hDBICur>(nullptr), static_cast<kbe::hDBICur>(&foreignObject)}) {
    SCOPED_TRACE(h == stale ? "closed" : h ? "foreign" : "null");
    EXPECT_EQ(getCursorProps(h, &props), NotSupported);
    EXPECT_EQ(getFieldDescs(h, descs), NotSupported);
    EXPECT_EQ(setToBegin(h), NotSupported);
    EXPECT_EQ(setToEnd(h), NotSupported);
    EXPECT_EQ(getRecord(h, 0, buf, nullptr), NotSupported);
    EXPECT_EQ(getNext(h, 0, buf, nullptr), NotSupported);
    EXPECT_EQ(getPrior(h, 0, buf, nullptr), NotSupported);
    EXPECT_EQ(getRelative(h, 1, 0, buf, nullptr), NotSupported);
    EXPECT_EQ(getBookMark(h, mark), NotSupported);
    EXPECT_EQ(setToBookMark(h, mark), NotSupported);
    EXPECT_EQ(getRecordCount(h, &n), NotSupported);
    EXPECT_EQ(getExactRecordCount(h, &n), NotSupported);
    EXPECT_EQ(initRecord(h, buf), NotSupported);
    EXPECT_EQ(getField(h, 1, buf, buf, nullptr), NotSupported);
    EXPECT_EQ(putField(h, 1, buf, buf), NotSupported);
    EXPECT_EQ(getSeqNo(h, &n), NotSupported);
    kbe::hDBICur copy = h;
    EXPECT_EQ(closeCursor(&copy), NotSupported);
  }
  EXPECT_EQ(closeCursor(nullptr), NotSupported);
}

}  // namespace
