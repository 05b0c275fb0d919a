// Jet's SQL functions, Like and text order on a real SQLite connection, and
// translated statements run end to end.
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "../src/jetfunctions.h"
#include "../src/jetsql.h"
#include "platform/collate.h"
#include "platform/oledate.h"

namespace kh::store::jet {
namespace {

class Db : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    ASSERT_EQ(registerJetFunctions(db_), SQLITE_OK);
  }
  void TearDown() override { sqlite3_close(db_); }

  void exec(const std::string& sql) {
    char* err = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
    ASSERT_EQ(rc, SQLITE_OK) << sql << ": " << (err ? err : "");
    sqlite3_free(err);
  }

  // The Password store's own tables, text declared as the store declares it.
  void makeSchema() {
    exec("CREATE TABLE Groups (GroupID INTEGER PRIMARY KEY, Name TEXT COLLATE JETTEXT UNIQUE);"
         "CREATE TABLE Passwords (PasswordID INTEGER PRIMARY KEY, GroupID INTEGER, Description TEXT COLLATE JETTEXT,"
         " ID TEXT COLLATE JETTEXT, Password TEXT COLLATE JETTEXT, URL TEXT COLLATE JETTEXT,"
         " Notes TEXT COLLATE JETTEXT, ExpireDate REAL, AssignDate REAL, ShowAccount INTEGER);"
         "INSERT INTO Groups VALUES (1, 'Banking'), (2, 'Shops'), (3, 'Empty');"
         "INSERT INTO Passwords VALUES (10, 1, 'Giro', 'me', 'pw1', 'http://giro.example', NULL, 37330, NULL, -1);"
         "INSERT INTO Passwords VALUES (11, 1, 'savings', 'ME2', 'pw2', NULL, 'old Account', 37331.5, NULL, 0);"
         "INSERT INTO Passwords VALUES (12, 2, 'Books', 'reader', 'Secret', NULL, 'Tuesday', NULL, NULL, -1);");
  }

  // Translates and runs a Jet statement; rows as text, columns joined with "|",
  // Null written as "NULL". Parameters are bound in marker order.
  std::vector<std::string> rows(const std::string& jet, const std::vector<std::string>& values = {},
                                const NameSet& params = {}) {
    Translation t;
    Error e;
    EXPECT_TRUE(translateStatement(jet, params, t, e)) << jet << ": " << e.message;
    return run(t.sql, values);
  }

  std::vector<std::string> run(const std::string& sql, const std::vector<std::string>& values = {}) {
    std::vector<std::string> out;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      lastError_ = sqlite3_errmsg(db_);
      ADD_FAILURE() << sql << ": " << lastError_;
      return out;
    }
    for (std::size_t i = 0; i < values.size(); ++i)
      sqlite3_bind_text(st, static_cast<int>(i + 1), values[i].c_str(), -1, SQLITE_TRANSIENT);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      std::string row;
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        if (c) row += "|";
        const unsigned char* v = sqlite3_column_text(st, c);
        row += v ? reinterpret_cast<const char*>(v) : "NULL";
      }
      out.push_back(row);
    }
    if (rc != SQLITE_DONE) {
      lastError_ = sqlite3_errmsg(db_);
      out.push_back("ERROR:" + lastError_);
    }
    sqlite3_finalize(st);
    return out;
  }

  // The value of one Jet expression, or "ERROR:<message>".
  std::string eval(const std::string& expr) {
    std::vector<std::string> r = rows("SELECT " + expr);
    return r.size() == 1 ? r[0] : "?";
  }

  sqlite3* db_ = nullptr;
  std::string lastError_;
};

using Rows = std::vector<std::string>;

