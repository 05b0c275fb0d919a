// SQL statements through the engine: the program's own statements with their
// parameters, marker rewriting, parameter binding rules, statement
// properties, action queries, statement lifetime and stored queries.
#include <cstring>
#include <string>
#include <vector>

#include "program_db.h"

namespace {

using kbetest::ProgramDb;
using Strings = std::vector<std::string>;

constexpr std::uint32_t kPropLanguageDriver = 0x00060004;
constexpr std::uint32_t kPropUnidirectional = 0x00060010;
constexpr std::uint32_t kPropRowsAffected = 0x00060014;
constexpr std::uint32_t kPropLiveness = 0x00060021;

// One parameter value as the data-set layer hands it over.
struct Param {
  std::uint16_t number;     // iFldNum (or uParamNum)
  const char* name;         // szName
  const char* text;         // a string value, or null for a 32-bit integer
  std::int32_t integer;
  bool null = false;        // the null word is -1 (the value bytes still hold data)
};

// Descriptors and a value buffer for a list of parameters.
struct Bound {
  std::vector<kbe::FLDDesc> descs;
  std::vector<kbe::SPParamDesc> procDescs;
  std::vector<std::uint8_t> record;
};

Bound bind(const std::vector<Param>& params) {
  Bound b;
  std::uint16_t offset = 2;  // a null offset of 0 means "no null word"
  for (const Param& p : params) {
    const std::uint16_t length = p.text ? 101 : 4;
    kbe::FLDDesc d{};
    d.iFldNum = p.number;
    std::strncpy(d.szName, p.name ? p.name : "", sizeof d.szName - 1);
    d.iFldType = p.text ? 1 : 6;  // fldZSTRING, fldINT32
    d.iNullOffset = offset;
    d.iOffset = static_cast<std::uint16_t>(offset + 2);
    d.iLen = length;
    b.descs.push_back(d);
    kbe::SPParamDesc s{};
    s.uParamNum = p.number;
    std::strncpy(s.szName, d.szName, sizeof s.szName - 1);
    s.uFldType = d.iFldType;
    s.uOffset = d.iOffset;
    s.uLen = d.iLen;
    s.uNullOffset = d.iNullOffset;
    b.procDescs.push_back(s);
    b.record.resize(offset + 2u + length, 0);
    const std::int16_t indicator = p.null ? -1 : 0;
    std::memcpy(b.record.data() + offset, &indicator, 2);
    if (p.text)
      std::strncpy(reinterpret_cast<char*>(b.record.data() + offset + 2), p.text, length - 1);
    else
      std::memcpy(b.record.data() + offset + 2, &p.integer, 4);
    offset = static_cast<std::uint16_t>(offset + 2 + length);
  }
  return b;
}

class Queries : public ProgramDb {
 protected:
  // Prepares, binds and executes `sql`, returning the cursor (null on failure).
  hDBICur run(hDBIStmt s, const std::vector<Param>& params) {
    const Bound b = bind(params);
    EXPECT_EQ(qSetParams(s, static_cast<std::uint16_t>(b.descs.size()), b.descs.data(), b.record.data()), 0);
    hDBICur cursor = nullptr;
    EXPECT_EQ(qExec(s, &cursor), 0);
    return cursor;
  }

  // The values of `name` for `sql` with `params`, through an allocated statement.
  Strings query(const std::string& sql, const std::vector<Param>& params, const std::string& name = "Name") {
    hDBIStmt s = prepare(sql);
    hDBICur cursor = run(s, params);
    Strings values;
    if (cursor) {
      values = column(cursor, name);
      EXPECT_EQ(closeCursor(&cursor), 0);
    }
    EXPECT_EQ(qFree(&s), 0);
    return values;
  }