TEST(JetLike, MatchesJetWildcards) {
  struct LikeCase {
    const char* value;
    const char* pattern;
    bool match;
  } const cases[] = {
      {"abc", "a*", true},          {"abc", "A?C", true},          {"abc", "a?", false},
      {"a1c", "a#c", true},         {"abc", "a#c", false},         {"b", "[!a-c]", false},
      {"d", "[!a-c]", true},        {"B", "[a-c]", true},          {"x", "[abc]", false},
      {"*", "[*]", true},           {"a", "[*]", false},           {"?", "[?]", true},
      {"#", "[#]", true},           {"5", "[#]", false},           {"a-b", "a[-]b", true},
      {"ÄPFEL", "äpfel", true},     {"Ærø", "æRØ", true},          {"œuvre", "ŒUVRE", true},
      {"Straße", "straße", true},   {"ÿ", "Ÿ", true},              {"Größe", "gr?sse", false},
      {"abc", "[]abc", true},       {"", "*", true},               {"", "?", false},
      {"abcabc", "*b*c", true},     {"abcabd", "*b*c", false},     {"aXb", "a[xyz]b", true},
      {"My bank", "*BANK*", true},  {"a]", "a]", true},            {"x", "", false},
      {"Notes\nline", "*line", true},
      // Multi-byte characters after a star, and malformed bytes (each one
      // character).
      {"xéyé", "*é", true},         {"éé", "?", false},            {"a\xff" "b", "a?b", true},
      {"\xe2\x82", "??", true},     {"\xe2\x82", "?", false},
  };
  for (const LikeCase& c : cases) EXPECT_EQ(jetLike(c.value, c.pattern), c.match) << c.value << " Like " << c.pattern;
  EXPECT_FALSE(isValidLikePattern("[abc"));
  EXPECT_FALSE(jetLike("[abc", "[abc"));
  EXPECT_FALSE(isValidLikePattern("[z-a]"));
  EXPECT_TRUE(isValidLikePattern("a*[!0-9]#?"));
  // Many stars over a long text stay quick (no exponential backtracking).
  std::string value(20000, 'a');
  EXPECT_FALSE(jetLike(value, "*a*a*a*a*a*a*a*a*b"));
}

TEST(JetText, OrdersAsTheLocaleCollationIgnoringCase) {
  const char* samples[] = {"apple", "Apple", "APPLE2", "banana", "b-anana", "banana!", "Banana", "10",   "9",
                           "_x",    "x_",    "x y",    "x",      "",        "ab\tc",   "abc",    "a'bc", "Ärger",
                           "arger", "zebra", "Zz",     "~",      "$5",      "5$",      "a.b",    "a,b"};
  for (const char* a : samples)
    for (const char* b : samples)
      EXPECT_EQ(compareJetText(a, b), compareStringLocale(a, b, kIgnoreCase | kStringSort)) << a << " vs " << b;
  EXPECT_EQ(compareJetText("abc", "ABC"), 0);
  EXPECT_LT(compareJetText("abc", "abd"), 0);
  if (collationLocale() == "en_US") {
    EXPECT_TRUE(asciiFastPathAvailable());
  }
}

TEST(JetText, FormatsNumbersAndReadsDates) {
  EXPECT_EQ(numberText(2.0), "2");
  EXPECT_EQ(numberText(1.5), "1.5");
  EXPECT_EQ(numberText(-0.0), "0");
  EXPECT_EQ(numberText(0.1 + 0.2), "0.3");
  EXPECT_EQ(numberText(1e16), "1E+16");
  struct DateCase {
    const char* text;
    double ole;  // < -1e8: not a date
  } const cases[] = {
      {"3/15/2002", 37330},          {"03/15/2002 2:30:00 PM", 37330 + 14.5 / 24}, {"1998-03-07", 35861},
      {"2002/3/15 14:30", 37330 + 14.5 / 24}, {"15-Mar-2002", 37330},   {"March 15, 2002", 37330},
      {"Mar 15 02", 37330},          {"3/15/29", 47192},                 {"3/15/30", 11032},
      {"12:00 AM", 0},               {"6:00", 0.25},                     {"13/5/2002", 37389},
      {"2/29/2001", -1e9},           {"2/29/2000", 36585},               {"13:00 PM", -1e9},
      {"3/15/2002 25:00", -1e9},     {"abc", -1e9},                      {"", -1e9},
      {"1/1/100", -657434},          {"12/31/9999 23:59:59", 2958465 + 86399.0 / 86400},
  };
  for (const DateCase& c : cases) {
    double d = 0;
    bool ok = parseDateText(c.text, d);
    if (c.ole < -1e8) {
      EXPECT_FALSE(ok) << c.text;
    } else {
      ASSERT_TRUE(ok) << c.text;
      EXPECT_NEAR(d, c.ole, 1e-9) << c.text;
    }
  }
}

TEST_F(Db, EvaluatesJetFunctions) {
  struct FnCase {
    const char* expr;
    const char* result;
  } const cases[] = {
      // Operators.
      {"\"a\" & Null & \"b\"", "ab"},
      {"Null & Null", "NULL"},
      {"1.5 & \"\"", "1.5"},
      {"2.0 & \"x\"", "2x"},
      {"7 & 2 + 3", "75"},
      {"\"ab\" + \"cd\"", "abcd"},
      {"\"5\" + 2", "7"},
      {"Null + 1", "NULL"},
      {"7 / 2", "3.5"},
      {"7 \\ 2", "3"},
      {"7.5 \\ 2", "4"},
      {"-7 Mod 3", "-1"},
      {"7.5 Mod 2", "0"},
      {"2 ^ 10", "1024.0"},
      {"-2 ^ 2", "-4.0"},
      {"1 / 0", "ERROR:Division by zero"},
      {"1 = 1", "-1"},
      {"1 = 2", "0"},
      {"Not (1 = 2)", "-1"},
      {"True", "-1"},
      {"'abc' = 'ABC'", "-1"},
      {"'abc' < 'ABD'", "-1"},
      {"Null Like 'a'", "NULL"},
      {"'Tuesday' Like '*ues*'", "-1"},
      {"123 Like '1#3'", "-1"},
      {"'a' Like '[a'", "ERROR:Invalid pattern string"},
      {"IIf(1 = 1, 'y', 'n')", "y"},
      {"IIf(Null, 'y', 'n')", "n"},
      {"Nz(Null, 'x')", "x"},
      {"Nz(Null)", ""},
      {"IsNull(Null)", "-1"},
      {"1 Xor 0", "-1"},
      {"(1 = 1) Imp (1 = 2)", "0"},
      // Text.
      {"UCase('straße äb')", "STRAßE ÄB"},
      {"LCase('ÀÉ')", "àé"},
      {"Len('Größe')", "5"},
      {"Len(Null)", "NULL"},
      {"Left('abc', 2)", "ab"},
      {"Right('abc', 5)", "abc"},
      {"Mid('abcdef', 2, 3)", "bcd"},
      {"Mid('abcdef', 4)", "def"},
      {"Mid('abc', 0)", "ERROR:Invalid procedure call or argument"},
      {"Left('abc', -1)", "ERROR:Invalid procedure call or argument"},
      {"'[' & Trim('  a b  ') & '|' & LTrim('  a') & '|' & RTrim('a  ') & ']'", "[a b|a|a]"},
      {"InStr('abcABC', 'C')", "3"},
      {"InStr(4, 'abcABC', 'c')", "6"},
      {"InStr(1, 'abcABC', 'C', 0)", "6"},
      {"InStr('abc', 'x')", "0"},
      {"Space(3) & '|'", "   |"},
      {"String(3, 'xy')", "xxx"},
      {"String(2, 65)", "AA"},
      {"Asc('A')", "65"},
      {"Chr(228)", "ä"},
      {"Chr(128)", "€"},
      {"StrComp('a', 'B')", "-1"},
      // Dates.
      {"Year(#3/15/2002#)", "2002"},
      {"Month(#3/15/2002#)", "3"},
      {"Day('3/15/2002')", "15"},
      {"Hour(#3/15/2002 2:30:00 PM#)", "14"},
      {"Minute(#2:30:15 PM#)", "30"},
      {"Second(#2:30:15 PM#)", "15"},
      {"Weekday(#3/15/2002#)", "6"},
      {"Weekday(#3/15/2002#, 2)", "5"},
      {"DateSerial(2002, 13, 1)", "37622.0"},
      {"DateSerial(2002, 3, 0)", "37315.0"},
      {"TimeSerial(12, 0, 0)", "0.5"},
      {"DateValue('3/15/2002 2:30 PM')", "37330.0"},
      {"DateAdd('m', 1, #1/31/2002#)", "37315.0"},
      {"DateAdd('yyyy', 1, #2/29/2000#)", "36950.0"},
      {"DateAdd('h', 36, #3/15/2002#)", "37331.5"},
      {"DateDiff('d', #1/1/2002#, #3/1/2002#)", "59"},
      {"DateDiff('yyyy', #12/31/2001#, #1/1/2002#)", "1"},
      {"DateDiff('m', #1/31/2002#, #2/1/2002#)", "1"},
      {"DateDiff('ww', #3/15/2002#, #3/17/2002#)", "1"},
      {"DateDiff('h', #3/15/2002 11:59 PM#, #3/16/2002#)", "1"},
      {"DatePart('q', #8/1/2002#)", "3"},
      {"DateAdd('x', 1, #1/1/2002#)", "ERROR:Invalid procedure call or argument"},
      {"Year(Null)", "NULL"},
      {"CDate('3/15/2002')", "37330.0"},
      // Conversions and numbers.
      {"CStr(1.5)", "1.5"},
      {"CStr(Null)", "ERROR:Invalid use of Null"},
      {"CLng(2.5)", "2"},
      {"CLng(3.5)", "4"},
      {"CLng('1,234')", "1234"},
      {"CInt(40000)", "ERROR:Overflow"},
      {"CInt('x')", "ERROR:Type mismatch"},
      {"CDbl('1e3')", "1000.0"},
      {"CBool(5)", "-1"},
      {"CBool('False')", "0"},
      {"CCur(1.23456)", "1.2346"},
      {"IsNumeric('1e3')", "-1"},
      {"IsNumeric('abc')", "0"},
      {"IsNumeric(Null)", "0"},
      {"Abs(-3)", "3"},
      {"Int(-2.5)", "-3.0"},
      {"Fix(-2.5)", "-2.0"},
      {"Round(2.5)", "2.0"},
      {"Round(3.5)", "4.0"},
      {"Round(3.14159, 2)", "3.14"},
      {"Sgn(-4)", "-1"},
      {"Sqr(16)", "4.0"},
      {"Sqr(-1)", "ERROR:Invalid procedure call or argument"},
      {"Val(' 12 34abc')", "1234.0"},
      {"Val('&HFF')", "255.0"},
      {"Str(5)", " 5"},
      {"Str(-5)", "-5"},
      {"Hex(255)", "FF"},
      {"Format(1234.5, '#,##0.00')", "1,234.50"},
      {"Format(5, '0.00;(0.00)')", "5.00"},
      {"Format(-5, '0.00;(0.00)')", "(5.00)"},
      {"Format(0.5, 'Percent')", "50.00%"},
      {"Format(1234.5, 'Currency')", "$1,234.50"},
      {"Format(0, 'Yes/No')", "No"},
      {"Format(#3/15/2002#, 'yyyy-mm-dd')", "2002-03-15"},
      {"Format(#3/15/2002 2:05:09 PM#, 'hh:nn:ss AM/PM')", "02:05:09 PM"},
      {"Format(#3/15/2002#, 'Long Date')", "Friday, March 15, 2002"},
      {"Format(#3/15/2002#, 'Medium Date')", "15-Mar-02"},
      {"Format(#3/15/2002 14:30#, 'General Date')", "3/15/2002 2:30:00 PM"},
      {"Format(#3/15/2002#, 'mmm d, yyyy')", "Mar 15, 2002"},
      {"Format('abc', '>')", "ABC"},
      {"Format(Null, '0')", "NULL"},
  };
  for (const FnCase& c : cases) EXPECT_EQ(eval(c.expr), c.result) << c.expr;
}