  std::uint32_t prop32(void* handle, std::uint32_t property) {
    std::uint32_t value = 0xDEADBEEF;
    std::uint16_t length = 0;
    EXPECT_EQ(getProp(handle, property, &value, 4, &length), 0);
    EXPECT_EQ(length, 4);
    return value;
  }
};

// The data module's three live data sets, the account query re-run for
// another group on the same statement as the master-detail link does.
TEST_F(Queries, ProgramStatementsGiveLiveCursors) {
  EXPECT_EQ(query("select * from groups order by Name", {}),
            (Strings{"Email Accounts", "Misc Accounts", "Web Discussion Boards", "Web Subscriptions"}));
  EXPECT_EQ(query("select * from options", {}, "style"), Strings{"None"});

  hDBIStmt s = prepare("select * from passwords where GroupId = ? order by Description");
  for (const auto& [group, expected] : std::vector<std::pair<std::int32_t, Strings>>{
           {1, {"Home mail", "Work mail"}}, {3, {"Bank"}}, {2, {}}}) {
    SCOPED_TRACE(group);
    hDBICur cursor = run(s, {{1, nullptr, nullptr, group}});
    ASSERT_NE(cursor, nullptr);
    kbe::CURProps props{};
    ASSERT_EQ(getCursorProps(cursor, &props), 0);
    EXPECT_EQ(std::uint32_t{props.eOpenMode}, 0u);  // live
    EXPECT_EQ(std::int16_t{props.bTempTable}, 0);
    EXPECT_EQ(std::uint16_t{props.iFields}, 11);
    EXPECT_EQ(column(cursor, "Description"), expected);
    EXPECT_EQ(closeCursor(&cursor), 0);
  }
  EXPECT_EQ(qFree(&s), 0);
  EXPECT_EQ(s, nullptr);
}

// Markers inside quoted sections and comments are not parameters; the one
// marker outside becomes Par_1.
TEST_F(Queries, MarkerRewriteKeepsQuotedSectionsAndDropsComments) {
  struct Case {
    const char* what;
    const char* sql;
    Strings names;
  };
  const std::vector<Case> cases = {
      {"apostrophes", "select Name from groups where Name <> '?' and GroupID = ?", {"Misc Accounts"}},
      {"doubled apostrophe", "select Name from groups where Name <> 'it''s ?' and GroupID = ?", {"Misc Accounts"}},
      {"double quotes", "select Name from groups where Name <> \"?\" and GroupID = ?", {"Misc Accounts"}},
      {"date literal", "select Name from groups where #01/02/2000# < Now() and GroupID = ?", {"Misc Accounts"}},
      {"comment to the line end", "select Name from groups // which one?\r\nwhere GroupID = ? // really?",
       {"Misc Accounts"}},
      {"slashes inside a string", "select Name from groups where Name <> 'a//b' and GroupID = ?", {"Misc Accounts"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(query(c.sql, {{1, nullptr, nullptr, 3}}), c.names);
  }

  // A bracketed name keeps its question mark: it names the result field.
  hDBIStmt s = prepare("select Name as [Which?] from groups where GroupID = ?");
  hDBICur cursor = run(s, {{1, nullptr, nullptr, 2}});
  ASSERT_NE(cursor, nullptr);
  EXPECT_EQ(column(cursor, "Which?"), Strings{"Web Discussion Boards"});
  EXPECT_EQ(closeCursor(&cursor), 0);
  EXPECT_EQ(qFree(&s), 0);
}

TEST_F(Queries, ParametersAreChosenByNumberNameOrNextWithoutValue) {
  const char* twoMarkers = "select Name from groups where GroupID = ? or GroupID = ? order by Name";
  struct Case {
    const char* what;
    const char* sql;
    std::vector<Param> params;
    Strings names;
  };
  const std::vector<Case> cases = {
      {"by number", twoMarkers, {{2, nullptr, nullptr, 4}, {1, nullptr, nullptr, 1}},
       {"Email Accounts", "Web Subscriptions"}},
      // Number 3 with two markers: the first parameter still without a value.
      {"past the markers", twoMarkers, {{2, nullptr, nullptr, 4}, {3, nullptr, nullptr, 1}},
       {"Email Accounts", "Web Subscriptions"}},
      {"past the markers twice",
       twoMarkers,
       {{9, nullptr, nullptr, 2}, {9, nullptr, nullptr, 3}, {9, nullptr, nullptr, 4}},
       {"Misc Accounts", "Web Discussion Boards"}},
      {"by name, any case", "select Name from groups where GroupID = ?", {{0, "par_1", nullptr, 2}},
       {"Web Discussion Boards"}},
      {"Jet's own named parameter", "select Name from groups where GroupID = Wanted", {{0, "Wanted", nullptr, 4}},
       {"Web Subscriptions"}},
      // The null word wins over the value bytes.
      {"null word", "select Name from groups where GroupID = ?", {{1, nullptr, nullptr, 4, true}}, {}},
      {"no null word", "select Name from groups where GroupID = ?", {{1, nullptr, nullptr, 4, false}},
       {"Web Subscriptions"}},
      // An empty text stays an empty string, not Null.
      {"empty string", "select Name from groups where ? = '' and GroupID = 1", {{1, nullptr, "", 0}},
       {"Email Accounts"}},
      {"text", "select Name from groups where Name = ?", {{1, nullptr, "Misc Accounts", 0}}, {"Misc Accounts"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(query(c.sql, c.params), c.names);
  }

  // A descriptor that finds no parameter is skipped.
  hDBIStmt s = prepare("select Name from groups where GroupID = ?");
  const Bound b = bind({{0, "NoSuchParameter", nullptr, 1}, {5, nullptr, nullptr, 3}, {0, "Par_1", nullptr, 2}});
  EXPECT_EQ(qSetParams(s, 3, b.descs.data(), b.record.data()), 0);
  hDBICur cursor = nullptr;
  ASSERT_EQ(qExec(s, &cursor), 0);
  EXPECT_EQ(column(cursor, "Name"), Strings{"Web Discussion Boards"});
  EXPECT_EQ(closeCursor(&cursor), 0);
  EXPECT_EQ(qFree(&s), 0);
}

TEST_F(Queries, LivenessAndUnidirectionalProperties) {
  hDBIStmt s = prepare("select * from groups order by Name");
  char driver[32] = "";
  std::uint16_t length = 0;
  EXPECT_EQ(getProp(s, kPropLanguageDriver, driver, sizeof driver, &length), 0);
  EXPECT_STREQ(driver, "KBE Ansi");
  EXPECT_EQ(length, 8);
  EXPECT_EQ(prop32(s, kPropLiveness), 1u);
  EXPECT_EQ(prop32(s, kPropUnidirectional), 0u);
  EXPECT_EQ(getProp(s, kPropLiveness, nullptr, 4, &length), 0);
  EXPECT_EQ(getProp(s, 0x00060099, driver, sizeof driver, &length), 0x3001);
  EXPECT_EQ(setProp(s, kPropLiveness, 3), 0x3001);
  EXPECT_EQ(setProp(s, kPropLanguageDriver, 1), 0x3001);

  // Canned: read-only.
  ASSERT_EQ(setProp(s, kPropLiveness, 2), 0);
  EXPECT_EQ(prop32(s, kPropLiveness), 2u);
  hDBICur cursor = nullptr;
  ASSERT_EQ(qExec(s, &cursor), 0);
  kbe::CURProps props{};
  ASSERT_EQ(getCursorProps(cursor, &props), 0);
  EXPECT_EQ(std::uint32_t{props.eOpenMode}, 1u);
  EXPECT_EQ(std::int16_t{props.bTempTable}, -1);
  EXPECT_EQ(closeCursor(&cursor), 0);

  // Unidirectional: forward-only, no bookmarks, begin does not move.
  ASSERT_EQ(setProp(s, kPropLiveness, 1), 0);
  ASSERT_EQ(setProp(s, kPropUnidirectional, 1), 0);
  EXPECT_EQ(prop32(s, kPropUnidirectional), 1u);
  ASSERT_EQ(qExec(s, &cursor), 0);
  const kbe::FLDDesc name = fields(cursor).at("Name");
  std::vector<std::uint8_t> record = recordBuffer(cursor);
  ASSERT_EQ(getNext(cursor, 0, record.data(), nullptr), 0);
  EXPECT_EQ(text(cursor, name, record), "Email Accounts");
  std::uint8_t bookmark[20];
  std::memset(bookmark, 0x5A, sizeof bookmark);
  EXPECT_EQ(getBookMark(cursor, bookmark), 0);
  EXPECT_EQ(bookmark[0], 0x5A);
  EXPECT_EQ(bookmark[19], 0x5A);
  EXPECT_EQ(setToBegin(cursor), 0);
  ASSERT_EQ(getNext(cursor, 0, record.data(), nullptr), 0);
  EXPECT_EQ(text(cursor, name, record), "Email Accounts");
  ASSERT_EQ(getNext(cursor, 0, record.data(), nullptr), 0);
  EXPECT_EQ(text(cursor, name, record), "Misc Accounts");
  EXPECT_EQ(closeCursor(&cursor), 0);

  ASSERT_EQ(setProp(s, kPropUnidirectional, 0), 0);
  EXPECT_EQ(prop32(s, kPropUnidirectional), 0u);
  EXPECT_EQ(qFree(&s), 0);
  // Properties of something that is no statement.
  EXPECT_EQ(getProp(s, kPropLiveness, driver, 4, &length), 0x3001);
}

TEST_F(Queries, ActionQueryRunsWithoutCursorAndCountsRows) {
  hDBIStmt s = prepare("update passwords set URL = 'changed' where GroupID = ?");
  const Bound b = bind({{1, nullptr, nullptr, 1}});
  ASSERT_EQ(qSetParams(s, 1, b.descs.data(), b.record.data()), 0);
  EXPECT_EQ(qExec(s, nullptr), 0);
  EXPECT_EQ(prop32(s, kPropRowsAffected), 2u);
  EXPECT_EQ(qFree(&s), 0);
  EXPECT_EQ(select("select URL from passwords where URL = 'changed'", "URL"), (Strings{"changed", "changed"}));

  // Executing a select without a cursor, and a faulty statement, fail with a
  // status and leave no cursor.
  s = prepare("select * from groups");
  EXPECT_NE(qExec(s, nullptr), 0);
  EXPECT_EQ(qFree(&s), 0);
  hDBICur cursor = reinterpret_cast<hDBICur>(1);
  EXPECT_NE(qExecDirect(db, 0, "select * from NoSuchTable", &cursor), 0);
  EXPECT_EQ(cursor, nullptr);
  EXPECT_NE(qExecDirect(db, 0, "delete from NoSuchTable", nullptr), 0);
  EXPECT_EQ(qExecDirect(db, 0, "delete from passwords where GroupID = 3", nullptr), 0);
  EXPECT_EQ(select("select Description from passwords where GroupID = 3", "Description"), Strings{});
}

TEST_F(Queries, StatementLivesUntilItsLastCursorCloses) {
  const std::uint32_t before = liveObjects();
  // A direct execution's statement goes with its cursor.
  hDBICur cursor = nullptr;
  ASSERT_EQ(qExecDirect(db, 0, "select * from groups", &cursor), 0);
  EXPECT_GT(liveObjects(), before);
  EXPECT_EQ(closeCursor(&cursor), 0);
  EXPECT_EQ(liveObjects(), before);

  // An allocated statement stays usable after its cursors close, until freed.
  hDBIStmt s = prepare("select * from groups where GroupID = ?");
  hDBICur first = run(s, {{1, nullptr, nullptr, 1}});
  hDBICur second = run(s, {{1, nullptr, nullptr, 2}});
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(column(first, "Name"), Strings{"Email Accounts"});
  EXPECT_EQ(closeCursor(&first), 0);
  EXPECT_EQ(closeCursor(&second), 0);
  ASSERT_EQ(qPrepare(s, "select * from groups where GroupID = ? or GroupID = ?"), 0);
  hDBICur third = run(s, {{1, nullptr, nullptr, 3}, {2, nullptr, nullptr, 4}});
  EXPECT_EQ(column(third, "Name"), (Strings{"Misc Accounts", "Web Subscriptions"}));
  EXPECT_EQ(closeCursor(&third), 0);
  hDBIStmt stale = s;
  EXPECT_EQ(qFree(&s), 0);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(liveObjects(), before);

  // Freeing first and closing later frees it at the close.
  s = prepare("select * from groups");
  ASSERT_EQ(qExec(s, &cursor), 0);
  EXPECT_EQ(qFree(&s), 0);
  EXPECT_EQ(column(cursor, "Name").size(), 4u);
  EXPECT_EQ(closeCursor(&cursor), 0);
  EXPECT_EQ(liveObjects(), before);

  // Stale and foreign handles are refused.
  EXPECT_EQ(qPrepare(stale, "select * from groups"), 0x3001);
  EXPECT_EQ(qExec(stale, &cursor), 0x3001);
  EXPECT_EQ(cursor, nullptr);
  EXPECT_EQ(qFree(&stale), 0x3001);
  EXPECT_EQ(qFree(nullptr), 0x3001);
  hDBIStmt none = nullptr;
  EXPECT_EQ(qAlloc(nullptr, 0, &none), 0x3001);
  EXPECT_EQ(qAlloc(stale, 0, &none), 0x3001);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(qSetParams(db, 0, nullptr, nullptr), 0x3001);

  // A statement whose database has been closed no longer executes; it can
  // still be freed.
  openAlias(aliasName("Closed"), {});
  s = prepare("select * from groups", opened.back());
  ASSERT_EQ(closeDatabase(&opened.back()), 0);
  EXPECT_EQ(qExec(s, &cursor), 0x2706);
  EXPECT_EQ(cursor, nullptr);
  EXPECT_EQ(qFree(&s), 0);
  EXPECT_EQ(liveObjects(), before);
}

// A statement prepared again with another text describes the new result;
// a cursor still open on the old text keeps its own description.
TEST_F(Queries, PreparingAnotherTextDescribesTheNewResult) {
  hDBIStmt s = prepare("select Name from groups order by Name");
  hDBICur names = nullptr;
  ASSERT_EQ(qExec(s, &names), 0);
  ASSERT_EQ(qPrepare(s, "select Description, URL from passwords where GroupID = ? order by Description"), 0);
  hDBICur accounts = run(s, {{1, nullptr, nullptr, 1}});
  ASSERT_NE(accounts, nullptr);
  const auto described = fields(accounts);
  EXPECT_EQ(described.size(), 2u);
  EXPECT_EQ(described.count("Name"), 0u);
  EXPECT_EQ(column(accounts, "URL"), (Strings{"b", "a"}));
  EXPECT_EQ(column(names, "Name"),
            (Strings{"Email Accounts", "Misc Accounts", "Web Discussion Boards", "Web Subscriptions"}));
  EXPECT_EQ(closeCursor(&names), 0);
  // The same text again keeps the description; the statement stays usable.
  ASSERT_EQ(qPrepare(s, "select Description, URL from passwords where GroupID = ? order by Description"), 0);
  hDBICur again = run(s, {{1, nullptr, nullptr, 3}});
  EXPECT_EQ(column(again, "Description"), Strings{"Bank"});
  EXPECT_EQ(closeCursor(&again), 0);
  EXPECT_EQ(closeCursor(&accounts), 0);
  EXPECT_EQ(qFree(&s), 0);
}

TEST_F(Queries, StoredQueriesRunAsProcedures) {
  hDBIStmt s = nullptr;
  ASSERT_EQ(qPrepareProc(db, "GroupNames", 0, nullptr, nullptr, &s), 0);
  hDBICur cursor = nullptr;
  ASSERT_EQ(qExec(s, &cursor), 0);
  EXPECT_EQ(column(cursor, "Name"),
            (Strings{"Email Accounts", "Misc Accounts", "Web Discussion Boards", "Web Subscriptions"}));
  EXPECT_EQ(closeCursor(&cursor), 0);
  EXPECT_EQ(qFree(&s), 0);

  // Parameters by place in the collection (from 1) or by name.
  for (const Param& p : {Param{1, nullptr, "Misc Accounts", 0}, Param{0, "wanted", "Misc Accounts", 0}}) {
    const Bound b = bind({p});
    ASSERT_EQ(qExecProcDirect(db, "GroupByName", 1, b.procDescs.data(), b.record.data(), &cursor), 0);
    EXPECT_EQ(column(cursor, "Name"), Strings{"Misc Accounts"});
    EXPECT_EQ(closeCursor(&cursor), 0);
  }

  s = reinterpret_cast<hDBIStmt>(1);
  EXPECT_EQ(qPrepareProc(db, "NoSuchQuery", 0, nullptr, nullptr, &s), 0x2728);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(qExecProcDirect(db, "NoSuchQuery", 0, nullptr, nullptr, &cursor), 0x2728);
  EXPECT_EQ(cursor, nullptr);
  EXPECT_EQ(qPrepareProc(nullptr, "GroupNames", 0, nullptr, nullptr, &s), 0x3001);
}

}  // namespace