TEST_F(Db, NowDateAndTimeAreLocalOleDates) {
  double before = oleDateNow();
  Rows r = rows("SELECT Now(), Date(), Time()");
  double after = oleDateNow();
  ASSERT_EQ(r.size(), 1u);
  double now = std::stod(r[0].substr(0, r[0].find('|')));
  EXPECT_GE(now, before - 1e-6);
  EXPECT_LE(now, after + 1e-6);
  std::string rest = r[0].substr(r[0].find('|') + 1);
  double today = std::stod(rest.substr(0, rest.find('|')));
  double time = std::stod(rest.substr(rest.find('|') + 1));
  EXPECT_EQ(today, std::floor(now));
  EXPECT_GE(time, 0.0);
  EXPECT_LT(time, 1.0);
}

TEST_F(Db, AggregatesKeepJetsFirstLastAndSpread) {
  exec("CREATE TABLE v (g INTEGER, x, n REAL);"
       "INSERT INTO v VALUES (1, 'first', 2), (1, NULL, 4), (1, 'last', 4), (2, 'only', 5);");
  EXPECT_EQ(rows("SELECT g, First(x), Last(x), Count(x), Var(n), StDevP(n), VarP(n) FROM v GROUP BY g ORDER BY g"),
            (Rows{"1|first|last|2|1.33333333333333|0.942809041582063|0.888888888888889", "2|only|only|1|NULL|0.0|0.0"}));
  EXPECT_EQ(rows("SELECT First(x), Sum(n), Min(x), Max(x) FROM v WHERE g = 9"), (Rows{"NULL|NULL|NULL|NULL"}));
  EXPECT_EQ(rows("SELECT StDev(x) FROM v"), (Rows{"ERROR:Type mismatch"}));
  // A statement that fails while First/Last hold values gives them back.
  EXPECT_EQ(rows("SELECT First(x), Last(x), StDev(x) FROM v WHERE x Is Not Null"), (Rows{"ERROR:Type mismatch"}));
}

TEST_F(Db, JetTextIgnoresCaseInEqualityOrderAndUniqueIndexes) {
  exec("CREATE TABLE w (Name TEXT COLLATE JETTEXT);"
       "CREATE UNIQUE INDEX wName ON w (Name);"
       "INSERT INTO w VALUES ('banana'), ('Apple'), ('cherry'), ('apple2'), ('a-b'), ('abc');");
  EXPECT_NE(sqlite3_exec(db_, "INSERT INTO w VALUES ('ABC')", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(sqlite3_extended_errcode(db_), SQLITE_CONSTRAINT_UNIQUE);
  EXPECT_EQ(rows("SELECT Name FROM w ORDER BY Name"), (Rows{"a-b", "abc", "Apple", "apple2", "banana", "cherry"}));
  EXPECT_EQ(rows("SELECT Name FROM w WHERE Name = 'APPLE'"), (Rows{"Apple"}));
  EXPECT_EQ(rows("SELECT Name FROM w WHERE Name In ('CHERRY', 'x')"), (Rows{"cherry"}));
  EXPECT_EQ(rows("SELECT Name FROM w WHERE Name Between 'B' And 'C'"), (Rows{"banana"}));
  // No column collation on either side: the translator adds it.
  EXPECT_EQ(rows("SELECT Name FROM w WHERE UCase(Name) = 'apple'"), (Rows{"Apple"}));
  EXPECT_EQ(rows("SELECT Name & '' AS n FROM w WHERE Name Like 'A*' ORDER BY Name & ''"),
            (Rows{"a-b", "abc", "Apple", "apple2"}));
}

TEST_F(Db, LikeTakesEachRowsOwnPattern) {
  exec("CREATE TABLE lp (v TEXT, p TEXT);"
       "INSERT INTO lp VALUES ('abc', 'a*'), ('abc', 'b*'), ('a1', 'a#'), ('ab', '[!a]*'), ('x', NULL);");
  EXPECT_EQ(rows("SELECT p FROM lp WHERE v Like p ORDER BY p"), (Rows{"a#", "a*"}));
  EXPECT_EQ(rows("SELECT Count(*) FROM lp WHERE v Not Like p"), (Rows{"2"}));
}

TEST_F(Db, RunsTheProgramsStatements) {
  makeSchema();
  // The find statement of scope "All", with a lower-case hit in Notes.
  std::string find =
      "SELECT Groups.GroupID, Passwords.PasswordID,Groups.Name, Passwords.Description, Passwords.ID, "
      "Passwords.Password, Passwords.URL, Passwords.Notes FROM Groups INNER JOIN Passwords ON Groups.GroupID = "
      "Passwords.GroupID WHERE (((Groups.Name) Like \"*T*\")) OR (((Passwords.Description) Like \"*T*\")) OR "
      "(((Passwords.Password) Like \"*T*\")) OR (((Passwords.ID) Like \"*T*\")) OR (((Passwords.URL) Like \"*T*\")) "
      "OR(((Passwords.Notes) Like \"*T*\"));";
  Rows hits = rows(find);
  std::sort(hits.begin(), hits.end());
  EXPECT_EQ(hits, (Rows{"1|10|Banking|Giro|me|pw1|http://giro.example|NULL",
                              "1|11|Banking|savings|ME2|pw2|NULL|old Account",
                              "2|12|Shops|Books|reader|Secret|NULL|Tuesday"}));
  EXPECT_EQ(rows("SELECT Passwords.PasswordID FROM Groups INNER JOIN Passwords ON Groups.GroupID = Passwords.GroupID "
                 "WHERE (Passwords.Password Like \"*SEC*\");"),
            (Rows{"12"}));
  // A "#" in the text matches one digit.
  EXPECT_EQ(rows("SELECT PasswordID FROM Passwords WHERE ID Like '*me#*'"), (Rows{"11"}));
  // Expired accounts: an expiry date in the past, oldest first; no date never expires.
  EXPECT_EQ(rows("SELECT Groups.GroupID, Groups.Name, Passwords.PasswordID, Passwords.Description, "
                 "Passwords.ExpireDate\r\nFROM Groups INNER JOIN Passwords ON Groups.GroupID = Passwords.GroupID\r\n"
                 "WHERE (((Passwords.ExpireDate)<=Now()))\r\n"
                 "ORDER BY Passwords.ExpireDate, Groups.Name,Passwords.Description;"),
            (Rows{"1|Banking|10|Giro|37330.0", "1|Banking|11|savings|37331.5"}));
  // The report of all groups: grouped by name, then description ignoring case.
  EXPECT_EQ(rows("SELECT Groups.Name, Passwords.Description FROM Groups INNER JOIN Passwords ON Groups.GroupID = "
                 "Passwords.GroupID ORDER BY Groups.Name,Passwords.Description"),
            (Rows{"Banking|Giro", "Banking|savings", "Shops|Books"}));
  EXPECT_EQ(rows("Select Name from Groups where Name = \"banking\""), (Rows{"Banking"}));
  // Date literals against stored OLE dates.
  EXPECT_EQ(rows("SELECT PasswordID FROM Passwords WHERE ExpireDate <= #03/15/2002#"), (Rows{"10"}));
  EXPECT_EQ(rows("SELECT PasswordID FROM Passwords WHERE ExpireDate >= #3/16/2002 12:00:00 PM#"), (Rows{"11"}));
  EXPECT_EQ(rows("SELECT PasswordID FROM Passwords WHERE ShowAccount = True ORDER BY PasswordID"), (Rows{"10", "12"}));
  exec("CREATE TABLE T (a)");
  exec("INSERT INTO T VALUES (1), (2)");
  Translation t;
  Error e;
  ASSERT_TRUE(translateStatement("Delete * from [T]", {}, t, e));
  exec(t.sql);
  EXPECT_EQ(rows("SELECT Count(*) FROM T"), (Rows{"0"}));
}

TEST_F(Db, FindsParametersThroughSqlitesOwnError) {
  // The store's loop: prepare, read "no such column: X", translate again with X.
  makeSchema();
  const char* jet =
      "SELECT Description FROM Passwords WHERE GroupId = Par_1 AND [Min Date] <= Now() AND Passwords.Nothing "
      "Is Null ORDER BY Description";
  NameSet found;
  Translation t;
  Error e;
  for (int round = 0; round < 5; ++round) {
    ASSERT_TRUE(translateStatement(jet, found, t, e)) << e.message;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, t.sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
      sqlite3_finalize(st);
      break;
    }
    std::string msg = sqlite3_errmsg(db_);
    ASSERT_EQ(msg.rfind("no such column: ", 0), 0u) << msg;
    found.insert(msg.substr(16));
  }
  EXPECT_EQ(t.parameters, (std::vector<std::string>{"Par_1", "Min Date", "Passwords.Nothing"}));
  EXPECT_EQ(run(t.sql, {"1", "1", ""}), (Rows{}));
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db_, t.sql.c_str(), -1, &st, nullptr), SQLITE_OK);
  sqlite3_bind_int(st, 1, 1);
  sqlite3_bind_double(st, 2, 0.0);
  sqlite3_bind_null(st, 3);
  std::vector<std::string> got;
  while (sqlite3_step(st) == SQLITE_ROW) got.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
  sqlite3_finalize(st);
  EXPECT_EQ(got, (std::vector<std::string>{"Giro", "savings"}));
}

TEST_F(Db, SelectInfoBuildsAKeyset) {
  makeSchema();
  Translation t;
  Error e;
  ASSERT_TRUE(translateStatement("select * from passwords where GroupId = Par_1 order by Description",
                                 [] {
                                   NameSet s;
                                   s.insert("Par_1");
                                   return s;
                                 }(),
                                 t, e));
  std::string keyed = t.sql;
  keyed.insert(t.select->selectListOffset, "[passwords].rowid AS kh_rowid__, ");
  Rows r = run(keyed, {"1"});
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].substr(0, 3), "10|");
  EXPECT_EQ(r[1].substr(0, 3), "11|");
  EXPECT_EQ(run("SELECT rowid FROM " + t.select->from + " WHERE " + t.select->where + " ORDER BY " +
                    t.select->orderBy,
                {"1"}),
            (Rows{"10", "11"}));
}

TEST_F(Db, RunsJoinsUnionsAndSubqueries) {
  makeSchema();
  // RIGHT JOIN keeps every group, the one without accounts too.
  EXPECT_EQ(rows("SELECT Groups.Name, Count(Passwords.PasswordID) AS n FROM Passwords RIGHT JOIN Groups ON "
                 "Passwords.GroupID = Groups.GroupID GROUP BY Groups.Name ORDER BY Groups.Name"),
            (Rows{"Banking|2", "Empty|0", "Shops|1"}));
  EXPECT_EQ(rows("SELECT g.Name, p.Description FROM (Groups AS g INNER JOIN Passwords AS p ON g.GroupID = p.GroupID) "
                 "RIGHT JOIN Groups AS h ON h.GroupID = g.GroupID WHERE h.Name <> 'banking' ORDER BY h.Name"),
            (Rows{"NULL|NULL", "Shops|Books"}));
  // DISTINCTROW keeps one row per group although each group has several accounts.
  EXPECT_EQ(rows("SELECT DISTINCTROW Groups.Name FROM Groups INNER JOIN Passwords ON Groups.GroupID = "
                 "Passwords.GroupID ORDER BY Groups.Name"),
            (Rows{"Banking", "Shops"}));
  EXPECT_EQ(rows("SELECT Name FROM Groups UNION SELECT Description FROM Passwords ORDER BY Name"),
            (Rows{"Banking", "Books", "Empty", "Giro", "savings", "Shops"}));
  EXPECT_EQ(rows("SELECT TOP 34 PERCENT PasswordID FROM Passwords ORDER BY PasswordID DESC"), (Rows{"12", "11"}));
  EXPECT_EQ(rows("SELECT Name FROM Groups WHERE GroupID > ALL (SELECT GroupID FROM Passwords)"), (Rows{"Empty"}));
  EXPECT_EQ(rows("SELECT Name FROM Groups WHERE GroupID < ANY (SELECT GroupID FROM Passwords) ORDER BY Name"),
            (Rows{"Banking"}));
  EXPECT_EQ(rows("SELECT Name FROM Groups WHERE NOT EXISTS (SELECT * FROM Passwords WHERE Passwords.GroupID = "
                 "Groups.GroupID)"),
            (Rows{"Empty"}));
  EXPECT_EQ(rows("SELECT q.n FROM (SELECT Name AS n FROM Groups WHERE GroupID In (1, 3)) AS q ORDER BY q.n"),
            (Rows{"Banking", "Empty"}));
  Translation t;
  Error e;
  ASSERT_TRUE(translateStatement("DELETE p.* FROM Passwords AS p INNER JOIN Groups AS g ON p.GroupID = g.GroupID "
                                 "WHERE g.Name = 'BANKING'",
                                 {}, t, e));
  exec(t.sql);
  EXPECT_EQ(rows("SELECT PasswordID FROM Passwords"), (Rows{"12"}));
  ASSERT_TRUE(translateStatement("UPDATE Passwords AS p SET p.ID = p.ID & '!' WHERE p.GroupID = 2", {}, t, e));
  exec(t.sql);
  EXPECT_EQ(rows("SELECT ID FROM Passwords"), (Rows{"reader!"}));
  ASSERT_TRUE(translateStatement("INSERT INTO Groups (Name) VALUES ('Cards')", {}, t, e));
  exec(t.sql);
  EXPECT_EQ(rows("SELECT Count(*) FROM Groups WHERE Name = 'cards'"), (Rows{"1"}));
}

}  // namespace
}  // namespace kh::store::jet
